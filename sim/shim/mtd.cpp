// mtd.cpp — the camera's raw NAND flash: the partition list at /proc/mtd (a
// file of the camera root) and the MTD character devices /dev/mtdN of the
// partitions it lists, which answer the bad-block and geometry requests.
//
// Per partition N, under VDSIM_DIR/mtd/mtdN/: `bad` lists the offsets of the
// bad erase blocks within the partition (hex or decimal, one a line), and
// `fail` holds an offset whose bad-block request fails with EIO.
#include <errno.h>
#include <mtd/mtd-user.h>
#include <stdint.h>
#include <sys/ioctl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "shim.h"
#include "vdsim.h"

namespace {

constexpr char kProcMtd[] = "/proc/mtd";
constexpr char kDevPrefix[] = "/dev/mtd";

// state[] of an open partition.
enum { kSize, kEraseSize };

// Partition index of "/dev/mtdN", or -1.
int unit_of(const char* path)
{
    size_t n = strlen(kDevPrefix);
    if (strncmp(path, kDevPrefix, n) != 0 || path[n] == '\0')
        return -1;
    long unit = 0;
    for (const char* p = path + n; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9' || unit > 1000)
            return -1;
        unit = unit * 10 + (*p - '0');
    }
    return static_cast<int>(unit);
}

// Size and erase size of partition unit from the root's /proc/mtd.
bool geometry(int unit, uint32_t* size, uint32_t* erase_size)
{
    char path[4096];
    if (!shim::root_path("proc/mtd", path, sizeof path))
        return false;
    FILE* f = fopen(path, "r");
    if (f == nullptr)
        return false;
    char line[512];
    bool found = false;
    while (!found && fgets(line, sizeof line, f) != nullptr) {
        unsigned index = 0;
        unsigned s = 0;
        unsigned e = 0;
        if (sscanf(line, "mtd%u: %x %x", &index, &s, &e) == 3 && index == static_cast<unsigned>(unit)) {
            *size = s;
            *erase_size = e;
            found = true;
        }
    }
    fclose(f);
    return found;
}

// Whether the block holding offset appears in the list kept in file.
bool listed(int unit, const char* file, uint32_t offset, uint32_t erase_size)
{
    char relative[64];
    snprintf(relative, sizeof relative, "mtd/mtd%d/%s", unit, file);
    static char text[65536];
    long n = vdsim::state_read(relative, text, sizeof text - 1);
    if (n <= 0)
        return false;
    text[n] = '\0';
    uint64_t block = erase_size ? offset / erase_size : offset;
    for (char* p = text; *p != '\0';) {
        char* end = nullptr;
        unsigned long long v = strtoull(p, &end, 0);
        if (end == p) {
            ++p;
            continue;
        }
        if ((erase_size ? v / erase_size : v) == block)
            return true;
        p = end;
    }
    return false;
}

shim::Claim claim(const char* path, char* redirect, size_t size, int* unit)
{
    if (strcmp(path, kProcMtd) == 0)
        return shim::root_path("proc/mtd", redirect, size) ? shim::kRedirect : shim::kPass;
    int u = unit_of(path);
    if (u < 0)
        return shim::kPass;
    uint32_t s = 0;
    uint32_t e = 0;
    if (!geometry(u, &s, &e))
        return shim::kAbsent;
    *unit = u;
    return shim::kEmulated;
}

int mtd_open(shim::OpenDevice* dev, int)
{
    uint32_t s = 0;
    uint32_t e = 0;
    if (!geometry(dev->unit, &s, &e)) {
        errno = ENODEV;
        return -1;
    }
    dev->state[kSize] = s;
    dev->state[kEraseSize] = e;
    vdsim::trace("mtd_open", {dev->unit});
    return 0;
}

int mtd_ioctl(shim::OpenDevice* dev, unsigned long request, void* arg)
{
    uint32_t size = static_cast<uint32_t>(dev->state[kSize]);
    uint32_t erase_size = static_cast<uint32_t>(dev->state[kEraseSize]);
    switch (request) {
    case MEMGETBADBLOCK: {
        long long offset = 0;
        memcpy(&offset, arg, sizeof offset);
        vdsim::trace("MEMGETBADBLOCK", {dev->unit, offset});
        if (offset < 0 || offset >= size) {
            errno = EINVAL;
            return -1;
        }
        uint32_t o = static_cast<uint32_t>(offset);
        if (listed(dev->unit, "fail", o, erase_size)) {
            errno = EIO;
            return -1;
        }
        return listed(dev->unit, "bad", o, erase_size) ? 1 : 0;
    }
    case MEMGETINFO: {
        mtd_info_user info{};
        info.type = MTD_NANDFLASH;
        info.flags = MTD_CAP_NANDFLASH;
        info.size = size;
        info.erasesize = erase_size;
        info.writesize = 2048;
        info.oobsize = 64;
        memcpy(arg, &info, sizeof info);
        vdsim::trace("MEMGETINFO", {dev->unit});
        return 0;
    }
    default:
        errno = ENOTTY;
        return -1;
    }
}

void mtd_close(shim::OpenDevice* dev)
{
    vdsim::trace("mtd_close", {dev->unit});
}

// Raw page reads and writes are not emulated: nothing on the camera's bench
// uses them.
ssize_t mtd_read(shim::OpenDevice*, void*, size_t)
{
    errno = EIO;
    return -1;
}

const shim::Device kMtd = {"mtd", claim, mtd_open, mtd_read, nullptr, mtd_ioctl, mtd_close};
SHIM_DEVICE(kMtd)

}  // namespace
