/* pwm.h — the camera's PWM library (libpwm.so). */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

/* Reads and reports the channel's setting. */
int pwm_read(int channel);
/* Programs the channel; a duty of 0 switches it off. */
int pwm_write(int channel, int period, int duty);
void pwm_close(void);

#ifdef __cplusplus
}
#endif
