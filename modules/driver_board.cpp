// driver_board.cpp — the option parser and posting shared by the external
// driver board (extdrv) and the pan-tilt board (pt).
#include "driver_board.h"

#include <stdlib.h>

#include "osa.h"

namespace {

constexpr int32_t kDirectionBit = 0x800000;

// Options that post one command with one value.
struct SingleValue {
    int letter;
    int32_t code;
};
constexpr SingleValue kSingleValues[] = {
    {'w', 'o'}, {'q', 'n'}, {'a', 'e'}, {'f', 'd'}, {'d', 'f'}, {'c', 'g'},
    {'i', 'k'}, {'x', 'i'}, {'y', 'j'}, {'W', 'p'}, {'O', 'q'}, {'V', 'r'},
    {'P', 's'}, {'E', 'u'}, {'T', 'w'}, {'R', 'x'}, {'z', 'y'}, {'A', '{'},
};

// Sub-commands of code 'm'.
enum MotorSub { kSetCurrent = 1, kSetTempCtl = 3, kPwm = 4, kHeatPair = 5, kFanPair = 6, kCurrentPair = 7 };

// Options that only act once both of a pair are given: one use counted each.
enum Pair { kHeat, kFan, kCurrent, kLight, kWie, kPairs };
struct PairValue {
    int letter;
    Pair pair;
    int param;  // index in DriverBoardCommand::param
};
constexpr PairValue kPairValues[] = {
    {'l', kHeat, 1},    {'r', kHeat, 2},    {'u', kFan, 1},   {'n', kFan, 2},   {'g', kCurrent, 1},
    {'k', kCurrent, 2}, {'F', kLight, 0},   {'L', kLight, 1}, {'G', kWie, 0},   {'Y', kWie, 1},
};

// What the options leave for after parsing.
struct Pending {
    int32_t pan_steps = 0;
    int32_t tilt_steps = 0;
    int32_t set_step = -1;
    int32_t pwm_run = 0;
    int32_t pwm_idle = 0;
    int uses[kPairs] = {};
};

void set_command(DriverBoardCommand* cmd, int32_t code, int32_t param1)
{
    cmd->valid = 1;
    cmd->code = code;
    cmd->param[0] = param1;
}

// A word of the command line that an option takes as a further value.
bool word_value(const DriverBoard& board, const char* word, int32_t* value)
{
    return opt_i32(word, value, board.unit, "pt_init_param", __LINE__);
}

void apply_pending(const Pending& p, DriverBoardCommand* cmd)
{
    if (p.set_step != -1) {
        // XY: X the pan direction, Y the tilt direction.
        bool pan_dir = p.set_step < -9 || p.set_step > 9;
        bool tilt_dir = p.set_step % 10 != 0;
        set_command(cmd, 'h', pan_dir ? p.pan_steps | kDirectionBit : p.pan_steps);
        cmd->param[1] = tilt_dir ? p.tilt_steps | kDirectionBit : p.tilt_steps;
    }
    if (p.uses[kHeat] == 2)
        set_command(cmd, 'm', kHeatPair);
    if (p.uses[kFan] == 2)
        set_command(cmd, 'm', kFanPair);
    if (p.uses[kLight] == 2)
        set_command(cmd, 't', cmd->param[0]);
    if (p.uses[kWie] == 2)
        set_command(cmd, 'v', cmd->param[0]);
    if (p.uses[kCurrent] == 2)
        set_command(cmd, 'm', kCurrentPair);
    if (p.pwm_run != 0 && p.pwm_idle != 0) {
        set_command(cmd, 'm', kPwm);
        cmd->param[1] = p.pwm_run & 0xFF;
        cmd->param[2] = (p.pwm_run >> 8) & 0xFF;
        cmd->param[3] = p.pwm_idle & 0xFF;
        cmd->param[4] = (p.pwm_idle >> 8) & 0xFF;
    }
}

}  // namespace

bool pt_init_param(const DriverBoard& board, int argc, char** argv, DriverBoardCommand* cmd)
{
    opterr = 0;
    Pending pending;
    int c;
    while ((c = getopt_long(argc, argv, board.short_options, board.options, nullptr)) != -1) {
        if (c == 'M')
            continue;
        if (c == '?' || c == ':' || optarg == nullptr) {
            err_print_prefix(board.unit, __func__, __LINE__);
            err_print_text("Unknow option\n");
            return false;
        }
        int32_t value = 0;
        if (!opt_i32(optarg, &value, board.unit, __func__, __LINE__))
            return false;
        int letter = c & 0xFF;  // a long-only row acts as its letter
        bool done = false;
        for (const SingleValue& s : kSingleValues) {
            if (s.letter == letter) {
                set_command(cmd, s.code, value);
                done = true;
            }
        }
        for (const PairValue& p : kPairValues) {
            if (p.letter == letter) {
                cmd->param[p.param] = value;
                ++pending.uses[p.pair];
                done = true;
            }
        }
        switch (done ? '\0' : letter) {
        case 'o':
            set_command(cmd, 'm', kSetCurrent);
            cmd->param[1] = value;
            break;
        case 'e':
            set_command(cmd, 'm', kSetTempCtl);
            cmd->param[1] = value;
            break;
        case 'm':
            // Three more words follow the value: only a command line of
            // exactly eight words carries them.
            if (argc == 8) {
                int32_t words[3];
                for (int k = 0; k < 3; ++k) {
                    if (!word_value(board, argv[5 + k], &words[k]))
                        return false;
                }
                set_command(cmd, 'z', value);
                cmd->param[1] = words[0];
                cmd->param[2] = words[1];
                cmd->param[3] = words[2];
            }
            break;
        case 'B': {
            int32_t last = 0;
            if (!word_value(board, argv[argc - 1], &last))
                return false;
            set_command(cmd, '|', value);
            cmd->param[1] = last;
            break;
        }
        case 'p': pending.pan_steps = value; break;
        case 't': pending.tilt_steps = value; break;
        case 's': pending.set_step = value; break;
        case 'b': pending.pwm_run = value; break;
        case 'j': pending.pwm_idle = value; break;
        default:
            break;
        }
        if (letter == 'w')
            print("\n current of tile_motor=%d \n", value);
        else if (letter == 'q')
            print("\n current of pan_motor=%d \n", value);
    }
    apply_pending(pending, cmd);
    return true;
}

void driver_board_usage(const DriverBoard& board)
{
    module_usage_print(board.id, board.options, board.help, board.help_rows);
}

int driver_board_test_main(const DriverBoard& board, DriverBoardCommand* cmd, int argc, char** argv)
{
    // Named in one word (--module=NAME) with nothing after it.
    if (argc <= 2) {
        driver_board_usage(board);
        return -1;
    }
    if (!pt_init_param(board, argc, argv, cmd)) {
        driver_board_usage(board);
        exit(-1);
    }
    return OSA_shmPost(board.shm_key, cmd, sizeof *cmd);
}
