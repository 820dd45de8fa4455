"""camfind, the discovery client, run in the peer namespace against
simulated cameras running `debug -M search`: one camera up with --net, then
a segment of 20 on one bridge (`camsim segment up 20`)."""
import os
import pty
import queue
import signal
import socket
import sqlite3
import subprocess
import tempfile
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
    """A camera as set prints it."""
    return f"{mac}\t{ip}\t255.255.255.0\t192.0.2.1\t192.0.2.1\t{port}\t{mode}\t{title}\tIPC-100\t1.0.0\t20261207\tIPC-100\n"


def listed(*args, iface="eth0", conflict="-", **kw):
    """A camera as a listing prints it: the interface it answered on and
    whether its address is another's too."""
    return line(*args, **kw)[:-1] + f"\t{iface}\t{conflict}\n"


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
            ([], listed(), "", 0, first),
            (["set", CAM, "--ip", "192.0.2.20", "--port", "8080", "--title", "Lobby", *login],
             "accepted\t" + line("192.0.2.20", 8080, "Lobby"), "", 0, moved),
            (["-t", "500"], listed("192.0.2.20", 8080, "Lobby"), "", 0, moved),
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
                self.assertEqual(out, listed(title="@").encode().replace(b"@", text))
                self.assertIn(b'"title":' + json + b",", js)
        # A camera title that the modify request cannot carry is not sent.
        r = self.camfind("set", CAM, "--port", "80", "-u", "admin", "-p", "admin")
        self.assertEqual((r.stdout, r.stderr, r.returncode),
                         ("", "camfind: the camera's title contains ';'; nothing was sent\n", 1))

    def test_planet(self):
        wait = ["-t", "2500"]  # the camera pauses a second after every datagram
        first = (0, "192.0.2.10", 80, "IPCAM")
        info = "02:00:00:00:00:0a\t{}\t255.255.255.0\t192.0.2.1\tIPC-100\t1.0.0\teth0\t-\n"
        self.run_table([
            (["planet", *wait], info.format("192.0.2.10"), "", 0, first),
            (["planet", "set", CAM, "--ip", "192.0.2.40", "--title", "Hall", "-p", "admin", *wait],
             f"accepted\t{CAM}\tSuccessfully.\n", "", 0, (0, "192.0.2.40", 80, "Hall")),
            (["planet", "set", CAM, "--ip", "192.0.2.41", "-p", "wrong", *wait],
             f"refused\t{CAM}\tFailed.\n", "", 1, (0, "192.0.2.40", 80, "Hall")),
            (["planet", "--json", *wait],
             '{"mac":"02:00:00:00:00:0a","ipaddr":"192.0.2.40","netmask":"255.255.255.0",'
             '"gateway":"192.0.2.1","model":"IPC-100","text2":"1.0.0","interface":"eth0","conflict":false}\n', "", 0,
             (0, "192.0.2.40", 80, "Hall")),
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

    def test_header_only_on_a_terminal(self):
        master, terminal = pty.openpty()
        self.addCleanup(os.close, master)
        r = subprocess.run(self.cam.peer_cmd(*camfind()), stdout=terminal, stderr=subprocess.PIPE, text=True,
                           stdin=subprocess.DEVNULL, timeout=30)
        os.close(terminal)
        out = b""
        try:
            while chunk := os.read(master, 4096):
                out += chunk
        except OSError:  # EIO: the terminal's last writer has gone
            pass
        header = "MAC\tIPADDR\tNETMASK\tGATEWAY\tDNS\tHTTP_PORT\tMODE\tTITLE\tTEXT1\tTEXT2\tTEXT3\tMODEL\tINTERFACE\tCONFLICT\n"
        self.assertEqual((out.decode(), r.stderr, r.returncode), ((header + listed()).replace("\n", "\r\n"), "", 0))

    def test_raw_sockets_need_privilege(self):
        r = self.camfind(user="nobody")
        self.assertEqual((r.stdout, r.stderr, r.returncode),
                         ("", "camfind: socket: raw sockets need root or CAP_NET_RAW\n", 1))


def mac(i):
    return f"02:00:00:00:01:{i:02x}"


def moved(i, old, new, outcome):
    """A line of assign's plan or report."""
    return f"{mac(i)} {old} -> {new} {outcome}\n"


@unittest.skipUnless(os.geteuid() == 0 and not CROSS, NEEDS)
class TwentyCameras(unittest.TestCase):
    """Camera I (1..20): MAC 02:00:00:00:01:XX, XX = I in hex; stored address
    192.0.2.(10+I). The PC's side of the bridge is renamed lan0, as a PC's
    port seldom is eth0: camfind without -i must find it."""
    BASE = CAMS / "camfind-segment"

    @classmethod
    def segment(cls, *argv, peer=None):
        return [str(CAMSIM), "--build", str(BUILD), "segment", *argv, "--base", str(cls.BASE)] + (
            ["--", *peer] if peer else [])

    @classmethod
    def peer(cls, *argv):
        return subprocess.run(cls.segment("peer", peer=argv), capture_output=True, text=True, timeout=60,
                              stdin=subprocess.DEVNULL)

    @classmethod
    def setUpClass(cls):
        subprocess.run(cls.segment("down"), capture_output=True, timeout=120)
        cls.up = subprocess.run(cls.segment("up", "20"), capture_output=True, text=True, timeout=300)
        cls.peer("sh", "-c", "ip link set eth0 down && ip link set eth0 name lan0 && ip link set lan0 up")

    @classmethod
    def tearDownClass(cls):
        subprocess.run(cls.segment("down"), capture_output=True, timeout=120)

    def camfind(self, *argv):
        return self.peer(*camfind(*argv))

    def cam(self, i, ip=None, title="IPCAM", conflict="-"):
        return listed(ip or f"192.0.2.{10 + i}", mac=mac(i), title=title, iface="lan0", conflict=conflict)

    def run_table(self, cases):
        for argv, stdout, stderr, status in cases:
            with self.subTest(argv=argv):
                r = self.camfind(*argv)
                self.assertEqual((r.stdout, r.stderr, r.returncode), (stdout, stderr, status))

    def test_all_listed_once_in_one_window(self):
        # segment up returns once every camera answers, its progress on standard error.
        self.assertEqual((self.up.stderr.splitlines()[-1:], self.up.returncode), (["20/20 cameras up"], 0))
        want = "".join(self.cam(i) for i in range(1, 21))
        r = self.camfind()
        self.assertEqual((r.stdout, r.stderr, r.returncode), (want, "", 0))
        # A second search within the window makes every camera answer twice.
        first = subprocess.Popen(self.segment("peer", peer=camfind("-t", "1500")), stdout=subprocess.PIPE,
                                 text=True, stdin=subprocess.DEVNULL)
        time.sleep(0.5)
        second = self.camfind("-t", "300")
        out, _ = first.communicate(timeout=30)
        self.assertEqual((out, second.stdout, first.returncode), (want, want, 0))

    def test_conflicts_and_assigning(self):
        login = ["-u", "admin", "-p", "admin"]
        # Camera 7 refuses admin's password; camera 20 is off the bridge.
        def password(pw):
            with sqlite3.connect(self.BASE / "cam7" / "mnt/nand/vddb.db") as db:
                db.execute("UPDATE user SET password = ? WHERE name = 'admin'", (pw,))
        password("secret")
        self.addCleanup(password, "admin")
        self.peer("ip", "link", "set", "cam20", "down")
        self.addCleanup(self.peer, "ip", "link", "set", "cam20", "up")
        files = tempfile.TemporaryDirectory()
        self.addCleanup(files.cleanup)

        def plan(name, text):
            path = os.path.join(files.name, name)
            with open(path, "w") as f:
                f.write(text)
            return path

        bad = plan("bad.csv", "# MAC,ADDRESS,TITLE\n02:00:00:00:01:04,192.0.2.300\n")
        twice = plan("twice.csv", f"{mac(4)},198.51.100.11\n{mac(5)},198.51.100.12\n{mac(4)},198.51.100.13\n")
        held = plan("held.csv", f"{mac(3)},192.0.2.12\n")
        good = plan("good.csv", f"{mac(4)},198.51.100.11,Dock 4\n{mac(7)},203.0.113.7\n{mac(20)},203.0.113.20\n")
        # The range: camera 4 stays at .11; 1 to 3 and 5 to 19 take the rest in order.
        ranged = {1: 10, 2: 12, 3: 13, 4: 11} | {i: 9 + i for i in range(5, 20)}
        before = {i: f"192.0.2.{10 + i}" for i in range(1, 20)} | {4: "198.51.100.11"}
        after = {i: f"198.51.100.{ranged[i]}" for i in range(1, 20)} | {7: "192.0.2.17"}
        range_out = "".join(moved(i, before[i], f"198.51.100.{ranged[i]}", "kept" if i == 4 else "planned")
                            for i in range(1, 20))
        range_out += "".join(moved(i, before[i], f"198.51.100.{ranged[i]}", "refused" if i == 7 else "ok")
                             for i in range(1, 20) if i != 4)
        nothing = "; nothing was sent\n"
        force = "; nothing was sent (--force sends it anyway)\n"
        self.run_table([
            # (argv, stdout, stderr, status)
            (["set", mac(4), "--ip", "192.0.2.11", *login], "",
             "camfind: 192.0.2.11 is held by 02:00:00:00:01:01" + force, 1),
            (["set", mac(4), "--ip", "192.0.2.11", "--force", *login],
             "accepted\t" + line("192.0.2.11", mac=mac(4)), "", 0),
            ([mac(1), mac(4), mac(5), mac(20)],
             self.cam(1, conflict="conflict") + self.cam(4, "192.0.2.11", conflict="conflict") + self.cam(5),
             "camfind: 192.0.2.11 is held by 02:00:00:00:01:01 and 02:00:00:00:01:04\n"
             "camfind: 02:00:00:00:01:14: no reply to the search\n", 1),
            (["--csv", "-i", "lan0", mac(5)],
             "mac,ipaddr,netmask,gateway,dns,http_port,mode,title,text1,text2,text3,model,interface,conflict\n"
             "02:00:00:00:01:05,192.0.2.15,255.255.255.0,192.0.2.1,192.0.2.1,80,static,IPCAM,IPC-100,1.0.0,"
             "20261207,IPC-100,lan0,\n", "", 0),
            (["assign", "--plan", bad, *login], "",
             f"camfind: {bad}:2: not an IPv4 address (four numbers 0..255 with dots)" + nothing, 2),
            (["assign", "--plan", twice, *login], "", f"camfind: {twice}:3: the MAC is on line 1 too" + nothing, 2),
            (["assign", "--plan", held, *login], "",
             "camfind: 192.0.2.12 is held by 02:00:00:00:01:02, not in the plan" + force, 1),
            (["assign", "--plan", good, *login],
             moved(4, "192.0.2.11", "198.51.100.11", "planned") + moved(7, "192.0.2.17", "203.0.113.7", "planned") +
             moved(20, "-", "203.0.113.20", "no answer") + moved(4, "192.0.2.11", "198.51.100.11", "ok") +
             moved(7, "192.0.2.17", "203.0.113.7", "refused") + moved(20, "-", "203.0.113.20", "no answer"), "", 1),
            ([mac(4), mac(7)], self.cam(4, "198.51.100.11", "Dock 4") + self.cam(7), "", 0),
            (["assign", "198.51.100.10-198.51.100.27", *login], "",
             "camfind: 198.51.100.10-198.51.100.27 has 17 free addresses for 18 cameras" + nothing, 1),
            (["assign", "198.51.100.10-198.51.100.28", *login], range_out, "", 1),
            ([], "".join(self.cam(i, after[i], "Dock 4" if i == 4 else "IPCAM") for i in range(1, 20)), "", 0),
        ])
        # Back as segment up left them, from one plan: camera 20 answers again.
        password("admin")
        self.peer("ip", "link", "set", "cam20", "up")
        after[20] = "192.0.2.30"
        back = plan("back.csv", "".join(f"{mac(i)},192.0.2.{10 + i}{',IPCAM' if i == 4 else ''}\n" for i in range(1, 21)))
        self.run_table([
            (["assign", "--plan", back, *login],
             "".join(moved(i, after[i], f"192.0.2.{10 + i}", "planned") for i in range(1, 21)) +
             "".join(moved(i, after[i], f"192.0.2.{10 + i}", "ok") for i in range(1, 21)), "", 0),
            ([], "".join(self.cam(i) for i in range(1, 21)), "", 0),
        ])

    def test_watch_sees_a_camera_leave(self):
        watch = subprocess.Popen(self.segment("peer", peer=camfind("--watch", "-t", "1000")), text=True,
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, stdin=subprocess.DEVNULL)
        self.addCleanup(watch.stderr.close)
        self.addCleanup(watch.stdout.close)
        self.addCleanup(watch.kill)
        lines = queue.Queue()
        threading.Thread(target=lambda: [lines.put(x) for x in watch.stdout], daemon=True).start()

        def read_until(done):
            seen, end = [], time.monotonic() + 60
            while not done(seen):
                seen.append(lines.get(timeout=max(0.1, end - time.monotonic())))
            return seen

        came = read_until(lambda seen: len(seen) == 20)
        self.assertEqual(sorted(came), [f"+ {mac(i)} 192.0.2.{10 + i} lan0\n" for i in range(1, 21)])
        self.peer("ip", "link", "set", "cam20", "down")
        self.addCleanup(self.peer, "ip", "link", "set", "cam20", "up")
        self.assertEqual(read_until(lambda seen: len(seen) == 1), [f"- {mac(20)} 192.0.2.30\n"])
        watch.send_signal(signal.SIGINT)
        self.assertEqual((watch.wait(timeout=30), watch.stderr.read()), (0, ""))


if __name__ == "__main__":
    unittest.main()
