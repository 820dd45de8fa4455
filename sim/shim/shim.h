// shim.h — the devices that the PC kernel lacks, emulated inside the
// simulated camera by a preloaded library. The core (shim.cpp) interposes
// the C library's file calls; each device (one file each) registers the paths
// it answers for. Every other path and descriptor passes straight through.
#pragma once

#include <stddef.h>
#include <sys/types.h>

namespace shim {

enum Claim {
    kPass,      // not a path of ours
    kRedirect,  // a plain file of the camera root stands for it
    kEmulated,  // answered by the device's callbacks
    kAbsent,    // a device of ours that this camera does not have
};

// What one open descriptor of an emulated device keeps.
struct OpenDevice {
    int unit;       // which of the device's units (partition, bus)
    long state[4];  // the device's own per-descriptor state
};

struct Device {
    const char* name;
    // Says whether path is the device's; fills redirect (kRedirect) or unit (kEmulated).
    Claim (*claim)(const char* path, char* redirect, size_t size, int* unit);
    // 0, or -1 with errno set when the device refuses the open.
    int (*open)(OpenDevice* dev, int flags);
    // The rest follow the system calls: a result, or -1 with errno set.
    ssize_t (*read)(OpenDevice* dev, void* buf, size_t count);
    ssize_t (*write)(OpenDevice* dev, const void* buf, size_t count);
    int (*ioctl)(OpenDevice* dev, unsigned long request, void* arg);
    void (*close)(OpenDevice* dev);
};

void register_device(const Device* device);

// CAMSIM_ROOT/relative in out; false outside a camera or when it does not fit.
bool root_path(const char* relative, char* out, size_t size);

}  // namespace shim

// One line per device so that a device file registers itself at load time.
#define SHIM_DEVICE(VAR) \
    __attribute__((constructor)) static void register_##VAR() { shim::register_device(&VAR); }
