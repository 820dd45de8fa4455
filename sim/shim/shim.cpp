// shim.cpp — the core of the preloaded device library: the table of devices,
// the table of open emulated descriptors, and the interposed C library calls.
//
// A path that a device claims is either sent to a plain file of the camera
// root (a redirect) or answered by the device on a descriptor of /dev/null,
// which keeps the descriptor real for select, dup and fork. Every other path
// and descriptor goes to the next definition (the C library) untouched.
#undef _FORTIFY_SOURCE
#include "shim.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
int __open_2(const char* path, int flags);
int __open64_2(const char* path, int flags);
int __openat_2(int dirfd, const char* path, int flags);
int __openat64_2(int dirfd, const char* path, int flags);
ssize_t __read_chk(int fd, void* buf, size_t count, size_t buflen);
}

namespace shim {
namespace {

constexpr unsigned kMaxDevices = 8;
const Device* g_devices[kMaxDevices];
unsigned g_device_count;

// Emulated descriptors by number; a descriptor past the table is refused.
constexpr int kMaxFd = 1024;
struct OpenEntry {
    const Device* device;
    OpenDevice state;
};
OpenEntry g_open[kMaxFd];

template <typename F>
F next(const char* name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}
// The C library's definition of fn, looked up once.
#define REAL(fn)                                      \
    static decltype(&fn) real_##fn = nullptr;         \
    if (real_##fn == nullptr)                         \
        real_##fn = next<decltype(&fn)>(#fn)

struct Lookup {
    Claim claim = kPass;
    const Device* device = nullptr;
    int unit = 0;
    char redirect[4096];
};

void lookup(const char* path, Lookup* out)
{
    out->claim = kPass;
    if (path == nullptr || path[0] != '/' || getenv("CAMSIM_ROOT") == nullptr)
        return;
    for (unsigned k = 0; k < g_device_count; ++k) {
        Claim c = g_devices[k]->claim(path, out->redirect, sizeof out->redirect, &out->unit);
        if (c != kPass) {
            out->claim = c;
            out->device = g_devices[k];
            return;
        }
    }
}

OpenEntry* entry(int fd)
{
    if (fd < 0 || fd >= kMaxFd || g_open[fd].device == nullptr)
        return nullptr;
    return &g_open[fd];
}

int open_emulated(const Lookup& l, int flags)
{
    REAL(open);
    int fd = real_open("/dev/null", (flags & (O_ACCMODE | O_CLOEXEC)));
    if (fd < 0)
        return fd;
    if (fd >= kMaxFd) {
        REAL(close);
        real_close(fd);
        errno = EMFILE;
        return -1;
    }
    OpenEntry& e = g_open[fd];
    e.state = OpenDevice{l.unit, {0, 0, 0, 0}};
    if (l.device->open != nullptr && l.device->open(&e.state, flags) != 0) {
        int saved = errno;
        REAL(close);
        real_close(fd);
        errno = saved;
        return -1;
    }
    e.device = l.device;
    return fd;
}

// Open through the real function F, on the path the lookup settled on.
template <typename F>
int open_common(const char* path, int flags, F&& real)
{
    Lookup l;
    lookup(path, &l);
    switch (l.claim) {
    case kRedirect:
        return real(l.redirect);
    case kEmulated:
        return open_emulated(l, flags);
    case kAbsent:
        errno = ENOENT;
        return -1;
    case kPass:
        break;
    }
    return real(path);
}

// For the path calls that only look (stat, access): an emulated device looks
// like the character device it stands on.
template <typename F>
int look_common(const char* path, F&& real)
{
    Lookup l;
    lookup(path, &l);
    switch (l.claim) {
    case kRedirect:
        return real(l.redirect);
    case kEmulated:
        return real("/dev/null");
    case kAbsent:
        errno = ENOENT;
        return -1;
    case kPass:
        break;
    }
    return real(path);
}

mode_t mode_of(int flags, va_list ap)
{
    return (flags & (O_CREAT | O_TMPFILE)) ? static_cast<mode_t>(va_arg(ap, int)) : 0;
}

}  // namespace

void register_device(const Device* device)
{
    if (g_device_count < kMaxDevices)
        g_devices[g_device_count++] = device;
}

bool root_path(const char* relative, char* out, size_t size)
{
    const char* root = getenv("CAMSIM_ROOT");
    if (root == nullptr)
        return false;
    int n = snprintf(out, size, "%s/%s", root, relative);
    return n > 0 && static_cast<size_t>(n) < size;
}

}  // namespace shim

using namespace shim;

extern "C" {

int open(const char* path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    mode_t mode = mode_of(flags, ap);
    va_end(ap);
    REAL(open);
    return open_common(path, flags, [&](const char* p) { return real_open(p, flags, mode); });
}

int open64(const char* path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    mode_t mode = mode_of(flags, ap);
    va_end(ap);
    REAL(open64);
    return open_common(path, flags, [&](const char* p) { return real_open64(p, flags, mode); });
}

int openat(int dirfd, const char* path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    mode_t mode = mode_of(flags, ap);
    va_end(ap);
    REAL(openat);
    return open_common(path, flags, [&](const char* p) { return real_openat(dirfd, p, flags, mode); });
}

int openat64(int dirfd, const char* path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    mode_t mode = mode_of(flags, ap);
    va_end(ap);
    REAL(openat64);
    return open_common(path, flags, [&](const char* p) { return real_openat64(dirfd, p, flags, mode); });
}

int __open_2(const char* path, int flags)
{
    REAL(__open_2);
    return open_common(path, flags, [&](const char* p) { return real___open_2(p, flags); });
}

int __open64_2(const char* path, int flags)
{
    REAL(__open64_2);
    return open_common(path, flags, [&](const char* p) { return real___open64_2(p, flags); });
}

int __openat_2(int dirfd, const char* path, int flags)
{
    REAL(__openat_2);
    return open_common(path, flags, [&](const char* p) { return real___openat_2(dirfd, p, flags); });
}

int __openat64_2(int dirfd, const char* path, int flags)
{
    REAL(__openat64_2);
    return open_common(path, flags, [&](const char* p) { return real___openat64_2(dirfd, p, flags); });
}

// A stream is only offered on redirected files; emulated devices are used
// through descriptors.
static FILE* fopen_common(const char* path, const char* mode, FILE* (*real)(const char*, const char*))
{
    Lookup l;
    lookup(path, &l);
    switch (l.claim) {
    case kRedirect:
        return real(l.redirect, mode);
    case kEmulated:
        errno = ENXIO;
        return nullptr;
    case kAbsent:
        errno = ENOENT;
        return nullptr;
    case kPass:
        break;
    }
    return real(path, mode);
}

FILE* fopen(const char* path, const char* mode)
{
    REAL(fopen);
    return fopen_common(path, mode, real_fopen);
}

FILE* fopen64(const char* path, const char* mode)
{
    REAL(fopen64);
    return fopen_common(path, mode, real_fopen64);
}

int access(const char* path, int how)
{
    REAL(access);
    return look_common(path, [&](const char* p) { return real_access(p, how); });
}

int faccessat(int dirfd, const char* path, int how, int flags)
{
    REAL(faccessat);
    return look_common(path, [&](const char* p) { return real_faccessat(dirfd, p, how, flags); });
}

int stat(const char* path, struct stat* st)
{
    REAL(stat);
    return look_common(path, [&](const char* p) { return real_stat(p, st); });
}

int lstat(const char* path, struct stat* st)
{
    REAL(lstat);
    return look_common(path, [&](const char* p) { return real_lstat(p, st); });
}

int fstatat(int dirfd, const char* path, struct stat* st, int flags)
{
    REAL(fstatat);
    return look_common(path, [&](const char* p) { return real_fstatat(dirfd, p, st, flags); });
}

int stat64(const char* path, struct stat64* st)
{
    REAL(stat64);
    return look_common(path, [&](const char* p) { return real_stat64(p, st); });
}

int lstat64(const char* path, struct stat64* st)
{
    REAL(lstat64);
    return look_common(path, [&](const char* p) { return real_lstat64(p, st); });
}

int fstatat64(int dirfd, const char* path, struct stat64* st, int flags)
{
    REAL(fstatat64);
    return look_common(path, [&](const char* p) { return real_fstatat64(dirfd, p, st, flags); });
}

int statx(int dirfd, const char* path, int flags, unsigned mask, struct statx* st)
{
    REAL(statx);
    return look_common(path, [&](const char* p) { return real_statx(dirfd, p, flags, mask, st); });
}

int close(int fd)
{
    if (OpenEntry* e = entry(fd)) {
        if (e->device->close != nullptr)
            e->device->close(&e->state);
        e->device = nullptr;
    }
    REAL(close);
    return real_close(fd);
}

ssize_t read(int fd, void* buf, size_t count)
{
    if (OpenEntry* e = entry(fd)) {
        if (e->device->read == nullptr) {
            errno = EINVAL;
            return -1;
        }
        return e->device->read(&e->state, buf, count);
    }
    REAL(read);
    return real_read(fd, buf, count);
}

// A caller built with fortified headers reads through the checking entry.
ssize_t __read_chk(int fd, void* buf, size_t count, size_t buflen)
{
    if (count > buflen)
        abort();
    if (entry(fd) != nullptr)
        return read(fd, buf, count);
    REAL(__read_chk);
    return real___read_chk(fd, buf, count, buflen);
}

ssize_t write(int fd, const void* buf, size_t count)
{
    if (OpenEntry* e = entry(fd)) {
        if (e->device->write == nullptr) {
            errno = EINVAL;
            return -1;
        }
        return e->device->write(&e->state, buf, count);
    }
    REAL(write);
    return real_write(fd, buf, count);
}

int ioctl(int fd, unsigned long request, ...)
{
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    if (OpenEntry* e = entry(fd)) {
        if (e->device->ioctl == nullptr) {
            errno = ENOTTY;
            return -1;
        }
        return e->device->ioctl(&e->state, request, arg);
    }
    REAL(ioctl);
    return real_ioctl(fd, request, arg);
}

}  // extern "C"
