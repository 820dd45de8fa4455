"""media: the state files av_log.sh gathers, copied whole or as sections."""
import shutil
import unittest

from camtest import REPO, CameraTest, err, golden

USAGE = golden("media_usage.txt")
TEMPLATE = REPO / "sim" / "root" / "vdsim" / "media"
SYS = "[SYS]\n  System State: working   FrameIn: 108360   FrameOut: 108358   Timeouts: 0\n\n"
RC = ("[RC]\n" + "-----RUN INFO1" + "-" * 65 + "\n"
      "  ChnId  InsBr(kbps)  InsFr  Qp  MinQp  MaxQp  StartQp  Residual\n"
      "      0         4071     30  29     22     44       28        -3\n"
      "      1         1022     30  31     24     44       30        12\n"
      "      2            0      0  -1     -1     -1       -1         0\n"
      "      3          508     30  32     24     44       30         5\n\n")
VB = ("[VB]\n"
      "PoolId    PhysAddr    VirtAddr    IsComm    Owner    BlkSz      BlkCnt    Free    MinFree    Name\n"
      "     0    0x92400000  0xffff7a40  1         -1       3110400    6         2       1          common\n\n")


class Media(CameraTest):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.cam.debug("-M", "nosuch")  # makes the camera root

    def setUp(self):
        super().setUp()
        # What the pipeline publishes, fresh for every case.
        published = self.cam.root / "vdsim" / "media"
        shutil.rmtree(published)
        shutil.copytree(TEMPLATE, published)

    def publish(self, component, text=None):
        f = self.cam.root / "vdsim" / "media" / component
        if text is None:
            f.unlink()
        else:
            f.write_text(text)

    def state(self, component):
        return (TEMPLATE / component).read_text()

    def test_options_act_in_order(self):
        cases = [
            ([], ""),
            (["--ai", "--ai"], self.state("ai") * 2),
            (["--rgn", "--vo", "--isp"], self.state("rgn") + self.state("vo") + self.state("isp")),
            (["--rc"], RC),
            (["--sys", "--vb", "--sys"], SYS + VB + SYS),
            (["-M", "media", "--jpege", "--sys"], self.state("jpege") + SYS),
        ]
        for args, stdout in cases:
            with self.subTest(args=args):
                self.check(self.cam.debug("-M", "media", *args), stdout)
        # av_log.sh left a state file for every component.
        names = sorted(p.name for p in self.cam.path("/tmp/media").iterdir())
        self.assertEqual(names, sorted(p.name + ".log" for p in TEMPLATE.iterdir()))

    def test_sections_with_missing_titles_and_short_files(self):
        cases = [
            # (component, its state, option, standard output)
            ("vpss", "VPSS CHN OUTPUT RESOLUTION\na\nb\nc\n", "--vpss", "\n"),
            ("vi", "VI DEV ATTR\n1\n2\nVI PHYCHN ATTR\n3\n4\nVI WDR DES STATUS\n5\n6\nVI CHN STATUS\n7\n8\n",
             "--vi", "[VI]\nVI DEV ATTR\n1\n2\nVI PHYCHN ATTR\n3\n4\n\n"),
            ("venc", "VENC CHN ATTR 1\na\nb\nc\nd\ne\nVENC STREAM STATE\n1\n2\n3\n4\n", "--venc",
             "[VENC]\nVENC CHN ATTR 1\na\nb\nc\nd\ne\nVENC STREAM STATE\n1\n2\n3\n4\n\n"),
            ("vb", "PoolId    PhysAddr    VirtAddr    IsComm", "--vb",
             "[VB]\nPoolId    PhysAddr    VirtAddr    IsComm\n"),
            ("rc", "", "--rc", "\n"),
        ]
        for component, text, option, stdout in cases:
            with self.subTest(component=component):
                self.publish(component, text)
                self.check(self.cam.debug("-M", "media", option, "--sys"), stdout + SYS)

    def test_audio_summary_shows_input_vqe_before_output_vqe(self):
        self.publish("ao", "AO CHN VQE STATUS0\no1\no2\no3\n")
        self.publish("ai", "AI DEV ATTR\na\nb\nAI CHN VQE STATUS0\ni1\ni2\nAI CHN VQE STATUS1\nj\n")
        r = self.cam.debug("-M", "media", "--audio")
        acodec = self.state("acodec").splitlines(keepends=True)
        adec = self.state("adec").splitlines(keepends=True)
        aenc = self.state("aenc").splitlines(keepends=True)
        self.check(r, "[ACODEC]\n" + "".join(acodec[2:5]) + "\n"
                      "\n"  # ao.log has no device blocks
                      "[ADEC]\n" + "".join(adec[2:5]) + "\n"
                      "[AI]\nAI DEV ATTR\na\nb\n\n"
                      "[AENC]\n" + "".join(aenc[2:5]) + "\n"
                      "[AI VQE]\nAI CHN VQE STATUS0\ni1\ni2\nAI CHN VQE STATUS1\nj\n"
                      "[AO VQE]\nAO CHN VQE STATUS0\no1\no2\n\n")

    def test_missing_state_file(self):
        self.publish("venc")
        self.publish("isp")
        # A copy reports cat's error and goes on.
        self.check(self.cam.debug("-M", "media", "--isp", "--rc"), RC,
                   "cat: /tmp/media/isp.log: No such file or directory\n")
        # A summary ends the process where the file is missing.
        r = self.cam.debug("-M", "media", "-a", "--rc")
        self.assertTrue(r.stdout.startswith(SYS + VB + "[VPSS]\n"), r.stdout)
        self.assertTrue(r.stdout.endswith("VI CHN STATUS" + "-" * 61 + "\n"
                                          "  ViChn  bEnUsr  FrmTime  FrmRate  SendCnt  SwLost  Rotate  Flip  Mirror\n"
                                          "      0       N    33333       30   108360       0       0     N       N\n\n"),
                        r.stdout)
        self.assertEqual((r.stderr, r.status), ("fopen: No such file or directory\n", 255))
        self.check(self.cam.debug("-M", "media", "--venc", "--rc"), "",
                   "fopen: No such file or directory\n", 255)

    def test_unknown_option_ends_the_process(self):
        r = self.cam.debug("-M", "media", "--sys", "--nope", "--rc")
        self.check(r, SYS + USAGE,
                   "debug: unrecognized option '--nope'\n" + err("vd_media", "media_init_param", "Unknow option\n"),
                   255)


if __name__ == "__main__":
    unittest.main()
