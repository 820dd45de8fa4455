"""camsim: making a camera root, a camera kept up, the template's paths and the trace."""
import os
import re
import shutil
import subprocess
import unittest
import uuid
from pathlib import Path

from camtest import BUILD, CAMSIM

AS_ROOT = os.geteuid() == 0
GPIO_READ_1 = "===g_gpio_cfg(0,1)=======\nGPIO read id = 1, data = 0\n"
GPIO_TRACE = "gpio_write(3, 1)\ngpio_close()\ngpio_close()\n"


def camsim_cmd(root, *args):
    return [str(CAMSIM), "--build", str(BUILD), "--root", str(root), *args]


def camsim(root, *args, env=None, cwd=None):
    base = {k: v for k, v in os.environ.items() if k != "VDSIM_TRACE"}
    return subprocess.run(camsim_cmd(root, *args), capture_output=True, text=True, timeout=60,
                          env=dict(base, **(env or {})), cwd=cwd, stdin=subprocess.DEVNULL)


def fresh_dir(name):
    d = BUILD / "cam" / name
    shutil.rmtree(d, ignore_errors=True)
    d.mkdir(parents=True)
    return d


def pc_mounts_of(root):
    lines = Path("/proc/self/mountinfo").read_text().splitlines()
    return [l for l in lines if str(root) in l or re.search(r" - \S+ camsim(-stage)? ", l)]


class RootCreation(unittest.TestCase):
    def test_parallel_first_use_makes_one_root(self):
        parent = fresh_dir("camsim-parallel")
        root = parent / "cam"
        root.mkdir()
        procs = [subprocess.Popen(camsim_cmd(root, "--", "debug", "-M", "gpio", "-r", "1"),
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
                 for _ in range(8)]
        for p in procs:
            out, errs = p.communicate(timeout=120)
            self.assertEqual((out, errs, p.returncode), (GPIO_READ_1, "", 0))
        self.assertEqual(os.listdir(parent), ["cam"])

    def test_interrupted_or_half_made_roots(self):
        def killed_building(parent):
            (parent / "cam").mkdir()
            (parent / ".cam.camsim-new.999" / "mnt").mkdir(parents=True)

        def killed_swapping(parent):
            (parent / ".cam.camsim-old.998" / "mnt").mkdir(parents=True)
            (parent / ".cam.camsim-new.999" / "opt").mkdir(parents=True)

        def half_made_in_place(parent):
            (parent / "cam" / "mnt" / "nand").mkdir(parents=True)
            (parent / "cam" / "opt" / "app").mkdir(parents=True)
            (parent / "cam" / "opt" / "app" / "vddb.db").write_text("partial")

        def not_a_camera(parent):
            (parent / "cam" / "tmp").mkdir(parents=True)
            (parent / "cam" / "mine.txt").write_text("keep")

        refuse = "camsim: {} is not empty and not a camera root (if a half-made one, --fresh makes it again)\n"
        cases = [
            # (state a kill or a user left, camsim options, status, stderr)
            (killed_building, [], 0, ""),
            (killed_building, ["--fresh"], 0, ""),
            (killed_swapping, [], 0, ""),
            (killed_swapping, ["--fresh"], 0, ""),
            (half_made_in_place, [], 125, refuse),
            (half_made_in_place, ["--fresh"], 0, ""),
            (not_a_camera, [], 125, refuse),
            (not_a_camera, ["--fresh"], 125, "camsim: {} is not a camera root; refusing to empty it\n"),
        ]
        for make, options, status, stderr in cases:
            with self.subTest(state=make.__name__, options=options):
                parent = fresh_dir("camsim-half")
                root = parent / "cam"
                make(parent)
                r = camsim(root, *options, "--", "debug", "-M", "gpio", "-r", "1")
                self.assertEqual((r.stderr, r.returncode), (stderr.format(root), status))
                if status == 0:
                    self.assertEqual(r.stdout, GPIO_READ_1)
                    self.assertNotEqual((root / "opt/app/vddb.db").read_bytes(), b"partial")
                    self.assertEqual(os.listdir(parent), ["cam"])
                elif make is not_a_camera:
                    self.assertEqual((root / "mine.txt").read_text(), "keep")


@unittest.skipUnless(AS_ROOT, "pinning a camera's namespaces needs root")
class KeptUp(unittest.TestCase):
    def test_up_shares_ipc_until_down(self):
        root = fresh_dir("camsim-up") / "cam"
        self.addCleanup(camsim, root, "down")
        self.assertEqual(camsim(root, "up").returncode, 0)
        r = camsim(root, "status")
        self.assertEqual((r.stdout, r.returncode), (f"{root}: up (ipc)\n", 0))
        # Two runs at once: one makes a semaphore set and stays, the other sees it.
        with subprocess.Popen(camsim_cmd(root, "--", "sh", "-c", "ipcmk -S 1 | tr -cd 0-9; echo; read x"),
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True) as holder:
            semid = holder.stdout.readline().strip()
            self.assertTrue(semid.isdigit())
            self.assertIn(f"semid={semid}", camsim(root, "--", "ipcs", "-s", "-i", semid).stdout)
            # As does debug's log semaphore: made by the first run, the same set in the next.
            sets = [camsim(root, "--", "sh", "-c", "debug -M nosuch; ipcs -s | grep ' 666 '").stdout
                    for _ in range(2)]
            self.assertEqual(sets[0], sets[1])
            self.assertEqual(len(sets[0].splitlines()), 1)
            holder.stdin.close()
        r = camsim(root, "--fresh", "--", "true")
        self.assertEqual((r.stderr, r.returncode),
                         (f"camsim: the camera at {root} is up; take it down first (camsim down)\n", 125))

        self.assertEqual(camsim(root, "down").returncode, 0)
        r = camsim(root, "status")
        self.assertEqual((r.stdout, r.returncode), (f"{root}: down\n", 1))
        self.assertNotIn(f"semid={semid}", camsim(root, "--", "ipcs", "-s", "-i", semid).stdout)
        self.assertFalse((root / ".camsim-ns").exists())
        self.assertEqual(pc_mounts_of(root), [])


class NothingOnThePC(unittest.TestCase):
    def test_runs_leave_nothing_on_the_pc(self):
        tag = "camsim-" + uuid.uuid4().hex
        root = fresh_dir("camsim-pc") / "cam"
        script = f"""
            set -e
            touch /tmp/{tag} /mnt/{tag} /opt/{tag}
            ipcmk -M 7919 >/dev/null
            ipcs -m | grep -c ' 7919 '
        """
        modes = [[]] + ([["up"]] if AS_ROOT else [])
        for mode in modes:
            with self.subTest(mode=mode):
                if mode:
                    self.assertEqual(camsim(root, *mode).returncode, 0)
                r = camsim(root, "--", "sh", "-c", script)
                self.assertEqual((r.stdout, r.stderr, r.returncode), ("1\n", "", 0))
                if mode:
                    self.assertEqual(camsim(root, "down").returncode, 0)
                for d in ("/tmp", "/mnt", "/opt"):
                    self.assertFalse(Path(d, tag).exists())
                self.assertNotIn(" 7919 ", subprocess.run(["ipcs", "-m"], capture_output=True,
                                                          text=True, timeout=60).stdout)
                self.assertEqual(pc_mounts_of(root), [])
                self.assertTrue((root / "tmp" / tag).exists())


class TemplatePaths(unittest.TestCase):
    def test_root_sys_dev_proc_stand_over_the_pc(self):
        root = fresh_dir("camsim-paths") / "cam"
        camsim(root, "--", "true")
        added = {
            # Missing on a PC: made in a layer over the nearest existing parent.
            "/dev/i2c-2": "eeprom\n",
            "/dev/camsim-test/sub/x": "deep\n",
            # Present on every PC: stood over the PC's own.
            "/proc/version": "Linux camera\n",
        }
        for path, text in added.items():
            (root / path[1:]).parent.mkdir(parents=True, exist_ok=True)
            (root / path[1:]).write_text(text)
        iio = "/sys/bus/iio/devices/iio:device0/in_voltage0_raw"
        expected = dict(added, **{iio: (root / iio[1:]).read_text()})
        # procfs takes no new names: a file the PC's /proc lacks stays out.
        mtd = (root / "proc/mtd").read_text() if Path("/proc/mtd").exists() else "absent\n"
        script = """
            for f in "$@"; do cat "$f"; done
            cat /proc/mtd 2>/dev/null || echo absent
            echo written > /dev/i2c-2
            echo gone > /dev/null && readlink /proc/self | grep -qx '[0-9]*' && echo self ok
            ls -A /sys/bus /dev /dev/pts
        """
        r = camsim(root, "--", "sh", "-c", script, "sh", *expected)
        self.assertEqual(r.stderr, "")
        head = "".join(expected.values()) + mtd + "self ok\n"
        self.assertEqual(r.stdout[:len(head)], head)
        self.assertEqual((root / "dev/i2c-2").read_text(), "written\n")
        self.assertFalse(Path("/dev/camsim-test").exists())
        # The PC's other entries stay visible.
        listing = dict(part.split(":\n", 1) for part in r.stdout[len(head):].split("\n\n"))
        bus, dev = set(listing["/sys/bus"].split()), set(listing["/dev"].split())
        self.assertLessEqual(set(os.listdir("/sys/bus")), bus)
        self.assertLessEqual(set(os.listdir("/dev")) - {"camsim-test"}, dev)
        self.assertLessEqual({"iio", "camsim-test", "i2c-2", "null", "pts"}, bus | dev)
        self.assertIn("ptmx", listing["/dev/pts"].split())


class Trace(unittest.TestCase):
    def test_trace_lands_on_the_pc(self):
        root = fresh_dir("camsim-trace") / "cam"
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
                if pc_path:
                    self.addCleanup(Path(pc_path).unlink, missing_ok=True)
                r = camsim(root, "--", "debug", "-M", "gpio", "-w", "3", "-d", "1",
                           env={"VDSIM_TRACE": trace}, cwd=cwd)
                self.assertEqual((r.stderr, r.returncode), (stderr, status))
                if pc_path:
                    self.assertEqual(Path(pc_path).read_text(), GPIO_TRACE)
        self.assertEqual(list((root / "tmp").glob(f"**/{tag}*")), [])


if __name__ == "__main__":
    unittest.main()
