// osa.h — the platform layer: console lock, mutexes, millisecond clock, the
// cross-process debug log and the small helpers every module shares.
#pragma once

#include <pthread.h>
#include <stddef.h>
#include <stdint.h>
#include <sys/time.h>

extern pthread_mutex_t g_print_mutex;

int OSA_init();
int OSA_deinit();

int OSA_mutexCreate(pthread_mutex_t* m);
int OSA_mutexAcquire(pthread_mutex_t* m);
int OSA_mutexRelease(pthread_mutex_t* m);
int OSA_mutexDestroy(pthread_mutex_t* m);

void print_repeat_char(unsigned n, char c);

uint32_t OSA_clockMilli();
int OSA_sleepMilli(uint32_t ms);
// Wall-clock milliseconds of a time value, modulo 2^32: callers only take
// differences, which stay right across the wrap every 49.7 days.
uint32_t osa_millis_of(const struct timeval& tv);

// One console write: the lock is held for exactly one printf-style call.
void print(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Error lines go to standard error without the console lock: the prefix in
// one write, the message in a second.
void err_print_prefix(const char* file, const char* func, int line);
void err_print_text(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
#define ERR_PRINT(...)                                         \
    do {                                                       \
        err_print_prefix(__FILE_NAME__, __func__, __LINE__);   \
        err_print_text(__VA_ARGS__);                           \
    } while (0)

// strtoul in base 0 (decimal, 0x hex, leading-zero octal). Says whether the
// whole text was a number that fits 32 bits; "-1" reads as 0xffffffff, as
// strtoul would give it.
bool parse_u32(const char* text, uint32_t* out);

// Copies at most size-1 bytes and always terminates: a longer text is cut.
void copy_bounded(char* dst, size_t size, const char* src);

// System V semaphore sets.
struct OsaIpcSem {
    int semid;
    uint32_t count;
    uint32_t maxval;
};
enum : unsigned { OSA_IPC_ATTACH = 0, OSA_IPC_CREATE = 1 };

int OSA_ipcMakeKey(const char* path, unsigned proj_id);
int OSA_ipcSemOpen(OsaIpcSem* sem, int key, unsigned count, unsigned init, unsigned max,
                   unsigned flags);
int OSA_ipcSemWait(OsaIpcSem* sem, unsigned index, int wait);
int OSA_ipcSemPost(OsaIpcSem* sem, unsigned index, int wait);
int OSA_ipcSemGetVal(OsaIpcSem* sem, unsigned index);

// The debug log on NAND, shared by every process of the camera.
int OSA_logInit();
int OSA_log(const void* data, unsigned len);
void OSA_logClose();
