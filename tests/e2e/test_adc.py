"""The adc module: IIO sampling, and day/night settings posted to shared memory."""
import struct
import time
import unittest

from camtest import EXIT_CALLS, CameraTest, err, golden

USAGE = golden("adc_usage.txt")
KEY, SIZE = 7665432, 48
CHANNEL = "/sys/bus/iio/devices/iio:device0/in_voltage%d_raw"


def param_error(message):
    return err("vd_adc", "adc_init_param", message)


def record(valid, kind, value, day):
    return struct.pack("<4i", valid, kind, value, day) + bytes(32)


class Sampling(CameraTest):
    def set_raw(self, channel, text):
        path = self.cam.path(CHANNEL % channel)
        if text is None:
            path.unlink(missing_ok=True)
        else:
            path.write_text(text)

    def test_readings(self):
        cases = [
            # (raw text of channel 0, options, stdout, stderr)
            ("1900\n", ["-t", "1", "-d", "1"], "Adc[0] = 580\n", ""),
            ("1\n", ["-t", "1", "-d", "1"], "Adc[0] = 0\n", ""),
            # Four characters at most: 12345 reads as 1234.
            ("12345\n", ["-t", "1", "-d", "1"], "Adc[0] = 376\n", ""),
            ("-100\n", ["-t", "1", "-d", "1"], "adc_read error!\nAdc[0] = -30\n", ""),
            ("1900\n", ["-t", "2", "-d", "1"], "Adc[0] = 580\n" * 2, ""),
            ("1900\n", ["-t", "0"], "", ""),
            # -c always samples the photodiode channel.
            ("1900\n", ["-c", "2", "-t", "1", "-d", "1"], "Adc[0] = 580\n",
             param_error("Adc channel reset=0\n")),
            # -D alone is no command: it samples.
            ("950\n", ["-D", "500", "-t", "1", "-d", "1"], "Adc[0] = 290\n", ""),
            (None, ["-t", "2", "-d", "1"], "open ADC_CHN_A error!!!adc_read error!\nAdc[0] = -1\n" * 2, ""),
        ]
        self.set_raw(1, "0\n")
        self.set_raw(2, None)
        for raw, options, stdout, stderr in cases:
            with self.subTest(raw=raw, options=options):
                self.set_raw(0, raw)
                self.check(self.cam.debug("-M", "adc", *options), stdout, stderr)
                self.assertEqual(self.cam.trace(), EXIT_CALLS)
        self.set_raw(0, "1900\n")

    def test_rounds_are_paced_by_the_delay(self):
        start = time.monotonic()
        self.check(self.cam.debug("-M", "adc", "-t", "3", "-d", "200"), "Adc[0] = 580\n" * 3)
        self.assertGreaterEqual(time.monotonic() - start, 0.6)

    def test_endless_sampling_ends_on_a_signal(self):
        # The signal goes once two samples are out (the loop did go round),
        # however slowly the program runs; 600 looks bound the wait.
        r = self.cam.shell(': > /tmp/out; $DEBUG -M adc -d 50 > /tmp/out & n=0; '
                           'until [ "$(grep -c "^Adc" /tmp/out)" -ge 2 ] || [ $n -ge 600 ]; do '
                           'n=$((n + 1)); sleep 0.1; done; '
                           'kill -TERM $!; wait $!; echo "status $?"; cat /tmp/out', timeout=120)
        lines = r.stdout.splitlines()
        self.assertEqual(lines[0], "status 0")
        self.assertIn("Get signal, signo = 15", lines)
        samples = [line for line in lines[1:] if line not in ("", "Get signal, signo = 15")]
        self.assertGreater(len(samples), 1)
        self.assertEqual(set(samples), {"Adc[0] = 580"})


class Commands(CameraTest):
    def test_posted_records(self):
        cases = [
            # (options, record in the block)
            (["-N", "300", "-D", "500"], record(1, 1, 300, 500)),
            (["-D", "500", "-N", "300"], record(1, 1, 300, 500)),
            (["-N", "300"], record(1, 0, 300, 0)),
            (["-N", "1", "-N", "2"], record(1, 1, 2, 0)),
            (["-s", "5", "-N", "7"], record(1, 2, 7, 0)),
            (["-N", "7", "-s", "5"], record(1, 2, 5, 0)),
            (["-g", "1"], record(1, 3, 1, 0)),
            (["--debug switch", "0x10"], record(1, 3, 16, 0)),
            (["-s", "3", "-i"], record(1, 4, 3, 0)),
        ]
        for options, posted in cases:
            with self.subTest(options=options):
                r, block = self.cam.debug_shm(KEY, SIZE, "-M", "adc", *options)
                self.check(r)
                self.assertEqual(block, posted)

    def test_bad_options_post_and_sample_nothing(self):
        cases = [
            (["-d", "0", "-N", "3"], param_error("Adc delay time must > 0 !\n")),
            (["-N", "3", "-x"], "debug: invalid option -- 'x'\n" + param_error("Unknow option\n")),
            (["-N", "3x"], param_error("invalid number: 3x\n")),
            (["-i", "-c", "one"], param_error("invalid number: one\n")),
        ]
        for options, stderr in cases:
            with self.subTest(options=options):
                r, block = self.cam.debug_shm(KEY, SIZE, "-M", "adc", *options)
                self.check(r, USAGE, stderr)
                self.assertIsNone(block)

    def test_block_that_cannot_be_had_is_left_alone(self):
        # A smaller block under the key: shmget refuses it, nothing is written.
        r, block = self.cam.debug_shm(KEY, 16, "-M", "adc", "-N", "300", before_size=16)
        self.check(r, "faild to get shm id==-1\n")
        self.assertEqual(block, bytes(16))


if __name__ == "__main__":
    unittest.main()
