// vd_pwm.cpp — read a PWM channel, or program its period and duty, through
// the camera's PWM library.
#include <getopt.h>
#include <stdint.h>

#include <iterator>

#include "module.h"
#include "osa.h"
#include "pwm.h"

namespace {

constexpr uint8_t kPwmId = 4;

enum PwmAction { kPwmNone, kPwmRead, kPwmWrite };

struct PwmRequest {
    int channel;
    int duty;    // tenths of a percent; 0 = off
    int period;
    int enable;  // 0 = off
};
PwmRequest g_req = {0, 500, 100000, 1};

constexpr char kShortOptions[] = "M:c:d:p:e:";
const option kOptions[] = {
    {"module", required_argument, nullptr, 'M'},
    {"channel", required_argument, nullptr, 'c'},
    {"duty", required_argument, nullptr, 'd'},
    {"period", required_argument, nullptr, 'p'},
    {"enable", required_argument, nullptr, 'e'},
    {nullptr, 0, nullptr, 0},
};
const OptionHelp kHelp[] = {
    {"module", "module name: pwm"},
    {"0~PWM_MAX_CHN", "select pwm channel (default is 0)"},
    {"1~1000", "specify duty ratio (0.1% ~ 99.9%), (defalut 500)"},
    {"2~12M", "specify period, (defalut 100K)"},
    {"0~1", "enable switch."},
};
static_assert(std::size(kHelp) + 1 == std::size(kOptions), "one help row per option");

void pwm_usage()
{
    module_usage_print(kPwmId, kOptions, kHelp, std::size(kHelp));
    print("\nNotice:\n");
    print("\tUse lsmod to make sure pwm module has been installed.\n");
    print("\n");
}

constexpr ErrorSite kSite{__FILE_NAME__, "pwm_init_param"};

// Fills g_req in command-line order; the last of -c (read) and -d, -p, -e
// (write) decides the action. Returns false at the first bad option.
bool pwm_init_param(int argc, char** argv, PwmAction* action)
{
    opterr = 0;
    int c;
    while (module_option(argc, argv, kShortOptions, kOptions, kSite, &c)) {
        switch (c) {
        case 'M':
            break;
        case 'c':
            if (!OPT_BOUNDED_I32(kSite, optarg, 0, INT32_MAX, &g_req.channel, "Error pwm channel\n"))
                return false;
            *action = kPwmRead;
            break;
        case 'd':
            if (!OPT_BOUNDED_I32(kSite, optarg, 1, INT32_MAX, &g_req.duty, "Error pwm duty\n"))
                return false;
            *action = kPwmWrite;
            break;
        case 'p':
            if (!OPT_BOUNDED_I32(kSite, optarg, 1, INT32_MAX, &g_req.period, "Error pwm period\n"))
                return false;
            *action = kPwmWrite;
            break;
        case 'e':
            if (!OPT_BOUNDED_I32(kSite, optarg, 0, 1, &g_req.enable, "Error pwm period, must be [0-1]\n"))
                return false;
            if (g_req.enable == 0)
                g_req.duty = 0;
            *action = kPwmWrite;
            break;
        }
    }
    return c == 0;
}

int pwm_test_main(int argc, char** argv)
{
    // Named in one word (--module=pwm) with nothing after it.
    if (argc <= 2) {
        pwm_usage();
        return -1;
    }
    PwmAction action = kPwmNone;
    if (!pwm_init_param(argc, argv, &action))
        module_refuse(pwm_usage);
    if (action == kPwmRead)
        pwm_read(g_req.channel);
    else if (action == kPwmWrite)
        pwm_write(g_req.channel, g_req.period, g_req.duty);
    return 0;
}

}  // namespace

REGISTER_MODULE(pwm, kPwmId, pwm_test_main, pwm_usage, pwm_close, kShortOptions, kOptions)
