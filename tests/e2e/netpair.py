"""A camera and a PC on one Ethernet link, inside network namespaces made here.

The camera's namespace has eth0 (02:00:00:00:00:0a); the peer's has eth0
(02:00:00:00:00:01) with 192.0.2.1/24. Sockets opened inside `peer()` live in
the peer's namespace. Needs root.
"""
import ctypes
import os
import signal
import subprocess
import threading
import time
from contextlib import contextmanager

from camtest import normalise_stderr

CLONE_NEWNET = 0x40000000
CAM_MAC = bytes.fromhex("02000000000a")
PC_MAC = bytes.fromhex("020000000001")
PC_ADDR = "192.0.2.1"

_libc = ctypes.CDLL(None, use_errno=True)


def _ip(*args):
    subprocess.run(["ip", *args], check=True, capture_output=True, timeout=10)


class NetPair:
    def __init__(self, tag):
        self.cam = f"dbg{tag}{os.getpid()}c"
        self.pc = f"dbg{tag}{os.getpid()}p"
        self.down()
        _ip("netns", "add", self.cam)
        _ip("netns", "add", self.pc)
        a, b = f"v{os.getpid()}{tag}a"[:15], f"v{os.getpid()}{tag}b"[:15]
        _ip("link", "add", "name", a, "type", "veth", "peer", "name", b)
        _ip("link", "set", a, "netns", self.cam)
        _ip("link", "set", b, "netns", self.pc)
        for ns, dev, mac in ((self.cam, a, CAM_MAC), (self.pc, b, PC_MAC)):
            _ip("-n", ns, "link", "set", dev, "name", "eth0")
            _ip("-n", ns, "link", "set", "eth0", "address", mac.hex(":"))
            _ip("-n", ns, "link", "set", "eth0", "up")
            _ip("-n", ns, "link", "set", "lo", "up")
        _ip("-n", self.pc, "addr", "add", f"{PC_ADDR}/24", "dev", "eth0")

    def down(self):
        for ns in (self.cam, self.pc):
            subprocess.run(["ip", "netns", "del", ns], capture_output=True, timeout=10)

    @contextmanager
    def peer(self):
        """Runs the block in the peer's network namespace (this thread only)."""
        own = os.open("/proc/thread-self/ns/net", os.O_RDONLY)
        target = os.open(f"/run/netns/{self.pc}", os.O_RDONLY)
        try:
            if _libc.setns(target, CLONE_NEWNET) != 0:
                raise OSError(ctypes.get_errno(), "setns")
            yield
        finally:
            _libc.setns(own, CLONE_NEWNET)
            os.close(own)
            os.close(target)

    def in_camera(self, *argv):
        """argv run in the camera's network namespace and a PID namespace of
        its own, so that killall there never reaches the PC's processes."""
        return ["ip", "netns", "exec", self.cam, "unshare", "--pid", "--fork", "--mount-proc", *argv]


class Responder:
    """`debug -M search` running in the camera, its output read as it comes."""

    def __init__(self, camera, pair, env=None):
        from camtest import CAMSIM, BUILD, DEBUG
        full_env = dict(os.environ, **(env or {}))
        cmd = pair.in_camera(str(CAMSIM), "--build", str(BUILD), "--root", str(camera.root), "--",
                             *DEBUG, "-M", "search")
        self.started = time.monotonic()
        self.proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                     stdin=subprocess.DEVNULL, env=full_env)
        self.out, self.err = [], []
        self._lock = threading.Lock()
        self._readers = [threading.Thread(target=self._read, args=(s, b), daemon=True)
                         for s, b in ((self.proc.stdout, self.out), (self.proc.stderr, self.err))]
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
        """The program under test: the child of the PID namespace's first process."""
        with open(f"/proc/{self.proc.pid}/task/{self.proc.pid}/children") as f:
            return int(f.read().split()[0])

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
