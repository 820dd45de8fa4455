// osa.h — the platform layer: console lock, mutexes, millisecond clock, the
// cross-process debug log and the small helpers every module shares.
#pragma once

#include <pthread.h>
#include <stddef.h>
#include <stdint.h>
#include <sys/time.h>
#include <unistd.h>

#include "owners.h"

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

// Where a module's option errors say they come from: its unit and its
// option loop, whichever helper met the error, as scripts have always read
// them. Each module keeps one, e.g.
//     constexpr ErrorSite kSite{__FILE_NAME__, "wifi_init_param"};
struct ErrorSite {
    const char* unit;
    const char* func;
};
void err_print_at(const ErrorSite& site, int line, const char* fmt, ...)
    __attribute__((format(printf, 3, 4)));
#define SITE_ERR(site, ...) err_print_at(site, __LINE__, __VA_ARGS__)

// Option values: the whole text must be a number as strtoul (unsigned) or
// strtol (signed) read it in base 0 (decimal, 0x hex, leading-zero octal),
// after the leading white space that isspace accepts and an optional sign,
// and it must fit 32 bits. "-1" reads as 0xffffffff unsigned, as strtoul
// gives it. These only say whether the text was such a number.
bool parse_u32(const char* text, uint32_t* out);
bool parse_i32(const char* text, int32_t* out);

// The same, inside an option loop: a refused text gets the error line
// "invalid number: TEXT" (control bytes escaped) in the name of the calling
// function, and the caller then takes its own path for a bad option. An int
// field of a request takes the number's 32 bits, as static_cast<int> gives them:
//     case 't':
//         if (!opt_u32(optarg, &g_req.times))
//             return -1;
bool opt_u32(const char* text, uint32_t* out, const char* file = __builtin_FILE(),
             const char* func = __builtin_FUNCTION(), int line = __builtin_LINE());
bool opt_u32(const char* text, int* out, const char* file = __builtin_FILE(),
             const char* func = __builtin_FUNCTION(), int line = __builtin_LINE());
bool opt_i32(const char* text, int32_t* out, const char* file = __builtin_FILE(),
             const char* func = __builtin_FUNCTION(), int line = __builtin_LINE());

// Where a bounded option number goes: a uint32_t, or an int, which takes the
// number's 32 bits as static_cast<int> gives them.
struct OptNumberOut {
    OptNumberOut(uint32_t* p) : u32(p) {}
    OptNumberOut(int* p) : i32(p) {}
    uint32_t* u32 = nullptr;
    int* i32 = nullptr;
};

// An option number within [low, high], the one form of "parse, check the
// bound, refuse": read as parse_u32 reads it (OPT_BOUNDED) or as parse_i32
// does (OPT_BOUNDED_I32). A text that is no number gets "invalid number:
// TEXT", a number outside the bounds gets the caller's line (fmt and its
// arguments), both at site. *out is written only when the number is in bounds.
//     if (!OPT_BOUNDED(kSite, optarg, 0, kGpioMaxLine, &g_req.id, "gio id must <= %d\n", kGpioMaxLine))
//         return -1;
bool opt_bounded(const ErrorSite& site, int line, bool is_signed, const char* text, int64_t low,
                 int64_t high, OptNumberOut out, const char* fmt, ...)
    __attribute__((format(printf, 8, 9)));
#define OPT_BOUNDED(site, ...) opt_bounded(site, __LINE__, false, __VA_ARGS__)
#define OPT_BOUNDED_I32(site, ...) opt_bounded(site, __LINE__, true, __VA_ARGS__)

// Writes text into out with control bytes and bytes above 0x7e as C escapes
// (\n, \t, \r, \xNN), cut to fit; for echoing outside text on an error line.
void escape_text(char* out, size_t size, const char* text);

// Copies at most size-1 bytes and always terminates: a longer text is cut.
void copy_bounded(char* dst, size_t size, const char* src);

// Copies size bytes of record to the start of the System V shared-memory
// block of key (made with mode 0666 if missing); nothing else is touched.
// 0, or -1 after the line of the call that failed.
int OSA_shmPost(int key, const void* record, size_t size);

// System V semaphore sets.
struct OsaIpcSem {
    int semid;
    uint32_t count;
    uint32_t maxval;
    int undo;  // the system undoes this process's operations when it ends
};
// OSA_IPC_UNDO: for a lock, so that a holder that dies does not keep it.
enum : unsigned { OSA_IPC_ATTACH = 0, OSA_IPC_CREATE = 1, OSA_IPC_UNDO = 2 };

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
