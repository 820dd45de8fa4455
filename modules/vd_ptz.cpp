// vd_ptz.cpp — drive a PTZ head on the RS-485 line through the camera's PTZ
// library: presets, one timed action, or a sequence that tries them all.
#include <getopt.h>

#include <iterator>

#include "module.h"
#include "osa.h"
#include "vdptz.h"

namespace {

constexpr uint8_t kPtzId = 7;

// Action codes as the PTZ library knows them.
enum PtzAction {
    kUp = 0, kDown = 1, kLeft = 2, kRight = 3, kUpLeft = 4, kDownRight = 5, kDownLeft = 6,
    kUpRight = 7, kIrisIn = 8, kIrisOut = 9, kZoomIn = 10, kZoomOut = 11, kFocusIn = 14,
    kFocusOut = 15, kAutoFocus = 17, kResetFocus = 18, kAutoScan = 21, kLightOn = 27,
    kLightOff = 28, kBrushOn = 29, kBrushOff = 30, kStop = 32,
    kTestAll = 'v',
};

struct PtzRequest {
    int action;    // a PtzAction
    int baudrate;  // of the RS-485 line
    int protocol;  // 0 = Pelco-D, 1 = Pelco-P
    int pan_speed;
    int tilt_speed;
    int delay;  // seconds each action runs
};
PtzRequest g_req = {kTestAll, 9600, 0, 38, 38, 50};

const int kTestAllSteps[] = {kUp,        kDown,     kUp,       kLeft,    kRight,
                             kLeft,      kUpRight,  kDownRight, kUpLeft, kDownLeft,
                             kLightOn,   kLightOff, kBrushOn,  kBrushOff};
constexpr int kAutoScanSeconds = 15;

constexpr char kShortOptions[] = "M:d:S:B:P:s:c:g:t";
const option kOptions[] = {
    {"module", required_argument, nullptr, 'M'},
    {"delay", required_argument, nullptr, 'd'},
    {"speed", required_argument, nullptr, 'S'},
    {"baudrate", required_argument, nullptr, 'B'},
    {"protocol", required_argument, nullptr, 'P'},
    {"spreset", required_argument, nullptr, 's'},
    {"cpreset", required_argument, nullptr, 'c'},
    {"gpreset", required_argument, nullptr, 'g'},
    {"testall", no_argument, nullptr, 't'},
    {"up", no_argument, nullptr, kUp},
    {"upleft", no_argument, nullptr, kUpLeft},
    {"upright", no_argument, nullptr, kUpRight},
    {"down", no_argument, nullptr, kDown},
    {"downleft", no_argument, nullptr, kDownLeft},
    {"downright", no_argument, nullptr, kDownRight},
    {"auto", no_argument, nullptr, kAutoScan},
    {"stop", no_argument, nullptr, kStop},
    {"zoomin", no_argument, nullptr, kZoomIn},
    {"zoomout", no_argument, nullptr, kZoomOut},
    {"irisin", no_argument, nullptr, kIrisIn},
    {"irisout", no_argument, nullptr, kIrisOut},
    {"focusin", no_argument, nullptr, kFocusIn},
    {"focusout", no_argument, nullptr, kFocusOut},
    {"autofocus", no_argument, nullptr, kAutoFocus},
    {"rstfocus", no_argument, nullptr, kResetFocus},
    {"lightoff", no_argument, nullptr, kLightOff},
    {"lighton", no_argument, nullptr, kLightOn},
    {"brushoff", no_argument, nullptr, kBrushOff},
    {"brushon", no_argument, nullptr, kBrushOn},
    {nullptr, 0, nullptr, 0},
};
const OptionHelp kHelp[] = {
    {"module", "module name: ptz"},
    {"digit", "Set ptz run delay [n]s, default [5]s"},
    {"digit", "Set ptz speed percentage[0 - 100] default 50"},
    {"digit", "Set rs485 baudrate default[9600] [2400 4800 9600 19200]"},
    {"digit", "Set ptz protocol default[0], 0: PELCO_D, 1: PELCO_P"},
    {"digit", "Set ptz preset position"},
    {"digit", "Clean ptz preset position"},
    {"digit", "Goto ptz preset position"},
    {"", "PTZ test all function, default will test all"},
    {"", "PTZ run top"},
    {"", "PTZ run top left"},
    {"", "PTZ run top right"},
    {"", "PTZ run bottom "},
    {"", "PTZ run bottom left"},
    {"", "PTZ run bottom right"},
    {"", "PTZ run auto scanning"},
    {"", "PTZ stop running all"},
    {"", "PTZ run zoom in"},
    {"", "PTZ run zoom out"},
    {"", "PTZ run iris in"},
    {"", "PTZ run iris out"},
    {"", "PTZ run focus in"},
    {"", "PTZ run focus out"},
    {"", "PTZ run auto focus"},
    {"", "PTZ run reset focus"},
    {"", "PTZ run light on"},
    {"", "PTZ run light off"},
    {"", "PTZ run brush on"},
    {"", "PTZ run brush off"},
};
static_assert(std::size(kHelp) + 1 == std::size(kOptions), "one help row per option");

void ptz_usage()
{
    module_usage_print(kPtzId, kOptions, kHelp, std::size(kHelp));
}

bool is_action_option(int c)
{
    for (const option* o = kOptions; o->name != nullptr; ++o) {
        if (o->has_arg == no_argument && o->val == c && c != 't')
            return true;
    }
    return false;
}

constexpr ErrorSite kSite{__FILE_NAME__, "ptz_init_param"};

// Fills g_req in command-line order; presets are stored, cleared or
// recalled at once. Returns false at the first bad option.
bool ptz_init_param(int argc, char** argv)
{
    int c;
    while (module_option(argc, argv, kShortOptions, kOptions, kSite, &c)) {
        int value = 0;
        switch (c) {
        case 'd':
            if (!opt_u32(optarg, &g_req.delay))
                return false;
            break;
        case 'S':
            if (!OPT_BOUNDED(kSite, optarg, 0, 9, &value, "Error speed!\r\n"))
                return false;
            g_req.pan_speed = g_req.tilt_speed = value + 1;
            break;
        case 'B':
            if (!opt_u32(optarg, &g_req.baudrate))
                return false;
            if (g_req.baudrate != 2400 && g_req.baudrate != 4800 && g_req.baudrate != 9600 &&
                g_req.baudrate != 19200) {
                ERR_PRINT("Error baudrate!\r\n");
                return false;
            }
            break;
        case 'P':
            if (!OPT_BOUNDED(kSite, optarg, 0, 1, &g_req.protocol, "Error procotol\r\n"))
                return false;
            break;
        case 's':
        case 'c':
        case 'g':
            if (!opt_u32(optarg, &value))
                return false;
            if (c == 's')
                pt_set_preset(value);
            else if (c == 'c')
                pt_remove_preset(value);
            else
                pt_go_preset(value);
            break;
        case 't':
            g_req.action = kTestAll;
            break;
        default:
            if (is_action_option(c))
                g_req.action = c;
            break;
        }
    }
    return c == 0;
}

// Lets the running action go on for the given seconds, a second at a time;
// false when a signal asked to quit.
bool ptz_wait(int seconds)
{
    for (int i = 0; i < seconds; ++i) {
        if (g_quit)
            return false;
        OSA_sleepMilli(1000);
    }
    return !g_quit;
}

int ptz_test_main(int argc, char** argv)
{
    if (!ptz_init_param(argc, argv))
        module_refuse(ptz_usage);
    pt_set_speed(g_req.pan_speed, g_req.tilt_speed);
    if (g_req.action == kTestAll) {
        bool go_on = true;
        for (int step : kTestAllSteps) {
            pt_run(step);
            if (!(go_on = ptz_wait(g_req.delay)))
                break;
        }
        if (go_on) {
            pt_run(kAutoScan);
            ptz_wait(kAutoScanSeconds);
        }
    } else {
        pt_run(g_req.action);
        ptz_wait(g_req.delay);
    }
    pt_tty_deinit(1);
    return 0;
}

}  // namespace

REGISTER_MODULE(ptz, kPtzId, ptz_test_main, ptz_usage, nullptr, kShortOptions, kOptions)
