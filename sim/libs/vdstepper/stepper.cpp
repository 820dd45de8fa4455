// stepper.cpp — stand-in for the stepper motor calls: focus, zoom and P-iris
// keep their positions in VDSIM_DIR/lens/. A P-iris duty change keeps the
// motor busy for lens/piris_busy_ms milliseconds (default 40; negative: it
// never settles); a file lens/jammed makes every motor run fail.
#include <stdio.h>
#include <time.h>

#include "motors.h"
#include "vdsim.h"
#include "vdstepper.h"

namespace motors {

namespace {

struct StateName {
    char text[32];
    explicit StateName(const char* motor) { snprintf(text, sizeof text, "lens/%s", motor); }
};

}  // namespace

long position(const char* motor)
{
    return vdsim::state_int(StateName(motor).text, 0);
}

bool set(const char* motor, long value)
{
    return vdsim::set_state_int(StateName(motor).text, value);
}

bool move(const char* motor, long steps, long max)
{
    long to = position(motor) + steps;
    return set(motor, to < 0 ? 0 : (to > max ? max : to));
}

}  // namespace motors

namespace {

long long g_piris_busy_until = -1;  // monotonic ms; -1 idle
bool g_piris_stuck = false;

long long now_ms()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace

extern "C" {

int STEPPER_set_piris_duty(uint32_t duty)
{
    vdsim::trace("STEPPER_set_piris_duty", {duty});
    if (duty > motors::kPirisMax)
        return -1;
    if (!motors::set("piris", static_cast<long>(duty)))
        return -1;
    long busy = vdsim::state_int("lens/piris_busy_ms", 40);
    g_piris_stuck = busy < 0;
    g_piris_busy_until = now_ms() + busy;
    return 0;
}

int STEPPER_check_busy(int motor)
{
    vdsim::trace("STEPPER_check_busy", {motor});
    if (motor != STEPPER_PIRIS)
        return 0;  // focus and zoom runs end before STEPPER_run returns
    return g_piris_stuck || now_ms() < g_piris_busy_until ? 1 : 0;
}

int STEPPER_run(MotorRequest* request)
{
    if (request == nullptr) {
        vdsim::trace("STEPPER_run", {"NULL"});
        return -1;
    }
    vdsim::trace("STEPPER_run", {vdsim::TraceArg::record({{"type", request->type},
                                                          {"dir", request->dir},
                                                          {"steps", request->steps},
                                                          {"reserved", request->reserved}})});
    if (vdsim::state_exists("lens/jammed"))
        return -1;
    // Bit 0 of the direction: 0 forward, 1 back.
    long steps = request->steps > 0x7fffffffULL ? 0x7fffffffL : static_cast<long>(request->steps);
    if (request->dir & 1)
        steps = -steps;
    bool moved = false;
    switch (request->type) {
    case STEPPER_FOCUS: moved = motors::move("focus", steps, motors::kFocusMax); break;
    case STEPPER_ZOOM: moved = motors::move("zoom", steps, motors::kZoomMax); break;
    case STEPPER_PIRIS: moved = motors::move("piris", steps, motors::kPirisMax); break;
    default: break;
    }
    return moved ? 0 : -1;
}

void STEPPER_close(void)
{
    vdsim::trace("STEPPER_close");
}

}  // extern "C"
