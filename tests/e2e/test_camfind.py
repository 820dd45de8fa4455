"""camfind, the discovery client, run in the peer namespace against
simulated cameras running `debug -M search`: one camera up with --net, then
a segment of 20 on one bridge (`camsim segment up 20`)."""
import os
import socket
import sqlite3
import subprocess
import threading
import time
import unittest

from camtest import BUILD, CAMS, CAMSIM
from camnet import NetCamera, Responder, camfind, netns

# Under a cross build's emulator the cameras cannot answer raw searches:
# qemu-user lacks the ethtool ioctl that opening a capture needs.
CROSS = (BUILD / "emu").is_dir()
NEEDS = "needs root for network namespaces, and a camera that can capture (not under qemu-user)"
CAM = "02:00:00:00:00:0a"
USAGE_HINT = "Try 'camfind -h'.\n"


def line(ip="192.0.2.10", port=80, title="IPCAM", mac=CAM, mode="static"):
    return f"{mac}\t{ip}\t255.255.255.0\t192.0.2.1\t192.0.2.1\t{port}\t{mode}\t{title}\tIPC-100\t1.0.0\t20261207\tIPC-100\n"


def store(cam, sql, *args, db="/mnt/nand/vddb.db"):
    with sqlite3.connect(cam.path(db)) as c:
        return c.execute(sql, args).fetchall()


def stored(cam):
    return store(cam, "SELECT mode, ipaddr, http, title FROM network, port, device WHERE iface = 0")[0]


@unittest.skipUnless(os.geteuid() == 0 and not CROSS, NEEDS)
class OneCamera(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.cam = NetCamera("camfind")
        cls.cam.debug("-h", "search")  # makes the root and puts the databases in place
        store(cls.cam, "UPDATE oem SET oem_index = 12", db="/mnt/nand2/oem.db")
        cls.cam.up()
        cls.responder = Responder(cls.cam)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline and not cls.camfind(cls, "-t", "300").stdout:
            pass

    @classmethod
    def tearDownClass(cls):
        cls.responder.kill()
        cls.cam.down()

    def camfind(self, *argv, user=None):
        pre = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--inh-caps=-all"] if user else []
        return subprocess.run(self.cam.peer_cmd(*pre, *camfind(*argv)), capture_output=True, text=True,
                              timeout=30, stdin=subprocess.DEVNULL)

    def run_table(self, cases):
        for argv, stdout, stderr, status, after in cases:
            with self.subTest(argv=argv):
                r = self.camfind(*argv)
                self.assertEqual((r.stdout, r.stderr, r.returncode), (stdout, stderr, status))
                self.assertEqual(stored(self.cam), after)

    def test_list_and_set(self):
        login = ["-u", "admin", "-p", "admin"]
        first = (0, "192.0.2.10", 80, "IPCAM")
        moved = (0, "192.0.2.20", 8080, "Lobby")
        self.run_table([
            # (argv, stdout, stderr, status, stored (mode, ipaddr, http, title) after)
            ([], line(), "", 0, first),
            (["set", CAM, "--ip", "192.0.2.20", "--port", "8080", "--title", "Lobby", *login],
             "accepted\t" + line("192.0.2.20", 8080, "Lobby"), "", 0, moved),
            (["-t", "500"], line("192.0.2.20", 8080, "Lobby"), "", 0, moved),
            (["set", CAM, "--ip", "192.0.2.30", "-u", "admin", "-p", "nimda"],
             "refused\t" + line("192.0.2.20", 8080, "Lobby"), "", 1, moved),
            (["set", CAM, "--ip", "192.0.2.30", "-u", "guest", "-p", "guest"],
             "refused\t" + line("192.0.2.20", 8080, "Lobby"), "", 1, moved),
            # Fields not given keep the camera's values; a leading zero is decimal.
            (["set", "02-00-00-00-00-0A", "--ip", "192.0.2.010", "--title", "T" * 127, "-u", "operator",
              "-p", "operator"], "accepted\t" + line(port=8080, title="T" * 127), "", 0,
             (0, "192.0.2.10", 8080, "T" * 127)),
            (["set", CAM, "--port", "80", "--title", "IPCAM", *login], "accepted\t" + line(), "", 0, first),
            # Refused before anything is sent.
            (["set", CAM, "--title", "T" * 128, *login], "",
             "camfind: title is longer than 127 characters; nothing was sent\n", 2, first),
            (["set", CAM, "--title", "a;b", *login], "", "camfind: title contains ';'; nothing was sent\n", 2, first),
            (["set", CAM, "-u", "admin", "-p", ""], "", "camfind: password is empty; nothing was sent\n", 2, first),
            (["set", CAM, "--ip", "192.0.2.256", *login], "",
             "camfind: --ip: not an IPv4 address (four numbers 0..255 with dots)\n" + USAGE_HINT, 2, first),
            (["set", CAM, "--port", "0", *login], "", "camfind: --port: not a port 1..65535: 0\n" + USAGE_HINT, 2, first),
            (["set", CAM, "-u", "admin"], "", "camfind: set needs -u USER and -p PASS\n" + USAGE_HINT, 2, first),
            (["set", "02:00:00:00:00", *login], "",
             "camfind: not a MAC (six hex pairs with ':'): 02:00:00:00:00\n" + USAGE_HINT, 2, first),
            (["--ip", "192.0.2.1"], "", "camfind: --ip: only with set\n" + USAGE_HINT, 2, first),
            (["planet", "set", CAM, "--dns", "192.0.2.1", "-p", "admin"], "",
             "camfind: --dns: not an option of this verb\n" + USAGE_HINT, 2, first),
            (["-t", "0"], "", "camfind: -t: not a number of milliseconds 1..600000: 0\n" + USAGE_HINT, 2, first),
            (["set", "02:00:00:00:00:99", *login, "-t", "300"], "",
             "camfind: 02:00:00:00:00:99: no reply to the search\n", 1, first),
            (["-i", "nosuch0"], "", "camfind: no interface nosuch0\n", 1, first),
        ])

    def test_camera_texts_are_escaped(self):
        self.addCleanup(store, self.cam, "UPDATE device SET title = 'IPCAM'")
        cases = [
            # (stored title, text column, JSON value), as bytes
            (b'say "hi"\\\x01\t\xc3\xa9\xff', b'say "hi"\\\\\\x01\\t\xc3\xa9\xff',
             b'"say \\"hi\\"\\\\\\u0001\\u0009\xc3\xa9\\u00ff"'),
            (b"a;b;c", b"a;b;c", b'"a;b;c"'),  # a ';' in the title stays in the title
        ]
        for title, text, json in cases:
            with self.subTest(title=title):
                store(self.cam, "UPDATE device SET title = CAST(? AS TEXT)", title)
                out = subprocess.run(self.cam.peer_cmd(*camfind()), capture_output=True, timeout=30).stdout
                js = subprocess.run(self.cam.peer_cmd(*camfind("--json")), capture_output=True, timeout=30).stdout
                self.assertEqual(out, line(title="@").encode().replace(b"@", text))
                self.assertIn(b'"title":' + json + b",", js)
        # A camera title that the modify request cannot carry is not sent.
        r = self.camfind("set", CAM, "--port", "80", "-u", "admin", "-p", "admin")
        self.assertEqual((r.stdout, r.stderr, r.returncode),
                         ("", "camfind: the camera's title contains ';'; nothing was sent\n", 1))

    def test_planet(self):
        wait = ["-t", "2500"]  # the camera pauses a second after every datagram
        first = (0, "192.0.2.10", 80, "IPCAM")
        info = "02:00:00:00:00:0a\t{}\t255.255.255.0\t192.0.2.1\tIPC-100\t1.0.0\n"
        self.run_table([
            (["planet", *wait], info.format("192.0.2.10"), "", 0, first),
            (["planet", "set", CAM, "--ip", "192.0.2.40", "--title", "Hall", "-p", "admin", *wait],
             f"accepted\t{CAM}\tSuccessfully.\n", "", 0, (0, "192.0.2.40", 80, "Hall")),
            (["planet", "set", CAM, "--ip", "192.0.2.41", "-p", "wrong", *wait],
             f"refused\t{CAM}\tFailed.\n", "", 1, (0, "192.0.2.40", 80, "Hall")),
            (["planet", "--json", *wait],
             '{"mac":"02:00:00:00:00:0a","ipaddr":"192.0.2.40","netmask":"255.255.255.0",'
             '"gateway":"192.0.2.1","model":"IPC-100","text2":"1.0.0"}\n', "", 0, (0, "192.0.2.40", 80, "Hall")),
            (["planet", "set", CAM, "--title", "x" * 32, "-p", "admin"], "",
             "camfind: --title: longer than the request's 31 characters\n" + USAGE_HINT, 2,
             (0, "192.0.2.40", 80, "Hall")),
            (["planet", "set", CAM, "-u", "guest", "-p", "guest"], "",
             "camfind: planet set checks the password of user admin only, not guest\n" + USAGE_HINT, 2,
             (0, "192.0.2.40", 80, "Hall")),
            (["planet", "set", CAM, "--ip", "192.0.2.10", "--title", "IPCAM", "-p", "admin", "--json", *wait],
             '{"result":"accepted","mac":"02:00:00:00:00:0a","text":"Successfully."}\n', "", 0, first),
        ])

    def test_replies_to_another_station_are_ignored(self):
        # A station of the camera's link answers camfind's search twice, in
        # order: first to another station, then to camfind with a title that
        # set refuses at once. camfind must skip the first and refuse.
        station, other = bytes.fromhex("02000000000b"), bytes.fromhex("020000000099")
        text = "192.0.2.11;80;255.255.255.0;192.0.2.1;192.0.2.1;IPC-100;1.0.0;20261207;{};IPC-100;5;0"
        with netns(self.cam.root / ".camsim-ns" / "net"):
            raw = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(0x0809))
        self.addCleanup(raw.close)
        raw.bind(("eth0", 0))
        raw.settimeout(20)

        def answer():
            search = b""
            while search[:6] != station or search[20:22] != b"\0\0":
                search = raw.recv(2048)
            for dst, title in ((other, "Other"), (search[6:12], "a;b")):
                raw.send((dst + station + bytes.fromhex("080920120610 0001") + text.format(title).encode())
                         .ljust(260, b"\0"))

        station_thread = threading.Thread(target=answer, daemon=True)
        station_thread.start()
        r = self.camfind("set", station.hex(":"), "-u", "admin", "-p", "admin", "-t", "5000")
        station_thread.join(timeout=20)
        self.assertEqual((r.stdout, r.stderr, r.returncode),
                         ("", "camfind: the camera's title contains ';'; nothing was sent\n", 1))

    def test_raw_sockets_need_privilege(self):
        r = self.camfind(user="nobody")
        self.assertEqual((r.stdout, r.stderr, r.returncode),
                         ("", "camfind: socket: raw sockets need root or CAP_NET_RAW\n", 1))


@unittest.skipUnless(os.geteuid() == 0 and not CROSS, NEEDS)
class TwentyCameras(unittest.TestCase):
    BASE = CAMS / "camfind-segment"

    def segment(self, *argv, **kw):
        return [str(CAMSIM), "--build", str(BUILD), "segment", *argv, "--base", str(self.BASE)] + (
            ["--", *kw["peer"]] if "peer" in kw else [])

    def camfind(self, *argv):
        return subprocess.run(self.segment("peer", peer=camfind(*argv)), capture_output=True, text=True,
                              timeout=30, stdin=subprocess.DEVNULL)

    def test_all_listed_once_in_one_window(self):
        # Camera I (1..20): MAC 02:00:00:00:01:XX, XX = I in hex; stored address 192.0.2.(10+I).
        want = "".join(line(f"192.0.2.{10 + i}", mac=f"02:00:00:00:01:{i:02x}") for i in range(1, 21))
        subprocess.run(self.segment("down"), capture_output=True, timeout=120)
        self.addCleanup(subprocess.run, self.segment("down"), capture_output=True, timeout=120)
        up = subprocess.run(self.segment("up", "20"), capture_output=True, text=True, timeout=300)
        # segment up returns once every camera answers, its progress on standard error.
        self.assertEqual((up.stderr.splitlines()[-1:], up.returncode), (["20/20 cameras up"], 0))
        r = self.camfind()
        self.assertEqual((r.stdout, r.stderr, r.returncode), (want, "", 0))
        # A second search within the window makes every camera answer twice.
        first = subprocess.Popen(self.segment("peer", peer=camfind("-t", "1500")), stdout=subprocess.PIPE,
                                 text=True, stdin=subprocess.DEVNULL)
        time.sleep(0.5)
        second = self.camfind("-t", "300")
        out, _ = first.communicate(timeout=30)
        self.assertEqual((out, second.stdout, first.returncode), (want, want, 0))


if __name__ == "__main__":
    unittest.main()
