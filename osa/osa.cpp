// osa.cpp — console lock, time helpers and the shared small helpers.
#include "osa.h"

#include <ctype.h>
#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

pthread_mutex_t g_print_mutex;

int OSA_init()
{
    int status = OSA_mutexCreate(&g_print_mutex);
    if (status != 0)
        ERR_PRINT("OSA_mutexCreate()\n");
    return status;
}

int OSA_deinit()
{
    OSA_mutexDestroy(&g_print_mutex);
    return 0;
}

void print(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    OSA_mutexAcquire(&g_print_mutex);
    vprintf(fmt, ap);
    OSA_mutexRelease(&g_print_mutex);
    va_end(ap);
}

void print_repeat_char(unsigned n, char c)
{
    for (unsigned i = 0; i < n; ++i) {
        OSA_mutexAcquire(&g_print_mutex);
        putchar(c);
        OSA_mutexRelease(&g_print_mutex);
    }
}

void err_print_prefix(const char* file, const char* func, int line)
{
    // The unit name, without its directory and extension.
    const char* slash = strrchr(file, '/');
    if (slash != nullptr)
        file = slash + 1;
    const char* dot = strrchr(file, '.');
    int len = dot ? static_cast<int>(dot - file) : static_cast<int>(strlen(file));
    fprintf(stderr, " ERROR  (%.*s|%s|%d): ", len, file, func, line);
}

void err_print_text(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    vfprintf(stderr, fmt, ap);
    va_end(ap);
}

uint32_t osa_millis_of(const struct timeval& tv)
{
    return static_cast<uint32_t>(static_cast<uint64_t>(tv.tv_sec) * 1000u +
                                 static_cast<uint64_t>(tv.tv_usec) / 1000u);
}

uint32_t OSA_clockMilli()
{
    struct timeval tv;
    if (gettimeofday(&tv, nullptr) != 0)
        return 0;
    return osa_millis_of(tv);
}

int OSA_sleepMilli(uint32_t ms)
{
    // One nanosleep: a signal ends it early so that polling loops see g_quit.
    struct timespec ts;
    ts.tv_sec = ms / 1000;
    ts.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    return nanosleep(&ts, nullptr);
}

namespace {

// strtoul/strtol read past the white space that isspace accepts, then a sign.
const char* skip_space(const char* p)
{
    while (isspace(static_cast<unsigned char>(*p)))
        ++p;
    return p;
}

void refuse_number(const char* text, const char* file, const char* func, int line)
{
    char shown[256];
    escape_text(shown, sizeof shown, text != nullptr ? text : "");
    err_print_prefix(file, func, line);
    err_print_text("invalid number: %s\n", shown);
}

}  // namespace

bool parse_u32(const char* text, uint32_t* out)
{
    if (text == nullptr || *text == '\0')
        return false;
    errno = 0;
    char* end = nullptr;
    unsigned long value = strtoul(text, &end, 0);
    if (end == text || *end != '\0' || errno == ERANGE)
        return false;
    if (*skip_space(text) == '-') {
        // A negative number must fit a 32-bit int.
        unsigned long magnitude = 0UL - value;
        if (magnitude > 0x80000000UL)
            return false;
    } else if (value > 0xffffffffUL) {
        return false;
    }
    *out = static_cast<uint32_t>(value);
    return true;
}

bool parse_i32(const char* text, int32_t* out)
{
    if (text == nullptr || *text == '\0')
        return false;
    errno = 0;
    char* end = nullptr;
    long value = strtol(text, &end, 0);
    if (end == text || *end != '\0' || errno == ERANGE || value < INT32_MIN || value > INT32_MAX)
        return false;
    *out = static_cast<int32_t>(value);
    return true;
}

bool opt_u32(const char* text, uint32_t* out, const char* file, const char* func, int line)
{
    if (parse_u32(text, out))
        return true;
    refuse_number(text, file, func, line);
    return false;
}

bool opt_i32(const char* text, int32_t* out, const char* file, const char* func, int line)
{
    if (parse_i32(text, out))
        return true;
    refuse_number(text, file, func, line);
    return false;
}

bool opt_u32(const char* text, int* out, const char* file, const char* func, int line)
{
    uint32_t value = 0;
    if (!opt_u32(text, &value, file, func, line))
        return false;
    *out = static_cast<int>(value);
    return true;
}

namespace {

void verr_at(const ErrorSite& site, int line, const char* fmt, va_list ap)
{
    err_print_prefix(site.unit, site.func, line);
    vfprintf(stderr, fmt, ap);
}

}  // namespace

void err_print_at(const ErrorSite& site, int line, const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    verr_at(site, line, fmt, ap);
    va_end(ap);
}

bool opt_bounded(const ErrorSite& site, int line, bool is_signed, const char* text, int64_t low,
                 int64_t high, OptNumberOut out, const char* fmt, ...)
{
    uint32_t u = 0;
    int32_t i = 0;
    if (!(is_signed ? parse_i32(text, &i) : parse_u32(text, &u))) {
        refuse_number(text, site.unit, site.func, line);
        return false;
    }
    int64_t value = is_signed ? int64_t{i} : int64_t{u};
    if (value < low || value > high) {
        va_list ap;
        va_start(ap, fmt);
        verr_at(site, line, fmt, ap);
        va_end(ap);
        return false;
    }
    if (out.u32 != nullptr)
        *out.u32 = static_cast<uint32_t>(value);
    else
        *out.i32 = static_cast<int>(static_cast<uint32_t>(value));
    return true;
}

void escape_text(char* out, size_t size, const char* text)
{
    if (size == 0)
        return;
    size_t len = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != '\0'; ++p) {
        char piece[8];
        switch (*p) {
        case '\n': strcpy(piece, "\\n"); break;
        case '\t': strcpy(piece, "\\t"); break;
        case '\r': strcpy(piece, "\\r"); break;
        default:
            if (*p < 0x20 || *p > 0x7e)
                snprintf(piece, sizeof piece, "\\x%02x", *p);
            else
                snprintf(piece, sizeof piece, "%c", *p);
        }
        size_t n = strlen(piece);
        // An escape is never cut in half.
        if (len + n >= size)
            break;
        memcpy(out + len, piece, n);
        len += n;
    }
    out[len] = '\0';
}

void copy_bounded(char* dst, size_t size, const char* src)
{
    if (size == 0)
        return;
    size_t n = strnlen(src, size - 1);
    memcpy(dst, src, n);
    dst[n] = '\0';
}

