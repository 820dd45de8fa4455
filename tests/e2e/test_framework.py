"""The program entry: argument scan, usage, help, dispatch and shutdown."""
import unittest

from camtest import EXIT_CALLS, CameraTest, err, golden

VERSION = "debug version: 1.2.0\n"
USAGE = golden("program_usage.txt")
GPIO_USAGE = golden("gpio_usage.txt")
GPIO_READ_0 = "GPIO read id = 0, data = 0\n"


class ArgumentScan(CameraTest):
    def test_token_rules(self):
        cases = [
            # (arguments, standard output)
            ([], USAGE),
            (["-h", "gpio"], VERSION + GPIO_USAGE),
            (["--help", "gpio"], VERSION + GPIO_USAGE),
            (["-h"], VERSION + USAGE),
            (["-M"], USAGE),
            (["--module"], USAGE),
            (["-M", "adc", "-M", "gpio"], GPIO_READ_0),
            (["--module", "gpio"], GPIO_READ_0),
            (["-M", "adc", "-h", "gpio"], VERSION + GPIO_USAGE),
            (["-h", "gpio", "-M", "adc"], VERSION + GPIO_USAGE),
            (["-h", "gpio", "-M", "gpio"], VERSION + GPIO_USAGE),
            (["-M", "adc", "-h"], VERSION + USAGE),
            (["-Mgpio"], USAGE),
            (["--module=gpio"], USAGE),
            (["gpio"], USAGE),
            (["-M", "-h"], VERSION + USAGE),
            (["-M", "nosuch"], ""),
            (["-M", "GPIO"], ""),
            (["-M", "gpi"], ""),
            (["-h", "nosuch"], VERSION),
            (["-h", "GPIO"], VERSION),
            (["-h", ""], VERSION),
            (["-M", ""], ""),
        ]
        for args, stdout in cases:
            with self.subTest(args=args):
                self.check(self.cam.debug(*args), stdout)

    def test_empty_help_name_runs_the_module(self):
        # The module then meets -h among its own options.
        r = self.cam.debug("-M", "gpio", "-h", "")
        self.check(r, VERSION + GPIO_USAGE,
                   "debug: invalid option -- 'h'\n" + err("vd_gpio", "gpio_init_param", "Unknow option\n"))

    def test_help_or_usage_runs_no_module(self):
        for args in ([], ["-h", "gpio"], ["-M", "nosuch"], ["-M", "adc", "-h", "gpio"]):
            with self.subTest(args=args):
                self.cam.debug(*args)
                # Only the exit entries ran.
                self.assertEqual(self.cam.trace(), EXIT_CALLS)

    def test_module_gets_the_whole_argument_vector(self):
        # Options before -M and after the module's name reach the module alike.
        self.check(self.cam.debug("-w", "9", "-M", "gpio", "-d", "1"), "GPIO write id = 9, data = 1\n")
        self.assertEqual(self.cam.trace(), ["gpio_write(9, 1)", "gpio_close()"] + EXIT_CALLS)


class ModuleHelp(CameraTest):
    def test_every_listed_module_has_its_help_screen(self):
        listing = self.cam.debug().stdout.split("modules name:\n", 1)[1]
        names = listing.split()
        self.assertIn("gpio", names)
        for name in names:
            with self.subTest(module=name):
                self.check(self.cam.debug("-h", name), VERSION + golden(f"{name}_usage.txt"))


class LongArguments(CameraTest):
    def test_overlong_names_are_cut_not_overrun(self):
        long_name = "gpio" + "x" * 300
        self.check(self.cam.debug("-M", long_name), "")
        self.check(self.cam.debug("-h", long_name), VERSION)
        # A name cut at 63 characters matches nothing, not even its prefix.
        self.check(self.cam.debug("-M", "g" * 63 + "pio"), "")

    def test_program_name_is_cut_at_255(self):
        argv0 = "d" * 400
        r = self.cam.run("bash", "-c", 'exec -a "$0" debug', argv0)
        first = r.stdout.splitlines()[0]
        self.assertEqual(first, "d" * 255 + " usage:")
        self.assertEqual(r.status, 0)


class StartAndStop(CameraTest):
    def test_default_databases_are_put_in_place(self):
        for db in ("/mnt/nand/vddb.db", "/mnt/nand2/oem.db"):
            self.cam.path(db).unlink(missing_ok=True)
        self.cam.debug("-M", "nosuch")
        for db, default in (("/mnt/nand/vddb.db", "/opt/app/vddb.db"),
                            ("/mnt/nand2/oem.db", "/opt/app/oem.db")):
            self.assertEqual(self.cam.path(db).read_bytes(), self.cam.path(default).read_bytes())

    def test_existing_databases_are_kept(self):
        self.cam.debug("-M", "nosuch")
        self.cam.path("/mnt/nand/vddb.db").write_bytes(b"changed")
        self.cam.debug("-M", "nosuch")
        self.assertEqual(self.cam.path("/mnt/nand/vddb.db").read_bytes(), b"changed")

    def test_cut_copy_leaves_no_short_database(self):
        # Power goes while the default database is copied (SIGKILL to the
        # whole run after 100 bytes); the next start puts a whole one in place.
        script = """
            rm -f /mnt/nand/vddb.db
            mv /opt/app/vddb.db /opt/app/vddb.real && mkfifo /opt/app/vddb.db
            setsid $DEBUG -M nosuch & pid=$!
            exec 3>/opt/app/vddb.db
            head -c 100 /opt/app/vddb.real >&3
            for i in $(seq 600); do
                [ "$(cat /mnt/nand/vddb.db* 2>/dev/null | wc -c)" -ge 100 ] && break
                sleep 0.05
            done
            kill -KILL -$pid; { wait $pid; } 2>/dev/null; exec 3>&-
            rm /opt/app/vddb.db && mv /opt/app/vddb.real /opt/app/vddb.db
            $DEBUG -M nosuch && cmp /mnt/nand/vddb.db /opt/app/vddb.db && ls /mnt/nand | grep vddb
        """
        self.check(self.cam.shell(script), "vddb.db\n")

    def test_missing_default_puts_nothing_in_place(self):
        r = self.cam.shell("rm -f /mnt/nand2/oem.db; mv /opt/app/oem.db /opt/app/oem.away;"
                           " $DEBUG -M nosuch; mv /opt/app/oem.away /opt/app/oem.db; ls /mnt/nand2")
        self.check(r, "", err("db_files", "prepare_db", "cannot copy /opt/app/oem.db to"
                                                        " /mnt/nand2/oem.db: No such file or directory\n"))

    def test_no_nand_means_no_work(self):
        r = self.cam.shell("rm -rf /mnt/nand && $DEBUG -h gpio; mkdir /mnt/nand")
        self.check(r, "",
                   err("db_files", "prepare_db", "cannot copy /opt/app/vddb.db to"
                                                 " /mnt/nand/vddb.db: No such file or directory\n")
                   + err("osa_log", "OSA_logInit", "OSA_ipcMakeKey() \n")
                   + err("test", "main", "test_init failed!\n"))
        self.assertEqual(self.cam.trace(), EXIT_CALLS)

    def test_debug_log_semaphore_is_shared(self):
        # The first run makes the set with value 1; later runs attach to it.
        r = self.cam.shell("$DEBUG -M nosuch && $DEBUG -M nosuch && ipcs -s | grep -c ' 666 '")
        self.check(r, "1\n")


class Signals(CameraTest):
    def test_signal_is_reported_and_the_run_goes_on(self):
        # debug is held at start-up, copying a default database from a FIFO
        # (the shell's open returns once debug has opened it), while SIGTERM
        # arrives; then the copy ends and the run goes on.
        script = """
            rm -f /mnt/nand/vddb.db
            mv /opt/app/vddb.db /opt/app/vddb.real && mkfifo /opt/app/vddb.db
            $DEBUG -M gpio -r 4 > /tmp/out &
            pid=$!
            exec 3>/opt/app/vddb.db
            kill -TERM $pid
            sleep 0.2
            cat /opt/app/vddb.real >&3
            exec 3>&-
            wait $pid
            echo "status $?"
            rm /opt/app/vddb.db && mv /opt/app/vddb.real /opt/app/vddb.db
            cat /tmp/out
        """
        r = self.cam.shell(script)
        self.check(r, "status 0\n\nGet signal, signo = 15\n"
                      "===g_gpio_cfg(0,4)=======\nGPIO read id = 4, data = 0\n")
        self.assertEqual(self.cam.trace(), ["gpio_read(4)", "gpio_close()"] + EXIT_CALLS)

    def test_interrupt_ends_a_looping_module(self):
        # SIGINT during the cpu monitor's first interval: it ends with nothing
        # measured, and the program still shuts down as usual.
        script = """
            $DEBUG -M cpu -c 3 -d 5 > /tmp/out &
            pid=$!
            for i in $(seq 600); do grep -q 'ARM LOAD' /tmp/out && break; sleep 0.05; done
            kill -INT $pid
            wait $pid
            echo "status $?"
            cat /tmp/out
        """
        green, normal = "\33[1;32m", "\33[0;39m"
        r = self.cam.shell(script)
        self.check(r, "status 0\n"
                      f"{green}Create cpu log: /tmp/cpulog.txt\n{normal} \n"
                      f"{green}ARM LOAD RUNNING FOR COUNT: 3 \n{normal} \n"
                      "\nGet signal, signo = 2\n"
                      f"{green}Average:0.000%   Max:0.00%  Min:0.00%{normal} \n")
        self.assertEqual(self.cam.trace(), EXIT_CALLS)


if __name__ == "__main__":
    unittest.main()
