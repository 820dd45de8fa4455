"""The mtd module: bad erase blocks of every flash partition, from /proc/mtd."""
import subprocess
import unittest

from camtest import BUILD, CAMSIM, CameraTest, err, golden

USAGE = golden("mtd_usage.txt")
TOTAL = "\nTotal bad block : {}\n"


def check_error(message):
    return err("vd_mtd", "vd_badblock_check", message)


def flash(cam, *partitions):
    """Gives the camera these partitions (camsim --mtd specs)."""
    opts = [a for p in partitions for a in ("--mtd", p)]
    subprocess.run([str(CAMSIM), "--build", str(BUILD), "--root", str(cam.root), *opts, "--", "true"],
                   check=True, timeout=60)


class BadBlocks(CameraTest):
    def mtd_calls(self):
        return [c for c in self.cam.trace() if c.startswith(("mtd_", "MEM"))]

    def test_reports(self):
        many = ",".join(hex(0x20000 * k) for k in range(130))
        parts15 = (["p0:0x20000:0x20000:0"] + [f"p{k}:0x20000:0x20000" for k in range(1, 13)]
                   + ["p13:0x20000:0x20000:0", "last:0x40000:0x20000:0,0x20000"])
        long_name = "n" * 40
        cases = [
            # (partitions, stdout, stderr)
            (["none"], TOTAL.format(0), ""),
            (["boot:0x100000:0x20000", "data:0x400000:0x20000:0x20000,0x3e0000"],
             "/dev/mtd1 (\"data\") : \nBad block found at : 00120000\nBad block found at : 004e0000\n"
             + TOTAL.format(2), ""),
            # The request gives an offset inside a block: the block is bad.
            (["a:0x40000:0x20000:0x30000", "b:0x40000:0x10000:0"],
             "/dev/mtd0 (\"a\") : \nBad block found at : 00020000\n"
             "/dev/mtd1 (\"b\") : \nBad block found at : 00040000\n" + TOTAL.format(2), ""),
            # Past 128 addresses the blocks are counted, not listed, and the next partition stays whole.
            ([f"big:0x1040000:0x20000:{many}", "next:0x20000:0x20000:0"],
             "/dev/mtd0 (\"big\") : \n"
             + "".join(f"Bad block found at : {0x20000 * k:08x}\n" for k in range(128))
             + "2 more bad blocks not listed\n"
             + "/dev/mtd1 (\"next\") : \nBad block found at : 01040000\n" + TOTAL.format(131), ""),
            # Past 13 partitions the rest are scanned and counted, not listed.
            (parts15, "/dev/mtd0 (\"p0\") : \nBad block found at : 00000000\n"
             "2 more partitions not listed, 3 bad blocks in them\n" + TOTAL.format(4), ""),
            # Erase size 0 would never advance: an error, then the next one.
            (["z:0x40000:0:0", "ok:0x40000:0x20000:0x20000"],
             "/dev/mtd1 (\"ok\") : \nBad block found at : 00060000\n" + TOTAL.format(1),
             check_error("/dev/mtd0 (\"z\") : erase size 0, skipped\n")),
            # A name longer than its field is cut to 31 bytes.
            ([f"{long_name}:0x20000:0x20000:0"],
             f"/dev/mtd0 (\"{long_name[:30]}) : \nBad block found at : 00000000\n" + TOTAL.format(1), ""),
            # A failing request ends that partition; what it found stays.
            (["d:0x100000:0x20000:0x20000,0x80000:0x60000", "e:0x20000:0x20000:0"],
             "ioctl MEMGETBADBLOCK failed, /dev/mtd0, error=-1\n"
             "/dev/mtd0 (\"d\") : \nBad block found at : 00020000\n"
             "/dev/mtd1 (\"e\") : \nBad block found at : 00100000\n" + TOTAL.format(2), ""),
        ]
        for partitions, stdout, stderr in cases:
            with self.subTest(partitions=partitions[:2]):
                flash(self.cam, *partitions)
                self.check(self.cam.debug("-M", "mtd", "-b", "1"), stdout, stderr)

    def test_requests(self):
        cases = [
            # (partitions, calls to the flash driver)
            (["empty:0:0x20000", "two:0x40000:0x20000"],
             ["mtd_open(0)", "mtd_close(0)", "mtd_open(1)", "MEMGETBADBLOCK(1, 0)",
              "MEMGETBADBLOCK(1, 131072)", "mtd_close(1)"]),
            (["d:0x80000:0x20000::0x40000"],
             ["mtd_open(0)", "MEMGETBADBLOCK(0, 0)", "MEMGETBADBLOCK(0, 131072)",
              "MEMGETBADBLOCK(0, 262144)", "mtd_close(0)"]),
        ]
        for partitions, calls in cases:
            with self.subTest(partitions=partitions):
                flash(self.cam, *partitions)
                self.cam.debug("-M", "mtd", "-b", "1")
                self.assertEqual(self.mtd_calls(), calls)

    def test_unreadable_list_and_devices(self):
        proc = self.cam.path("/proc/mtd")
        cases = [
            # (/proc/mtd, stdout, stderr); None: no /proc/mtd
            (None, "", check_error("/proc/mtd open failed\n")),
            ("dev:    size   erasesize  name\nmtdx9: 00020000 00020000 \"x\"\n", TOTAL.format(0),
             check_error("/dev/mtdx9 open failed\n")),
            ("mtd0: 00020000\nmtd1: zz 00020000 \"y\"\nmtd2: 00020000 00020000 \"ok\"\n", TOTAL.format(0),
             check_error("/proc/mtd: 2 lines not understood, skipped\n")),
        ]
        for text, stdout, stderr in cases:
            with self.subTest(text=text):
                flash(self.cam, "none")
                if text is None:
                    proc.unlink()
                else:
                    proc.write_text(text)
                self.check(self.cam.debug("-M", "mtd", "-b", "1"), stdout, stderr)


class Options(CameraTest):
    def test_options(self):
        unknown = err("vd_mtd", "mtd_init_param", "Unknow option\n")
        cases = [
            # (options, stdout, stderr, status)
            ([], "", ""),
            (["-b", "0"], "", ""),
            (["-b", "2"], "", ""),
            (["-b", "1", "-b", "0"], TOTAL.format(0), ""),
            (["--badblock", "0x1"], TOTAL.format(0), ""),
            (["-x", "-b", "1"], USAGE + TOTAL.format(0), "debug: invalid option -- 'x'\n" + unknown),
            (["-b", "abc"], USAGE, err("vd_mtd", "mtd_init_param", "invalid number: abc\n")),
            (["-b", "1x", "-b", "1"], USAGE + TOTAL.format(0),
             err("vd_mtd", "mtd_init_param", "invalid number: 1x\n")),
        ]
        flash(self.cam, "none")
        for options, stdout, stderr in cases:
            with self.subTest(options=options):
                self.check(self.cam.debug("-M", "mtd", *options), stdout, stderr)


if __name__ == "__main__":
    unittest.main()
