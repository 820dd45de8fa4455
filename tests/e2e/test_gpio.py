"""The gpio module: one read or write of a GPIO line per run."""
import unittest

from camtest import EXIT_CALLS, CameraTest, err, golden

USAGE = golden("gpio_usage.txt")


def param_error(message):
    return err("vd_gpio", "gpio_init_param", message)


class Operations(CameraTest):
    def test_runs(self):
        cases = [
            # (options, stdout, trace before the exit entries' calls)
            ([], "GPIO read id = 0, data = 0\n", ["gpio_read(0)"]),
            (["-w", "0x7f", "-d", "1"], "GPIO write id = 127, data = 1\n", ["gpio_write(127, 1)"]),
            (["-w", "017", "-d", "1"], "GPIO write id = 15, data = 1\n", ["gpio_write(15, 1)"]),
            (["-w", "3"], "GPIO write id = 3, data = 0\n", ["gpio_write(3, 0)"]),
            (["--write", "4", "--data", "1"], "GPIO write id = 4, data = 1\n", ["gpio_write(4, 1)"]),
            (["-r", "5", "-w", "6"], "===g_gpio_cfg(0,5)=======\nGPIO write id = 6, data = 0\n",
             ["gpio_write(6, 0)"]),
            (["-w", "6", "-d", "1", "-r", "5"], "===g_gpio_cfg(0,5)=======\nGPIO read id = 5, data = 0\n",
             ["gpio_read(5)"]),
            (["-p", "7", "-d", "1"], "GPIO write id = 7, data = 1\n", ["gpio_write(7, 1)"]),
            (["-r", "2", "-D", "3", "-t", "10"], "===g_gpio_cfg(0,2)=======\nGPIO read id = 2, data = 0\n",
             ["gpio_read(2)"]),
            (["-t", "\r-1", "-r", "2"], "===g_gpio_cfg(0,2)=======\nGPIO read id = 2, data = 0\n",
             ["gpio_read(2)"]),
            # No range check on a read: the library answers -1 for a line it lacks.
            (["-r", "1000"], "===g_gpio_cfg(0,1000)=======\nGPIO read id = 1000, data = -1\n",
             ["gpio_read(1000)"]),
        ]
        for options, stdout, calls in cases:
            with self.subTest(options=options):
                self.check(self.cam.debug("-M", "gpio", *options), stdout)
                self.assertEqual(self.cam.trace(), calls + ["gpio_close()"] + EXIT_CALLS)

    def test_level_is_kept_between_runs(self):
        self.check(self.cam.debug("-M", "gpio", "-w", "5", "-d", "1"), "GPIO write id = 5, data = 1\n")
        self.assertEqual(self.cam.gpio_level(5), 1)
        self.check(self.cam.debug("-M", "gpio", "-r", "5"),
                   "===g_gpio_cfg(0,5)=======\nGPIO read id = 5, data = 1\n")
        self.cam.debug("-M", "gpio", "-w", "5", "-d", "0")
        self.check(self.cam.debug("-M", "gpio", "--read", "0x5"),
                   "===g_gpio_cfg(0,5)=======\nGPIO read id = 5, data = 0\n")


class OptionErrors(CameraTest):
    def test_bad_options_print_usage_and_do_nothing(self):
        cases = [
            # (options, stdout before the usage, stderr)
            (["-w", "128"], "", param_error("gio id must <= 127\n")),
            (["-p", "200"], "", param_error("gio id must <= 127\n")),
            (["-w", "-1"], "", param_error("gio id must <= 127\n")),
            (["-d", "2"], "", param_error("gio value must be 0/1! \n")),
            (["-w", "5", "-d", "0x10"], "", param_error("gio value must be 0/1! \n")),
            (["-D", "0"], "", param_error("gio delay time must > 0! \n")),
            (["-x"], "", "debug: invalid option -- 'x'\n" + param_error("Unknow option\n")),
            (["-r"], "", "debug: option requires an argument -- 'r'\n" + param_error("Unknow option\n")),
            (["--bogus", "1"], "", "debug: unrecognized option '--bogus'\n" + param_error("Unknow option\n")),
            # Parsing stops at the first failure: the read before it was seen.
            (["-r", "3", "-d", "7", "-w", "999"], "===g_gpio_cfg(0,3)=======\n",
             param_error("gio value must be 0/1! \n")),
            # Text that is not a number, or does not fit 32 bits, is refused.
            (["-r", "abc"], "", param_error("invalid number: abc\n")),
            (["-w", "12z"], "", param_error("invalid number: 12z\n")),
            (["-r", ""], "", param_error("invalid number: \n")),
            (["-w", "4294967296"], "", param_error("invalid number: 4294967296\n")),
            (["-d", "0x100000001"], "", param_error("invalid number: 0x100000001\n")),
            # Control bytes are shown escaped, never raw.
            (["-r", "5\x1b[2J\n"], "", param_error("invalid number: 5\\x1b[2J\\n\n")),
        ]
        for options, stdout, stderr in cases:
            with self.subTest(options=options):
                self.check(self.cam.debug("-M", "gpio", *options), stdout + USAGE, stderr)
                # Nothing reached a line; the module and the exit entry closed.
                self.assertEqual(self.cam.trace(), ["gpio_close()"] + EXIT_CALLS)
                # On one stream, what was printed before the failure, then the
                # error, then the usage.
                self.check_combined(self.cam.debug("-M", "gpio", *options, combined=True),
                                    stdout + stderr + USAGE)
                self.cam.trace()

    def test_failed_write_keeps_the_level(self):
        self.cam.debug("-M", "gpio", "-w", "9", "-d", "1")
        self.cam.debug("-M", "gpio", "-w", "9", "-d", "2")
        self.assertEqual(self.cam.gpio_level(9), 1)


class UnsavedState(CameraTest):
    def test_a_change_that_cannot_be_kept_is_reported(self):
        # Root ignores file modes, so the state directory is made read-only by
        # a mount, in the camera's own mount namespace.
        readonly = ('mount --bind "$VDSIM_DIR" "$VDSIM_DIR" && mount -o remount,ro,bind "$VDSIM_DIR" && '
                    'exec $DEBUG "$@"')
        cases = [
            # (run that saves first, run on the read-only state, stdout, stderr, state file, what it keeps)
            # The gpio module ignores what the library answers: only the library's line tells.
            (["-M", "gpio", "-w", "6", "-d", "0"], ["-M", "gpio", "-w", "6", "-d", "1"],
             "GPIO write id = 6, data = 1\n", "vdsim: cannot save gpio/6: Read-only file system\n",
             "gpio/6", "0\n"),
            # The motor module checks the run, so the failed save shows as a failed run.
            (["-M", "motor", "-s", "5"], ["-M", "motor", "-s", "7"], "",
             "vdsim: cannot save lens/focus: Read-only file system\n"
             + err("vd_motor", "motor_test_main", "STEPPER_run failed! \n"), "lens/focus", "5\n"),
        ]
        for before, options, stdout, stderr, state, kept in cases:
            with self.subTest(options=options):
                kept_file = self.cam.root / "vdsim" / state
                self.assertEqual(self.cam.debug(*before).status, 0)
                self.assertEqual(kept_file.read_text(), kept)
                self.check(self.cam.shell(readonly, *options), stdout, stderr)
                self.assertEqual(kept_file.read_text(), kept)


if __name__ == "__main__":
    unittest.main()
