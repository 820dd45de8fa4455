"""The dm2016 module: the EEPROM on I2C bus 2, one byte per transfer."""
import subprocess
import time
import unittest

from camtest import BUILD, CAMSIM, CameraTest, err, golden

USAGE = golden("dm2016_usage.txt")
FACTORY = b"XR4T2B97" + bytes(248)


def param_error(message):
    return err("vd_dm2016", "dm2016_init_param", message)


def main_error(message):
    return err("vd_dm2016", "dm2016_test_main", message)


def eeprom(cam, driver="platform", fail="none", data=FACTORY):
    """Sets the EEPROM's driver, fault and bytes (camsim options and its file)."""
    subprocess.run([str(CAMSIM), "--build", str(BUILD), "--root", str(cam.root), "--eeprom-driver", driver,
                    "--eeprom-fail", fail, "--", "true"], check=True, timeout=60)
    cam.path("/").joinpath("vdsim", "eeprom", "data").write_bytes(data)


def eeprom_bytes(cam):
    return cam.path("/").joinpath("vdsim", "eeprom", "data").read_bytes()


class Transfers(CameraTest):
    def i2c_calls(self):
        return [c for c in self.cam.trace() if c.startswith(("i2c_", "eeprom_"))]

    def test_reads_and_writes_on_both_drivers(self):
        cases = [
            # (options, stdout, bytes 0..15 of the EEPROM afterwards)
            ([], "DM2016 read XR4T2B97 from 0 length 32 success!\n", FACTORY[:16]),
            (["-s", "0x2", "-l", "3", "-r"], "DM2016 read 4T2 from 2 length 3 success!\n", FACTORY[:16]),
            (["-s", "128"], "DM2016 read  from 128 length 32 success!\n", FACTORY[:16]),
            (["-w", "ab", "-l", "1", "-s", "010"], "DM2016 write ab from 8 length 2 success!\n",
             b"XR4T2B97ab" + bytes(6)),
            # A read after the text overwrites its start.
            (["-w", "zzzz", "-r", "-l", "2"], "DM2016 read XRzz from 0 length 2 success!\n", FACTORY[:16]),
        ]
        for driver in ("platform", "standard"):
            for options, stdout, after in cases:
                with self.subTest(driver=driver, options=options):
                    eeprom(self.cam, driver)
                    self.check(self.cam.debug("-M", "dm2016", *options), stdout)
                    self.assertEqual(eeprom_bytes(self.cam)[:16], after)

    def test_requests_of_each_driver(self):
        setup = ['i2c_ioctl("0x0703", 160)', 'i2c_ioctl("0x0709", 0)', 'i2c_ioctl("0x070a", 0)']
        cases = [
            # (driver, options, stdout, calls)
            ("platform", ["-S"], "9\n",
             ['i2c_open(2, "platform")', *setup, "eeprom_read(6, 57)", "i2c_close(2)"]),
            ("standard", ["-S"], "9\n",
             ['i2c_open(2, "standard")', *setup, 'i2c_ioctl("I2C_RDWR")', "eeprom_read(6, 57)", "i2c_close(2)"]),
            ("platform", ["-w", "Q", "-s", "6"], "DM2016 write Q from 6 length 1 success!\n",
             ['i2c_open(2, "platform")', *setup, "eeprom_write(6, 81)", "i2c_close(2)"]),
            ("standard", ["-w", "Q", "-s", "6"], "DM2016 write Q from 6 length 1 success!\n",
             ['i2c_open(2, "standard")', *setup, 'i2c_ioctl("I2C_RDWR")', "eeprom_write(6, 81)",
              "i2c_close(2)"]),
        ]
        for driver, options, stdout, calls in cases:
            with self.subTest(driver=driver, options=options):
                eeprom(self.cam, driver)
                self.check(self.cam.debug("-M", "dm2016", *options), stdout)
                self.assertEqual(self.i2c_calls(), calls)

    def test_shell_byte_zero_is_an_empty_line(self):
        eeprom(self.cam, data=bytes(256))
        self.check(self.cam.debug("-M", "dm2016", "-S", "-w", "never"), "\n")
        self.assertEqual(eeprom_bytes(self.cam), bytes(256))

    def test_long_write_is_paced_and_complete(self):
        text = "".join(chr(ord("A") + k % 26) for k in range(128))
        eeprom(self.cam)
        began = time.monotonic()
        result = self.cam.debug("-M", "dm2016", "-w", text)
        elapsed = time.monotonic() - began
        self.check(result, f"DM2016 write {text} from 0 length 128 success!\n")
        self.assertGreaterEqual(elapsed, 128 * 0.012)
        self.assertEqual(eeprom_bytes(self.cam), text.encode() + bytes(128))


class Faults(CameraTest):
    def test_failures(self):
        opened = "Unable to open i2c bus 2!!!\n"
        cases = [
            # (driver, fault, options, stdout, stderr, bytes 0..7 afterwards)
            ("platform", "open", [], opened, main_error("Open dm2016 Fail.\n"), FACTORY[:8]),
            ("standard", "open", ["-S"], opened, param_error("Open dm2016 Fail.\n"), FACTORY[:8]),
            # A failed byte stops the write; the bytes before it stay.
            ("platform", "3", ["-w", "abcdef"], "",
             "write_dm2016_eeprom: Remote I/O error\n" + main_error("DM2016 write abcdef from 0 length 6 failed!\n"),
             b"abcT2B97"),
            ("standard", "3", ["-w", "abcdef"], "",
             "write_dm2016_eeprom: Remote I/O error\n" + main_error("DM2016 write abcdef from 0 length 6 failed!\n"),
             b"abcT2B97"),
            ("standard", "2", ["-l", "4"], "dm2016 read addr 0x2 error. \n",
             main_error("DM2016 read XR from 0 length 4 failed!\n"), FACTORY[:8]),
            # The shell byte is not shown when it could not be read.
            ("platform", "6", ["-S"], "dm2016 read addr 0x6 error. \n", "", FACTORY[:8]),
        ]
        for driver, fault, options, stdout, stderr, after in cases:
            with self.subTest(driver=driver, fault=fault, options=options):
                eeprom(self.cam, driver, fault)
                self.check(self.cam.debug("-M", "dm2016", *options), stdout, stderr)
                self.assertEqual(eeprom_bytes(self.cam)[:8], after)

    def test_option_errors(self):
        cases = [
            # (options, stderr)
            (["-s", "129"], param_error("dm2016 offset must < 128 \n")),
            (["-l", "0x81"], param_error("dm2016 length must < 128 \n")),
            (["-w", "x" * 129], param_error("dm2016 value length must <= 128 \n")),
            (["-s", "1z"], param_error("invalid number: 1z\n")),
            (["-x"], "debug: invalid option -- 'x'\n" + param_error("Unknow option. \n")),
        ]
        eeprom(self.cam)
        for options, stderr in cases:
            with self.subTest(options=options[:2]):
                self.check(self.cam.debug("-M", "dm2016", *options), USAGE, stderr)
                self.assertEqual(eeprom_bytes(self.cam), FACTORY)
        self.check(self.cam.debug("-M", "dm2016", "-s", "128", "-l", "128"),
                   "DM2016 read  from 128 length 128 success!\n")


if __name__ == "__main__":
    unittest.main()
