"""The search module on a camera up with --net: camfind, run in the peer
namespace, lists and modifies it; what camfind never sends (short or foreign
frames, bad sums, values it refuses) goes from a raw socket there, and the
replies are checked byte for byte. A segment of three cameras
(`camsim segment up 3`) shows what one frame does to all of them."""
import os
import socket
import sqlite3
import struct
import subprocess
import time
import unittest
from pathlib import Path

from camtest import BUILD, CAMS, CAMSIM, err
from camnet import CAM_MAC, PC_MAC, camfind, DhcpServer, NetCamera, Responder, have_dhcp, netns

MARK = bytes.fromhex("08092012 0610")
BCAST = b"\xff" * 6
OTHER = bytes.fromhex("020000000099")
# The source of the search that closes every exchange: its reply comes after
# the camera's answers to what was sent before it.
MARKER = bytes.fromhex("020000000077")
GROUPS = [BCAST, bytes.fromhex("01005e000001"), bytes.fromhex("333300000001")]
DEFAULTS = ["192.0.2.10", "80", "255.255.255.0", "192.0.2.1", "192.0.2.1", "IPC-100", "1.0.0",
            "20261207", "IPCAM", "IPC-100", "UPTIME", "0"]


CAM = CAM_MAC.hex(":")


def line(f, mac=CAM):
    """camfind's line for the reply fields f."""
    return "\t".join([mac, f[0], f[2], f[3], f[4], f[1], ("static", "dhcp")[int(f[11])], f[8], *f[5:8], f[9]]) + "\n"


def listed(f):
    """The line of a listing: the interface it answered on, no conflict."""
    return line(f)[:-1] + "\teth0\t-\n"


def frame(code=b"\0\0", src=PC_MAC, dst=BCAST, body=b"", pad=0):
    return dst + src + MARK + code + body + b"\0" * pad


def modify(text, target=CAM_MAC, code=b"\0\2"):
    return frame(code, body=target + text.encode() + b"\0")


def escaped(text):
    """Outside text as the camera's console shows it: control bytes escaped."""
    return "".join(c if " " <= c != "\x7f" else "\\t" if c == "\t" else f"\\x{ord(c):02x}" for c in text)


def reply_text(fields):
    return ";".join(fields).encode()


def expect_search(fields, dst=PC_MAC):
    return (dst + CAM_MAC + MARK + b"\0\1" + reply_text(fields)).ljust(260, b"\0")


def expect_modify(result, fields):
    return (PC_MAC + CAM_MAC + MARK + b"\0\3" + PC_MAC + bytes([result]) +
            reply_text(fields)).ljust(260, b"\0")


def mask_uptime(reply, at):
    """The uptime field changes by the second; it is checked for a number and masked."""
    text = reply[at:].rstrip(b"\0").split(b";")
    if len(text) == 12 and text[10].isdigit():
        text[10] = b"UPTIME"
    return reply[:at] + b";".join(text).ljust(len(reply) - at, b"\0")


def uptime_of(reply):
    """The camera's clock, in whole seconds, as a search reply carries it."""
    return int(reply[20:].rstrip(b"\0").split(b";")[10])


def drain(sock):
    sock.setblocking(False)
    try:
        while True:
            sock.recv(2048)
    except BlockingIOError:
        pass


def store(cam, sql, db="/mnt/nand/vddb.db", *args):
    with sqlite3.connect(cam.path(db)) as c:
        rows = c.execute(sql, args).fetchall()
    return rows


# The emulator lacks the interface requests a capture needs on the camera side.
@unittest.skipUnless(os.geteuid() == 0 and not (BUILD / "emu").is_dir(),
                     "needs root for network namespaces, and no emulator")
class ResponderTest(unittest.TestCase):
    oem_index = 0
    mode = 0

    @classmethod
    def setUpClass(cls):
        cls.cam = NetCamera(cls.__name__)
        cls.cam.debug("-h", "search")  # makes the root and puts the databases in place
        store(cls.cam, "UPDATE oem SET oem_index = ?", "/mnt/nand2/oem.db", cls.oem_index)
        store(cls.cam, "UPDATE network SET mode = ? WHERE iface = 0", "/mnt/nand/vddb.db", cls.mode)
        cls.cam.up()
        cls.dhcp = None
        cls.pc_resolv = Path("/etc/resolv.conf").read_bytes()
        if cls.mode and have_dhcp():
            cls.dhcp = DhcpServer(cls.cam)
        with cls.cam.peer():
            cls.raw = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(0x0809))
            cls.raw.bind(("eth0", 0))
            cls.udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            cls.udp.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            cls.udp.bind(("", 62631))
        cls.responder = Responder(cls.cam, env={"VDSIM_TRACE": str(cls.cam.trace_file)})
        # In DHCP mode the start waits for the lease.
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline and not cls.answered(cls, 0.3):
            pass
        if cls.mode and not have_dhcp():  # what the DHCP server would have given
            cls.cam.run("sh", "-c", "ip addr add 192.0.2.77/24 dev eth0 && ip route add default via 192.0.2.1")
        cls.startup_out = cls.responder.take()
        cls.startup_err = cls.responder.take("err", 0)

    @classmethod
    def tearDownClass(cls):
        cls.responder.kill()
        cls.raw.close()
        cls.udp.close()
        if cls.dhcp:
            cls.dhcp.stop()
        cls.cam.down()

    def camfind(self, *argv):
        r = subprocess.run(self.cam.peer_cmd(*camfind(*argv)), capture_output=True, text=True, timeout=30,
                           stdin=subprocess.DEVNULL)
        self.assertEqual(r.stderr, "")
        return r.stdout, r.returncode

    def answered(self, wait):
        """Whether a search is answered within wait (at start-up)."""
        drain(self.raw)
        self.raw.send(frame(pad=40))
        self.raw.settimeout(wait)
        try:
            while self.raw.recv(2048)[6:12] != CAM_MAC:
                pass
            return True
        except socket.timeout:
            return False

    def exchange(self, data, limit=60):
        """Sends one frame and a search from MARKER; the camera's frames that
        came back before the marker's reply, since it answers in order."""
        drain(self.raw)  # what camfind was answered reaches this socket too
        self.raw.send(data)
        self.raw.send(frame(src=MARKER, pad=40))
        replies = []
        self.raw.settimeout(limit)  # a time limit, not an expectation
        while (got := self.raw.recv(2048))[:6] != MARKER:
            if got[6:12] == CAM_MAC:
                replies.append(got)
        return replies


class Search(ResponderTest):
    def test_search_is_answered_unicast_to_its_sender(self):
        cases = [
            # (frame, replies expected); a plain search is camfind's, below
            (frame(dst=CAM_MAC, pad=40), [expect_search(DEFAULTS)]),
            (frame(dst=OTHER, pad=40), [expect_search(DEFAULTS)]),
            (frame(src=OTHER, pad=40), [expect_search(DEFAULTS, dst=OTHER)]),
            (frame(pad=1), [expect_search(DEFAULTS)]),      # 21 bytes
            (frame(), []),                                   # 20 bytes
            (frame(code=b"\1\xff", pad=40), []),
            (frame(code=b"\0\1", pad=40), []),               # another camera's reply
            (frame(code=b"\0\3", pad=40), []),
            (frame(src=CAM_MAC, pad=40), []),                # the camera's own frame
            (frame(src=b"\0" * 6, pad=40), []),
            # A reply would go to every member of the group.
            *[(frame(src=group, pad=40), []) for group in GROUPS],
            (frame(pad=40)[:14] + b"\x20\x12\x06\x11" + b"\0" * 42, []),
        ]
        for data, expected in cases:
            with self.subTest(frame=data[:22].hex()):
                got = [mask_uptime(r, 20) for r in self.exchange(data)]
                self.assertEqual(got, expected)

    def test_listed_by_camfind(self):
        for argv, stdout in [([], listed(DEFAULTS)), (["-t", "300"], listed(DEFAULTS))]:
            with self.subTest(argv=argv):
                self.assertEqual(self.camfind(*argv), (stdout, 0))

    def test_no_planet_socket_without_oem_index_12(self):
        udp = self.cam.run("cat", "/proc/net/udp").stdout
        self.assertNotIn(":F4A6 ", udp)


class Modify(ResponderTest):
    def test_modify_requests(self):
        new = ["192.0.2.20", "8080", "255.255.255.0", "192.0.2.1", "192.0.2.1", "IPC-100", "1.0.0",
               "20261207", "Lobby", "IPC-100", "UPTIME", "0"]
        req_new = "192.0.2.20;8080;255.255.255.0;192.0.2.1;192.0.2.1;Lobby;admin;admin"
        login = ["-u", "admin", "-p", "admin"]
        req_back = "192.0.2.10;80;255.255.255.0;192.0.2.1;192.0.2.1;IPCAM;operator;operator"
        dns = DEFAULTS[:4] + ["198.51.100.53"] + DEFAULTS[5:]
        to_new = ["set", CAM, "--ip", "192.0.2.20", "--port", "8080", "--title", "Lobby"]

        def shown(text, f):
            return (f"Modify Device:{escaped(text)} \n===Modify Device==IP:{escaped(f[0])} HttpPort:{f[1]} "
                    f"Netmask:{f[2]} Gateway:{f[3]} Dns:{f[4]}== \n")

        cases = [
            # (camfind argv, or None for a raw request of the text; request text, result,
            #  reply fields, stored (ipaddr, http, title, dns1), extra stdout)
            (to_new + login, req_new, 1, new, ("192.0.2.20", 8080, "Lobby", "192.0.2.1"), "modify device info. \n"),
            # Refused: wrong password, its prefix, privilege 2, a letter's case;
            # control bytes are shown escaped.
            (to_new[:4] + ["-u", "admin", "-p", "nimda"], req_new.replace(";admin;admin", ";admin;nimda"), 0,
             new, ("192.0.2.20", 8080, "Lobby", "192.0.2.1"), ""),
            (to_new[:4] + ["-u", "admin", "-p", "adm"], req_new.replace(";admin;admin", ";admin;adm"), 0,
             new, ("192.0.2.20", 8080, "Lobby", "192.0.2.1"), ""),
            (None, "\x1b[2J\x1b[H192.0.2.30\r;80;255.255.255.0;192.0.2.1;192.0.2.1;\x07Lobby\t;admin;nimda", 0,
             new, ("192.0.2.20", 8080, "Lobby", "192.0.2.1"), ""),
            (to_new[:4] + ["-u", "guest", "-p", "guest"], req_new.replace(";admin;admin", ";guest;guest"), 0,
             new, ("192.0.2.20", 8080, "Lobby", "192.0.2.1"), ""),
            (to_new[:4] + ["-u", "Admin", "-p", "admin"], req_new.replace(";admin;admin", ";Admin;admin"), 0,
             new, ("192.0.2.20", 8080, "Lobby", "192.0.2.1"), ""),
            (["set", CAM, "--ip", "192.0.2.10", "--port", "80", "--title", "IPCAM", "-u", "operator", "-p",
              "operator"], req_back, 1, DEFAULTS, ("192.0.2.10", 80, "IPCAM", "192.0.2.1"), "modify device info. \n"),
            # What camfind refuses to send. An empty title moves the user name
            # into the title's place.
            (None, req_new.replace(";Lobby;", ";;"), 0, DEFAULTS, ("192.0.2.10", 80, "IPCAM", "192.0.2.1"), ""),
            # Port clamped and stored with the network record unchanged; bad
            # addresses keep the stored ones.
            (None, "192.0.2.10;0;255.255.255.0;192.0.2.1;192.0.2.1;IPCAM;admin;admin", 1,
             DEFAULTS[:1] + ["1"] + DEFAULTS[2:], ("192.0.2.10", 1, "IPCAM", "192.0.2.1"), ""),
            (None, "1.2.3;70000;255.255.255.256;x;1,2,3,4;IPCAM;admin;admin", 1,
             DEFAULTS[:1] + ["65535"] + DEFAULTS[2:], ("192.0.2.10", 65535, "IPCAM", "192.0.2.1"), ""),
            (None, "192.0.2.10;abc;255.255.255.0;192.0.2.1;192.0.2.1;IPCAM;admin;admin", 1,
             DEFAULTS[:1] + ["1"] + DEFAULTS[2:], ("192.0.2.10", 1, "IPCAM", "192.0.2.1"), ""),
            (None, "192.0.2.10;-5;;;;;;;;255.255.255.0;192.0.2.1;192.0.2.1;IPCAM;admin;admin;x;y", 1,
             DEFAULTS[:1] + ["1"] + DEFAULTS[2:], ("192.0.2.10", 1, "IPCAM", "192.0.2.1"), ""),
            # The DNS server alone is a change of the network record.
            (None, "192.0.2.10;80;255.255.255.0;192.0.2.1;198.51.100.53;IPCAM;admin;admin", 1, dns,
             ("192.0.2.10", 80, "IPCAM", "198.51.100.53"), "modify device info. \n"),
            (None, req_back, 1, DEFAULTS, ("192.0.2.10", 80, "IPCAM", "192.0.2.1"), "modify device info. \n"),
            (None, req_back, 1, DEFAULTS, ("192.0.2.10", 80, "IPCAM", "192.0.2.1"), ""),
        ]
        for argv, text, result, fields, stored, extra in cases:
            with self.subTest(argv=argv, text=text):
                if argv:
                    self.assertEqual(self.camfind(*argv), (("refused", "accepted")[result] + "\t" + line(fields),
                                                           1 - result))
                else:
                    got = [mask_uptime(r, 27) for r in self.exchange(modify(text))]
                    self.assertEqual(got, [expect_modify(result, fields)])
                f = [p for p in text.split(";") if p] + [""] * 8
                self.assertEqual(self.responder.take(), shown(text, f) + extra)
                row = store(self.cam, "SELECT ipaddr, http, title, dns1 FROM network, port, device WHERE iface = 0")
                self.assertEqual(row, [stored])
        # The camera took the stored address back: a search is still answered.
        self.assertEqual(len(self.exchange(frame(pad=40))), 1)

    def test_requests_for_other_cameras_get_nothing(self):
        # Nor those from a group address, whose answer would go to the group.
        from_group = [frame(code=b"\0\2", src=g, body=CAM_MAC + b"a;1;;;;t;admin;admin\0") for g in GROUPS]
        for data in (modify("a;1;;;;t;admin;admin", target=OTHER), modify("x", code=b"\0\4"),
                     frame(code=b"\0\2", body=CAM_MAC[:5]), *from_group):
            with self.subTest(frame=data.hex()):
                self.assertEqual(self.exchange(data), [])
                self.assertEqual(self.responder.take(), "")

    def test_overlong_fields_are_cut(self):
        text = "192.0.2.10;80;255.255.255.0;192.0.2.1;192.0.2.1;" + "T" * 300 + ";admin;admin"
        got = self.exchange(modify(text))
        self.assertEqual(len(got), 1)
        self.assertEqual(got[0][26], 1)
        self.assertEqual(store(self.cam, "SELECT title FROM device"), [("T" * 127,)])
        self.responder.take()
        self.exchange(modify(text.replace("T" * 300, "IPCAM")))
        self.responder.take()

    def test_request_weighed_whole_before_the_first_write(self):
        new = "192.0.2.20;8080;255.255.255.0;192.0.2.1;192.0.2.1;Lobby;"
        back = "192.0.2.10;80;255.255.255.0;192.0.2.1;192.0.2.1;IPCAM;"
        cases = [
            # (request, the store's writes in order)
            (new + "admin;nimda", []),
            (new + "admin;admin", ["db_set_port_http(8080)", 'db_set_device_title("Lobby")', "db_set_network"]),
            (back + "admin;admin", ["db_set_port_http(80)", 'db_set_device_title("IPCAM")', "db_set_network"]),
        ]
        for text, writes in cases:
            with self.subTest(text=text):
                self.cam.trace()
                self.exchange(modify(text))
                self.responder.take()
                calls = self.cam.trace()
                at = [i for i, c in enumerate(calls) if c.startswith("db_set_")]
                self.assertEqual([calls[i].split("({")[0] for i in at], writes)
                # One run of writes, the network record last: nothing is read
                # between them.
                self.assertEqual(at, list(range(at[0], at[0] + len(at))) if at else [])


class Announcement(ResponderTest):
    def test_first_announcement_at_29_seconds(self):
        timer = self.responder.thread_started("search_timer")
        self.raw.settimeout(60)  # a time limit, not an expectation
        while (got := self.raw.recv(2048))[:6] != BCAST or got[6:12] != CAM_MAC:
            pass
        arrived = float(Path("/proc/uptime").read_text().split()[0])
        self.assertEqual(mask_uptime(got, 20), expect_search(DEFAULTS, dst=BCAST))
        # On the camera's own clock: not before 29 s after its timer began,
        # and stamped by the camera (in whole seconds) in the 29th second.
        self.assertGreaterEqual(arrived, timer + 29)
        self.assertLessEqual(uptime_of(got), timer + 30)

    def test_shutdown_on_sigint_without_waiting_out_a_timer(self):
        # Runs last in this class (alphabetical order). The threads are woken
        # at once; a responder that waited out its 30 s announcement timer or
        # a capture that never broke would stay far above this bound, which
        # leaves a loaded machine room.
        elapsed = self.responder.interrupt()
        self.assertLess(elapsed, 8)
        self.assertEqual(self.responder.take(settle=0), "\nGet signal, signo = 2\n")
        self.assertEqual(self.responder.proc.returncode, 0)


def planet_modify(current="admin", fresh="", title=b"", addr=(192, 0, 2, 10), bad_sum=False,
                  target=CAM_MAC, size=98):
    def swap(s):
        return bytes(((b << 4) | (b >> 4)) & 0xFF for b in s.encode()).ljust(16, b"\0")[:16]
    body = (b"PLANETut\0\x90" + target + b"\0" * 4 + bytes(addr) + bytes([255, 255, 255, 0]) +
            bytes([192, 0, 2, 1]) + title.ljust(32, b"\0")[:32] + swap(current) + swap(fresh))
    s = checksum(body) ^ (1 if bad_sum else 0)
    return (body + struct.pack("<H", s))[:size]


def checksum(data):
    if len(data) % 2:
        data += b"\0"
    s = sum(struct.unpack(f"<{len(data) // 2}H", data))
    s = (s & 0xFFFF) + (s >> 16)
    s = (s & 0xFFFF) + (s >> 16)
    return ~s & 0xFFFF


DHCP = "dhcp:dhcpcd eth0 -t 30 -h 'ipcam' > /dev/null"


class Planet(ResponderTest):
    oem_index = 12
    mode = 1  # DHCP: the raw search shows eth0's live address, planet the stored one

    def send(self, data, wait=1.6):
        drain(self.udp)  # camfind's broadcast replies reach this socket too
        self.udp.settimeout(wait)
        self.udp.sendto(data, ("192.0.2.77", 62630))
        try:
            return self.udp.recv(2048)
        except socket.timeout:
            return None

    def test_search_shows_live_addresses_in_dhcp_mode(self):
        live = ["192.0.2.77", "80", "255.255.255.0", "192.0.2.1"] + DEFAULTS[4:11] + ["1"]
        self.assertEqual(self.camfind(), (listed(live), 0))

    def test_planet_requests(self):
        self.addCleanup(store, self.cam, "UPDATE network SET mode = 1 WHERE iface = 0")
        model = b"IPC-100".ljust(32, b"\0")
        info = (b"PLANETut\0\x70" + CAM_MAC + b"D000" + bytes([192, 0, 2, 10, 255, 255, 255, 0, 192, 0, 2, 1]) +
                model + b"1.0.0".ljust(16, b"\0") + model)
        info += struct.pack("<H", checksum(info))

        def result(text):
            r = b"PLANETut\0\x30" + CAM_MAC + text.ljust(32, b"\0")
            return r + struct.pack("<H", checksum(r))

        wait = ["-t", "2500"]  # the camera pauses a second after every datagram
        info_line = f"{CAM}\t192.0.2.10\t255.255.255.0\t192.0.2.1\tIPC-100\t1.0.0\teth0\t-\n"
        stored = (1, "192.0.2.10", "192.0.2.1"), "IPCAM", "admin"
        cases = [
            # (camfind argv or a raw datagram, (stdout, status) or the reply, the camera's
            #  stdout, stored (mode, ipaddr, dns1), title, admin password)
            (["planet", *wait], (info_line, 0), "", *stored),
            (b"PLANETut\0\x16\0", info, "", *stored),
            (b"PLANETut\0\x16", None, "", *stored),
            (b"PLANETuT\0\x16\0", None, "", *stored),
            (b"PLANETut\1\x16\0", None, "", *stored),
            (planet_modify(size=97), None, "", *stored),
            (planet_modify(target=OTHER), None, "", *stored),
            (["planet", "set", CAM, "--ip", "192.0.2.30", "-p", "wrong", *wait], (f"refused\t{CAM}\tFailed.\n", 1),
             "planet modify device.password:wrong is wrong. \n", *stored),
            (["planet", "set", CAM, "--ip", "192.0.2.30", "-p", "adm", *wait], (f"refused\t{CAM}\tFailed.\n", 1),
             "planet modify device.password:adm is wrong. \n", *stored),
            (["planet", "set", CAM, "--ip", "192.0.2.30", "--title", "Hall", "-p", "admin", *wait],
             (f"accepted\t{CAM}\tSuccessfully.\n", 0), "", (0, "192.0.2.30", "192.0.2.1"), "Hall", "admin"),
            # A bad sum is taken, and shown; CR and LF end the title.
            (planet_modify(title=b"Hall\r\n", addr=(192, 0, 2, 31), bad_sum=True), result(b"Successfully."),
             None, (0, "192.0.2.31", "192.0.2.1"), "Hall", "admin"),
            (["planet", "set", CAM, "--ip", "192.0.2.10", "--new-password", "0123456789abcdef", "-p", "admin", *wait],
             (f"accepted\t{CAM}\tSuccessfully.\n", 0), "", (0, "192.0.2.10", "192.0.2.1"), "Hall",
             "0123456789abcdef"),
            (["planet", "set", CAM, "--title", "IPCAM", "--new-password", "admin", "-p", "0123456789abcdef",
              *wait], (f"accepted\t{CAM}\tSuccessfully.\n", 0), "", (0, "192.0.2.10", "192.0.2.1"), "IPCAM",
             "admin"),
        ]
        for request, reply, stdout, net, title, password in cases:
            with self.subTest(request=request if isinstance(request, list) else request.hex()):
                if isinstance(request, list):
                    self.assertEqual(self.camfind(*request), reply)
                else:
                    self.assertEqual(self.send(request), reply)
                # The thread's one-second pause; the start's DHCP line has no line
                # feed and comes out with the first line after it.
                out = self.responder.take(settle=1.1).replace(DHCP, "")
                if stdout is not None:
                    self.assertEqual(out, stdout)
                else:
                    self.assertRegex(out, r"^planet modify device\.chk_sum:\d+!=\d+\. \n$")
                self.assertEqual(store(self.cam, "SELECT mode, ipaddr, dns1 FROM network WHERE iface = 0"), [net])
                self.assertEqual(store(self.cam, "SELECT title FROM device"), [(title,)])
                self.assertEqual(store(self.cam, "SELECT password FROM user WHERE name = 'admin'"), [(password,)])
        self.assertEqual(self.responder.take("err", 0), err("vd_search", "planet_socket_thread",
                                                               "planet modify failed.\n") * 2)

    @unittest.skipUnless(have_dhcp(), "needs dhcpcd and dnsmasq")
    def test_address_leased_by_dhcp(self):
        # The peer's server leased it; the camera's resolver, not the PC's, took the DNS server.
        leases = (self.cam.root / "dnsmasq.leases").read_text()
        self.assertRegex(leases, r"^\d+ 02:00:00:00:00:0a 192\.0\.2\.77 ipcam ")
        self.assertIn("nameserver 192.0.2.1\n", self.cam.run("cat", "/etc/resolv.conf").stdout)
        self.assertEqual(Path("/etc/resolv.conf").read_bytes(), self.pc_resolv)

    def test_garbage_does_not_hold_up_a_request(self):
        garbage = [b"", b"PLANETut", b"PLANETuT\0\x16\0", b"PLANETut\0\x70" + bytes(104), planet_modify(size=97),
                   planet_modify(target=OTHER)] * 5
        before = uptime_of(self.exchange(frame(pad=40))[0])
        drain(self.udp)
        for data in garbage + [b"PLANETut\0\x16\0"]:
            self.udp.sendto(data, ("192.0.2.77", 62630))
        self.udp.settimeout(60)  # a time limit, not an expectation
        while self.udp.recv(2048)[:10] != b"PLANETut\0\x70":
            pass
        after = uptime_of(self.exchange(frame(pad=40))[0])
        # Had each been followed by the second's pause, the camera's own clock
        # would have gone on by a second for each.
        self.assertLess(after - before, len(garbage))
        time.sleep(1.1)  # the pause after the request

    def test_one_datagram_a_second(self):
        for _ in range(3):
            self.udp.sendto(b"PLANETut\0\x16\0", ("192.0.2.77", 62630))
        times = []
        start = time.monotonic()
        self.udp.settimeout(5)
        for _ in range(3):
            self.udp.recv(2048)
            times.append(time.monotonic() - start)
        self.assertGreater(times[1] - times[0], 0.9)
        self.assertGreater(times[2] - times[1], 0.9)
        time.sleep(1.1)


@unittest.skipUnless(have_dhcp(), "needs dhcpcd and dnsmasq")
class DhcpClient(ResponderTest):
    """Static at start (192.0.2.10 on eth0), switched to DHCP by a request
    of user "1" (the user name's number is the mode)."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        store(cls.cam, "INSERT INTO user VALUES('1', 'one', 1, NULL)")
        cls.dhcp = DhcpServer(cls.cam)

    def client(self):
        """The id of the camera's DHCP client, from its pid file, while it
        runs; empty when none does."""
        script = "p=$(cat /run/dhcpcd/eth0.pid) && grep -qx dhcpcd /proc/$p/comm && echo $p"
        return self.cam.run("sh", "-c", script).stdout.strip()

    def test_kept_by_refused_requests_restarted_by_accepted_ones(self):
        static = "192.0.2.10;80;255.255.255.0;192.0.2.1;192.0.2.1;"
        leased = ["192.0.2.77", "80", "255.255.255.0", "192.0.2.1"] + DEFAULTS[4:8]
        cases = [
            # (title;user;password, result, title shown after, whether a new client runs)
            ("IPCAM;1;one", 1, "IPCAM", True),  # the switch: the lease, not the static address, is shown
            ("IPCAM;1;two", 0, "IPCAM", False),  # wrong passwords leave the client as it is
            ("IPCAM;admin;nimda", 0, "IPCAM", False),
            ("IPCAM;1;on", 0, "IPCAM", False),
            ("Hall;1;one", 1, "Hall", True),  # each restart waits for the old client to end
            ("Lobby;1;one", 1, "Lobby", True),
            ("IPCAM;1;one", 1, "IPCAM", True),
        ]
        before = self.client()
        for request, result, title, restarted in cases:
            with self.subTest(request=request):
                got = self.exchange(modify(static + request))
                self.assertEqual([r[26] for r in got], [result])
                now = self.client()
                self.assertNotEqual(now, "")
                self.assertEqual(now != before, restarted)
                before = now
                search = [mask_uptime(r, 20) for r in self.exchange(frame(pad=40))]
                self.assertEqual(search, [expect_search(leased + [title, "IPC-100", "UPTIME", "1"])])


@unittest.skipUnless(os.geteuid() == 0 and not (BUILD / "emu").is_dir(),
                     "needs root for network namespaces, and no emulator")
class Segment(unittest.TestCase):
    BASE = CAMS / "search-segment"

    def segment(self, *argv):
        return subprocess.run([str(CAMSIM), "--build", str(BUILD), "segment", *argv, "--base", str(self.BASE)],
                              capture_output=True, text=True, timeout=300, stdin=subprocess.DEVNULL)

    def settings(self):
        """Each camera's port, title and network records (camera I's root is BASE/camI)."""
        cams = [SegmentCamera(self.BASE / f"cam{i}") for i in (1, 2, 3)]
        return [(store(c, "SELECT http, title FROM port, device"),
                 store(c, "SELECT iface, mode, ipaddr, dns1 FROM network ORDER BY iface")) for c in cams]

    def test_zero_target_changes_no_camera(self):
        self.segment("down")
        self.addCleanup(self.segment, "down")
        up = self.segment("up", "3")
        self.assertEqual(up.returncode, 0, up.stderr)
        macs = [bytes.fromhex(f"0200000001{i:02x}") for i in (1, 2, 3)]
        before = self.settings()
        with netns(self.BASE / ".camsim-segment" / "peer"):
            raw = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(0x0809))
        self.addCleanup(raw.close)
        raw.bind(("eth0", 0))
        # A modify aimed at no camera, then a search: each camera answers in
        # order, so what it sent for the first comes before its search reply.
        raw.send(modify("192.0.2.200;8081;255.255.255.0;192.0.2.1;192.0.2.1;Owned;admin;admin", target=b"\0" * 6))
        raw.send(frame(pad=40))
        searched, modified = set(), []
        raw.settimeout(60)  # a time limit, not an expectation
        while searched != set(macs):
            got = raw.recv(2048)
            if got[6:12] in macs and got[18:20] == b"\0\1":
                searched.add(got[6:12])
            elif got[6:12] in macs and got[6:12] not in searched:
                modified.append(got)
        self.assertEqual(modified, [])
        self.assertEqual(self.settings(), before)


class SegmentCamera:
    """A camera of the segment, by its root."""

    def __init__(self, root):
        self.root = root

    def path(self, camera_path):
        return self.root / camera_path.lstrip("/")


if __name__ == "__main__":
    unittest.main()
