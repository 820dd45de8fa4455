"""Reads or makes a System V shared-memory block of the IPC namespace it runs in.

    shmtool.py read KEY SIZE OUT   writes the first SIZE bytes to OUT (nothing if no block)
    shmtool.py make KEY SIZE       makes a zeroed block of SIZE bytes
"""
import ctypes
import sys

libc = ctypes.CDLL(None, use_errno=True)
libc.shmat.restype = ctypes.c_void_p
libc.shmat.argtypes = [ctypes.c_int, ctypes.c_void_p, ctypes.c_int]
IPC_CREAT, SHM_RDONLY = 0o1000, 0o10000

verb, key, size = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
if verb == "make":
    sys.exit(0 if libc.shmget(key, size, IPC_CREAT | 0o666) >= 0 else 1)
shmid = libc.shmget(key, 0, 0)
if shmid >= 0:
    addr = libc.shmat(shmid, None, SHM_RDONLY)
    with open(sys.argv[4], "wb") as out:
        out.write(ctypes.string_at(addr, size))
