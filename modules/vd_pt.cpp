// vd_pt.cpp — post one command to the pan-tilt board through its own
// shared-memory block: the external driver board's commands, and its LED test.
#include "driver_board.h"
#include "module.h"

namespace {

constexpr uint8_t kPtId = 20;
constexpr int kPtShmKey = 7765432;

DriverBoardCommand g_cmd{};

constexpr auto kOptions = driver_board_getopt_table<kPt>();
constexpr auto kShortOptions = driver_board_short_options<kPt>();
const DriverBoard kBoard = {{__FILE_NAME__, "pt_init_param"}, kPtId, kPtShmKey, kPt, "module name: pt",
                            kOptions.data(), kShortOptions.data()};

void pt_usage()
{
    driver_board_usage(kBoard);
}

int pt_test_main(int argc, char** argv)
{
    return driver_board_test_main(kBoard, pt_usage, &g_cmd, argc, argv);
}

}  // namespace

REGISTER_MODULE(pt, kPtId, pt_test_main, pt_usage, nullptr, kShortOptions.data(), kOptions.data())
