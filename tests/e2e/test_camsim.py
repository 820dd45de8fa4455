"""camsim: making a camera root, a camera kept up, the template's paths and the trace."""
import os
import re
import shutil
import socket
import subprocess
import unittest
import uuid
from pathlib import Path

from camtest import BUILD, CAMSIM, EXIT_CALLS

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
    d = BUILD / "cam" / name
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


@unittest.skipUnless(AS_ROOT, "needs root for network namespaces")
class CameraOnANetwork(unittest.TestCase):
    def test_up_net_peer_down(self):
        root = fresh_parent("camsim-net") / "cam"
        self.addCleanup(camsim, root, "down")
        pc_links = subprocess.run(["ip", "-o", "link"], capture_output=True, text=True, timeout=60).stdout
        pc_netns = subprocess.run(["ip", "netns", "list"], capture_output=True, text=True, timeout=60).stdout
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
             "02:00:00:00:00:0b\neth0 lo \ndhcpcd: no process found\nbash ps sh sleep ", 0),
            (["peer", "--", "sh", "-c", "cat /sys/class/net/eth0/address; ip -o -4 addr show eth0 | "
              "awk '{print $4}'"], "02:00:00:00:00:01\n192.0.2.1/24\n", 0),
            (["down"], "", 0),
            (["status"], f"{root}: down\n", 1),
            (["peer", "--", "true"], "", 125),
        ]
        for args, stdout, status in cases:
            with self.subTest(args=args):
                r = camsim(root, *args)
                self.assertEqual((r.stdout, r.returncode), (stdout, status))
        self.assertIsNone(victim.poll())
        self.assertEqual(subprocess.run(["ip", "-o", "link"], capture_output=True, text=True, timeout=60).stdout,
                         pc_links)
        self.assertEqual(subprocess.run(["ip", "netns", "list"], capture_output=True, text=True,
                                        timeout=60).stdout, pc_netns)
        self.assertIsNone(re.search(re.escape(str(root)), Path("/proc/self/mountinfo").read_text()))


SEARCH_ALL = """
import socket, sys, time
raw = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(0x0809))
raw.bind(("eth0", 0))
seen, end = {}, time.monotonic() + 20
while len(seen) < 3 and time.monotonic() < end:
    raw.send(b"\\xff" * 6 + bytes.fromhex("020000000001080920120610") + b"\\0" * 42)
    raw.settimeout(0.5)
    try:
        while True:
            f = raw.recv(2048)
            if f[18:20] == b"\\0\\1":
                seen[f[6:12].hex(":")] = f[20:].split(b";")[0].decode()
    except socket.timeout:
        pass
print(" ".join(f"{m}={a}" for m, a in sorted(seen.items())))
"""


# The segment's responders capture on their links, which the emulator cannot open.
@unittest.skipUnless(AS_ROOT and not (BUILD / "emu").is_dir(), "needs root, and no emulator")
class Segment(unittest.TestCase):
    def test_cameras_on_one_bridge(self):
        base = fresh_parent("camsim-segment")
        seg = [str(CAMSIM), "--build", str(BUILD), "segment"]
        self.addCleanup(subprocess.run, seg + ["down", "--base", str(base)], timeout=120)
        pc_links = subprocess.run(["ip", "-o", "link"], capture_output=True, text=True, timeout=60).stdout
        listed = " ".join(f"02:00:00:00:01:0{i}=192.0.2.1{i}" for i in (1, 2, 3)) + "\n"
        cases = [
            # (segment arguments, stdout, status)
            (["up", "0"], "", 125),
            (["up", "245"], "", 125),
            (["up", "3"], "", 0),
            (["up", "3"], "", 125),  # already up
            (["status"], f"{base}: up (3 cameras)\n", 0),
            (["peer", "--", "python3", "-c", SEARCH_ALL], listed, 0),
            (["down"], "", 0),
            (["status"], f"{base}: down\n", 1),
        ]
        for args, stdout, status in cases:
            with self.subTest(args=args):
                where = ["--base", str(base)]
                argv = seg + (args[:1] + where + args[1:] if args[0] == "peer" else args + where)
                r = subprocess.run(argv, capture_output=True,
                                   text=True, timeout=120, stdin=subprocess.DEVNULL)
                self.assertEqual((r.stdout, r.returncode), (stdout, status))
        self.assertEqual(subprocess.run(["ip", "-o", "link"], capture_output=True, text=True, timeout=60).stdout,
                         pc_links)
        self.assertIsNone(re.search(re.escape(str(base)), Path("/proc/self/mountinfo").read_text()))


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
