"""Runs the built `debug` inside a simulated camera and reads back what it did.

DEBUG_BUILD_DIR names the build tree (default build/default). DEBUG_RUN, if
set, is the command line that stands for `debug` (for example under an
emulator or valgrind). DEBUG_CAMERAS names the folder of the tests' camera
roots (default BUILD/cam), so that two runs on one build tree never share
a camera.
"""
import os
import re
import shlex
import shutil
import subprocess
import unittest
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
BUILD = Path(os.environ.get("DEBUG_BUILD_DIR", REPO / "build" / "default")).resolve()
CAMS = Path(os.environ.get("DEBUG_CAMERAS", BUILD / "cam")).resolve()
CAMSIM = REPO / "sim" / "camsim"
GOLDEN = REPO / "tests" / "golden"
DEBUG = shlex.split(os.environ.get("DEBUG_RUN", "debug"))
SHMTOOL = Path(__file__).resolve().parent / "shmtool.py"
# What the exit entries of the registered modules call at every shutdown.
EXIT_CALLS = ["gpio_close()", "pwm_close()"]


def golden(name):
    return (GOLDEN / name).read_text()


def normalise_stderr(text):
    """Error lines carry the source line, which moves with every edit."""
    return re.sub(r"\|(\d+)\): ", "|N): ", text)


def err(unit, func, message):
    return f" ERROR  ({unit}|{func}|N): {message}"


class Result:
    def __init__(self, proc, combined=False):
        # Combined, both streams share one pipe and keep their order in `output`.
        self.output = normalise_stderr(proc.stdout.decode(errors="backslashreplace")) if combined else None
        # Decoded by hand: text mode would turn a "\r\n" of the program into "\n".
        self.stdout = None if combined else proc.stdout.decode(errors="backslashreplace")
        self.stderr = None if combined else normalise_stderr(proc.stderr.decode(errors="backslashreplace"))
        self.status = proc.returncode


class Camera:
    """One simulated camera with its own root, state and call trace."""

    def __init__(self, name):
        self.root = CAMS / name
        if self.root.exists():
            shutil.rmtree(self.root)
        self.root.mkdir(parents=True)
        self.trace_file = self.root / "trace.log"

    def run(self, *argv, timeout=60, env=None, combined=False):
        full_env = dict(os.environ, VDSIM_TRACE=str(self.trace_file), **(env or {}))
        cmd = [str(CAMSIM), "--build", str(BUILD), "--root", str(self.root), "--", *argv]
        proc = subprocess.run(cmd, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT if combined else subprocess.PIPE,
                              timeout=timeout, env=full_env, stdin=subprocess.DEVNULL)
        return Result(proc, combined)

    def debug(self, *args, **kw):
        return self.run(*DEBUG, *args, **kw)

    def shell(self, script, *args, **kw):
        """A shell inside the camera; `debug` in the script is the binary under test."""
        return self.run("sh", "-c", script, "sh", *args, env={"DEBUG": shlex.join(DEBUG)}, **kw)

    def debug_shm(self, key, size, *args, before_size=None):
        """Runs debug ARGS, then reads the first SIZE bytes of the shared-memory
        block KEY in the same IPC namespace: (result, bytes or None when there
        is no block). BEFORE_SIZE makes the block first, that many bytes long."""
        out = self.path("/tmp/shm.bin")
        out.unlink(missing_ok=True)
        make = f"python3 {SHMTOOL} make {key} {before_size} || exit 99; " if before_size else ""
        r = self.shell(make + f'$DEBUG "$@"; s=$?; python3 {SHMTOOL} read {key} {size} /tmp/shm.bin; exit $s',
                       *args)
        return r, (out.read_bytes() if out.exists() else None)

    def trace(self):
        """The calls made since the last look, one per line."""
        if not self.trace_file.exists():
            return []
        lines = self.trace_file.read_text().splitlines()
        self.trace_file.unlink()
        return lines

    def path(self, camera_path):
        """Where a camera path such as /mnt/nand/x lies on the PC."""
        return self.root / camera_path.lstrip("/")

    def gpio_level(self, line):
        f = self.root / "vdsim" / "gpio" / str(line)
        return int(f.read_text()) if f.exists() else None


class CameraTest(unittest.TestCase):
    camera_name = None

    @classmethod
    def setUpClass(cls):
        # Test files run in parallel, and class names repeat across them.
        cls.cam = Camera(cls.camera_name or f"{cls.__module__}.{cls.__name__}")

    def setUp(self):
        self.cam.trace()

    def check(self, result, stdout="", stderr="", status=0):
        self.assertEqual(result.stdout, stdout)
        self.assertEqual(result.stderr, stderr)
        self.assertEqual(result.status, status)

    def check_combined(self, result, output, status=0):
        """A run with combined=True: both streams as one, in the order written."""
        self.assertEqual(result.output, output)
        self.assertEqual(result.status, status)
