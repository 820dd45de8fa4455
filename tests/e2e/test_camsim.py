"""camsim: making a camera root, a camera kept up, the template's paths and the trace."""
import ctypes
import os
import re
import select
import shutil
import signal
import socket
import subprocess
import time
import unittest
import uuid
from pathlib import Path

from camnet import CLONE_NEWNET
from camtest import BUILD, CAMS, CAMSIM, EXIT_CALLS

AS_ROOT = os.geteuid() == 0
READ_1 = ["debug", "-M", "gpio", "-r", "1"]
READ_1_OUT = b"===g_gpio_cfg(0,1)=======\nGPIO read id = 1, data = 0\n"


def cmd(root, *args):
    return [str(CAMSIM), "--build", str(BUILD), "--root", str(root), *args]


def camsim(root, *args, env=None, cwd=None):
    base = {k: v for k, v in os.environ.items() if k != "VDSIM_TRACE"}
    return subprocess.run(cmd(root, *args), capture_output=True, text=True, timeout=60,
                          env=dict(base, **(env or {})), cwd=cwd, stdin=subprocess.DEVNULL)


def fresh_parent(name):
    d = CAMS / name
    # A camera left up by an interrupted run goes down before its root goes.
    if (d / "cam" / ".camsim-ns").exists():
        camsim(d / "cam", "down")
    shutil.rmtree(d, ignore_errors=True)
    d.mkdir(parents=True)
    return d


class RootCreation(unittest.TestCase):
    def test_parallel_first_use_makes_one_root(self):
        parent = fresh_parent("camsim-parallel")
        (parent / "cam").mkdir()
        procs = [subprocess.Popen(cmd(parent / "cam", "--", *READ_1), stdout=subprocess.PIPE) for _ in range(8)]
        self.assertEqual([(p.communicate(timeout=120)[0], p.returncode) for p in procs], [(READ_1_OUT, 0)] * 8)
        self.assertEqual(os.listdir(parent), ["cam"])

    def test_interrupted_or_half_made_roots(self):
        refuse = "camsim: {} is not empty and not a camera root (if a half-made one, --fresh makes it again)\n"
        killed = ["cam/", ".cam.camsim-new.9/mnt/", ".cam.camsim-old.8/opt/"]
        half_made = ["cam/mnt/nand/", "cam/opt/app/vddb.db"]
        not_a_camera = ["cam/tmp/", "cam/mine.txt"]
        cases = [
            # (what a kill or a user left, camsim options, status, stderr)
            (killed, [], 0, ""),
            (killed, ["--fresh"], 0, ""),
            (half_made, [], 125, refuse),
            (half_made, ["--fresh"], 0, ""),
            (not_a_camera, ["--fresh"], 125, "camsim: {} is not a camera root; refusing to empty it\n"),
        ]
        for left, options, status, stderr in cases:
            with self.subTest(left=left, options=options):
                parent = fresh_parent("camsim-half")
                for p in left:
                    os.makedirs(parent / p if p.endswith("/") else (parent / p).parent, exist_ok=True)
                    if not p.endswith("/"):
                        (parent / p).write_text("left")
                r = camsim(parent / "cam", *options, "--", *READ_1)
                self.assertEqual((r.stderr, r.returncode), (stderr.format(parent / "cam"), status))
                if status == 0:
                    self.assertEqual(os.listdir(parent), ["cam"])
                else:
                    self.assertEqual((parent / left[1]).read_text(), "left")


class CameraOnThePC(unittest.TestCase):
    def test_kept_up_or_not_nothing_reaches_the_pc(self):
        tag = "camsim-" + uuid.uuid4().hex
        root = fresh_parent("camsim-up") / "cam"
        self.addCleanup(camsim, root, "down")
        pc_host = socket.gethostname()
        pc_ipc = subprocess.run(["ipcs"], capture_output=True, text=True, timeout=60).stdout
        make = f"touch /tmp/{tag} /mnt/{tag} /opt/{tag} && ipcmk -S 1 | tr -cd 0-9; echo; read x"
        for up in [False] + [True] * AS_ROOT:
            with self.subTest(up=up):
                if up:
                    self.assertEqual(camsim(root, "up").returncode, 0)
                r = camsim(root, "status")
                self.assertEqual((r.stdout, r.returncode), (f"{root}: {'up (ipc)' if up else 'down'}\n", 1 - up))
                # Two runs at once: one makes a semaphore set and stays; the
                # other sees it only in a camera that is up.
                with subprocess.Popen(cmd(root, "--", "sh", "-c", make), text=True,
                                      stdin=subprocess.PIPE, stdout=subprocess.PIPE) as holder:
                    semid = holder.stdout.readline().strip()
                    seen = f"semid={semid}" in camsim(root, "--", "ipcs", "-s", "-i", semid).stdout
                    holder.stdin.close()
                self.assertEqual(seen, up)
                # Off the network: loopback alone, and a host name of its own.
                r = camsim(root, "--", "sh", "-c", "hostname camsim-cam && ip -o link | cut -d' ' -f2")
                self.assertEqual((r.stdout, r.returncode), ("lo:\n", 0))
                self.assertEqual(socket.gethostname(), pc_host)
                if up:
                    r = camsim(root, "--fresh", "--", "true")
                    self.assertEqual((r.stderr, r.returncode), (
                        f"camsim: the camera at {root} is up; take it down first (camsim down)\n", 125))
                    self.assertEqual(camsim(root, "down").returncode, 0)
                    self.assertNotIn(f"semid={semid}", camsim(root, "--", "ipcs", "-s", "-i", semid).stdout)
                self.assertFalse((root / ".camsim-ns").exists())
                self.assertEqual([d for d in ("/tmp", "/mnt", "/opt") if Path(d, tag).exists()], [])
                self.assertTrue((root / "tmp" / tag).exists())
                self.assertEqual(subprocess.run(["ipcs"], capture_output=True, text=True, timeout=60).stdout, pc_ipc)
                mounts = Path("/proc/self/mountinfo").read_text()
                self.assertIsNone(re.search(rf"{re.escape(str(root))}| - \S+ camsim(-stage)? ", mounts))


def pc_links_of(macs):
    """The PC's own links with one of these MACs: a camera's or a peer's end
    made in the PC's namespace instead of its own."""
    links = subprocess.run(["ip", "-o", "link"], capture_output=True, text=True, timeout=60).stdout
    return [line for line in links.splitlines() if any(f"link/ether {m} " in line for m in macs)]


@unittest.skipUnless(AS_ROOT, "needs root for network namespaces")
class CameraOnANetwork(unittest.TestCase):
    def test_up_net_peer_down(self):
        root = fresh_parent("camsim-net") / "cam"
        self.addCleanup(camsim, root, "down")
        macs = ["02:00:00:00:00:0b", "02:00:00:00:00:01"]
        # A PC process that the camera's killall must not reach.
        fake = root.parent / "dhcpcd"
        shutil.copy("/bin/sleep", fake)
        victim = subprocess.Popen([str(fake), "60"])
        self.addCleanup(victim.wait, timeout=10)
        self.addCleanup(victim.kill)
        cases = [
            # (camsim arguments, stdout, status)
            (["up", "--net", "--mac", "02:00:00:00:00:0B"], "", 0),
            (["up", "--net", "--mac", "03:00:00:00:00:0b"], "", 125),  # multicast
            (["up", "--net", "--mac", "02:00:00:00:00:0c"], "", 125),  # up with another
            (["status"], f"{root}: up (ipc net uts pid peer)\n"
                         f"{root}: eth0 02:00:00:00:00:0b no address, peer eth0 192.0.2.1/24\n", 0),
            (["--", "sh", "-c", "cat /sys/class/net/eth0/address; ls /sys/class/net | tr '\\n' ' '; echo; "
              "killall -9 dhcpcd 2>&1; ps -e -o comm= > /tmp/ps; sort /tmp/ps | tr '\\n' ' '"],
             "02:00:00:00:00:0b\neth0 lo \ndhcpcd: no process found\nps sh sh sleep ", 0),
            # Pinned in the root, never named among the PC's `ip netns`.
            (["peer", "--", "sh", "-c", "cat /sys/class/net/eth0/address; ip -o -4 addr show eth0 | "
              "awk '{print $4}'; ip netns identify $$"], "02:00:00:00:00:01\n192.0.2.1/24\n\n", 0),
            (["down"], "", 0),
            (["status"], f"{root}: down\n", 1),
            (["peer", "--", "true"], "", 125),
        ]
        for args, stdout, status in cases:
            with self.subTest(args=args):
                r = camsim(root, *args)
                self.assertEqual((r.stdout, r.returncode), (stdout, status))
                if args[0] == "status" and status == 0:
                    reaper = (root / ".camsim-ns" / "init").read_text().strip()
                    named = subprocess.run(["ip", "netns", "identify", reaper], capture_output=True, text=True,
                                           timeout=60)
                    self.assertEqual((named.stdout, named.returncode), ("\n", 0))
                    self.assertEqual(pc_links_of(macs), [])
        self.assertIsNone(victim.poll())
        self.assertEqual(pc_links_of(macs), [])
        self.assertIsNone(re.search(re.escape(str(root)), Path("/proc/self/mountinfo").read_text()))


def bridge_socket(base):
    """A raw socket for discovery frames on the segment's bridge, the eth0 of
    its peer namespace (entered by this thread alone, for the socket's sake)."""
    own = os.open("/proc/thread-self/ns/net", os.O_RDONLY)
    peer = os.open(base / ".camsim-segment" / "peer", os.O_RDONLY)
    try:
        if ctypes.CDLL(None, use_errno=True).setns(peer, CLONE_NEWNET) != 0:
            raise OSError(ctypes.get_errno(), "setns")
        raw = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(0x0809))
        raw.bind(("eth0", 0))
        return raw
    finally:
        ctypes.CDLL(None, use_errno=True).setns(own, CLONE_NEWNET)
        os.close(own)
        os.close(peer)


def search_once(raw, n):
    """One search request and the replies to it, "MAC=address" sorted: a
    camera that was not listening when it went out misses it for good."""
    raw.setblocking(False)
    try:
        while raw.recv(2048):
            pass
    except BlockingIOError:
        pass
    raw.send(b"\xff" * 6 + bytes.fromhex("020000000001080920120610") + b"\0" * 42)
    seen, end = {}, time.monotonic() + 10
    while len(seen) < n and (left := end - time.monotonic()) > 0:
        raw.settimeout(left)
        try:
            f = raw.recv(2048)
        except socket.timeout:
            break
        if f[18:20] == b"\0\1":
            seen[f[6:12].hex(":")] = f[20:].split(b";")[0].decode()
    return " ".join(f"{m}={a}" for m, a in sorted(seen.items()))


SEG = [str(CAMSIM), "--build", str(BUILD), "segment"]


def segment(base, verb, *args, **kw):
    return subprocess.run(SEG + [verb, "--base", str(base), *args], capture_output=True, text=True,
                          timeout=kw.get("timeout", 120), stdin=subprocess.DEVNULL)


def listed_under(base):
    r = subprocess.run([str(CAMSIM), "--build", str(BUILD), "list"], capture_output=True, text=True, timeout=60)
    return "".join(line + "\n" for line in r.stdout.splitlines() if line.startswith((f"{base} ", f"{base}/")))


def processes_naming(base):
    """Processes on the PC whose command line names something under BASE."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            if re.search(rb"%s[/\0]" % re.escape(bytes(base)), Path(f"/proc/{pid}/cmdline").read_bytes()):
                found.append(pid)
        except OSError:
            pass
    return found


def progress(stderr, n):
    """The counts in segment up's progress lines ("K/N cameras up")."""
    return [int(m[1]) for m in re.finditer(rf"^(\d+)/{n} cameras up$", stderr, re.M)], len(stderr.splitlines())


# The segment's responders capture on their links, which the emulator cannot open.
@unittest.skipUnless(AS_ROOT and not (BUILD / "emu").is_dir(), "needs root, and no emulator")
class Segment(unittest.TestCase):
    MACS = ["02:00:00:00:00:01"] + [f"02:00:00:00:01:{i:02x}" for i in range(1, 6)]

    def test_cameras_on_one_bridge(self):
        base = fresh_parent("camsim-segment")
        self.addCleanup(segment, base, "down")
        cams = [f"{base}/cam{i}" for i in (1, 2, 3)]
        macs = [f"02:00:00:00:01:0{i}" for i in (1, 2, 3)]
        status = f"{base}: up (3 cameras)\n" + "".join(
            f"{c} {m} 192.0.2.1{i} responder alive\n" for i, c, m in zip((1, 2, 3), cams, macs))
        cases = [
            # (segment arguments, stdout, stderr, status)
            (["up", "0"], "", "camsim: segment up: 0 is not a number of cameras from 1 to 244\n", 125),
            (["up", "245"], "", "camsim: segment up: 245 is not a number of cameras from 1 to 244\n", 125),
            (["up", "3"], "", None, 0),
            (["up", "3"], "", f"camsim: a segment is up at {base}; take it down first (camsim segment down)\n",
             125),
            (["status"], status, "", 0),
            (["list"], f"{base} (segment, 3 cameras)\n" + "".join(f"{c} (ipc net uts pid peer)\n" for c in cams),
             "", 0),
            (["down"], "", "", 0),
            (["status"], f"{base}: down\n", "", 1),
            (["list"], "", "", 0),
        ]
        for args, stdout, stderr, code in cases:
            with self.subTest(args=args):
                if args == ["list"]:
                    self.assertEqual(listed_under(base), stdout)
                elif stderr is not None:
                    r = segment(base, *args)
                    self.assertEqual((r.stdout, r.stderr, r.returncode), (stdout, stderr, code))
                else:
                    # Every camera listens when up returns: the one request
                    # sent at once gets three replies.
                    with subprocess.Popen(SEG + [*args, "--base", str(base)], stdin=subprocess.DEVNULL,
                                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True) as up:
                        ready, _, _ = select.select([up.stderr], [], [], 120)
                        first = up.stderr.readline() if ready else ""
                        with bridge_socket(base) as raw:
                            out, err = up.communicate(timeout=120)
                            heard = search_once(raw, 3)
                    self.assertEqual((out, up.returncode), (stdout, code))
                    self.assertEqual(heard, " ".join(f"{m}=192.0.2.1{i}" for i, m in zip((1, 2, 3), macs)))
                    # A line at each change, from none to all of them answering.
                    counts, lines = progress(first + err, 3)
                    self.assertEqual((counts[0], counts[-1], sorted(set(counts)) == counts, len(counts)),
                                     (0, 3, True, lines))
        self.assertEqual(pc_links_of(self.MACS), [])
        self.assertIsNone(re.search(rf"{re.escape(str(base))}[/ ]", Path("/proc/self/mountinfo").read_text()))

    def test_status_tells_a_gone_responder(self):
        base = fresh_parent("camsim-gone")
        self.addCleanup(segment, base, "down")
        self.assertEqual(segment(base, "up", "2").returncode, 0)
        killed = camsim(Path(base, "cam2"), "--", "killall", "debug")
        self.assertEqual((killed.stdout, killed.stderr, killed.returncode), ("", "", 0))
        want = (f"{base}: up (2 cameras)\n{base}/cam1 02:00:00:00:01:01 192.0.2.11 responder alive\n"
                f"{base}/cam2 02:00:00:00:01:02 192.0.2.12 responder gone\n")
        deadline = time.monotonic() + 60
        while (r := segment(base, "status")).stdout != want and time.monotonic() < deadline:
            time.sleep(0.1)
        self.assertEqual((r.stdout, r.returncode), (want, 0))

    def test_ctrl_c_takes_the_cameras_down(self):
        base = fresh_parent("camsim-ctrl-c")
        self.addCleanup(segment, base, "down")
        with subprocess.Popen(SEG + ["up", "5", "--base", str(base)], stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True) as up:
            # The first line comes once all five are made, a search window
            # at least before any of them can count as up.
            ready, _, _ = select.select([up.stderr], [], [], 120)
            first = up.stderr.readline() if ready else ""
            up.send_signal(signal.SIGINT)
            out, err = up.communicate(timeout=120)
        self.assertEqual((first, out, up.returncode), ("0/5 cameras up\n", "", 130))
        r = segment(base, "status")
        self.assertEqual((r.stdout, r.returncode), (f"{base}: down\n", 1))
        self.assertEqual(listed_under(base), "")
        self.assertIsNone(re.search(rf"{re.escape(str(base))}[/ ]", Path("/proc/self/mountinfo").read_text()))
        self.assertEqual(pc_links_of(self.MACS), [])
        # The responders end with their cameras' namespaces (their launchers a moment later).
        deadline = time.monotonic() + 60
        while processes_naming(base) and time.monotonic() < deadline:
            time.sleep(0.1)
        self.assertEqual(processes_naming(base), [])


class TemplatePaths(unittest.TestCase):
    def test_root_sys_dev_proc_stand_over_the_pc(self):
        root = fresh_parent("camsim-paths") / "cam"
        camsim(root, "--", "true")
        # Missing on a PC, so made in a layer over the nearest parent; or present.
        for path, text in [("dev/camsim-plain", "serial\n"), ("dev/camsim-test/x", "deep\n"), ("proc/version", "cam\n")]:
            os.makedirs((root / path).parent, exist_ok=True)
            (root / path).write_text(text)
        shown = ["/dev/camsim-plain", "/dev/camsim-test/x", "/proc/version", "/sys/bus/iio/devices/iio:device0/in_voltage0_raw"]
        # procfs takes no new names, but the device shim shows the camera's
        # programs the root's /proc/mtd; in a cross build it reaches only the
        # emulated camera programs, not the PC's cat.
        mtd = "absent\n" if (BUILD / "emu").exists() else (root / "proc/mtd").read_text()
        want = "".join((root / f[1:]).read_text() for f in shown) + mtd
        # The PC's other entries stay visible and usable.
        pc = [f"/sys/bus/{n}" for n in os.listdir("/sys/bus")] + [f"/dev/{n}" for n in os.listdir("/dev")]
        script = """
            cat "$@" 2>&1; cat /proc/mtd 2>/dev/null || echo absent
            for f in $PC; do [ -e "$f" ] || echo "lost $f"; done
            echo written > /dev/camsim-plain; echo gone > /dev/null; readlink /proc/self | grep -x '[0-9]*' | wc -l
        """
        r = camsim(root, "--", "sh", "-c", script, "sh", *shown, env={"PC": " ".join(pc)})
        self.assertEqual((r.stdout, r.stderr), (want + "1\n", ""))
        self.assertEqual((root / "dev/camsim-plain").read_text(), "written\n")
        self.assertFalse(Path("/dev/camsim-test").exists())


class Trace(unittest.TestCase):
    def test_trace_lands_on_the_pc(self):
        root = fresh_parent("camsim-trace") / "cam"
        tag = "camsim-" + uuid.uuid4().hex
        cases = [
            # (VDSIM_TRACE, caller's directory, where it lands on the PC, status, stderr)
            (f"/tmp/{tag}.abs.log", BUILD, f"/tmp/{tag}.abs.log", 0, ""),
            # In the caller's /tmp, not the camera's.
            (f"{tag}.rel.log", "/tmp", f"/tmp/{tag}.rel.log", 0, ""),
            (f"nodir/{tag}.log", BUILD, None, 125, f"camsim: VDSIM_TRACE: no directory {BUILD}/nodir on the PC\n"),
        ]
        for trace, cwd, pc_path, status, stderr in cases:
            with self.subTest(trace=trace):
                self.addCleanup(Path(pc_path or "/nonexistent").unlink, missing_ok=True)
                r = camsim(root, "--", "debug", "-M", "gpio", "-w", "3", env={"VDSIM_TRACE": trace}, cwd=cwd)
                self.assertEqual((r.stderr, r.returncode), (stderr, status))
                if pc_path:
                    self.assertEqual(Path(pc_path).read_text(), "gpio_write(3, 0)\ngpio_close()\n" + "".join(c + "\n" for c in EXIT_CALLS))
        self.assertEqual(list((root / "tmp").glob(f"**/{tag}*")), [])


if __name__ == "__main__":
    unittest.main()
