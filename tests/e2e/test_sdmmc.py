"""The sdmmc module: the SD card slot, through the camera's own disk tools."""
import subprocess
import unittest

from camtest import BUILD, CAMSIM, CameraTest, err, golden

USAGE = golden("sdmmc_usage.txt")
NO_CARD = "SD/mmc isn't inserted, please check again!\n"
FREE_CACHES = "vd_free_system_caches()"


def param_error(message):
    return err("vd_sdmmc", "sdmmc_init_param", message)


def cards(cam, spec):
    """Puts SD cards in the camera (camsim --sd)."""
    subprocess.run([str(CAMSIM), "--build", str(BUILD), "--root", str(cam.root), "--sd", spec, "--", "true"],
                   check=True, timeout=60)


def info(mb):
    kb = mb * 1024
    return (f"Block = 4 KB \nTotal = {kb * 1024} B = {kb} KB = {mb} MB = {mb / 1024:.2f} GB\n"
            f"Free = {kb} KB = {mb} MB = {mb / 1024:.2f} GB\nUse = 0 KB = 0 MB = 0.00 GB\n")


class Slot(CameraTest):
    def test_cards_present_or_not(self):
        mount_failed = (err("vd_sdmmc", "sdmmc_info", "sdmmc mount failed!\n")
                        + param_error("sdmmc check information faild!\n"))
        cases = [
            # (cards, options, stdout, stderr)
            ("none", ["-i"], NO_CARD, mount_failed),
            ("none", ["--init"], NO_CARD, param_error("sdmmc init faild!\n")),
            ("none", ["-m"], NO_CARD, param_error("sdmmc mount faild!\n")),
            ("4M,4M", ["-i"], "SD/mmc has error, try to reinit!\n",
             err("vd_sdmmc", "sdmmc_init", "SD/mmc has error, reinit faild!\n") + mount_failed),
            ("4M", ["--init"], "SD/mmc /dev/mmcblk0 ready!\n", ""),
            ("4M", ["-i"], info(4), ""),
            ("16M", ["-m", "-i", "--info"], info(16) * 2, ""),
        ]
        for spec, options, stdout, stderr in cases:
            with self.subTest(cards=spec, options=options):
                cards(self.cam, spec)
                self.check(self.cam.debug("-M", "sdmmc", *options), stdout, stderr)

    def test_card_without_file_system(self):
        cards(self.cam, "4M")
        image = self.cam.path("/dev/mmcblk0")
        image.write_bytes(bytes(image.stat().st_size))
        result = self.cam.debug("-M", "sdmmc", "-m", "-r")
        self.assertEqual(result.stdout.splitlines()[-1], "Sd/mmc repair /dev/mmcblk0 faild!")
        self.assertTrue(result.stderr.startswith(
            "mount: /mnt/mmc: wrong fs type, bad option, bad superblock on /dev/mmcblk0"), result.stderr)
        self.assertIn(param_error("sdmmc mount faild!\n"), result.stderr)
        self.assertTrue(result.stderr.endswith(param_error("sdmmc repair disk faild!\n")), result.stderr)

        # A format gives it a FAT32 file system that mounts and repairs.
        result = self.cam.shell('$DEBUG -M sdmmc -f -r -i && df | grep -c "^/dev/mmcblk0 .* /mnt/mmc$"', timeout=120)
        self.assertEqual(result.status, 0, result.stderr)
        self.assertEqual(image.read_bytes()[82:87], b"FAT32")
        lines = result.stdout.splitlines()
        self.assertIn("Sd/mmc repair /dev/mmcblk0 success!", lines)
        self.assertEqual(lines[-5:], info(4).splitlines() + ["1"])
        self.assertNotIn("ERROR", result.stderr)
        self.assertEqual(self.cam.trace().count(FREE_CACHES), 2)

    def test_statfs_failure_shows_no_figures(self):
        cards(self.cam, "4M")
        script = ("mkdir -p /tmp/elsewhere && mount -t tmpfs /dev/mmcblk0 /tmp/elsewhere && rmdir /mnt/mmc && "
                  "$DEBUG -M sdmmc -i -F; mkdir /mnt/mmc")
        gone = err("vd_sdmmc", "mount_stats", "statfs /mnt/mmc failed: No such file or directory\n")
        self.check(self.cam.shell(script), "",
                   gone + param_error("sdmmc check information faild!\n")
                   + gone + param_error("sdmmc filling disk faild!\n"))


class Disk(CameraTest):
    def test_speed(self):
        cards(self.cam, "256M")
        result = self.cam.shell("$DEBUG -M sdmmc -s && ls -A /mnt/mmc", timeout=120)
        self.assertEqual(result.stdout, "")
        self.assertEqual(result.stderr.count("1024+0 records out\n134217728 bytes (134 MB, 128 MiB) copied"), 2,
                         result.stderr)
        self.assertEqual(self.cam.trace().count(FREE_CACHES), 1)

    def test_fill(self):
        def created(n):
            return "".join(f"Create /mnt/mmc/file{k} \n" for k in range(n))
        cases = [
            # (card, options, stdout, files then on the card, free kilobytes then)
            ("16M", ["-n", "0", "-F"],
             "All size = 16 MB, free size = 16 MB \nTry to filling sdmmc by creating 0 files, echo file size 128 MB \n"
             "Create total 0 files \nFree size = 16 MB \n", 0, 16384),
            # Settings after the action do not change it.
            ("16M", ["-z", "2", "-n", "3", "-F", "-n", "9"],
             "All size = 16 MB, free size = 16 MB \nTry to filling sdmmc by creating 3 files, echo file size 2 MB \n"
             + created(3) + "Create total 3 files \nFree size = 10 MB \n", 3, 10240),
            # A full card stops the data, not the count; a line every 32 files.
            ("4M", ["-z", "1", "-n", "33", "-F"],
             "All size = 4 MB, free size = 4 MB \nTry to filling sdmmc by creating 33 files, echo file size 1 MB \n"
             + created(32) + "Free size = 0 MB \n" + created(33)[-len("Create /mnt/mmc/file32 \n"):]
             + "Create total 33 files \nFree size = 0 MB \n", 33, 0),
        ]
        for spec, options, stdout, files, free_kb in cases:
            with self.subTest(card=spec, options=options):
                cards(self.cam, spec)
                result = self.cam.shell('$DEBUG -M sdmmc "$@" && ls /mnt/mmc | wc -l && '
                                        'df -k --output=avail /mnt/mmc | tail -1 | tr -d " "', *options, timeout=120)
                self.check(result, stdout + f"{files}\n{free_kb}\n")
                self.assertEqual(self.cam.trace().count(FREE_CACHES), 1)


class Options(CameraTest):
    def test_bad_values_end_the_process(self):
        cases = [
            # (options, stderr)
            (["-n", "65537"], param_error("filling file numbers must in [1-40960]!\n")),
            (["-z", "65537", "-i"], param_error("filling file size must in [1-1024]!\n")),
            (["-n", "12k"], param_error("invalid number: 12k\n")),
            (["-x"], "debug: invalid option -- 'x'\n" + param_error("Unknow option\n")),
        ]
        for options, stderr in cases:
            with self.subTest(options=options):
                self.check(self.cam.debug("-M", "sdmmc", *options), USAGE, stderr, 255)
        self.check(self.cam.debug("-M", "sdmmc", "-n", "65536", "-z", "65536"), "")


if __name__ == "__main__":
    unittest.main()
