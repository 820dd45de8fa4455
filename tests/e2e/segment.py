"""A factory segment: N cameras and a PC on one bridge, inside network
namespaces made here. The PC's namespace has the bridge, named eth0
(02:00:00:00:00:01, 192.0.2.1/24); camera i has eth0 02:00:00:00:01:ii behind
a veth port of it, and its own root with the stored address 192.0.2.(100+i).
Each camera runs `debug -M search` (netpair.Responder). Needs root.
"""
import os
import socket
import sqlite3
import subprocess
import time
from contextlib import contextmanager

from camtest import Camera
from netpair import CLONE_NEWNET, PC_ADDR, PC_MAC, Responder, _libc

MARK = bytes.fromhex("080920120610")


def cam_mac(i):
    return bytes([2, 0, 0, 0, 1 + i // 256, i % 256])


def _batch(lines, ns=None):
    cmd = ["ip"] + (["-n", ns] if ns else []) + ["-batch", "-"]
    subprocess.run(cmd, input="\n".join(lines) + "\n", text=True, check=True,
                   capture_output=True, timeout=120)


class _Port:
    """One camera's namespace, as netpair.Responder expects of a link."""

    def __init__(self, ns):
        self.cam = ns

    def in_camera(self, *argv):
        return ["ip", "netns", "exec", self.cam, "unshare", "--pid", "--fork", "--mount-proc", *argv]


class Segment:
    def __init__(self, tag, n, oem_index=0):
        pid = os.getpid()
        self.n = n
        self.pc = f"dbg{tag}{pid}p"
        self.ports = [_Port(f"dbg{tag}{pid}c{i}") for i in range(n)]
        self.responders = []
        self.down()
        _batch([f"netns add {ns}" for ns in [self.pc] + [p.cam for p in self.ports]])
        _batch([f"link add name eth0 type bridge", f"link set eth0 address {PC_MAC.hex(':')}",
                "link set eth0 up", "link set lo up", f"addr add {PC_ADDR}/24 dev eth0"], self.pc)
        _batch([f"link add name eth0 netns {p.cam} address {cam_mac(i).hex(':')} type veth "
                f"peer name s{i} netns {self.pc}" for i, p in enumerate(self.ports)])
        _batch([c for i in range(n) for c in (f"link set s{i} master eth0", f"link set s{i} up")], self.pc)
        for p in self.ports:
            _batch(["link set eth0 up", "link set lo up"], p.cam)
        self.cams = []
        for i in range(n):
            cam = Camera(f"seg{tag}{i}")
            cam.debug("-h", "search")  # makes the root and puts the databases in place
            with sqlite3.connect(cam.path("/mnt/nand/vddb.db")) as c:
                c.execute("UPDATE network SET ipaddr = ? WHERE iface = 0", (f"192.0.2.{100 + i}",))
            with sqlite3.connect(cam.path("/mnt/nand2/oem.db")) as c:
                c.execute("UPDATE oem SET oem_index = ?", (oem_index,))
            self.cams.append(cam)

    def start(self, wait=60):
        """Starts every responder; True once all answer a search."""
        self.responders = [Responder(cam, port) for cam, port in zip(self.cams, self.ports)]
        with self.peer():
            raw = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(0x0809))
            raw.bind(("eth0", 0))
        seen, end = set(), time.monotonic() + wait
        request = b"\xff" * 6 + PC_MAC + MARK + b"\0\0" + b"\0" * 40
        try:
            while len(seen) < self.n and time.monotonic() < end:
                raw.send(request)
                raw.settimeout(0.5)
                try:
                    while True:
                        got = raw.recv(2048)
                        if got[18:20] == b"\0\1":
                            seen.add(got[6:12])
                except socket.timeout:
                    pass
        finally:
            raw.close()
        return len(seen) == self.n

    def down(self):
        for r in self.responders:
            r.kill()
            r.proc.stdout.close()
            r.proc.stderr.close()
        self.responders = []
        for ns in [self.pc] + [p.cam for p in self.ports]:
            subprocess.run(["ip", "netns", "del", ns], capture_output=True, timeout=10)

    @contextmanager
    def peer(self):
        """Runs the block (and what it starts) in the PC's namespace."""
        own = os.open("/proc/thread-self/ns/net", os.O_RDONLY)
        target = os.open(f"/run/netns/{self.pc}", os.O_RDONLY)
        try:
            if _libc.setns(target, CLONE_NEWNET) != 0:
                raise OSError("setns")
            yield
        finally:
            _libc.setns(own, CLONE_NEWNET)
            os.close(own)
            os.close(target)


if __name__ == "__main__":
    # segment.py N: brings up N cameras until Ctrl-C, for camfind by hand.
    import sys
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 3
    seg = Segment("by", n)
    try:
        print(f"{n} cameras {'up' if seg.start() else 'started, not all answering'}; the PC side:\n"
              f"  ip netns exec {seg.pc} build/default/bin/camfind\nCtrl-C ends them.", flush=True)
        while True:
            time.sleep(3600)
    except KeyboardInterrupt:
        pass
    finally:
        seg.down()
