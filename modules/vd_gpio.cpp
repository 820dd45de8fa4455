// vd_gpio.cpp — read or drive one GPIO line through the camera's GPIO library.
#include <getopt.h>

#include <iterator>

#include "gpio.h"
#include "module.h"
#include "osa.h"

namespace {

constexpr uint8_t kGpioId = 3;
constexpr uint32_t kGpioMaxLine = 127;
constexpr ErrorSite kSite{__FILE_NAME__, "gpio_init_param"};

enum GpioOperation { kGpioRead = 0, kGpioWrite = 1, kGpioInputConfig = 2 };

struct GpioRequest {
    int operation;
    int id;
    int data;   // level to write; after a read, the level read
    int times;  // kept, not used
    int delay;  // validated, not used
};
GpioRequest g_req{};

constexpr char kShortOptions[] = "M:r:w:d:t:D:p:";
const option kOptions[] = {
    {"module", required_argument, nullptr, 'M'},
    {"read", required_argument, nullptr, 'r'},
    {"write", required_argument, nullptr, 'w'},
    {"data", required_argument, nullptr, 'd'},
    {"time", required_argument, nullptr, 't'},
    {"delay", required_argument, nullptr, 'D'},
    {"input_config", required_argument, nullptr, 'p'},
    {nullptr, 0, nullptr, 0},
};
const OptionHelp kHelp[] = {
    {"module", "module name: gpio"},
    {"hex", "read gpio id, default[system_reset]"},
    {"hex", "write gpio id, default[system_reset]"},
    {"data", "data to written, defalut [0x0]"},
    {"digit", "gpio opration times, default 1, [-1] means no timeout"},
    {"digit", "gpio opration delay [n]s, n>0, default 1"},
    {"config", "gpio input config"},
};
static_assert(std::size(kHelp) + 1 == std::size(kOptions), "one help row per option");

void gpio_usage()
{
    module_usage_print(kGpioId, kOptions, kHelp, std::size(kHelp));
}

// Fills g_req in command-line order; stops at the first bad option.
int gpio_init_param(int argc, char** argv)
{
    int c;
    while (module_option(argc, argv, kShortOptions, kOptions, kSite, &c)) {
        switch (c) {
        case 'r':
            if (!opt_u32(optarg, &g_req.id))
                return -1;
            g_req.operation = kGpioRead;
            print("===g_gpio_cfg(%d,%d)=======\n", g_req.operation, g_req.id);
            break;
        case 'p':  // no call configures a line as input: -p ends as a write
        case 'w':
            if (!OPT_BOUNDED(kSite, optarg, 0, kGpioMaxLine, &g_req.id, "gio id must <= %d\n",
                             static_cast<int>(kGpioMaxLine)))
                return -1;
            g_req.operation = kGpioWrite;
            break;
        case 'd':
            if (!OPT_BOUNDED(kSite, optarg, 0, 1, &g_req.data, "gio value must be 0/1! \n"))
                return -1;
            break;
        case 't':
            if (!opt_u32(optarg, &g_req.times))
                return -1;
            break;
        case 'D':
            if (!OPT_BOUNDED(kSite, optarg, 1, UINT32_MAX, &g_req.delay, "gio delay time must > 0! \n"))
                return -1;
            break;
        }
    }
    return c;
}

int gpio_do_rw(GpioRequest& r)
{
    switch (r.operation) {
    case kGpioRead:
        r.data = gpio_read(r.id);
        return 0;
    case kGpioWrite:
        gpio_write(r.id, r.data);
        return 0;
    default:
        ERR_PRINT("gpio_do_rw unknow opt!\n");
        return -1;
    }
}

int gpio_test_main(int argc, char** argv)
{
    if (gpio_init_param(argc, argv) != 0) {
        gpio_usage();
        gpio_close();
        return 0;
    }
    if (gpio_do_rw(g_req) != 0) {
        print("gpio_do_rw faild!\n");
        return -1;
    }
    if (g_req.operation == kGpioRead)
        print("GPIO read id = %d, data = %d\n", g_req.id, g_req.data);
    else
        print("GPIO write id = %d, data = %d\n", g_req.id, g_req.data);
    gpio_close();
    return 0;
}

}  // namespace

REGISTER_MODULE(gpio, kGpioId, gpio_test_main, gpio_usage, gpio_close, kShortOptions, kOptions)
