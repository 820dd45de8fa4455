"""The extdrv module: one command posted to the external driver board's block."""
import struct
import unittest

from camtest import EXIT_CALLS, CameraTest, err, golden

SIZE = 52


def board(valid=0, code=0, *params):
    """The 52-byte record: valid, a zero word, code, five parameters, 20 zero bytes."""
    params = list(params) + [0] * (5 - len(params))
    return struct.pack("<8i", valid, 0, ord(code) if code else 0, *params) + bytes(20)


# (options, stdout, record) as any driver board takes them.
POSTS = [
    ([], "", board()),
    (["-s", "11", "-p", "100", "-t", "200"], "", board(1, "h", 8388708, 8388808)),
    (["-b", "1500", "-j", "1300"], "", board(1, "m", 4, 220, 5, 20, 5)),
    (["-l", "28"], "", board(0, "", 0, 28)),
    (["--set_heat_open_value", "28", "-r", "30"], "", board(1, "m", 5, 28, 30)),
    (["-w", "12"], "\n current of tile_motor=12 \n", board(1, "o", 12)),
    (["-q", "-3", "-A", "1"], "\n current of pan_motor=-3 \n", board(1, "{", 1)),
    (["-m", "1", "2", "3", "4"], "", board(1, "z", 1, 2, 3, 4)),
    (["-m", "1", "2", "3"], "", board()),
    (["--set wie HID", "3", "--set wie PID", "-4"], "", board(1, "v", 3, -4)),
]


class BoardTest(CameraTest):
    module, unit, key = "extdrv", "vd_extdrv", 7765433
    # (options, stderr after the error prefix) refused by this board
    refused = [(["-G", "3"], "Unknow option\n"), (["-B", "1"], "Unknow option\n")]

    def test_posted_records(self):
        for options, stdout, posted in POSTS:
            with self.subTest(options=options):
                r, block = self.cam.debug_shm(self.key, SIZE, "-M", self.module, *options)
                self.check(r, stdout)
                self.assertEqual(block, posted)
                self.assertEqual(self.cam.trace(), EXIT_CALLS)

    def test_bad_options_end_the_process(self):
        usage = golden(f"{self.module}_usage.txt")
        cases = [
            (["-Z", "1"], "Unknow option\n"),
            (["-f", "1", "-a"], "Unknow option\n"),
            (["-f", "1", "-a", "on"], "invalid number: on\n"),
            (["-m", "1", "2", "x", "4"], "invalid number: x\n"),
        ] + self.refused
        for options, message in cases:
            with self.subTest(options=options):
                r, block = self.cam.debug_shm(self.key, SIZE, "-M", self.module, *options)
                self.check(r, usage, err(self.unit, "pt_init_param", message), 255)
                self.assertIsNone(block)
                self.assertEqual(self.cam.trace(), [])

    def test_block_that_cannot_be_had_is_left_alone(self):
        r, block = self.cam.debug_shm(self.key, 16, "-M", self.module, "-f", "1", before_size=16)
        self.check(r, "faild to get shm id==-1\n")
        self.assertEqual(block, bytes(16))


if __name__ == "__main__":
    unittest.main()
