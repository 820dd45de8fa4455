// driver_board.h — what the extdrv and pt modules share: the command record
// of the external driver and pan-tilt boards, their one option table, its
// option parser and its posting. Not a module: each board's module gives
// its own data (DriverBoard), its tables made from the option table, and
// registers itself.
#pragma once

#include <getopt.h>
#include <stddef.h>
#include <stdint.h>

#include <array>

#include "module.h"
#include "osa.h"

// Read by the board's control process as the processor stores it.
struct DriverBoardCommand {
    int32_t valid;  // 1 = a command is present
    int32_t reserved0;
    int32_t code;  // an ASCII letter
    int32_t param[5];
    int32_t reserved[5];
};
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the block is little-endian");
static_assert(sizeof(DriverBoardCommand) == 52, "DriverBoardCommand layout");
static_assert(offsetof(DriverBoardCommand, valid) == 0, "DriverBoardCommand layout");
static_assert(offsetof(DriverBoardCommand, reserved0) == 4, "DriverBoardCommand layout");
static_assert(offsetof(DriverBoardCommand, code) == 8, "DriverBoardCommand layout");
static_assert(offsetof(DriverBoardCommand, param) == 12, "DriverBoardCommand layout");
static_assert(offsetof(DriverBoardCommand, reserved) == 32, "DriverBoardCommand layout");

// The boards that take an option, by its long name and by its letter.
enum BoardForms : uint8_t {
    kExtdrvLong = 1, kExtdrvLetter = 2, kPtLong = 4, kPtLetter = 8,
    kExtdrv = kExtdrvLong | kExtdrvLetter, kPt = kPtLong | kPtLetter, kBoth = kExtdrv | kPt,
    kLongForms = kExtdrvLong | kPtLong, kLetterForms = kExtdrvLetter | kPtLetter,
};

// What an option does with its value; `code` and `slot` say with what.
enum BoardAction : uint8_t {
    kModule,    // names the module: nothing
    kSingle,    // posts code with the value
    kMotorSub,  // posts 'm' with sub-command code and the value in param[1]
    kPair,      // the value in param[slot]; Pair code posts after parsing
    kLater,     // the value kept as Later slot, acted on after parsing
    kWords,     // posts code with the value and the three words after it
    kLastWord,  // posts code with the value and the last word of the line
};
// Sub-commands of code 'm'.
enum MotorSub { kSetCurrent = 1, kSetTempCtl = 3, kPwm = 4, kHeatPair = 5, kFanPair = 6, kCurrentPair = 7 };
// Options that only act once both of a pair are given, in posting order.
enum Pair { kHeat, kFan, kLight, kWie, kCurrent, kPairs };
// Values that act together after parsing.
enum Later { kPanSteps, kTiltSteps, kSetStep, kPwmRun, kPwmIdle, kLaters };

struct DriverBoardOption {
    const char* name;  // null: no long name
    char letter;       // the parser's key, also of a row with no short form
    uint8_t boards;    // BoardForms
    BoardAction action;
    int32_t code = 0;  // the command code; the sub-command of kMotorSub, the Pair of kPair
    int slot = 0;      // the param index of kPair, the Later of kLater
    const char* hint = nullptr;
    const char* help = nullptr;  // null: no help row (kModule: the board's own)
    const char* echo = nullptr;  // the motor whose current a kSingle option sets, echoed
    int has_arg = required_argument;  // all take one; also the count of ':' after the letter
};

// One row per option of both boards, in the order of their getopt_long
// tables; the rows with help, in the order of the help screen.
inline constexpr DriverBoardOption kDriverBoardOptions[] = {
    {"module", 'M', kBoth, kModule, 0, 0, "module"},
    {"titl_i", 'w', kBoth, kSingle, 'o', 0, "0~31", "0 is min   ,31is max", "tile_motor"},
    {"pan_i", 'q', kBoth, kSingle, 'n', 0, "0~31", "0 is min   ,31is max", "pan_motor"},
    {"heat", 'a', kBoth, kSingle, 'e', 0, "0~1", "0 is close ,1 is open default:0"},
    {"fan", 'f', kBoth, kSingle, 'd', 0, "0~1", "0 is close ,1 is open default:0"},
    {"defog", 'd', kBoth, kSingle, 'f', 0, "0~1", "0 is close ,1 is open default:0"},
    {"temp", 'c', kBoth, kSingle, 'g', 0, "0~10000", "the time_cnt for printf temp(1s)"},
    {"pan_param", 'p', kBoth, kLater, 0, kPanSteps, "0~10000", "the pan_step will be set default:0"},
    {"tilt_param", 't', kBoth, kLater, 0, kTiltSteps, "0~10000", "the tilt_step will be set default:0"},
    {"set_step", 's', kBoth, kLater, 0, kSetStep, "00~11", "XY == (X=P_dir Y=T_dir) set dir and start run step"},
    {"query_info", 'i', kBoth, kSingle, 'k', 0, "1~10", "1==(version) 2==(oc_off) 3 = (oc_value) 4==(temp_Info)"},
    {"set_corrent", 'o', kBoth, kMotorSub, kSetCurrent, 0, "0~1", "0 = open 1= close"},
    {"set_temp_ctl", 'e', kBoth, kMotorSub, kSetTempCtl, 0, "0~1", "0 = open 1= close"},
    {"set_heat_open_value", 'l', kBoth, kPair, kHeat, 1, "0~50", "default(28)"},
    {"set_heat_close_value", 'r', kBoth, kPair, kHeat, 2, "0~50", "default(30)"},
    {"set_fan_open_value", 'u', kBoth, kPair, kFan, 1, "0~100", "real value need cut off 50 ; default(-5)"},
    {"set_fan_close_value", 'n', kBoth, kPair, kFan, 2, "0~100", "real value need cut off 50 ; default(-8)"},
    {"set_current_up_value", 'g', kBoth, kPair, kCurrent, 1, "0~100", "real value need cut off 50 ; default(-5)"},
    {"set_current_down_value", 'k', kBoth, kPair, kCurrent, 2, "0~100", "real value need cut off 50 ; default(-10)"},
    {"set pwm_run", 'b', kBoth, kLater, 0, kPwmRun, "1200~2000", "set electric,current running"},
    {"set pwm_idle", 'j', kBoth, kLater, 0, kPwmIdle, "1200~2000", "set electric,current idle"},
    {"set obj_dis", 'x', kBoth, kSingle, 'i', 0, "0~10000", "set image_dis"},
    {"set image_dis", 'y', kBoth, kSingle, 'j', 0, "1200~2000", "setobj_dis"},
    {"query_wiper_info", 'W', kBoth, kSingle, 'p', 0, "0-1", "set test wiegand mode"},
    {"calibration rs200_optical_sys", 'O', kBoth, kSingle, 'q', 0, "", ""},
    {"query_wiper_ver", 'V', kBoth, kSingle, 'r'},
    {"query_wiper_sensor_vsn", 'P', kBoth, kSingle, 's'},
    {"set LIGHT1", 'F', kBoth, kPair, kLight, 0},
    {"set LIGHT2", 'L', kBoth, kPair, kLight, 1},
    {"SELECT HAVE OR NONE ENDLINE", 'E', kBoth, kSingle, 'u'},
    {"set wie HID", 'G', kExtdrvLong | kPt, kPair, kWie, 0},
    {"set wie PID", 'Y', kExtdrvLong | kPt, kPair, kWie, 1},
    {"set ext LIGHT", 'T', kBoth, kSingle, 'w'},
    {"test wiegand mode", 'R', kBoth, kSingle, 'x'},
    {nullptr, 'z', kExtdrvLetter | kPtLetter, kSingle, 'y'},
    {"control motor run step", 'm', kBoth, kWords, 'z'},
    {"test rs485", 'A', kBoth, kSingle, '{'},
    {"test set led light", 'B', kPt, kLastWord, '|'},
};

// What getopt_long returns for a row on a board (kExtdrv or kPt): its
// letter, or for a long name alone a value no letter has.
constexpr int driver_board_value(const DriverBoardOption& o, uint8_t board)
{
    return (o.boards & board & kLetterForms) != 0 ? o.letter : 0x100 | o.letter;
}

// A board's getopt_long table and short-option string, made at compile time
// in arrays with room for every row: the zeros after its rows end each.
template <uint8_t Board>
constexpr auto driver_board_getopt_table()
{
    std::array<option, std::size(kDriverBoardOptions) + 1> out{};
    size_t n = 0;
    for (const DriverBoardOption& o : kDriverBoardOptions) {
        if ((o.boards & Board & kLongForms) != 0)
            out[n++] = {o.name, o.has_arg, nullptr, driver_board_value(o, Board)};
    }
    return out;
}

template <uint8_t Board>
constexpr auto driver_board_short_options()
{
    std::array<char, 3 * std::size(kDriverBoardOptions) + 1> out{};
    size_t n = 0;
    for (const DriverBoardOption& o : kDriverBoardOptions) {
        if ((o.boards & Board & kLetterForms) == 0)
            continue;
        out[n++] = o.letter;
        for (int k = 0; k < o.has_arg; ++k)
            out[n++] = ':';
    }
    return out;
}

// What tells the two boards' modules apart.
struct DriverBoard {
    ErrorSite site;  // where its option errors say they come from
    uint8_t id;
    int shm_key;
    uint8_t forms;            // kExtdrv or kPt
    const char* module_help;  // the help text of its -M row
    const option* options;
    const char* short_options;
};

// Fills cmd from the command line, then applies the options that only act
// together. False, after its error line, on an unknown option or a bad number.
bool pt_init_param(const DriverBoard& board, int argc, char** argv, DriverBoardCommand* cmd);
void driver_board_usage(const DriverBoard& board);
// The run entry of both modules: parse, then post cmd into the board's block;
// a refused option ends the process after the module's usage.
int driver_board_test_main(const DriverBoard& board, void (*usage)(), DriverBoardCommand* cmd, int argc,
                           char** argv);
