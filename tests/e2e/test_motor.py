"""The motor module: one stepper motor run, after an optional P-iris move."""
import shutil
import unittest

from camtest import CameraTest, err, golden, normalise_stderr

USAGE = golden("motor_usage.txt")


def run_call(type_=0, dir_=0, steps=10):
    return f"STEPPER_run({{type={type_}, dir={dir_}, steps={steps}, reserved=0}})"


def param_error(message):
    return err("vd_motor", "motor_init_param", message)


class MotorTest(CameraTest):
    def setUp(self):
        super().setUp()
        self.cam.debug("-M", "nosuch")  # the camera root exists from here on
        shutil.rmtree(self.cam.root / "vdsim" / "lens", ignore_errors=True)  # motors at 0
        self.set_state("piris_busy_ms", "0")
        self.cam.trace()

    def set_state(self, name, text):
        f = self.cam.root / "vdsim" / "lens" / name
        f.parent.mkdir(parents=True, exist_ok=True)
        f.write_text(text)

    def position(self, motor):
        f = self.cam.root / "vdsim" / "lens" / motor
        return int(f.read_text()) if f.exists() else 0

    def calls(self):
        """Stepper calls since the last look, a repeated busy check shown once with its count."""
        out = []
        for c in self.cam.trace():
            if not c.startswith("STEPPER_"):
                continue
            if out and out[-1][0] == c:
                out[-1][1] += 1
            else:
                out.append([c, 1])
        return [c if n == 1 else f"{c} x{n}" for c, n in out]


class Runs(MotorTest):
    def test_runs(self):
        busy = "STEPPER_check_busy(2)"
        cases = [
            # (options, stepper calls)
            ([], [run_call(), "STEPPER_close()"]),
            (["-t", "1", "-d", "1", "-s", "500"], [run_call(1, 1, 500), "STEPPER_close()"]),
            (["--type", "2", "--dir", "3", "--step", "0x10"], [run_call(2, 3, 16), "STEPPER_close()"]),
            (["-s", "99999", "-i", "5"], [run_call(steps=99999), "STEPPER_close()"]),
            (["-s", "-1"], [run_call(steps=4294967295), "STEPPER_close()"]),
            (["-p", "184"], ["STEPPER_set_piris_duty(184)", busy, run_call(), "STEPPER_close()"]),
            (["-p", "0", "-t", "1", "-p", "7"],
             ["STEPPER_set_piris_duty(0)", busy, "STEPPER_set_piris_duty(7)", busy, run_call(1),
              "STEPPER_close()"]),
        ]
        for options, calls in cases:
            with self.subTest(options=options):
                self.check(self.cam.debug("-M", "motor", *options))
                self.assertEqual(self.calls(), calls)

    def test_positions_are_kept(self):
        self.cam.debug("-M", "motor", "-t", "1", "-s", "3000")
        self.cam.debug("-M", "motor", "-t", "1", "-d", "1", "-s", "1000")
        self.cam.debug("-M", "motor", "-p", "100")
        self.assertEqual((self.position("zoom"), self.position("focus"), self.position("piris")),
                         (1768, 10, 100))

    def test_piris_wait_lasts_until_it_settles(self):
        self.set_state("piris_busy_ms", "200")
        self.check(self.cam.debug("-M", "motor", "-p", "50"))
        calls = self.calls()
        self.assertEqual(calls[0], "STEPPER_set_piris_duty(50)")
        self.assertRegex(calls[1], r"^STEPPER_check_busy\(2\) x\d+$")
        self.assertGreaterEqual(int(calls[1].split("x")[1]), 2)
        self.assertEqual(calls[2:], [run_call(), "STEPPER_close()"])

    def test_failed_run_is_reported(self):
        self.set_state("jammed", "")
        self.check(self.cam.debug("-M", "motor", "-t", "1"), "",
                   err("vd_motor", "motor_test_main", "STEPPER_run failed! \n"))
        self.assertEqual(self.calls(), [run_call(1), "STEPPER_close()"])

    def test_ctrl_c_stops_a_stuck_piris(self):
        self.set_state("piris_busy_ms", "-1")
        script = """
            $DEBUG -M motor -p 9 > /tmp/out 2> /tmp/err &
            pid=$!
            for i in $(seq 2400); do
                grep -q STEPPER_check_busy "$VDSIM_TRACE" 2>/dev/null && break
                sleep 0.05
            done
            kill -INT $pid
            wait $pid
            echo "status $?"
            cat /tmp/out /tmp/err
        """
        r = self.cam.shell(script, timeout=180)
        r.stdout = normalise_stderr(r.stdout)
        self.check(r, "status 0\n\nGet signal, signo = 2\n"
                   + err("vd_motor", "motor_piris_wait", "P-iris still busy, wait stopped! \n"))
        calls = self.calls()
        self.assertEqual(calls[0], "STEPPER_set_piris_duty(9)")
        self.assertEqual(calls[-1], "STEPPER_close()")
        self.assertNotIn(run_call(), calls)


class OptionErrors(MotorTest):
    def test_bad_options_end_the_process(self):
        cases = [
            # (options, stderr, stepper calls made before the error)
            (["-t", "3"], param_error("Error motor type!\n"), []),
            (["-d", "4"], param_error("Error motor directory!\n"), []),
            (["-p", "185"], param_error("Error P-iris duty!\n"), []),
            (["-p", "5", "-t", "9"], param_error("Error motor type!\n"),
             ["STEPPER_set_piris_duty(5)", "STEPPER_check_busy(2)"]),
            (["-s", "ten"], param_error("invalid number: ten\n"), []),
            (["-i", ""], param_error("invalid number: \n"), []),
            (["-x"], "debug: invalid option -- 'x'\n" + param_error("Unknow option\n"), []),
            (["-p"], "debug: option requires an argument -- 'p'\n" + param_error("Unknow option\n"), []),
        ]
        for options, stderr, calls in cases:
            with self.subTest(options=options):
                self.check(self.cam.debug("-M", "motor", *options), USAGE, stderr, 255)
                self.assertEqual(self.calls(), calls)


if __name__ == "__main__":
    unittest.main()
