/* vdcommon.h — the camera's common utility library (libvdcommon.so). */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

/* Drops the kernel's page cache, dentries and inodes. */
void vd_free_system_caches(void);
/* Strips the character ch from text, in place. */
void vd_string_strip(char* text, int ch);
/* Frees what a library call allocated for its caller; file and line of the call. */
void __vd_free(void* p, const char* file, int line);

#ifdef __cplusplus
}
#endif
