/* gpio.h — the camera's GPIO library (libgpio.so). */
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Line numbers of the board's fixed GPIO functions. */
typedef struct GpioLineMap {
    int32_t system_reset; /* reset button */
    int32_t status_led;
    int32_t alarm_in;
    int32_t alarm_out;
    int32_t ircut;        /* IR-cut filter drive */
    int32_t light_sensor;
    int32_t reserved[2];
} GpioLineMap;

extern GpioLineMap extGpio;

int gpio_read(int id);
int gpio_write(int id, int level);
void gpio_close(void);

#ifdef __cplusplus
}

static_assert(sizeof(GpioLineMap) == 32, "GpioLineMap layout");
static_assert(offsetof(GpioLineMap, system_reset) == 0, "GpioLineMap layout");
static_assert(offsetof(GpioLineMap, status_led) == 4, "GpioLineMap layout");
static_assert(offsetof(GpioLineMap, alarm_in) == 8, "GpioLineMap layout");
static_assert(offsetof(GpioLineMap, alarm_out) == 12, "GpioLineMap layout");
static_assert(offsetof(GpioLineMap, ircut) == 16, "GpioLineMap layout");
static_assert(offsetof(GpioLineMap, light_sensor) == 20, "GpioLineMap layout");
#endif
