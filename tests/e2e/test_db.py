"""The db module: tables, queries and statements on the camera's databases."""
import fcntl
import os
import sqlite3
import subprocess
import time
import unittest

from camtest import CAMSIM, BUILD, DEBUG, CameraTest, err, golden

USAGE = golden("db_usage.txt")
TABLES_SQL = "select name from sqlite_master where type='table' order by name;"
VDDB = "Current Database File: [/mnt/nand/vddb.db] \n"
OEM = "Current Database File: [/mnt/nand2/oem.db] \n"
# The usage of a run: a database is selected already, so it is not announced.
RUN_USAGE = USAGE.replace("DB table list: \n" + VDDB, "DB table list: \n")


def result(columns, rows):
    """A query result as printed, cut at 2047 characters."""
    text = "\n" + "".join(f"{c:<16}" for c in columns)
    for row in rows:
        text += "\n" + "".join(f"{v:<16}" for v in row[:-1]) + row[-1]
    return "Query Result: " + (text + "\n")[:2047] + " \n"


def failed(sql):
    return f"SQL: '{sql}' Failed!! \n"


NO_MATCH = "[0 Items, No Match Records!] \n"
VDDB_TABLES = result(["name"], [["device"], ["network"], ["port"], ["user"]])


class DbTest(CameraTest):
    def setUp(self):
        super().setUp()
        # Each test starts from the factory databases.
        self.cam.debug("-M", "nosuch")
        for db in ("/mnt/nand/vddb.db", "/mnt/nand2/oem.db"):
            self.cam.path(db).unlink()
        self.cam.debug("-M", "nosuch")
        self.cam.trace()

    def calls(self):
        """The SQL library's calls since the last look (exit entries of other modules aside)."""
        return [c for c in self.cam.trace() if c.startswith("sqlite_")]

    def rows(self, sql, db="/mnt/nand/vddb.db"):
        with sqlite3.connect(self.cam.path(db)) as con:
            return con.execute(sql).fetchall()


class Queries(DbTest):
    def test_output(self):
        users = result(["name", "password", "privilege", "permission"],
                       [["admin", "admin", "0", ""], ["operator", "operator", "1", ""],
                        ["guest", "guest", "2", ""]])
        cases = [
            # (options, stdout after the default selection, stderr)
            (["-s", "select * from user;"], users, ""),
            (["-t"], VDDB_TABLES, ""),
            (["--table", "--database", "oem"], VDDB_TABLES + OEM, ""),
            (["-d", "oem", "-t"], OEM + result(["name"], [["oem"]]), ""),
            (["-d", "sddb"], "Invalid Database 'sddb'! Optional: [vddb, oem, sddb, log] \n" + VDDB, ""),
            (["-d", "oem", "-d", "log", "-s", "select model from oem"],
             OEM + "Invalid Database 'log'! Optional: [vddb, oem, sddb, log] \n" + OEM
             + result(["model"], [[""]]), ""),
            (["-d", "vddb2"], "Invalid Database 'vddb2'! Optional: [vddb, oem, sddb, log] \n" + VDDB, ""),
            (["-s", "select * from user where privilege > 5;"],
             NO_MATCH + failed("select * from user where privilege > 5;"), ""),
            (["-s", "selct 1"], NO_MATCH + failed("selct 1"), ""),
            (["-e", "no such statement"], "End execute: 'no such statement' \n", ""),
            (["-x", "-t"], RUN_USAGE,
             "debug: invalid option -- 'x'\n" + err("vd_db", "db_init_param", "Unknow option. \n")),
            (["-t", "-s"], VDDB_TABLES + RUN_USAGE,
             "debug: option requires an argument -- 's'\n"
             + err("vd_db", "db_init_param", "Unknow option. \n")),
        ]
        for options, stdout, stderr in cases:
            with self.subTest(options=options):
                self.check(self.cam.debug("-M", "db", *options), VDDB + stdout, stderr)

    def test_calls(self):
        cases = [
            (["-s", "select http from port"],
             ['sqlite_conn("/mnt/nand/vddb.db", "")', 'sqlite_query_record("select http from port")',
              "sqlite_query_column_name(0)", "sqlite_query_column_text(0, 256)", "sqlite_query_next()",
              "sqlite_clear_stmt()", "sqlite_disconn()"]),
            (["-s", "select 1 where 0", "-d", "oem", "-e", "delete from oem"],
             ['sqlite_conn("/mnt/nand/vddb.db", "")', 'sqlite_query_record("select 1 where 0")',
              "sqlite_clear_stmt()", "sqlite_disconn()",
              'sqlite_conn("/mnt/nand2/oem.db", "")', 'sqlite_execute("delete from oem")',
              "sqlite_disconn()"]),
        ]
        for options, calls in cases:
            with self.subTest(options=options):
                self.cam.debug("-M", "db", *options)
                self.assertEqual(self.calls(), calls)

    def test_long_result_is_cut(self):
        self.cam.debug("-M", "db", "-e", "create table big(a, b)", "-e",
                       "insert into big with recursive c(x) as (select 1 union all select x+1 from c "
                       "limit 150) select x, printf('%.*c', x % 40, 'v') from c")
        rows = [[str(a), b] for a, b in self.rows("select a, b from big")]
        expected = result(["a", "b"], rows)
        self.assertEqual(len(expected), len("Query Result: ") + 2047 + 2)
        self.check(self.cam.debug("-M", "db", "-s", "select * from big"), VDDB + expected)

    def test_missing_database(self):
        # Without the factory copy the file cannot be put back.
        self.cam.path("/mnt/nand2/oem.db").unlink()
        self.cam.path("/opt/app/oem.db").rename(self.cam.path("/opt/app/oem.keep"))
        self.cam.path("/tmp/two.sql").write_text("select 1;\nselect 2;\n")
        try:
            r = self.cam.debug("-M", "db", "-d", "oem", "-s", "select 1", "-e", "select 2",
                               "-f", "/tmp/two.sql")
        finally:
            self.cam.path("/opt/app/oem.keep").rename(self.cam.path("/opt/app/oem.db"))
        cp = err("db_files", "prepare_db",
                 "cannot copy /opt/app/oem.db to /mnt/nand2/oem.db: No such file or directory\n")
        missing = err("vd_db", "db_con_init", "db=[/mnt/nand2/oem.db] file not existed. \n")
        not_init = err("vd_db", "is_db_init", "db=[/mnt/nand2/oem.db] not init. \n")
        self.check(r, VDDB + OEM + failed("select 1") + "End execute: 'select 2' \n",
                   cp + cp + missing + not_init + missing + not_init + missing + not_init + not_init)
        self.assertEqual(self.calls(), [])


class Statements(DbTest):
    def test_execute_changes_the_database(self):
        r = self.cam.debug("-M", "db", "-e", "insert into port values(1, 8080)", "-d", "oem",
                           "-e", "update oem set model='it''s'")
        self.check(r, VDDB + "End execute: 'insert into port values(1, 8080)' \n" + OEM
                   + "End execute: 'update oem set model='it''s'' \n")
        self.assertEqual(self.rows("select * from port"), [(0, 80), (1, 8080)])
        self.assertEqual(self.rows("select model from oem", "/mnt/nand2/oem.db"), [("it's",)])
        lock = self.cam.path("/tmp/db.fl")
        self.assertEqual(lock.stat().st_size, 0)

    def test_file_lines_run_one_by_one(self):
        # Cut at 255 characters, this line would delete every user.
        too_long = "select 1;".ljust(255 - len("delete from user")) + "delete from user where name='nobody';\n"
        longest = "insert into port values(5, 5);".ljust(254) + "\n"
        text = ("insert into port values(2, 81);\n"  # each line by itself
                "\n"                                 # a blank line is a statement too
                "insert into nosuch values(1);\n"    # an error stops nothing
                + too_long +                         # refused whole
                longest +                            # 255 characters, line feed included
                "insert into port values(7, 7)")     # the last line needs no line feed
        self.cam.path("/tmp/stmts.sql").write_text(text)
        self.check(self.cam.debug("-M", "db", "-f", "/tmp/stmts.sql", "-f", "/tmp/nosuch"), VDDB,
                   err("vd_db", "db_execute_file",
                       "/tmp/stmts.sql: line 4 longer than 255 characters, not executed\n"))
        self.assertEqual(self.rows("select id from port"), [(0,), (2,), (5,), (7,)])
        self.assertEqual(len(self.rows("select name from user")), 3)
        executed = [line for line in self.calls() if line.startswith("sqlite_execute")]
        self.assertEqual(executed, [
            'sqlite_execute("insert into port values(2, 81);\\n")', 'sqlite_execute("\\n")',
            'sqlite_execute("insert into nosuch values(1);\\n")',
            f'sqlite_execute("{longest[:254]}\\n")', 'sqlite_execute("insert into port values(7, 7)")'])

    def test_new_lock_file_mode(self):
        self.cam.path("/tmp/db.fl").unlink(missing_ok=True)
        self.cam.shell('umask 0; $DEBUG -M db -e "select 1" >/dev/null')
        self.assertEqual(self.cam.path("/tmp/db.fl").stat().st_mode & 0o777, 0o644)


class Concurrency(DbTest):
    def test_work_waits_for_the_lock_file(self):
        # The test holds the lock file as a first writer would and writes
        # while it holds it: a statement or query started meanwhile waits,
        # so it lands after that write and sees it. Without the lock it
        # would run at once, before the write.
        cases = [
            # (options, stdout, rows afterwards)
            (["-e", "insert into turns values('second')"],
             VDDB + "End execute: 'insert into turns values('second')' \n", [("first",), ("second",)]),
            (["-s", "select count(*) from turns"], VDDB + result(["count(*)"], [["1"]]), [("first",)]),
        ]
        for options, stdout, rows in cases:
            with self.subTest(options=options):
                self.cam.debug("-M", "db", "-e", "drop table if exists turns", "-e", "create table turns(what)")
                path = self.cam.path("/tmp/db.fl")
                fd = os.open(path, os.O_RDWR | os.O_CREAT, 0o644)
                self.addCleanup(os.close, fd)
                fcntl.lockf(fd, fcntl.LOCK_EX)
                inode = os.fstat(fd).st_ino
                env = dict(os.environ, VDSIM_TRACE=str(self.cam.trace_file))
                second = subprocess.Popen(
                    [str(CAMSIM), "--build", str(BUILD), "--root", str(self.cam.root), "--", *DEBUG,
                     "-M", "db", *options],
                    stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env, text=True)
                self.addCleanup(second.kill)
                # Blocked on the lock: a waiting request ("->") on the file's inode.
                deadline = time.monotonic() + 120
                while not self.waits_on(inode) and second.poll() is None and time.monotonic() < deadline:
                    time.sleep(0.01)
                with sqlite3.connect(self.cam.path("/mnt/nand/vddb.db")) as con:
                    con.execute("insert into turns values('first')")
                fcntl.lockf(fd, fcntl.LOCK_UN)
                out, error = second.communicate(timeout=180)
                self.assertEqual((out, error, second.returncode), (stdout, "", 0))
                self.assertEqual(self.rows("select what from turns order by rowid"), rows)

    @staticmethod
    def waits_on(inode):
        with open("/proc/locks") as f:
            return any(line.split()[1] == "->" and line.split()[6].endswith(f":{inode}")
                       for line in f if len(line.split()) > 6)


if __name__ == "__main__":
    unittest.main()
