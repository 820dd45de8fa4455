"""The ptz module: presets, one timed action, or the test-all sequence."""
import re
import unittest

from camtest import EXIT_CALLS, CameraTest, err, golden

USAGE = golden("ptz_usage.txt")
TEST_ALL = [0, 1, 0, 2, 3, 2, 7, 5, 4, 6, 27, 28, 29, 30]


def param_error(message):
    return err("vd_ptz", "ptz_init_param", message)


def timed(trace):
    """The calls without their start times, and the times of those that have one."""
    calls, times = [], []
    for line in trace:
        m = re.fullmatch(r"(.*), \{at_ms=(\d+)\}\)", line)
        calls.append(m[1] + ")" if m else line)
        if m:
            times.append(int(m[2]))
    return calls, times


class Runs(CameraTest):
    def test_actions_and_presets(self):
        cases = [
            # (options, calls between pt_set_speed and pt_tty_deinit)
            (["-d", "0", "--up"], ["pt_set_speed(38, 38)", "pt_run(0)"]),
            (["-d", "0", "--up", "--stop"], ["pt_set_speed(38, 38)", "pt_run(32)"]),
            # The light and brush options run their codes, whatever their help says.
            (["-d", "0", "--lighton"], ["pt_set_speed(38, 38)", "pt_run(27)"]),
            (["-d", "0", "--brushoff"], ["pt_set_speed(38, 38)", "pt_run(30)"]),
            (["-d", "0", "-S", "9", "--down"], ["pt_set_speed(10, 10)", "pt_run(1)"]),
            (["-S", "0", "--auto", "-d", "0"], ["pt_set_speed(1, 1)", "pt_run(21)"]),
            (["-d", "0", "-B", "0x2580", "-P", "1", "--zoomin"], ["pt_set_speed(38, 38)", "pt_run(10)"]),
            (["-d", "0", "-B", "2400", "--rstfocus"], ["pt_set_speed(38, 38)", "pt_run(18)"]),
            # Presets act at once, in command-line order, before the action.
            (["-g", "3", "-d", "0", "--stop"],
             ["pt_go_preset(3, \"not set\")", "pt_set_speed(38, 38)", "pt_run(32)"]),
            (["-s", "3", "--up", "-g", "3", "-d", "0"],
             ["pt_set_preset(3)", "pt_go_preset(3)", "pt_set_speed(38, 38)", "pt_run(0)"]),
            (["-d", "0", "--irisin", "-g", "3"], ["pt_go_preset(3)", "pt_set_speed(38, 38)", "pt_run(8)"]),
            (["-c", "3", "-g", "3", "-d", "0", "--focusout"],
             ["pt_remove_preset(3)", "pt_go_preset(3, \"not set\")", "pt_set_speed(38, 38)", "pt_run(15)"]),
        ]
        for options, calls in cases:
            with self.subTest(options=options):
                self.check(self.cam.debug("-M", "ptz", *options))
                got, _ = timed(self.cam.trace())
                self.assertEqual(got, calls + ["pt_tty_deinit(1)"] + EXIT_CALLS)

    def test_pacing(self):
        cases = [
            # (options, SIGTERM this long after the trace shows a call, actions,
            #  least ms between the starts of the calls)
            (["-d", "2", "--up"], None, [0], [2000]),
            # The sequence at one second a step, stopped during the third step.
            (["-d", "1"], ("pt_run(0", 2.4), [0, 1, 0], [1000, 1000, 400]),
            # No delay: the whole sequence at once, then auto scan until the signal.
            (["-d", "0"], ("pt_run(21", 1), TEST_ALL + [21], [0] * 14 + [1000]),
        ]
        for options, kill, actions, gaps in cases:
            with self.subTest(options=options):
                if kill is None:
                    self.check(self.cam.debug("-M", "ptz", *options))
                else:
                    script = (f'$DEBUG "$@" & for i in $(seq 500); do grep -qsF "{kill[0]}" "$VDSIM_TRACE" && break; '
                              f'sleep 0.02; done; sleep {kill[1]}; kill -TERM $!; wait $!')
                    self.check(self.cam.shell(script, "-M", "ptz", *options), "\nGet signal, signo = 15\n")
                calls, times = timed(self.cam.trace())
                self.assertEqual(calls, ["pt_set_speed(38, 38)"] + [f"pt_run({a})" for a in actions]
                                 + ["pt_tty_deinit(1)"] + EXIT_CALLS)
                steps = [b - a for a, b in zip(times, times[1:])]
                self.assertEqual(len(steps), len(gaps))
                for i, (step, least) in enumerate(zip(steps, gaps)):
                    # The step a signal stops lasts as long as the test waited
                    # to send it, which a loaded machine stretches either way.
                    if kill is None or i < len(steps) - 1:
                        self.assertGreaterEqual(step, least)
                    # A signal ends the wait at once: no wait overruns by a second.
                    self.assertLess(step, least + 1000)


class OptionErrors(CameraTest):
    def test_bad_options_end_the_process(self):
        cases = [
            # (options, stderr, calls made before the bad option)
            (["-S", "10"], param_error("Error speed!\r\n"), []),
            (["-S", "-1"], param_error("Error speed!\r\n"), []),
            (["-B", "38400"], param_error("Error baudrate!\r\n"), []),
            (["-P", "2"], param_error("Error procotol\r\n"), []),
            (["-s", "4", "-x"], "debug: invalid option -- 'x'\n" + param_error("Unknow option\n"),
             ["pt_set_preset(4)"]),
            (["--up", "--bogus"], "debug: unrecognized option '--bogus'\n" + param_error("Unknow option\n"), []),
            (["-g", "5", "-d", "5s"], param_error("invalid number: 5s\n"), ["pt_go_preset(5, \"not set\")"]),
        ]
        for options, stderr, calls in cases:
            with self.subTest(options=options):
                self.check(self.cam.debug("-M", "ptz", *options), USAGE, stderr, 255)
                self.assertEqual(self.cam.trace(), calls)


if __name__ == "__main__":
    unittest.main()
