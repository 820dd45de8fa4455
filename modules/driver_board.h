// driver_board.h — what the extdrv and pt modules share: the command record
// of the external driver and pan-tilt boards, its option table rows, its
// option parser and its posting. Not a module: each board's module gives
// its own data (DriverBoard) and registers itself.
#pragma once

#include <getopt.h>
#include <stddef.h>
#include <stdint.h>

#include "module.h"

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

// What tells the two boards' modules apart.
struct DriverBoard {
    const char* unit;  // the module's source unit, named in its error lines
    uint8_t id;
    int shm_key;
    const option* options;
    const char* short_options;
    const OptionHelp* help;
    unsigned help_rows;  // the first rows of options have help
};

// The value of a row that has no short form: getopt_long returns it for the
// long name alone, and the parser treats it as the letter.
constexpr int driver_board_long_only(char letter)
{
    return 0x100 | letter;
}

// The rows both boards share, in help order; the wie options' values tell
// whether they also have a short form.
#define DRIVER_BOARD_OPTION_ROWS(WIE_HID, WIE_PID)                       \
    {"module", required_argument, nullptr, 'M'},                         \
    {"titl_i", required_argument, nullptr, 'w'},                         \
    {"pan_i", required_argument, nullptr, 'q'},                          \
    {"heat", required_argument, nullptr, 'a'},                           \
    {"fan", required_argument, nullptr, 'f'},                            \
    {"defog", required_argument, nullptr, 'd'},                          \
    {"temp", required_argument, nullptr, 'c'},                           \
    {"pan_param", required_argument, nullptr, 'p'},                      \
    {"tilt_param", required_argument, nullptr, 't'},                     \
    {"set_step", required_argument, nullptr, 's'},                       \
    {"query_info", required_argument, nullptr, 'i'},                     \
    {"set_corrent", required_argument, nullptr, 'o'},                    \
    {"set_temp_ctl", required_argument, nullptr, 'e'},                   \
    {"set_heat_open_value", required_argument, nullptr, 'l'},            \
    {"set_heat_close_value", required_argument, nullptr, 'r'},           \
    {"set_fan_open_value", required_argument, nullptr, 'u'},             \
    {"set_fan_close_value", required_argument, nullptr, 'n'},            \
    {"set_current_up_value", required_argument, nullptr, 'g'},           \
    {"set_current_down_value", required_argument, nullptr, 'k'},         \
    {"set pwm_run", required_argument, nullptr, 'b'},                    \
    {"set pwm_idle", required_argument, nullptr, 'j'},                   \
    {"set obj_dis", required_argument, nullptr, 'x'},                    \
    {"set image_dis", required_argument, nullptr, 'y'},                  \
    {"query_wiper_info", required_argument, nullptr, 'W'},               \
    {"calibration rs200_optical_sys", required_argument, nullptr, 'O'},  \
    {"query_wiper_ver", required_argument, nullptr, 'V'},                \
    {"query_wiper_sensor_vsn", required_argument, nullptr, 'P'},         \
    {"set LIGHT1", required_argument, nullptr, 'F'},                     \
    {"set LIGHT2", required_argument, nullptr, 'L'},                     \
    {"SELECT HAVE OR NONE ENDLINE", required_argument, nullptr, 'E'},    \
    {"set wie HID", required_argument, nullptr, WIE_HID},                \
    {"set wie PID", required_argument, nullptr, WIE_PID},                \
    {"set ext LIGHT", required_argument, nullptr, 'T'},                  \
    {"test wiegand mode", required_argument, nullptr, 'R'},              \
    {"control motor run step", required_argument, nullptr, 'm'},         \
    {"test rs485", required_argument, nullptr, 'A'}

// The help rows after the module's own first row.
#define DRIVER_BOARD_HELP_ROWS                                                   \
    {"0~31", "0 is min   ,31is max"},                                            \
    {"0~31", "0 is min   ,31is max"},                                            \
    {"0~1", "0 is close ,1 is open default:0"},                                  \
    {"0~1", "0 is close ,1 is open default:0"},                                  \
    {"0~1", "0 is close ,1 is open default:0"},                                  \
    {"0~10000", "the time_cnt for printf temp(1s)"},                             \
    {"0~10000", "the pan_step will be set default:0"},                           \
    {"0~10000", "the tilt_step will be set default:0"},                          \
    {"00~11", "XY == (X=P_dir Y=T_dir) set dir and start run step"},             \
    {"1~10", "1==(version) 2==(oc_off) 3 = (oc_value) 4==(temp_Info)"},          \
    {"0~1", "0 = open 1= close"},                                                \
    {"0~1", "0 = open 1= close"},                                                \
    {"0~50", "default(28)"},                                                     \
    {"0~50", "default(30)"},                                                     \
    {"0~100", "real value need cut off 50 ; default(-5)"},                       \
    {"0~100", "real value need cut off 50 ; default(-8)"},                       \
    {"0~100", "real value need cut off 50 ; default(-5)"},                       \
    {"0~100", "real value need cut off 50 ; default(-10)"},                      \
    {"1200~2000", "set electric,current running"},                               \
    {"1200~2000", "set electric,current idle"},                                  \
    {"0~10000", "set image_dis"},                                                \
    {"1200~2000", "setobj_dis"},                                                 \
    {"0-1", "set test wiegand mode"},                                            \
    {"", ""}

constexpr unsigned kDriverBoardHelpRows = 25;

// Fills cmd from the command line, then applies the options that only act
// together. False, after its error line, on an unknown option or a bad number.
bool pt_init_param(const DriverBoard& board, int argc, char** argv, DriverBoardCommand* cmd);
void driver_board_usage(const DriverBoard& board);
// The run entry of both modules: parse, then post cmd into the board's block.
int driver_board_test_main(const DriverBoard& board, DriverBoardCommand* cmd, int argc, char** argv);
