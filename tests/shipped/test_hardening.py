"""The shipped program is hardened: DEBUG_PROGRAM names the built `debug`;
DEBUG_FORTIFIED=1 when the build type compiles with _FORTIFY_SOURCE."""
import os
import re
import unittest

from elf import Elf, symbols

PROGRAM = os.environ["DEBUG_PROGRAM"]
FORTIFIED = os.environ.get("DEBUG_FORTIFIED") == "1"
EXPORTS = {"main", "CheckIPAddr"}
CAMERA_LIBRARIES = ["libgpio.so", "libpwm.so", "libvdptz.so", "libvdwifi.so", "libvddb.so",
                    "libvdcommon.so", "libvdstepper.so"]


class Hardening(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.elf = Elf(PROGRAM)

    def test_position_independent(self):
        self.assertRegex(self.elf.header, r"Type:\s+DYN ")
        self.assertIn("PIE", self.elf.dynamic_entry("FLAGS_1").split())

    def test_full_relro(self):
        self.assertRegex(self.elf.segments, r"\bGNU_RELRO\b")
        flags = (self.elf.dynamic_entry("FLAGS") or "").split()
        flags_1 = (self.elf.dynamic_entry("FLAGS_1") or "").split()
        self.assertTrue("BIND_NOW" in flags or "NOW" in flags_1, self.elf.dynamic)

    def test_stack_protector(self):
        self.assertIn("__stack_chk_fail", self.elf.imports())

    @unittest.skipUnless(FORTIFIED, "build type without optimisation: no _FORTIFY_SOURCE")
    def test_fortified_calls(self):
        checked = {name for name in self.elf.imports() if name.startswith("__") and name.endswith("_chk")}
        self.assertTrue(checked - {"__stack_chk_fail"}, sorted(self.elf.imports()))

    def test_exports_only_the_listed_names(self):
        exports = self.elf.exports()
        self.assertIn("main", exports)
        self.assertLessEqual(exports, EXPORTS)

    def test_listed_names_it_defines_are_exported(self):
        # Needs the full symbol table; a stripped program has none to compare.
        defined = {s.name for s in symbols(PROGRAM, "--syms") if s.ndx != "UND" and s.type == "FUNC"}
        for name in EXPORTS:
            if name in defined:
                self.assertIn(name, self.elf.exports())
            # A C++ function's name is mangled (_Z...<length><name>...) and
            # misses the export list.
            mangled = sorted(n for n in defined if n.startswith("_Z") and f"{len(name)}{name}" in n)
            self.assertEqual(mangled, [], f"{name} needs C linkage to be exported")

    def test_needs_each_camera_library(self):
        # On the PC one file serves all seven names; on the camera each is its
        # own library, so none may be dropped as unneeded at link time.
        needed = re.findall(r"\(NEEDED\).*\[(.+)\]", self.elf.dynamic)
        for name in CAMERA_LIBRARIES:
            self.assertIn(name, needed)


if __name__ == "__main__":
    unittest.main()
