"""The Debian packages of PACKAGES_DIR (scripts/packages), each unpacked
with dpkg-deb into a throwaway directory: what it holds, its program run
(the arm64 ones under qemu-aarch64), its manual page rendered, its bash
completion loaded by bash-completion's own loader. The simulated camera that
the debug and camfind checks run on is the unpacked camsim package's.
"""
import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
PACKAGES = Path(os.environ.get("PACKAGES_DIR", REPO / "build" / "packages"))
# The camera's own libraries are the cross build's stand-ins here.
CAMERA_LIBS = REPO / "build" / "aarch64" / "lib"
QEMU = ["qemu-aarch64", "-L", "/"]
CAM_MAC = "02:00:00:00:00:0a"
CLOSED_LIBS = ["libgpio.so", "libpwm.so", "libvdptz.so", "libvdwifi.so", "libvddb.so", "libvdcommon.so",
               "libvdstepper.so", "libvdstandins.so", "libvdshim.so"]

# Package: what it must hold (paths under its root).
CONTENTS = {
    "debug_arm64": ["usr/bin/debug", "usr/share/man/man1/debug.1.gz",
                    "usr/share/bash-completion/completions/debug", "usr/share/doc/debug/copyright"],
    "camfind_arm64": ["usr/bin/camfind", "usr/share/man/man1/camfind.1.gz",
                      "usr/share/bash-completion/completions/camfind", "usr/share/doc/camfind/copyright"],
    "camfind_amd64": ["usr/bin/camfind", "usr/share/man/man1/camfind.1.gz",
                      "usr/share/bash-completion/completions/camfind", "usr/share/doc/camfind/copyright"],
    "camsim_amd64": ["usr/bin/camsim", "usr/share/man/man1/camsim.1.gz",
                     "usr/share/bash-completion/completions/camsim", "usr/lib/debug-sim/bin/debug",
                     "usr/lib/debug-sim/bin/mkdb", "usr/lib/debug-sim/libexec/camsim-run",
                     "usr/lib/debug-sim/sim/camsim", "usr/lib/debug-sim/sim/camsim.d/usage.txt",
                     "usr/lib/debug-sim/sim/root/opt/app/vddb.sql", "usr/lib/debug-sim/lib/libgpio.so",
                     "usr/lib/debug-sim/lib/shim/lib/x86_64-linux-gnu/libvdshim.so"],
}


def run(argv, timeout=60, **kwargs):
    # From the checkout, which the camera then keeps in view with everything
    # below it (the unpacked packages, the cross build's libraries), even
    # when the checkout lies under the /tmp that the camera replaces.
    kwargs.setdefault("cwd", REPO)
    return subprocess.run([str(a) for a in argv], capture_output=True, text=True, timeout=timeout,
                          stdin=subprocess.DEVNULL, **kwargs)


def files_under(root):
    return {str(p.relative_to(root)) for p in root.rglob("*") if not p.is_dir()}


class Packages(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = Path(tempfile.mkdtemp(prefix="unpacked-", dir=PACKAGES))
        cls.env = dict(os.environ, XDG_STATE_HOME=str(cls.tmp / "state"))
        cls.root = {}
        cls.version = {}
        for deb in sorted(PACKAGES.glob("*.deb")):
            name, version, arch = deb.stem.split("_")
            cls.root[f"{name}_{arch}"] = cls.tmp / f"{name}_{arch}"
            cls.version[f"{name}_{arch}"] = version
            subprocess.run(["dpkg-deb", "-x", deb, cls.root[f"{name}_{arch}"]], check=True)
        cls.camsim_program = cls.root["camsim_amd64"] / "usr/bin/camsim"

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp)

    def camsim(self, *argv, timeout=60):
        return run([self.camsim_program, *argv], timeout=timeout, env=self.env)

    def test_each_package_holds_its_files_and_no_closed_library(self):
        self.assertEqual(sorted(self.root), sorted(CONTENTS))
        for package, paths in CONTENTS.items():
            with self.subTest(package=package):
                files = files_under(self.root[package])
                self.assertLessEqual(set(paths), files)
                if not package.startswith("camsim"):
                    self.assertEqual([f for f in files if Path(f).name in CLOSED_LIBS], [])
                self.assertEqual(self.version[package], self.version["camsim_amd64"])

    def test_programs_print_their_help(self):
        golden = (REPO / "tests/golden/gpio_usage.txt").read_text()
        version = self.version["debug_arm64"]
        debug = self.root["debug_arm64"] / "usr/bin/debug"
        cases = [
            # (command, what its output starts with, or is)
            ([self.root["camfind_amd64"] / "usr/bin/camfind", "-h"], "usage: camfind "),
            ([*QEMU, self.root["camfind_arm64"] / "usr/bin/camfind", "-h"], "usage: camfind "),
            ([self.camsim_program, "--help"], (REPO / "sim/camsim.d/usage.txt").read_text()),
            # The camera's program needs the camera's paths and libraries:
            # inside the simulated camera, with the stand-ins for arm64.
            ([self.camsim_program, "--", *QEMU, "-U", "LD_PRELOAD", "-E", f"LD_LIBRARY_PATH={CAMERA_LIBS}", "-0", "debug", debug, "-h", "gpio"],
             f"debug version: {version}\n{golden}"),
            ([self.camsim_program, "--", "debug", "-h", "gpio"], f"debug version: {version}\n{golden}"),
        ]
        for argv, expected in cases:
            with self.subTest(argv=argv):
                r = run(argv, env=self.env)
                self.assertEqual(r.returncode, 0, r.stderr)
                if expected.endswith("\n"):
                    self.assertEqual(r.stdout, expected)
                else:
                    self.assertTrue(r.stdout.startswith(expected), r.stdout)

    def test_camsim_keeps_its_camera_in_the_users_state_directory(self):
        r = self.camsim("--", "debug", "-M", "gpio", "-w", "5", "-d", "1")
        self.assertEqual((r.stdout, r.returncode), ("GPIO write id = 5, data = 1\n", 0), r.stderr)
        self.assertTrue((self.tmp / "state/camsim/camroot/mnt/nand/vddb.db").is_file())

    def test_manual_pages_render_without_warnings(self):
        cases = [
            # (package, page, lines it shows)
            ("debug_arm64", "debug", ["debug - bench and factory-test tool of the IP camera", "-r, --read hex",
                                      "-b, --badblock 1"]),
            ("camfind_amd64", "camfind", ["camfind - find and set up", "-i, --interface IFACE"]),
            ("camfind_arm64", "camfind", ["-t, --time MS"]),
            ("camsim_amd64", "camsim", ["camsim - run the camera's debug program", "--fresh", "/usr/lib/debug-sim"]),
        ]
        env = dict(os.environ, MANWIDTH="80", LC_ALL="C.UTF-8")
        for package, page, shows in cases:
            with self.subTest(page=page, package=package):
                path = self.root[package] / f"usr/share/man/man1/{page}.1.gz"
                r = run(["man", "--warnings", "-E", "UTF-8", "-l", "-Tutf8", path], env=env)
                self.assertEqual((r.stderr, r.returncode), ("", 0))
                # Bold and underline are overstruck characters.
                plain = re.sub(".\b", "", r.stdout)
                text = "\n".join(" ".join(line.split()) for line in plain.splitlines())
                for line in shows:
                    self.assertTrue(line in text, f"{line!r} not in {path}")

    def complete(self, command, words, inside_camera=False):
        """COMPREPLY of the completion bash-completion loads for COMMAND
        (from the unpacked packages only) when WORDS are typed."""
        script = r'''
            source /usr/share/bash-completion/bash_completion
            __load_completion "$1" || exit 3
            spec=$(complete -p "$1") && fn=${spec#*-F } && fn=${fn%% *}
            shift
            COMP_WORDS=("$@") COMP_CWORD=$(($# - 1)) COMP_LINE="$*" COMP_POINT=${#COMP_LINE}
            "$fn" "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
            printf '%s\n' "${COMPREPLY[@]}"
        '''
        dirs = ":".join(str(r / "usr/share") for r in self.root.values())
        env = dict(self.env, XDG_DATA_DIRS=dirs, BASH_COMPLETION_USER_DIR=str(self.tmp / "none"))
        argv = ["bash", "-c", script, "bash", command, *words]
        r = run([self.camsim_program, "--", *argv] if inside_camera else argv, env=env)
        self.assertEqual(r.returncode, 0, r.stderr)
        return sorted(r.stdout.split())

    def test_completions_offer_what_the_programs_accept(self):
        camfind = self.root["camfind_amd64"] / "usr/bin/camfind"
        cases = [
            # (command, words typed, offered, inside the camera)
            ("debug", ["debug", "-M", "gp"], ["gpio"], True),
            ("debug", ["debug", "-h", "s"], ["sdmmc", "search"], True),
            ("debug", ["debug", "-M", "gpio", "-r"], ["-r"], True),
            ("debug", ["debug", "-M", "gpio", "--"],
             ["--data", "--delay", "--input_config", "--read", "--time", "--write"], True),
            ("debug", ["debug", "-M", "mtd", "-"], ["--badblock", "-b"], True),
            ("camfind", [camfind, "pl"], ["planet"], False),
            ("camfind", [camfind, "planet", ""], ["set"], False),
            ("camfind", [camfind, "--js"], ["--json"], False),
            ("camfind", [camfind, "-i", "l"], ["lo"], False),
            ("camsim", [self.camsim_program, "seg"], ["segment"], False),
            ("camsim", [self.camsim_program, "segment", "d"], ["down"], False),
            ("camsim", [self.camsim_program, "--fr"], ["--fresh"], False),
            ("camsim", [self.camsim_program, "--root", "segment", "s"], ["segment", "status"], False),
            ("camsim", [self.camsim_program, "--eeprom-driver", ""], ["platform", "standard"], False),
        ]
        for command, words, offered, inside in cases:
            with self.subTest(words=words):
                self.assertEqual(self.complete(command, [str(w) for w in words], inside), offered)

    @unittest.skipUnless(os.geteuid() == 0, "needs root for the camera's network")
    def test_camfind_lists_a_camera_on_the_simulated_network(self):
        root = self.tmp / "netcam"
        r = self.camsim("--root", root, "up", "--net")
        self.assertEqual(r.returncode, 0, r.stderr)
        responder = subprocess.Popen([str(self.camsim_program), "--root", str(root), "--", "debug", "-M", "search"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                     stdin=subprocess.DEVNULL, env=self.env)
        try:
            for program, window in [([self.root["camfind_amd64"] / "usr/bin/camfind"], 1000),
                                    ([*QEMU, self.root["camfind_arm64"] / "usr/bin/camfind"], 4000)]:
                with self.subTest(program=program):
                    # The responder answers once its capture runs: a few windows at most.
                    for _ in range(10):
                        r = self.camsim("--root", root, "peer", "--", *program, "-i", "eth0", "-t", window)
                        if CAM_MAC in r.stdout:
                            break
                    self.assertEqual(r.returncode, 0, r.stderr)
                    self.assertTrue(r.stdout.startswith(f"{CAM_MAC}\t192.0.2.10\t255.255.255.0\t"), r.stdout)
        finally:
            responder.terminate()
            responder.wait(timeout=30)
            self.camsim("--root", root, "down")


if __name__ == "__main__":
    unittest.main()
