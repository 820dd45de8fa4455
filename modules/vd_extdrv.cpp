// vd_extdrv.cpp — post one command to the external driver board (motors,
// heater, fan, defogger, wiper, lights, Wiegand and RS-485 tests) through its
// shared-memory block.
#include <iterator>

#include "driver_board.h"
#include "module.h"

namespace {

constexpr uint8_t kExtdrvId = 24;
constexpr int kExtdrvShmKey = 7765433;

DriverBoardCommand g_cmd{};

// -G and -Y have no short form here; -z has no long name.
constexpr char kShortOptions[] =
    "M:w:q:a:f:d:c:p:t:s:i:o:e:l:r:u:n:g:k:b:j:x:y:W:O:V:P:F:L:E:T:R:z:m:A:";
const option kOptions[] = {
    DRIVER_BOARD_OPTION_ROWS(driver_board_long_only('G'), driver_board_long_only('Y')),
    {nullptr, 0, nullptr, 0},
};
const OptionHelp kHelp[] = {
    {"module", "module name: extdrv"},
    DRIVER_BOARD_HELP_ROWS,
};
static_assert(std::size(kHelp) == kDriverBoardHelpRows, "the help rows of the board options");
static_assert(std::size(kOptions) == 37, "36 options");

const DriverBoard kBoard = {"vd_extdrv", kExtdrvId, kExtdrvShmKey, kOptions, kShortOptions,
                            kHelp, kDriverBoardHelpRows};

void extdrv_usage()
{
    driver_board_usage(kBoard);
}

int extdrv_test_main(int argc, char** argv)
{
    return driver_board_test_main(kBoard, &g_cmd, argc, argv);
}

}  // namespace

REGISTER_MODULE(extdrv, kExtdrvId, extdrv_test_main, extdrv_usage, nullptr, kShortOptions, kOptions)
