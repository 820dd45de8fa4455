// vd_ir.cpp — endurance test of the IR-cut filter switch: toggle its GPIO
// line a number of times, then record the date and time used in the debug log.
#include <getopt.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include <iterator>

#include "gpio.h"
#include "module.h"
#include "osa.h"

namespace {

constexpr uint8_t kIrId = 15;
constexpr uint32_t kIrMaxMode = 3;
constexpr size_t kReportSize = 1024;  // the log gets the whole buffer, zeros included
constexpr ErrorSite kSite{__FILE_NAME__, "ir_init_param"};

struct IrRequest {
    int mode;   // 0..3; accepted, the run toggles the IR-cut line alone
    int delay;  // ms after each switch, never 0
    int times;  // switches; -1 until stopped
};
IrRequest g_req{0, 500, 10};

constexpr char kShortOptions[] = "M:l:c:m:t:d:";
const option kOptions[] = {
    {"module", required_argument, nullptr, 'M'},
    {"ir-led", required_argument, nullptr, 'l'},
    {"ir-cut", required_argument, nullptr, 'c'},
    {"mode", required_argument, nullptr, 'm'},
    {"time", required_argument, nullptr, 't'},
    {"delay", required_argument, nullptr, 'd'},
    {nullptr, 0, nullptr, 0},
};
const OptionHelp kHelp[] = {
    {"module", "module name: IR"},
    {"hex", "set IR-led status"},
    {"hex", "set IR-cut status"},
    {"digit", "IR test mode"},
    {"digit", "IR opration times, default 10, [-1] means no timeout"},
    {"digit", "IR opration delay [n]ms, n>0, default 500"},
};
static_assert(std::size(kHelp) + 1 == std::size(kOptions), "one help row per option");

void ir_usage()
{
    module_usage_print(kIrId, kOptions, kHelp, std::size(kHelp));
    print("\nIR test mode: \n");
    print("IR-led on, switch IR-cut \n");
    print("IR-led off, switch IR-cut \nswitch IR-cut and IR-led, on the same\n"
          "switch IR-cut and IR-led, diffrent each other\n");
}

void ir_init_param(int argc, char** argv)
{
    int c;
    while (module_option(argc, argv, kShortOptions, kOptions, kSite, &c)) {
        uint32_t value = 0;
        switch (c) {
        case 'd':
            if (!OPT_BOUNDED(kSite, optarg, 1, UINT32_MAX, &g_req.delay, "Invalid delay value.\n"))
                module_refuse(ir_usage);
            break;
        case 'm':
            if (!OPT_BOUNDED(kSite, optarg, 0, kIrMaxMode, &g_req.mode, "Invalid mode value.\n"))
                module_refuse(ir_usage);
            break;
        case 't':
            if (!opt_u32(optarg, &g_req.times))
                module_refuse(ir_usage);
            break;
        case 'l':  // the IR-LED and IR-cut levels are accepted and drive nothing
        case 'c':
            if (!opt_u32(optarg, &value))
                module_refuse(ir_usage);
            break;
        }
    }
    if (c != 0)
        module_refuse(ir_usage);
}

int ir_test_main(int argc, char** argv)
{
    ir_init_param(argc, argv);
    time_t now = time(nullptr);
    struct tm start;
    localtime_r(&now, &start);
    uint32_t start_ms = OSA_clockMilli();

    int level = 0;
    while (!g_quit && g_req.times != 0) {
        if (g_req.times != -1)
            --g_req.times;
        gpio_write(extGpio.ircut, level);
        level = 1 - level;
        OSA_sleepMilli(static_cast<uint32_t>(g_req.delay));
    }

    int used = static_cast<int>((OSA_clockMilli() - start_ms) / 1000);
    char date[64];
    if (asctime_r(&start, date) == nullptr)
        copy_bounded(date, sizeof date, "\n");
    char report[kReportSize];
    memset(report, 0, sizeof report);
    snprintf(report, sizeof report, "Test date: %s\t IR-cut result: success\n\t use time: %ds \n", date,
             used);
    OSA_log(report, sizeof report);
    snprintf(report, sizeof report,
             "\33[0;32mTest date: %s\t IR-cut result: success\n\t use time: %ds \n\33[0;39m \n", date,
             used);
    print("%s", report);
    return 0;
}

}  // namespace

REGISTER_MODULE(ir, kIrId, ir_test_main, ir_usage, nullptr, kShortOptions, kOptions)
