// vd_extdrv.cpp — post one command to the external driver board (motors,
// heater, fan, defogger, wiper, lights, Wiegand and RS-485 tests) through its
// shared-memory block.
#include "driver_board.h"
#include "module.h"

namespace {

constexpr uint8_t kExtdrvId = 24;
constexpr int kExtdrvShmKey = 7765433;

DriverBoardCommand g_cmd{};

constexpr auto kOptions = driver_board_getopt_table<kExtdrv>();
constexpr auto kShortOptions = driver_board_short_options<kExtdrv>();
const DriverBoard kBoard = {{__FILE_NAME__, "pt_init_param"}, kExtdrvId, kExtdrvShmKey, kExtdrv,
                            "module name: extdrv", kOptions.data(), kShortOptions.data()};

void extdrv_usage()
{
    driver_board_usage(kBoard);
}

int extdrv_test_main(int argc, char** argv)
{
    return driver_board_test_main(kBoard, extdrv_usage, &g_cmd, argc, argv);
}

}  // namespace

REGISTER_MODULE(extdrv, kExtdrvId, extdrv_test_main, extdrv_usage, nullptr, kShortOptions.data(),
                kOptions.data())
