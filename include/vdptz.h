/* vdptz.h — the camera's PTZ library (libvdptz.so): a PTZ head on the RS-485 line. */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

/* Speeds of the movements that follow. */
int pt_set_speed(int pan, int tilt);
/* Store, clear and recall a preset position, at once. */
int pt_set_preset(int preset);
int pt_remove_preset(int preset);
int pt_go_preset(int preset);
/* Starts the action with the given code and returns at once. */
int pt_run(int action);
/* Releases the serial line. */
int pt_tty_deinit(int flag);

#ifdef __cplusplus
}
#endif
