// driver_board.cpp — the option parser and posting shared by the external
// driver board (extdrv) and the pan-tilt board (pt).
#include "driver_board.h"

namespace {

constexpr int32_t kDirectionBit = 0x800000;

// What a pair posts once its options were used twice in all, by Pair.
struct PairPost {
    int32_t code;
    int32_t sub;  // param[0]; -1 keeps the pair's first value there
};
constexpr PairPost kPairPosts[kPairs] = {{'m', kHeatPair}, {'m', kFanPair}, {'t', -1}, {'v', -1},
                                         {'m', kCurrentPair}};

// What the options leave for after parsing.
struct Pending {
    int32_t later[kLaters] = {0, 0, -1, 0, 0};  // set_step -1: not given
    int uses[kPairs] = {};
};

void set_command(DriverBoardCommand* cmd, int32_t code, int32_t param1)
{
    cmd->valid = 1;
    cmd->code = code;
    cmd->param[0] = param1;
}

// A number of the command line, refused in the name of the board's option loop.
bool value_of(const DriverBoard& board, const char* text, int32_t* value)
{
    return opt_i32(text, value, board.site.unit, board.site.func, __LINE__);
}

const DriverBoardOption* row_of(const DriverBoard& board, int value)
{
    for (const DriverBoardOption& o : kDriverBoardOptions) {
        if ((o.boards & board.forms) != 0 && driver_board_value(o, board.forms) == value)
            return &o;
    }
    return nullptr;
}

void apply_pending(const Pending& p, DriverBoardCommand* cmd)
{
    int32_t step = p.later[kSetStep], pan = p.later[kPanSteps], tilt = p.later[kTiltSteps];
    if (step != -1) {
        // XY: X the pan direction, Y the tilt direction.
        set_command(cmd, 'h', step < -9 || step > 9 ? pan | kDirectionBit : pan);
        cmd->param[1] = step % 10 != 0 ? tilt | kDirectionBit : tilt;
    }
    for (int k = 0; k < kPairs; ++k) {
        if (p.uses[k] == 2)
            set_command(cmd, kPairPosts[k].code, kPairPosts[k].sub < 0 ? cmd->param[0] : kPairPosts[k].sub);
    }
    int32_t run = p.later[kPwmRun], idle = p.later[kPwmIdle];
    if (run != 0 && idle != 0) {
        set_command(cmd, 'm', kPwm);
        cmd->param[1] = run & 0xFF;
        cmd->param[2] = (run >> 8) & 0xFF;
        cmd->param[3] = idle & 0xFF;
        cmd->param[4] = (idle >> 8) & 0xFF;
    }
}

}  // namespace

bool pt_init_param(const DriverBoard& board, int argc, char** argv, DriverBoardCommand* cmd)
{
    opterr = 0;
    Pending pending;
    int c;
    while ((c = getopt_long(argc, argv, board.short_options, board.options, nullptr)) != -1) {
        const DriverBoardOption* o = row_of(board, c);
        if (o == nullptr) {
            SITE_ERR(board.site, "Unknow option\n");
            return false;
        }
        int32_t value = 0;
        if (o->action != kModule && !value_of(board, optarg, &value))
            return false;
        switch (o->action) {
        case kSingle:
            set_command(cmd, o->code, value);
            if (o->echo != nullptr)
                print("\n current of %s=%d \n", o->echo, value);
            break;
        case kMotorSub:
            set_command(cmd, 'm', o->code);
            cmd->param[1] = value;
            break;
        case kPair:
            cmd->param[o->slot] = value;
            ++pending.uses[o->code];
            break;
        case kLater: pending.later[o->slot] = value; break;
        case kWords:
            // Three more words follow the value: only a command line of
            // exactly eight words carries them.
            if (argc == 8) {
                for (int k = 0; k < 3; ++k) {
                    if (!value_of(board, argv[5 + k], &cmd->param[1 + k]))
                        return false;
                }
                set_command(cmd, o->code, value);
            }
            break;
        case kLastWord:
            if (!value_of(board, argv[argc - 1], &cmd->param[1]))
                return false;
            set_command(cmd, o->code, value);
            break;
        case kModule: break;
        }
    }
    apply_pending(pending, cmd);
    return true;
}

void driver_board_usage(const DriverBoard& board)
{
    // The help screen's rows: those of the board's options that have help.
    option rows[std::size(kDriverBoardOptions)];
    OptionHelp helps[std::size(kDriverBoardOptions)];
    unsigned n = 0;
    for (const DriverBoardOption& o : kDriverBoardOptions) {
        const char* text = o.action == kModule ? board.module_help : o.help;
        if ((o.boards & board.forms) == 0 || text == nullptr)
            continue;
        rows[n] = {o.name, o.has_arg, nullptr, driver_board_value(o, board.forms)};
        helps[n++] = {o.hint, text};
    }
    module_usage_print(board.id, rows, helps, n);
}

int driver_board_test_main(const DriverBoard& board, void (*usage)(), DriverBoardCommand* cmd, int argc,
                           char** argv)
{
    // Named in one word (--module=NAME) with nothing after it.
    if (argc <= 2) {
        usage();
        return -1;
    }
    if (!pt_init_param(board, argc, argv, cmd))
        module_refuse(usage);
    return OSA_shmPost(board.shm_key, cmd, sizeof *cmd);
}
