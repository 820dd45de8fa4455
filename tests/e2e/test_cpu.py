"""cpu: option checks, the load lines, the closing line and the log file."""
import re
import unittest

from camtest import CameraTest, err, golden

USAGE = golden("cpu_usage.txt")
GREEN, RED, NORMAL = "\33[1;32m", "\33[0;31m", "\33[0;39m"
FIGURE = r"[ \d]{2}\d"
LINE = rf"CPU:({FIGURE})% \(sys:{FIGURE}% user:{FIGURE}% wait:{FIGURE}% steal:{FIGURE}%\)"
CLOSING = r"Average:(\d+\.\d{3})%   Max:(\d+\.\d{2})%  Min:(\d+\.\d{2})%"


def created(name):
    return f"{GREEN}Create cpu log: {name}\n{NORMAL} \n"


def running(count):
    return f"{GREEN}ARM LOAD RUNNING FOR COUNT: {count} \n{NORMAL} \n"


def coloured(pattern):
    return f"{re.escape(GREEN)}{pattern}{re.escape(NORMAL)} \n"


class Options(CameraTest):
    def test_refused_values_print_usage_and_measure_nothing(self):
        cases = [
            (["-c", "0"], "Cpu count must > 0\n"),
            (["-c", "-5"], "Cpu count must > 0\n"),
            (["-c", "abc"], "invalid number: abc\n"),
            (["-c", "2", "-d", "0"], "Cpu delay must > 0\n"),
            (["-d", "0x80000000"], "Cpu delay must > 0\n"),
            (["-l", "/tmp/" + "a" * 58], "Cpu log name length must < 64!\n"),
            (["-x"], "Unknow option\n"),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                r = self.cam.debug("-M", "cpu", *args)
                prefix = "debug: invalid option -- 'x'\n" if args == ["-x"] else ""
                self.check(r, USAGE, prefix + err("vd_cpu", "cpu_init_param", message))
                self.assertFalse(self.cam.path("/tmp/cpulog.txt").exists())


class Monitor(CameraTest):
    def figures(self, stdout, head, count):
        """The printed cpu figures and the closing ones, after checking every line."""
        pattern = re.escape(head) + coloured(LINE) * count + coloured(CLOSING)
        m = re.fullmatch(pattern, stdout)
        self.assertIsNotNone(m, stdout)
        values = [float(v) for v in m.groups()]
        return values[:count], values[count:]

    def test_count_lines_then_the_closing_line_in_console_and_log(self):
        name = "/tmp/" + "a" * 57  # 62 characters, the longest taken
        r = self.cam.debug("-M", "cpu", "-v", "-c", "0x2", "-l", name)
        self.assertEqual((r.stderr, r.status), ("", 0))
        lines, (average, top, bottom) = self.figures(
            r.stdout, "CPU version: 1.0.2\n" + created(name) + running(2), 2)
        self.assertAlmostEqual(top, max(lines), delta=0.5)
        self.assertAlmostEqual(bottom, min(lines), delta=0.5)
        self.assertTrue(bottom <= average <= top)
        # The log holds the same lines without colours.
        plain = re.sub("\x1b\\[[0-9;]*m", "", r.stdout).replace(" \n", "\n")
        expected_log = "".join(l + "\n" for l in plain.splitlines() if l.startswith(("CPU:", "Average")))
        self.assertEqual(self.cam.path(name).read_text(), expected_log)

    def test_log_that_cannot_be_made_leaves_the_console(self):
        r = self.cam.debug("-M", "cpu", "-c", "1", "-l", "/tmp/none/cpu.txt")
        self.assertEqual(r.stderr, f"{RED}Error: Can't create log /tmp/none/cpu.txt\n{NORMAL} \n")
        (line,), (average, top, bottom) = self.figures(r.stdout, running(1), 1)
        # One line: its figure is the average, the maximum and the minimum.
        self.assertEqual(top, bottom)
        self.assertAlmostEqual(average, top, delta=0.0051)  # both rounded to 2 places
        self.assertAlmostEqual(line, average, delta=0.5)

    def test_interrupt_keeps_the_lines_already_printed(self):
        script = """
            $DEBUG -M cpu -c 5 -d 3 > /tmp/out 2>&1 &
            pid=$!
            for i in $(seq 600); do grep -q 'CPU:' /tmp/out && break; sleep 0.05; done
            kill -INT $pid
            wait $pid
            echo "status $?"
            cat /tmp/out
        """
        r = self.cam.shell(script)
        head = "status 0\n" + created("/tmp/cpulog.txt") + running(5)
        pattern = (re.escape(head) + coloured(LINE) + "\nGet signal, signo = 2\n" + coloured(CLOSING))
        m = re.fullmatch(pattern, r.stdout)
        self.assertIsNotNone(m, r.stdout)
        line, average, top, bottom = (float(v) for v in m.groups())
        self.assertEqual(top, bottom)
        self.assertAlmostEqual(average, top, delta=0.0051)  # both rounded to 2 places


if __name__ == "__main__":
    unittest.main()
