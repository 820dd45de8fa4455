"""The pt module: the driver board's commands, and the LED test, posted to the pan-tilt board's block."""
import unittest

import test_extdrv
from test_extdrv import SIZE, board


class PanTiltBoard(test_extdrv.BoardTest):
    module, unit, key = "pt", "vd_pt", 7765432
    refused = []

    def test_led_light_and_short_wie_options(self):
        cases = [
            (["-B", "1", "7"], board(1, "|", 1, 7)),
            (["-B", "5"], board(1, "|", 5, 5)),
            (["--test set led light", "2", "-a", "1"], board(1, "e", 1, 1)),
            (["-G", "3", "-Y", "4"], board(1, "v", 3, 4)),
        ]
        for options, posted in cases:
            with self.subTest(options=options):
                r, block = self.cam.debug_shm(self.key, SIZE, "-M", self.module, *options)
                self.check(r)
                self.assertEqual(block, posted)

if __name__ == "__main__":
    unittest.main()
