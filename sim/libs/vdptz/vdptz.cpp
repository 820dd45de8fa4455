// vdptz.cpp — stand-in for the camera's PTZ library. The head keeps its
// speeds, its presets (1 = set) and the action it runs in VDSIM_DIR/ptz/.
// Actions and the release of the line are traced with the time they start
// ({at_ms=N}, milliseconds of the monotonic clock), so that their pacing can
// be checked; a recall of a preset that is not set is traced as such.
#include <stdio.h>
#include <time.h>

#include "vdptz.h"
#include "vdsim.h"

namespace {

constexpr int kPresets = 256;

long long now_ms()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

struct PresetFile {
    char name[32];
    explicit PresetFile(int preset) { snprintf(name, sizeof name, "ptz/preset/%d", preset); }
};

bool preset_exists(int preset)
{
    return preset >= 0 && preset < kPresets;
}

}  // namespace

extern "C" {

int pt_set_speed(int pan, int tilt)
{
    vdsim::trace("pt_set_speed", {pan, tilt});
    return vdsim::set_state_int("ptz/pan_speed", pan) && vdsim::set_state_int("ptz/tilt_speed", tilt)
               ? 0
               : -1;
}

int pt_set_preset(int preset)
{
    vdsim::trace("pt_set_preset", {preset});
    if (!preset_exists(preset))
        return -1;
    return vdsim::set_state_int(PresetFile(preset).name, 1) ? 0 : -1;
}

int pt_remove_preset(int preset)
{
    vdsim::trace("pt_remove_preset", {preset});
    if (!preset_exists(preset))
        return -1;
    return vdsim::set_state_int(PresetFile(preset).name, 0) ? 0 : -1;
}

int pt_go_preset(int preset)
{
    if (!preset_exists(preset) || vdsim::state_int(PresetFile(preset).name, 0) != 1) {
        vdsim::trace("pt_go_preset", {preset, "not set"});
        return -1;
    }
    vdsim::trace("pt_go_preset", {preset});
    return 0;
}

int pt_run(int action)
{
    vdsim::trace("pt_run", {action, vdsim::TraceArg::record({{"at_ms", now_ms()}})});
    return vdsim::set_state_int("ptz/action", action) ? 0 : -1;
}

int pt_tty_deinit(int flag)
{
    vdsim::trace("pt_tty_deinit", {flag, vdsim::TraceArg::record({{"at_ms", now_ms()}})});
    return 0;
}

}  // extern "C"
