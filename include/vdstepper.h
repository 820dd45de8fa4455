/* vdstepper.h — the camera's lens and stepper motor driver (libvdstepper.so). */
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum { STEPPER_FOCUS = 0, STEPPER_ZOOM = 1, STEPPER_PIRIS = 2 };

/* One motor run, handed to STEPPER_run. */
typedef struct MotorRequest {
    uint32_t type;     /* STEPPER_FOCUS, STEPPER_ZOOM or STEPPER_PIRIS */
    uint32_t dir;      /* 0 forward, 1 back */
    uint64_t steps;
    uint64_t reserved;
} MotorRequest;

/* Starts moving the P-iris to duty 0..184. */
int STEPPER_set_piris_duty(uint32_t duty);
/* Non-zero while the motor is still moving. */
int STEPPER_check_busy(int motor);
/* Runs a motor to the end of its steps; 0, or non-zero on failure. */
int STEPPER_run(MotorRequest* request);
void STEPPER_close(void);

/* What the lens reports about itself and its motors. */
typedef struct LensPtz {
    int32_t lens_index; /* which lens is fitted */
    int32_t zoom_pos;
    int32_t focus_pos;
    int32_t iris_duty;
    int32_t ircut;
    int32_t reserved[21];
} LensPtz;

/* Fixed data of one lens model. */
typedef struct LensInfo {
    char name[24];
    int32_t zoom_steps;  /* full travel */
    int32_t focus_steps;
    uint16_t focus_speed; /* pulses per second of a focus run */
    uint16_t zoom_speed;
    int32_t zoom_pi;     /* reference (PI) point */
    int32_t focus_pi;
    int32_t iris_max;
    int32_t reserved[2];
} LensInfo;

/* The driver the library picks for a lens mode. */
typedef struct LensDriver {
    int32_t mode;
    int32_t registered;
    char name[24];
    int32_t reserved[4];
} LensDriver;

/* One point of the AF table: where focus is sharp for a zoom position. */
typedef struct AfTableEntry {
    int32_t zoom_pos;
    int32_t focus_pos;
    int32_t reserved[2];
} AfTableEntry;

int af_get_ptz(int chn, LensPtz* ptz);
int lens_get_info(int index, LensInfo* info);
int len_register_drv(int chn, int mode, LensDriver* driver);
int lens_drv_set_IRCut(int chn, int on);
int lens_drv_set_zf_pi(int chn, int zoom, int focus);
int lens_drv_init_reg(int chn);
/* The entry for a zoom position; the library keeps it. */
AfTableEntry* af_find_tbl(int chn, int zoom_pos);
/* Builds the AF table of points entries for the lens. */
int af_tbl_init(int chn, LensInfo* info, int points, int flags);
/* Negative steps run backwards. */
int lens_drv_focus_run(int chn, uint16_t speed, int steps);
int lens_drv_set_aperture(int chn, uint16_t duty);
int lens_drv_focus_stop(int chn);
int lens_drv_zoom_stop(int chn);
void lens_drv_deinit(void);

#ifdef __cplusplus
}

static_assert(sizeof(MotorRequest) == 24, "MotorRequest layout");
static_assert(offsetof(MotorRequest, type) == 0, "MotorRequest layout");
static_assert(offsetof(MotorRequest, dir) == 4, "MotorRequest layout");
static_assert(offsetof(MotorRequest, steps) == 8, "MotorRequest layout");
static_assert(offsetof(MotorRequest, reserved) == 16, "MotorRequest layout");
static_assert(sizeof(LensPtz) == 104, "LensPtz layout");
static_assert(offsetof(LensPtz, lens_index) == 0, "LensPtz layout");
static_assert(offsetof(LensPtz, zoom_pos) == 4, "LensPtz layout");
static_assert(offsetof(LensPtz, focus_pos) == 8, "LensPtz layout");
static_assert(offsetof(LensPtz, iris_duty) == 12, "LensPtz layout");
static_assert(offsetof(LensPtz, ircut) == 16, "LensPtz layout");
static_assert(offsetof(LensPtz, reserved) == 20, "LensPtz layout");
static_assert(sizeof(LensInfo) == 56, "LensInfo layout");
static_assert(offsetof(LensInfo, name) == 0, "LensInfo layout");
static_assert(offsetof(LensInfo, zoom_steps) == 24, "LensInfo layout");
static_assert(offsetof(LensInfo, focus_steps) == 28, "LensInfo layout");
static_assert(offsetof(LensInfo, focus_speed) == 32, "LensInfo layout");
static_assert(offsetof(LensInfo, zoom_speed) == 34, "LensInfo layout");
static_assert(offsetof(LensInfo, zoom_pi) == 36, "LensInfo layout");
static_assert(offsetof(LensInfo, focus_pi) == 40, "LensInfo layout");
static_assert(offsetof(LensInfo, iris_max) == 44, "LensInfo layout");
static_assert(offsetof(LensInfo, reserved) == 48, "LensInfo layout");
static_assert(sizeof(LensDriver) == 48, "LensDriver layout");
static_assert(offsetof(LensDriver, mode) == 0, "LensDriver layout");
static_assert(offsetof(LensDriver, registered) == 4, "LensDriver layout");
static_assert(offsetof(LensDriver, name) == 8, "LensDriver layout");
static_assert(offsetof(LensDriver, reserved) == 32, "LensDriver layout");
static_assert(sizeof(AfTableEntry) == 16, "AfTableEntry layout");
static_assert(offsetof(AfTableEntry, zoom_pos) == 0, "AfTableEntry layout");
static_assert(offsetof(AfTableEntry, focus_pos) == 4, "AfTableEntry layout");
static_assert(offsetof(AfTableEntry, reserved) == 8, "AfTableEntry layout");
#endif
