// vd_motor.cpp — run one lens stepper motor (focus, zoom or P-iris) a number
// of steps, and set the P-iris duty, through the camera's stepper library.
#include <getopt.h>

#include <iterator>

#include "module.h"
#include "osa.h"
#include "vdstepper.h"

namespace {

constexpr uint8_t kMotorId = 9;
constexpr uint32_t kZoomMaxSteps = 2768;
constexpr uint32_t kFocusMaxSteps = 6764;
constexpr uint32_t kPirisMaxSteps = 184;
constexpr uint32_t kPirisMaxDuty = 184;
constexpr uint32_t kPirisPollMs = 5;
constexpr ErrorSite kSite{__FILE_NAME__, "motor_init_param"};

// Handed to the library by address: its layout is the library's.
MotorRequest g_req{STEPPER_FOCUS, 0, 10, 0};

constexpr char kShortOptions[] = "M:t:d:s:i:p:";
const option kOptions[] = {
    {"module", required_argument, nullptr, 'M'},
    {"type", required_argument, nullptr, 't'},
    {"dir", required_argument, nullptr, 'd'},
    {"step", required_argument, nullptr, 's'},
    {"init", required_argument, nullptr, 'i'},
    {"piris", required_argument, nullptr, 'p'},
    {nullptr, 0, nullptr, 0},
};
const OptionHelp kHelp[] = {
    {"module", "module name: motor"},
    {"digit", "motor type, default[0]:focus"},
    {"digit", "motor directory, default[0]:forward , value[0:forward]"},
    {"digit", "motor run steps, default[10]"},
    {"digit", "motor initial"},
    {"digit", "P-iris target duty"},
};
static_assert(std::size(kHelp) + 1 == std::size(kOptions), "one help row per option");

void motor_usage()
{
    module_usage_print(kMotorId, kOptions, kHelp, std::size(kHelp));
    print("MOTOR arguments: \n");
    print("type:\n");
    print("    [0]: focus, [1]: zoom, [2]: p-iris\n");
    print("dir:\n");
    print("    [0]: forward, [1]: back \n");
    print("step:\n");
    print("    motor run steps\n");
    print("    For zoom: max steps = %u\n", kZoomMaxSteps);
    print("    For focus: max steps = %u\n", kFocusMaxSteps);
    print("    For piris: max steps = %u\n", kPirisMaxSteps);
    print("piris:\n");
    print("    motor set p-iris duty[0-%u].\n", kPirisMaxDuty);
    print("\n");
}

// Waits for the P-iris to settle; there is no time-out, but Ctrl-C ends it.
bool motor_piris_wait()
{
    for (;;) {
        OSA_sleepMilli(kPirisPollMs);
        if (STEPPER_check_busy(STEPPER_PIRIS) == 0)
            return true;
        if (g_quit) {
            ERR_PRINT("P-iris still busy, wait stopped! \n");
            return false;
        }
    }
}

// Fills g_req in command-line order; a bad option ends the process. False
// when the P-iris wait was stopped.
bool motor_init_param(int argc, char** argv)
{
    int c;
    while (module_option(argc, argv, kShortOptions, kOptions, kSite, &c)) {
        uint32_t value = 0;
        switch (c) {
        case 't':
            if (!OPT_BOUNDED(kSite, optarg, STEPPER_FOCUS, STEPPER_PIRIS, &g_req.type, "Error motor type!\n"))
                module_refuse(motor_usage);
            break;
        case 'd':
            if (!OPT_BOUNDED(kSite, optarg, 0, 3, &g_req.dir, "Error motor directory!\n"))
                module_refuse(motor_usage);
            break;
        case 's':
            if (!opt_u32(optarg, &value))
                module_refuse(motor_usage);
            g_req.steps = value;
            break;
        case 'p':
            if (!OPT_BOUNDED(kSite, optarg, 0, kPirisMaxDuty, &value, "Error P-iris duty!\n"))
                module_refuse(motor_usage);
            STEPPER_set_piris_duty(value);
            if (!motor_piris_wait())
                return false;
            break;
        case 'i':  // accepted; initialising does nothing yet
            if (!opt_u32(optarg, &value))
                module_refuse(motor_usage);
            break;
        }
    }
    if (c != 0)
        module_refuse(motor_usage);
    return true;
}

int motor_test_main(int argc, char** argv)
{
    // A stopped P-iris wait means the operator wants out: no motor run.
    if (motor_init_param(argc, argv) && STEPPER_run(&g_req) != 0)
        ERR_PRINT("STEPPER_run failed! \n");
    STEPPER_close();
    return 0;
}

}  // namespace

REGISTER_MODULE(motor, kMotorId, motor_test_main, motor_usage, nullptr, kShortOptions, kOptions)
