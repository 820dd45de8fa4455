// test.cpp — program entry: start-up, the argument scan, dispatch to a module
// and shutdown.
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "db_files.h"
#include "module.h"
#include "osa.h"
#include "scan.h"

namespace {

char g_module_name[64];
char g_help_module[64];

// The program's own options exist only to be printed in its usage.
struct ProgramOption {
    const char* name;
    char letter;
    const char* hint;
    const char* text;
};
const ProgramOption kProgramOptions[] = {
    {"module", 'M', "str", "module name like spi/i2c/gpio/adc/sensor"},
    {"help", 'h', "str", "display module usage, module name like spi/i2c/gpio/adc/sensor "},
};

// Async-signal-safe: one write of a line built on the stack. Taking the
// console lock here could wait forever on the thread the signal interrupted.
void sig_quit_handler(int signo)
{
    int saved_errno = errno;
    char line[48] = "\nGet signal, signo = ";
    size_t len = strlen(line);
    char digits[12];
    size_t n = 0;
    unsigned value = static_cast<unsigned>(signo);
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0 && n < sizeof digits);
    while (n > 0)
        line[len++] = digits[--n];
    line[len++] = '\n';
    ssize_t ignored = write(STDOUT_FILENO, line, len);
    (void)ignored;
    g_quit = 1;
    errno = saved_errno;
}

int test_init()
{
    signal(SIGINT, sig_quit_handler);
    signal(SIGQUIT, sig_quit_handler);
    signal(SIGTERM, sig_quit_handler);
    signal(SIGKILL, sig_quit_handler);  // refused by the system; harmless
    // Whole lines reach a pipe in order, also around the handler's own write.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    db_files_prepare();
    int status = OSA_init();
    status |= OSA_logInit();
    return status;
}

int test_exit()
{
    g_quit = 1;
    module_exit_all();
    OSA_logClose();
    OSA_deinit();
    return 0;
}

void program_usage()
{
    print("%s usage:\n", g_program_name);
    print("%s [module option] \n", g_program_name);
    for (const ProgramOption& o : kProgramOptions)
        option_row_print(o.letter, o.name, o.hint, o.text, false);
    print("Note: use { %s -h [module name] } to get detail help!\n", g_program_name);
    module_list_print(kModuleListAll);
}

}  // namespace

int main(int argc, char** argv)
{
    if (test_init() != 0) {
        ERR_PRINT("test_init failed!\n");
        test_exit();
        return 0;
    }
    copy_bounded(g_program_name, sizeof g_program_name, argc > 0 && argv[0] ? argv[0] : "");
    ArgScan scan;
    if (argc > 0)
        scan = scan_arguments(argc, argv);
    else
        scan.program_usage = true;
    if (scan.version)
        print("%s version: %s\n", "debug", DEBUG_VERSION);
    if (scan.program_usage) {
        program_usage();
    } else {
        if (scan.module != nullptr)
            copy_bounded(g_module_name, sizeof g_module_name, scan.module);
        if (scan.help != nullptr) {
            copy_bounded(g_help_module, sizeof g_help_module, scan.help);
            test_usage(g_help_module);
        }
        // A help request always wins over a module run.
        if (g_module_name[0] != '\0' && g_help_module[0] == '\0')
            test_run(g_module_name, argc, argv);
    }
    test_exit();
    return 0;
}
