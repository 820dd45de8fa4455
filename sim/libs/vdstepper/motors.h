// motors.h — the simulated lens's motor positions, shared by the stepper
// calls and the lens driver calls of the stand-in: state files lens/<motor>.
#pragma once

namespace motors {

constexpr long kZoomMax = 2768;
constexpr long kFocusMax = 6764;
constexpr long kPirisMax = 184;

long position(const char* motor);
// move and set are false when the new position could not be kept: the motor
// stays where it was, and the call that moved it fails.
// Moves by steps (negative: back), stopping at the ends of the travel.
bool move(const char* motor, long steps, long max);
bool set(const char* motor, long value);

}  // namespace motors
