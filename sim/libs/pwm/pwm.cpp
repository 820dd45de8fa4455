// pwm.cpp — stand-in for the camera's PWM library: four channels whose period
// and duty are kept in VDSIM_DIR/pwm/<channel>/{period,duty}, so a setting
// written survives the process and a read reports it (in the trace).
#include <stdio.h>

#include "pwm.h"
#include "vdsim.h"

namespace {

constexpr int kChannels = 4;
constexpr int kMaxDuty = 1000;  // tenths of a percent

struct ChannelFile {
    char name[32];
    ChannelFile(int channel, const char* what) { snprintf(name, sizeof name, "pwm/%d/%s", channel, what); }
};

bool channel_exists(int channel)
{
    return channel >= 0 && channel < kChannels;
}

}  // namespace

extern "C" {

int pwm_read(int channel)
{
    if (!channel_exists(channel)) {
        vdsim::trace("pwm_read", {channel, "no such channel"});
        return -1;
    }
    int period = static_cast<int>(vdsim::state_int(ChannelFile(channel, "period").name, 0));
    int duty = static_cast<int>(vdsim::state_int(ChannelFile(channel, "duty").name, 0));
    vdsim::trace("pwm_read", {channel, vdsim::TraceArg::record({{"period", period}, {"duty", duty}})});
    return duty;
}

int pwm_write(int channel, int period, int duty)
{
    vdsim::trace("pwm_write", {channel, period, duty});
    if (!channel_exists(channel) || period <= 0 || duty < 0 || duty > kMaxDuty)
        return -1;
    bool ok = vdsim::set_state_int(ChannelFile(channel, "period").name, period) &&
              vdsim::set_state_int(ChannelFile(channel, "duty").name, duty);
    return ok ? 0 : -1;
}

void pwm_close(void)
{
    vdsim::trace("pwm_close");
}

}  // extern "C"
