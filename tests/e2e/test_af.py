"""The af module: lens driver calls in command-line order and SQL on the AF database."""
import sqlite3
import unittest

from camtest import REPO, CameraTest, err, golden

USAGE = golden("af_usage.txt")
START = ["af_get_ptz(0)", "lens_get_info(0)", "len_register_drv(0, 3)"]
STOP = ["lens_drv_focus_stop(0)", "lens_drv_zoom_stop(0)", "lens_drv_deinit()"]
REFERENCE = ["af_find_tbl(0, 0)", "lens_drv_focus_run(0, 400, 3000)"]
FACTORY_TABLE = "zoom\t\tfocus\t\t\n" + "".join(
    f"{z}\t\t{f}\t\t\n" for z, f in ((0, 3000), (692, 3100), (1384, 3400), (2076, 3900), (2768, 4600)))


def param_error(message):
    return err("vd_af", "af_init_param", message)


class AfTest(CameraTest):
    def setUp(self):
        super().setUp()
        self.cam.debug("-M", "nosuch")
        # The factory AF table and lens 0.
        (self.cam.root / "vdsim" / "lens").mkdir(parents=True, exist_ok=True)
        self.set_lens(0)
        self.restore_af_db()
        self.cam.trace()

    def restore_af_db(self):
        sql = REPO / "sim" / "root" / "mnt" / "nand" / "stepper" / "af.sql"
        db = self.cam.path("/mnt/nand/stepper/af.db")
        db.unlink(missing_ok=True)
        with sqlite3.connect(db) as con:
            con.executescript(sql.read_text())
        con.close()

    def calls(self):
        """Lens driver calls since the last look (exit entries of other modules aside)."""
        return [c for c in self.cam.trace() if c.startswith(("af_", "lens_", "len_"))]

    def set_lens(self, index):
        (self.cam.root / "vdsim" / "lens" / "index").write_text(f"{index}\n")

    def af_rows(self):
        with sqlite3.connect(self.cam.path("/mnt/nand/stepper/af.db")) as con:
            rows = con.execute("select * from af_table order by zoom").fetchall()
        con.close()
        return rows


class LensActions(AfTest):
    def test_runs(self):
        cases = [
            # (options, stdout after the lens mode, lens calls between start and stop)
            ([], "", []),
            (["-T", "1", "-D", "1", "-d", "200"], "Focus dir 1 duty 200 \n",
             ["lens_drv_focus_run(0, 400, -200)"]),
            (["--type", "1", "--duty", "0x20"], "Focus dir 0 duty 32 \n", ["lens_drv_focus_run(0, 400, 32)"]),
            (["-T", "1"], "Focus dir 0 duty 500 \n", ["lens_drv_focus_run(0, 400, 500)"]),
            (["-T", "0", "-d", "9"], "\n\n because double zoom not use,please look pragram  \n\n", []),
            (["-T", "2", "-d", "70000"], "DC-iris duty 70000 \n", ["lens_drv_set_aperture(0, 4464)"]),
            (["-T", "3", "-d", "0"], "IRcut duty 0 \n", ["lens_drv_set_IRCut(0, 0)"]),
            (["-d", "5", "-T", "3"], "IRcut duty 5 \n", ["lens_drv_set_IRCut(0, 1)"]),
            (["-I", "7", "-I", "0"], "", ["lens_drv_set_IRCut(0, 1)", "lens_drv_set_IRCut(0, 0)"]),
            (["-R"], "Restore to zoom and focus PI point.\n", ["lens_drv_set_zf_pi(0, 1, 1)"] + REFERENCE),
            (["-i", "-T", "1", "-d", "1"], "Focus dir 0 duty 1 \n",
             ["lens_drv_init_reg(0)"] + REFERENCE + ["lens_drv_focus_run(0, 400, 1)"]),
            (["-t", "--show"], "", ['af_tbl_init(0, "LENS-00", 5, 0)'] * 2),
        ]
        for options, stdout, calls in cases:
            with self.subTest(options=options):
                self.check(self.cam.debug("-M", "af", *options), "enLensMode=3\n" + stdout)
                self.assertEqual(self.calls(), START + calls + STOP)

    def test_lens_index_picks_the_mode(self):
        for index, mode in ((8, 4), (28, 6), (29, 7), (41, 4), (42, 5), (45, 5)):
            with self.subTest(index=index):
                self.set_lens(index)
                self.check(self.cam.debug("-M", "af", "-T", "1", "-d", "3"),
                           f"enLensMode={mode}\nFocus dir 0 duty 3 \n")
                self.assertEqual(self.calls(), [
                    "af_get_ptz(0)", f"lens_get_info({index})", f"len_register_drv(0, {mode})",
                    f"lens_drv_focus_run(0, {400 + 10 * index}, 3)"] + STOP)

    def test_table_follows_the_fitted_lens(self):
        self.set_lens(45)
        self.cam.debug("-M", "af", "-t", "-R")
        self.assertEqual(self.af_rows(), [(0, 3045), (692, 3145), (1384, 3445), (2076, 3945), (2768, 4645)])
        self.assertIn("lens_drv_focus_run(0, 850, 3045)", self.calls())


class Sql(AfTest):
    def test_select_prints_header_once_and_numbers(self):
        cases = [
            (["-S", "select * from af_table"], FACTORY_TABLE),
            (["-S", "select zoom, 'abc' as label, NULL as n, 'longer text' as long_name, '0x10' "
                    "from af_table where zoom < 700"],
             "zoom\t\tlabel\t\tn\t\tlong_name\t'0x10'\t\t\n"
             "0\t\t0\t\t\t\t0\t16\t\t\n692\t\t0\t\t\t\t0\t16\t\t\n"),
            (["-S", "select 1 where 0", "-S", "select -1 as minus_one"], "minus_one\t\n-1\t\t\n"),
        ]
        for options, stdout in cases:
            with self.subTest(options=options):
                self.check(self.cam.debug("-M", "af", *options), "enLensMode=3\n" + stdout)

    def test_commands_change_the_table(self):
        long_sql = "insert into af_table values(7, 7);".ljust(1023) + "insert into af_table values(8, 8);"
        r = self.cam.debug("-M", "af", "-C", "delete from af_table where zoom > 0", "-C", long_sql,
                           "-C", "insert into af_table values(0, 1)", "-S", "select count(*) from af_table")
        self.check(r, "enLensMode=3\ncount(*)\t\n2\t\t\n",
                   err("osa_sqlite", "OSA_sqlite3RunCmdAndCallback",
                       "SQL execute insert into af_table values(0, 1) faild. \n")
                   + err("osa_sqlite", "OSA_sqlite3RunCmdAndCallback",
                         "SQL error:UNIQUE constraint failed: af_table.zoom\n"))
        self.assertEqual(self.af_rows(), [(0, 3000), (7, 7)])
        self.assertTrue(self.cam.path("/tmp/af_lock").exists())

    def test_missing_database_directory(self):
        db_dir = self.cam.path("/mnt/nand/stepper")
        self.cam.run("mv", "/mnt/nand/stepper", "/mnt/nand/stepper.keep")
        try:
            r = self.cam.debug("-M", "af", "-S", "select 1")
        finally:
            self.cam.run("mv", "/mnt/nand/stepper.keep", "/mnt/nand/stepper")
        self.check(r, "enLensMode=3\n",
                   err("osa_sqlite", "OSA_sqlite3Open", "sqlite3_open /mnt/nand/stepper/af.db faild! \n"))
        self.assertTrue(db_dir.exists())


class OptionErrors(AfTest):
    def test_bad_options_return_after_usage(self):
        cases = [
            (["-T", "4"], [], param_error("AF type must be [0, 4)\n")),
            (["-I", "1", "-D", "2", "-T", "1"], ["lens_drv_set_IRCut(0, 1)"], param_error("AF dir: 0 or 1 \n")),
            (["-d", "abc"], [], param_error("invalid number: abc\n")),
            (["-x"], [], "debug: invalid option -- 'x'\n" + param_error("Unknow option\n")),
            (["-C"], [], "debug: option requires an argument -- 'C'\n" + param_error("Unknow option\n")),
        ]
        for options, calls, stderr in cases:
            with self.subTest(options=options):
                self.check(self.cam.debug("-M", "af", *options), "enLensMode=3\n" + USAGE, stderr)
                # The motors are left as they are: no stop, no release.
                self.assertEqual(self.calls(), START + calls)


if __name__ == "__main__":
    unittest.main()
