"""The ir module: IR-cut switching, its report on the console and in the debug log."""
import re
import unittest

from camtest import CameraTest, err, golden

USAGE = golden("ir_usage.txt")
DATE = r"[A-Z][a-z]{2} [A-Z][a-z]{2} [ \d]\d \d\d:\d\d:\d\d \d{4}\n"
IRCUT_LINE = 14  # the line of the simulated board's IR-cut filter


def report(seconds, colour=False):
    text = DATE + r"\t IR-cut result: success\n\t use time: " + f"{seconds}s \\n"
    if colour:
        return "\x1b\\[0;32mTest date: " + text + "\x1b\\[0;39m \n"
    return "Test date: " + text


def param_error(message):
    return err("vd_ir", "ir_init_param", message)


class IrTest(CameraTest):
    def setUp(self):
        super().setUp()
        self.cam.debug("-M", "nosuch")
        self.log = self.cam.path("/mnt/nand/debug.log")
        self.log.unlink(missing_ok=True)
        self.cam.trace()

    def writes(self):
        return [c for c in self.cam.trace() if c.startswith("gpio_write")]

    def check_log(self, records):
        data = self.log.read_bytes() if self.log.exists() else b""
        self.assertEqual(len(data), 1024 * len(records))
        for i, seconds in enumerate(records):
            record = data[1024 * i:1024 * (i + 1)]
            text, _, zeros = record.partition(b"\0")
            self.assertRegex(text.decode(), "^" + report(seconds) + "$")
            self.assertEqual(zeros, bytes(len(zeros)))


class Switching(IrTest):
    def test_runs(self):
        def toggles(n):
            return [f"gpio_write({IRCUT_LINE}, {i % 2})" for i in range(n)]
        cases = [
            # (options, switches made)
            (["-d", "1"], toggles(10)),
            (["-t", "3", "-d", "1"], toggles(3)),
            (["-t", "0"], []),
            (["-m", "2", "--delay", "0x1", "-l", "1", "-c", "0"], toggles(10)),
            (["--mode", "3", "--time", "1", "--ir-led", "0", "--ir-cut", "1"], toggles(1)),
        ]
        for options, writes in cases:
            with self.subTest(options=options):
                self.log.unlink(missing_ok=True)
                r = self.cam.debug("-M", "ir", *options)
                self.assertRegex(r.stdout, "^" + report(0, colour=True) + "$")
                self.assertEqual((r.stderr, r.status), ("", 0))
                self.assertEqual(self.writes(), writes)
                self.check_log([0])
                if writes:
                    self.assertEqual(self.cam.gpio_level(IRCUT_LINE), (len(writes) - 1) % 2)

    def test_use_time_and_log_records_add_up(self):
        r = self.cam.debug("-M", "ir", "-t", "3", "-d", "600")
        self.assertRegex(r.stdout, "^" + report(1, colour=True) + "$")
        self.cam.debug("-M", "ir", "-t", "0")
        self.check_log([1, 0])

    def test_endless_run_ends_on_ctrl_c(self):
        script = """
            $DEBUG -M ir -t -1 -d 100 > /tmp/out 2>&1 &
            pid=$!
            for i in $(seq 2400); do
                [ "$(grep -c gpio_write "$VDSIM_TRACE" 2>/dev/null)" -ge 3 ] && break
                sleep 0.05
            done
            kill -INT $pid
            wait $pid
            echo "status $?"
            cat /tmp/out
        """
        r = self.cam.shell(script, timeout=180)
        self.assertRegex(r.stdout, "^status 0\n\nGet signal, signo = 2\n" + report(r"\d+", colour=True) + "$")
        writes = self.writes()
        self.assertGreaterEqual(len(writes), 3)
        self.assertEqual(writes[:3], [f"gpio_write({IRCUT_LINE}, {i})" for i in (0, 1, 0)])
        self.assertEqual(len(self.log.read_bytes()), 1024)


class OptionErrors(IrTest):
    def test_bad_options_end_the_process(self):
        cases = [
            (["-d", "0"], param_error("Invalid delay value.\n")),
            (["-m", "4"], param_error("Invalid mode value.\n")),
            (["-t", "x"], param_error("invalid number: x\n")),
            (["-c", "on"], param_error("invalid number: on\n")),
            (["-d"], "debug: option requires an argument -- 'd'\n" + param_error("Unknow option\n")),
        ]
        for options, stderr in cases:
            with self.subTest(options=options):
                self.check(self.cam.debug("-M", "ir", *options), USAGE, stderr, 255)
                self.assertEqual(self.writes(), [])
                self.assertFalse(self.log.exists())


if __name__ == "__main__":
    unittest.main()
