// gpio.cpp — stand-in for the camera's GPIO library: 128 lines whose levels
// are kept in VDSIM_DIR/gpio/<line>, so a level written survives the process.
#include <stdio.h>

#include "gpio.h"
#include "vdsim.h"

namespace {

constexpr int kLines = 128;

bool line_exists(int id)
{
    return id >= 0 && id < kLines;
}

// The state file of a line: "gpio/<line>".
struct LineFile {
    char name[32];
    explicit LineFile(int id) { snprintf(name, sizeof name, "gpio/%d", id); }
};

}  // namespace

extern "C" {

GpioLineMap extGpio = {0, 1, 2, 3, 14, 15, {0, 0}};

int gpio_read(int id)
{
    vdsim::trace("gpio_read", {id});
    if (!line_exists(id))
        return -1;
    return static_cast<int>(vdsim::state_int(LineFile(id).name, 0));
}

int gpio_write(int id, int level)
{
    vdsim::trace("gpio_write", {id, level});
    if (!line_exists(id) || (level != 0 && level != 1))
        return -1;
    return vdsim::set_state_int(LineFile(id).name, level) ? 0 : -1;
}

void gpio_close(void)
{
    vdsim::trace("gpio_close");
}

}  // extern "C"
