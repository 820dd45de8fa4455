// gpio.cpp — stand-in for the camera's GPIO library: 128 lines whose levels
// are kept in VDSIM_DIR/gpio/<line>, so a level written survives the process.
#include <string>

#include "gpio.h"
#include "vdsim.h"

namespace {

constexpr int kLines = 128;

bool line_exists(int id)
{
    return id >= 0 && id < kLines;
}

std::string line_file(int id)
{
    return "gpio/" + std::to_string(id);
}

}  // namespace

extern "C" {

GpioLineMap extGpio = {0, 1, 2, 3, 14, 15, {0, 0}};

int gpio_read(int id)
{
    vdsim::trace("gpio_read", {id});
    if (!line_exists(id))
        return -1;
    return static_cast<int>(vdsim::state_int(line_file(id), 0));
}

int gpio_write(int id, int level)
{
    vdsim::trace("gpio_write", {id, level});
    if (!line_exists(id) || (level != 0 && level != 1))
        return -1;
    return vdsim::set_state_int(line_file(id), level) ? 0 : -1;
}

void gpio_close(void)
{
    vdsim::trace("gpio_close");
}

}  // extern "C"
