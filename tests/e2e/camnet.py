"""A simulated camera on a network (`camsim up --net`) and a peer that plays
the PC: sockets opened inside `peer()` live in the peer's namespace, and
`peer_run` runs a program there. Needs root.
"""
import ctypes
import os
import shutil
import signal
import subprocess
import threading
import time
from contextlib import contextmanager
from pathlib import Path

from camtest import BUILD, CAMS, CAMSIM, DEBUG, Camera, normalise_stderr

# A cross build's camfind runs through its host launcher.
CAMFIND = str(BUILD / "emu" / "camfind" if (BUILD / "emu").is_dir() else BUILD / "bin" / "camfind")
# A camera under valgrind or the emulator answers far slower than a native
# one: there camfind's windows are stretched, so that what it lists does not
# depend on the machine's load.
SLOW = 4 if os.environ.get("DEBUG_RUN") or (BUILD / "emu").is_dir() else 1
CLONE_NEWNET = 0x40000000
CAM_MAC = bytes.fromhex("02000000000a")
PC_MAC = bytes.fromhex("020000000001")
PC_ADDR = "192.0.2.1"

_libc = ctypes.CDLL(None, use_errno=True)


def camsim(root, *args, timeout=60):
    return subprocess.run([str(CAMSIM), "--build", str(BUILD), "--root", str(root), *args],
                          capture_output=True, text=True, timeout=timeout, stdin=subprocess.DEVNULL)


@contextmanager
def netns(pinned):
    """Runs the block in the network namespace pinned at PINNED (this thread only)."""
    own = os.open("/proc/thread-self/ns/net", os.O_RDONLY)
    target = os.open(pinned, os.O_RDONLY)
    try:
        if _libc.setns(target, CLONE_NEWNET) != 0:
            raise OSError(ctypes.get_errno(), "setns")
        yield
    finally:
        _libc.setns(own, CLONE_NEWNET)
        os.close(own)
        os.close(target)


def camfind(*argv):
    """camfind's command line, its reply window (given or default) stretched
    for a slow camera."""
    argv = list(argv)
    if SLOW > 1:
        if "-t" in argv[:-1]:
            i = argv.index("-t") + 1
            if argv[i].isdigit() and int(argv[i]) > 0:
                argv[i] = str(int(argv[i]) * SLOW)
        else:
            argv += ["-t", str(1000 * SLOW)]
    return [CAMFIND, *argv]


def have_dhcp():
    """A real DHCP client for the camera and a server for the peer."""
    return bool(shutil.which("dhcpcd") and shutil.which("dnsmasq"))


class NetCamera(Camera):
    def __init__(self, name):
        # A camera left up by an interrupted run goes down before its root goes.
        camsim(CAMS / name, "down")
        super().__init__(name)

    def up(self):
        r = camsim(self.root, "up", "--net")
        if r.returncode != 0:
            raise RuntimeError(r.stderr)

    def down(self):
        camsim(self.root, "down")

    def peer(self):
        """Runs the block in the peer's network namespace (this thread only)."""
        return netns(self.root / ".camsim-ns" / "peer")

    def peer_cmd(self, *argv):
        return [str(CAMSIM), "--build", str(BUILD), "--root", str(self.root), "peer", "--", *argv]


class DhcpServer:
    """dnsmasq in the peer, on its eth0 only, leasing FIXED to the camera
    (or the first address of the range to any client)."""

    def __init__(self, camera, fixed="192.0.2.77"):
        self.leases = camera.root / "dnsmasq.leases"
        self.leases.unlink(missing_ok=True)
        self.proc = subprocess.Popen(camera.peer_cmd(
            "dnsmasq", "--conf-file=/dev/null", "--keep-in-foreground", "--port=0", "--pid-file=",
            "--interface=eth0", "--bind-interfaces", "--no-ping", "--dhcp-authoritative",
            "--dhcp-range=192.0.2.50,192.0.2.59,255.255.255.0,1h",
            "--dhcp-option=option:dns-server,192.0.2.1",
            f"--dhcp-host={CAM_MAC.hex(':')},{fixed}", f"--dhcp-leasefile={self.leases}",
            f"--log-facility={camera.root / 'dnsmasq.log'}"), stdin=subprocess.DEVNULL)

    def stop(self):
        self.proc.terminate()
        self.proc.wait(timeout=10)


class Responder:
    """`debug -M search` running in the camera, its output read as it comes."""

    def __init__(self, camera, env=None, stdout=subprocess.PIPE):
        full_env = dict(os.environ, **(env or {}))
        cmd = [str(CAMSIM), "--build", str(BUILD), "--root", str(camera.root), "--", *DEBUG, "-M", "search"]
        self.started = time.monotonic()
        self.proc = subprocess.Popen(cmd, stdout=stdout, stderr=subprocess.PIPE,
                                     stdin=subprocess.DEVNULL, env=full_env)
        self.out, self.err = [], []
        self._lock = threading.Lock()
        self._readers = [threading.Thread(target=self._read, args=(s, b), daemon=True)
                         for s, b in ((self.proc.stdout, self.out), (self.proc.stderr, self.err)) if s]
        for r in self._readers:
            r.start()

    def _read(self, stream, buf):
        # Chunks, not lines: some output ends without a line feed.
        for chunk in iter(lambda: os.read(stream.fileno(), 65536), b""):
            with self._lock:
                buf.append(chunk.decode(errors="replace"))

    def take(self, which="out", settle=0.2):
        """The lines written since the last look."""
        time.sleep(settle)
        with self._lock:
            buf = self.out if which == "out" else self.err
            lines = "".join(buf)
            buf.clear()
        return normalise_stderr(lines) if which == "err" else lines

    def debug_pid(self):
        """The program under test: camsim enters the camera's PID namespace
        through nsenter, whose child it is."""
        with open(f"/proc/{self.proc.pid}/task/{self.proc.pid}/children") as f:
            return int(f.read().split()[0])

    def thread_started(self, name):
        """When debug's thread NAME began, in seconds since boot: the kernel's
        clock, the one the camera reads in /proc/uptime."""
        tasks = Path(f"/proc/{self.debug_pid()}/task")
        for task in tasks.iterdir():
            if (task / "comm").read_text().startswith(name + "("):
                after_name = (task / "stat").read_text().rsplit(")", 1)[1].split()
                return int(after_name[19]) / os.sysconf("SC_CLK_TCK")  # field 22, starttime
        raise LookupError(f"no thread {name}")

    def interrupt(self):
        """SIGINT to debug; the seconds until it ended."""
        pid = self.debug_pid()
        start = time.monotonic()
        os.kill(pid, signal.SIGINT)
        self.proc.wait(timeout=10)
        elapsed = time.monotonic() - start
        for r in self._readers:
            r.join(timeout=5)
        return elapsed

    def kill(self):
        if self.proc.poll() is None:
            try:
                os.kill(self.debug_pid(), signal.SIGKILL)
            except (OSError, IndexError):
                pass
            self.proc.kill()
            self.proc.wait(timeout=10)
