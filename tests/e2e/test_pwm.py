"""The pwm module: one read or one programming of a PWM channel per run."""
import unittest

from camtest import EXIT_CALLS, CameraTest, err, golden

USAGE = golden("pwm_usage.txt")


def param_error(message):
    return err("vd_pwm", "pwm_init_param", message)


class Operations(CameraTest):
    def test_runs(self):
        cases = [
            # (options, calls before the exit entries')
            ([], []),
            (["-c", "1", "-d", "300"], ["pwm_write(1, 100000, 300)"]),
            (["-d", "300", "-c", "1"], ["pwm_read(1, {period=100000, duty=300})"]),
            (["-e", "0"], ["pwm_write(0, 100000, 0)"]),
            (["-e", "1"], ["pwm_write(0, 100000, 500)"]),
            (["-e", "0", "-d", "250"], ["pwm_write(0, 100000, 250)"]),
            (["-d", "250", "-e", "0"], ["pwm_write(0, 100000, 0)"]),
            (["--channel", "2", "--period", "0x20", "--duty", "010"], ["pwm_write(2, 32, 8)"]),
            (["-c", "2"], ["pwm_read(2, {period=32, duty=8})"]),
            (["-c", "3"], ["pwm_read(3, {period=0, duty=0})"]),
            # No range check beyond the sign: the library refuses what it lacks.
            (["-c", "9", "-p", "5"], ["pwm_write(9, 5, 500)"]),
            (["-c", "9"], ["pwm_read(9, \"no such channel\")"]),
        ]
        for options, calls in cases:
            with self.subTest(options=options):
                self.check(self.cam.debug("-M", "pwm", *options))
                self.assertEqual(self.cam.trace(), calls + EXIT_CALLS)

    def test_bad_options_end_the_process(self):
        cases = [
            (["-e", "2"], param_error("Error pwm period, must be [0-1]\n")),
            (["-d", "0"], param_error("Error pwm duty\n")),
            (["-d", "-5"], param_error("Error pwm duty\n")),
            (["-p", "0"], param_error("Error pwm period\n")),
            (["-c", "-1"], param_error("Error pwm channel\n")),
            (["-c", "1", "-x"], param_error("Unknow option\n")),
            (["-c"], param_error("Unknow option\n")),
            (["-d", "3o0"], param_error("invalid number: 3o0\n")),
        ]
        for options, stderr in cases:
            with self.subTest(options=options):
                self.check(self.cam.debug("-M", "pwm", *options), USAGE, stderr, 255)
                # Nothing programmed, and no exit entries: the process ended.
                self.assertEqual(self.cam.trace(), [])


if __name__ == "__main__":
    unittest.main()
