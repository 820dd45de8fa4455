"""`cmake --install` of a build tree (DEBUG_BUILD_DIR), staged with DESTDIR:
the camera component is `debug` alone, without rpath; on a PC build the
pcsim component is a simulated camera that runs from where it was put.

DEBUG_INSTALL_BINDIR and DEBUG_INSTALL_SIMDIR are the absolute directories
the build installs to; DEBUG_STANDINS the stand-in library files (PC only).
"""
import os
import shutil
import subprocess
import unittest
from pathlib import Path

from elf import Elf

BUILD = Path(os.environ["DEBUG_BUILD_DIR"])
BINDIR = os.environ["DEBUG_INSTALL_BINDIR"]
SIMDIR = os.environ.get("DEBUG_INSTALL_SIMDIR")
STANDINS = os.environ.get("DEBUG_STANDINS", "").split()
STAGE = BUILD / "install-test"


def install(name, *options):
    destdir = STAGE / name
    if destdir.exists():
        shutil.rmtree(destdir)
    subprocess.run(["cmake", "--install", str(BUILD), *options], check=True,
                   env=dict(os.environ, DESTDIR=str(destdir)), capture_output=True)
    return destdir


def staged(destdir, directory):
    return destdir / directory.lstrip("/")


def files_under(root):
    return sorted(str(p.relative_to(root)) for p in root.rglob("*") if not p.is_dir())


class CameraComponent(unittest.TestCase):
    def test_installs_debug_alone_without_rpath(self):
        destdir = install("camera")
        program = staged(destdir, BINDIR) / "debug"
        self.assertEqual(files_under(destdir), [str(program.relative_to(destdir))])
        self.assertTrue(os.access(program, os.X_OK))
        elf = Elf(program)
        self.assertIsNone(elf.dynamic_entry("RPATH"))
        self.assertIsNone(elf.dynamic_entry("RUNPATH"))


class FactoryComponent(unittest.TestCase):
    def test_installs_camfind_alone(self):
        destdir = install("factory", "--component", "factory")
        program = staged(destdir, BINDIR) / "camfind"
        self.assertEqual(files_under(destdir), [str(program.relative_to(destdir))])
        self.assertTrue(os.access(program, os.X_OK))


@unittest.skipUnless(SIMDIR, "the simulated camera installs from PC builds only")
class PcsimComponent(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.kit = staged(install("pcsim", "--component", "pcsim"), SIMDIR)

    def test_layout(self):
        files = files_under(self.kit)
        for name in ["bin/debug", "bin/mkdb", "sim/camsim", "libexec/camsim-run", "sim/camsim.d/root.sh",
                     "sim/root/opt/app/vddb.sql"] + \
                [f"lib/{lib}" for lib in STANDINS]:
            self.assertIn(name, files)
        # The component stays inside its own directory.
        self.assertEqual(len(files_under(STAGE / "pcsim")), len(files))

    def test_camera_runs_from_the_kit(self):
        root = STAGE / "pcsim-root"
        shutil.rmtree(root, ignore_errors=True)

        def debug(*args):
            cmd = [str(self.kit / "sim" / "camsim"), "--build", str(self.kit), "--root", str(root),
                   "--", "debug", *args]
            return subprocess.run(cmd, capture_output=True, text=True, timeout=60,
                                  stdin=subprocess.DEVNULL)

        r = debug("-M", "gpio", "-w", "5", "-d", "1")
        self.assertEqual((r.stdout, r.stderr, r.returncode), ("GPIO write id = 5, data = 1\n", "", 0))
        r = debug("-M", "gpio", "-r", "5")
        self.assertEqual((r.stdout, r.stderr, r.returncode),
                         ("===g_gpio_cfg(0,5)=======\nGPIO read id = 5, data = 1\n", "", 0))


if __name__ == "__main__":
    unittest.main()
