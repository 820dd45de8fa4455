"""camsim as a launcher that scripts can rely on: signals reach the command,
the command dies with camsim, the exit status is the command's, and mistakes
are refused before anything changes."""
import os
import shutil
import signal
import subprocess
import time
import unittest

from camtest import BUILD, CAMS, CAMSIM, DEBUG

AS_ROOT = os.geteuid() == 0
RUNNING = 30  # seconds a command is given to start, on however loaded a machine


def fresh_root(name):
    parent = CAMS / name
    if (parent / "cam").exists():
        subprocess.run([str(CAMSIM), "--build", str(BUILD), "--root", str(parent / "cam"), "down"],
                       capture_output=True, timeout=60)
    shutil.rmtree(parent, ignore_errors=True)
    parent.mkdir(parents=True)
    return parent / "cam"


def camsim(root, *args, **kw):
    return [str(CAMSIM), "--build", str(BUILD), "--root", str(root), *args]


def wait_for(condition, what):
    end = time.monotonic() + RUNNING
    while not condition():
        if time.monotonic() > end:
            raise AssertionError(f"gave up waiting for {what}")
        time.sleep(0.02)


def child_of(pid):
    with open(f"/proc/{pid}/task/{pid}/children") as f:
        pids = f.read().split()
    return int(pids[0]) if pids else None


def comm(pid):
    try:
        with open(f"/proc/{pid}/comm") as f:
            return f.read().strip()
    except (FileNotFoundError, TypeError):
        return None


def gone(pid):
    """Ended: no such process, or a zombie left for its new parent."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] == "Z"
    except FileNotFoundError:
        return True


class Signals(unittest.TestCase):
    def modes(self):
        yield "plain", fresh_root("camsim-signals-plain")
        if AS_ROOT:
            root = fresh_root("camsim-signals-net")
            self.addCleanup(subprocess.run, camsim(root, "down"), capture_output=True, timeout=60)
            up = subprocess.run(camsim(root, "up", "--net"), capture_output=True, text=True, timeout=60)
            self.assertEqual(up.returncode, 0, up.stderr)
            yield "net", root

    def test_signals_and_status(self):
        adc = [*DEBUG, "-M", "adc", "-d", "50"]
        cases = [
            # (command, signal sent to camsim once it runs, camsim's status, a line it printed)
            (["sleep", "60"], signal.SIGINT, 128 + signal.SIGINT, None),
            (["sleep", "60"], signal.SIGHUP, 128 + signal.SIGHUP, None),
            # debug ends its sampling on the signal it is passed, and says so.
            (adc, signal.SIGTERM, 0, "Get signal, signo = 15"),
            (["sh", "-c", "exit 3"], None, 3, None),
            (["sh", "-c", "kill -TERM $$"], None, 128 + signal.SIGTERM, None),
            (["--", "no-such-program"], None, 127, None),
            # Killed outright, camsim takes its command along.
            (adc, signal.SIGKILL, -signal.SIGKILL, None),
        ]
        for mode, root in self.modes():
            for argv, sig, status, line in cases:
                with self.subTest(mode=mode, argv=argv, sig=sig):
                    args = argv if argv[0] == "--" else ["--", *argv]
                    proc = subprocess.Popen(camsim(root, *args), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                            stdin=subprocess.DEVNULL, text=True)
                    self.addCleanup(proc.kill)
                    child = None
                    if sig is not None:
                        if argv is adc:
                            first = proc.stdout.readline()  # sampling has begun: its handler is in place
                            self.assertEqual(first, "Adc[0] = 580\n")
                        else:
                            wait_for(lambda: comm(child_of(proc.pid)) == "sleep", "the command to start")
                        child = child_of(proc.pid)
                        os.kill(proc.pid, sig)
                    out, _ = proc.communicate(timeout=RUNNING)
                    self.assertEqual(proc.returncode, status)
                    if line:
                        self.assertIn(line, out.splitlines())
                    if child is not None:
                        wait_for(lambda: gone(child), "the command to end with camsim")


class Refusals(unittest.TestCase):
    def test_mistakes_change_nothing(self):
        root = fresh_root("camsim-refusals")
        subprocess.run(camsim(root, "--", "true"), check=True, timeout=60)
        eeprom = root / "vdsim" / "eeprom"
        cases = [
            # (camsim arguments, stderr)
            (["stauts"], "camsim: stauts: no such command or program (camsim up, down, status, list, peer, "
                         "segment, or -- PROGRAM; see camsim --help)\n"),
            (["--bogus", "--", "true"], "camsim: unknown option --bogus (see camsim --help)\n"),
            (["--eeprom-fail", "999", "--", "true"],
             "camsim: --eeprom-fail 999: the EEPROM's addresses are 0 to 255\n"),
            (["--eeprom-fail", "open", "--mtd", "a:0x40000:0x20000:0x40000", "--", "true"],
             "camsim: bad block offset 0x40000 in --mtd a:0x40000:0x20000:0x40000 "
             "(a number below the partition's size)\n"),
            (["--sd", "256M,x", "--", "true"], "camsim: bad card size x (a number with K, M or G, at most 64G)\n"),
            (["--eeprom-fail", "1", "up"], "camsim: device options go with a run, not with up\n"),
        ]
        before = sorted(p.name for p in eeprom.iterdir())
        mtd = (root / "proc" / "mtd").read_text()
        for args, stderr in cases:
            with self.subTest(args=args):
                r = subprocess.run(camsim(root, *args), capture_output=True, text=True, timeout=60,
                                   stdin=subprocess.DEVNULL)
                self.assertEqual((r.stdout, r.stderr, r.returncode), ("", stderr, 125))
                self.assertEqual(sorted(p.name for p in eeprom.iterdir()), before)
                self.assertEqual((root / "proc" / "mtd").read_text(), mtd)


if __name__ == "__main__":
    unittest.main()
