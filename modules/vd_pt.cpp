// vd_pt.cpp — post one command to the pan-tilt board through its own
// shared-memory block: the external driver board's commands, and its LED test.
#include <iterator>

#include "driver_board.h"
#include "module.h"

namespace {

constexpr uint8_t kPtId = 20;
constexpr int kPtShmKey = 7765432;

DriverBoardCommand g_cmd{};

// -z has no long name.
constexpr char kShortOptions[] =
    "M:w:q:a:f:d:c:p:t:s:i:o:e:l:r:u:n:g:k:b:j:x:y:W:O:V:P:F:L:E:T:R:z:m:A:G:Y:B:";
const option kOptions[] = {
    DRIVER_BOARD_OPTION_ROWS('G', 'Y'),
    // Code '|' with the value and the last word of the command line.
    {"test set led light", required_argument, nullptr, 'B'},
    {nullptr, 0, nullptr, 0},
};
const OptionHelp kHelp[] = {
    {"module", "module name: pt"},
    DRIVER_BOARD_HELP_ROWS,
};
static_assert(std::size(kHelp) == kDriverBoardHelpRows, "the help rows of the board options");
static_assert(std::size(kOptions) == 38, "37 options");

const DriverBoard kBoard = {"vd_pt", kPtId, kPtShmKey, kOptions, kShortOptions, kHelp,
                            kDriverBoardHelpRows};

void pt_usage()
{
    driver_board_usage(kBoard);
}

int pt_test_main(int argc, char** argv)
{
    return driver_board_test_main(kBoard, &g_cmd, argc, argv);
}

}  // namespace

REGISTER_MODULE(pt, kPtId, pt_test_main, pt_usage, nullptr, kShortOptions, kOptions)
