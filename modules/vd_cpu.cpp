// vd_cpu.cpp — system-wide CPU load, sampled from the kernel's time counters
// at a fixed interval, shown per interval and logged to a file.
#include "vd_cpu.h"

#include <errno.h>
#include <fcntl.h>
#include <getopt.h>
#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <iterator>

#include "module.h"
#include "osa.h"

namespace {

constexpr uint8_t kCpuId = 8;
constexpr char kCpuVersion[] = "1.0.2";
constexpr size_t kCpuLogNameMax = 62;  // longest name the buffer takes, with room to spare
constexpr ErrorSite kSite{__FILE_NAME__, "cpu_init_param"};

struct CpuSettings {
    int count;  // load lines to print
    int delay;  // seconds between samples
    char log_name[64];
};
CpuSettings g_cpu = {60, 1, "/tmp/cpulog.txt"};
CpuCounters g_prev{};  // the previous sample; all zero until the baseline

constexpr char kShortOptions[] = "M:d:c:l:v";
const option kOptions[] = {
    {"module", required_argument, nullptr, 'M'},
    {"delay", required_argument, nullptr, 'd'},
    {"count", required_argument, nullptr, 'c'},
    {"log", required_argument, nullptr, 'l'},
    {"version", no_argument, nullptr, 'v'},
    {nullptr, 0, nullptr, 0},
};
const OptionHelp kHelp[] = {
    {"module", "module name: cpu"},
    {"digit", "cpu check interval seconds, defalut [1]s"},
    {"digit", "cpu repeat count times, defalut [60]"},
    {"file", "cpu log file, default[/tmp/cpulog.txt]"},
    {"", "cpu version information"},
};
static_assert(std::size(kHelp) + 1 == std::size(kOptions), "one help row per option");

#define CPU_GREEN "\33[1;32m"
#define CPU_RED "\33[0;31m"
#define CPU_NORMAL "\33[0;39m"

void cpu_usage()
{
    module_usage_print(kCpuId, kOptions, kHelp, std::size(kHelp));
}

// Fills g_cpu in command-line order; stops at the first bad option.
int cpu_init_param(int argc, char** argv)
{
    int c;
    while (module_option(argc, argv, kShortOptions, kOptions, kSite, &c)) {
        switch (c) {
        // Both are ints: a number past INT32_MAX ("-5" reads as 0xfffffffb) is not > 0.
        case 'c':
            if (!OPT_BOUNDED(kSite, optarg, 1, INT32_MAX, &g_cpu.count, "Cpu count must > 0\n"))
                return -1;
            break;
        case 'd':
            if (!OPT_BOUNDED(kSite, optarg, 1, INT32_MAX, &g_cpu.delay, "Cpu delay must > 0\n"))
                return -1;
            break;
        case 'l':
            if (strlen(optarg) > kCpuLogNameMax) {
                ERR_PRINT("Cpu log name length must < 64!\n");
                return -1;
            }
            copy_bounded(g_cpu.log_name, sizeof g_cpu.log_name, optarg);
            break;
        case 'v':
            print("CPU version: %s\n", kCpuVersion);
            break;
        }
    }
    return c;
}

// Reads the start of a /proc file into buf with one read: the kernel hands a
// record of these files over in one piece. Its length, or -1 when it cannot
// be opened or read.
ssize_t read_proc(const char* path, char* buf, size_t size, bool* opened)
{
    UniqueFd fd(open(path, O_RDONLY | O_CLOEXEC));
    *opened = fd.valid();
    if (!fd.valid())
        return -1;
    ssize_t n;
    do {
        n = read(fd.get(), buf, size - 1);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return -1;
    buf[n] = '\0';
    return n;
}

// One sample: new counters into g_prev and, past the baseline, new figures.
// A sample that fails leaves both as they were.
void cpu_sample(CpuFigures* figures)
{
    // The aggregate line comes first; the rest of the file is not needed.
    char text[1024];
    bool opened = false;
    CpuCounters cur{};
    ssize_t len = read_proc("/proc/stat", text, sizeof text, &opened);
    if (!opened) {
        fprintf(stderr, CPU_RED "Error: /proc/stat not found. Is the /proc filesystem mounted?\n" CPU_NORMAL " \n");
        return;
    }
    if (len < 0 || !cpu_parse_stat(text, &cur))
        return;
    len = read_proc("/proc/self/stat", text, sizeof text, &opened);
    if (!opened) {
        fprintf(stderr, CPU_RED "Error: /proc/self/stat not found. Is the /proc filesystem mounted?\n" CPU_NORMAL " \n");
        return;
    }
    if (len < 0)
        return;
    if (!cpu_parse_self_stat(text, &cur.process)) {
        fprintf(stderr, CPU_RED "Error: Failed to get process load information.\n" CPU_NORMAL " \n");
        return;
    }
    if (!cpu_counters_zero(g_prev))
        *figures = cpu_figures(g_prev, cur, *figures);
    g_prev = cur;
}

int cpu_test_main(int argc, char** argv)
{
    if (cpu_init_param(argc, argv) != 0) {
        cpu_usage();
        return 0;
    }
    FILE* log = fopen(g_cpu.log_name, "wb");
    if (log != nullptr)
        print(CPU_GREEN "Create cpu log: %s\n" CPU_NORMAL " \n", g_cpu.log_name);
    else
        fprintf(stderr, CPU_RED "Error: Can't create log %s\n" CPU_NORMAL " \n", g_cpu.log_name);
    print(CPU_GREEN "ARM LOAD RUNNING FOR COUNT: %d \n" CPU_NORMAL " \n", g_cpu.count);

    CpuFigures f{};
    double sum = 0;
    double max = 0;
    double min = 100;
    int printed = 0;
    // Seconds to milliseconds in 32 bits, as the sleep takes them.
    uint32_t sleep_ms = static_cast<uint32_t>(g_cpu.delay) * 1000u;
    for (int i = 0; !g_quit; ++i) {
        cpu_sample(&f);
        if (i > g_cpu.count) {
            g_quit = 1;
        } else if (i > 0) {
            if (f.cpu > max)
                max = f.cpu;
            if (f.cpu < min)
                min = f.cpu;
            sum += f.cpu;
            ++printed;
            if (log != nullptr)
                fprintf(log, "CPU:%3.0f%% (sys:%3.0f%% user:%3.0f%% wait:%3.0f%% steal:%3.0f%%)\n",
                        f.cpu, f.sys, f.user, f.wait, f.steal);
            print(CPU_GREEN "CPU:%3.0f%% (sys:%3.0f%% user:%3.0f%% wait:%3.0f%% steal:%3.0f%%)" CPU_NORMAL " \n",
                  f.cpu, f.sys, f.user, f.wait, f.steal);
        }
        OSA_sleepMilli(sleep_ms);
    }

    // Interrupted before the first interval: nothing was measured.
    double average = 0;
    if (printed > 0)
        average = sum / printed;
    else
        max = min = 0;
    if (log != nullptr) {
        fprintf(log, "Average:%4.3f%%   Max:%4.2f%%  Min:%4.2f%%\n", average, max, min);
        fclose(log);
    }
    print(CPU_GREEN "Average:%4.3f%%   Max:%4.2f%%  Min:%4.2f%%" CPU_NORMAL " \n", average, max, min);
    return 0;
}

}  // namespace

bool cpu_parse_stat(const char* text, CpuCounters* out)
{
    // One record per line, the aggregate one named exactly "cpu"; each line is
    // read on its own so that a short record never borrows from the next.
    for (const char* line = text; *line != '\0';) {
        const char* end = strchr(line, '\n');
        size_t len = end != nullptr ? static_cast<size_t>(end - line) : strlen(line);
        char record[512];
        copy_bounded(record, sizeof record, line);
        if (len < sizeof record)
            record[len] = '\0';
        char name[5];
        uint64_t user, nice, system, idle, iowait, irq, softirq, steal;
        int n = sscanf(record,
                       "%4s %" SCNu64 " %" SCNu64 " %" SCNu64 " %" SCNu64 " %" SCNu64 " %" SCNu64
                       " %" SCNu64 " %" SCNu64,
                       name, &user, &nice, &system, &idle, &iowait, &irq, &softirq, &steal);
        if (n == 9 && strcmp(name, "cpu") == 0) {
            out->user_nice = user + nice;
            out->nice = nice;
            out->system_all = system + irq + softirq;
            out->idle = idle;
            out->iowait = iowait;
            out->irq = irq;
            out->softirq = softirq;
            out->steal = steal;
            out->total = user + nice + system + idle + iowait + irq + softirq + steal;
            return true;
        }
        if (end == nullptr)
            break;
        line = end + 1;
    }
    return false;
}

bool cpu_parse_self_stat(const char* text, uint64_t* process)
{
    // The command name (field 2) may hold spaces and parentheses: the fields
    // after it start past its last ')'.
    const char* p = strrchr(text, ')');
    if (p == nullptr)
        return false;
    uint64_t utime, stime, cutime, cstime;
    int n = sscanf(p + 1,
                   " %*s %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %" SCNu64 " %" SCNu64 " %" SCNu64
                   " %" SCNu64,
                   &utime, &stime, &cutime, &cstime);
    if (n < 4)
        return false;
    *process = utime + stime + cutime + cstime;
    return true;
}

bool cpu_counters_zero(const CpuCounters& c)
{
    return c.user_nice == 0 && c.nice == 0 && c.system_all == 0 && c.idle == 0 && c.iowait == 0 &&
           c.irq == 0 && c.softirq == 0 && c.steal == 0 && c.total == 0 && c.process == 0;
}

CpuFigures cpu_figures(const CpuCounters& prev, const CpuCounters& cur, const CpuFigures& last)
{
    uint64_t total = cur.total - prev.total;
    if (total == 0)
        return last;
    double t = static_cast<double>(total);
    CpuFigures f;
    f.cpu = 100.0 - static_cast<double>(cur.idle - prev.idle) * 100.0 / t;
    f.user = static_cast<double>(cur.user_nice - prev.user_nice) * 100.0 / t;
    f.sys = static_cast<double>(cur.system_all - prev.system_all) * 100.0 / t;
    f.wait = static_cast<double>(cur.iowait - prev.iowait) * 100.0 / t;
    f.steal = static_cast<double>(cur.steal - prev.steal) * 100.0 / t;
    return f;
}

REGISTER_MODULE(cpu, kCpuId, cpu_test_main, cpu_usage, nullptr, kShortOptions, kOptions)
