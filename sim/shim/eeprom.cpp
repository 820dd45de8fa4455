// eeprom.cpp — the 256-byte EEPROM on I2C bus 2 (/dev/i2c-2), behind one of
// two drivers:
//  - "platform" (the camera's): takes the 8-bit device address 0xA0 through
//    I2C_SLAVE, accepts its own requests 0x0709 and 0x070A, and a one-byte
//    read returns the byte at the address placed in the buffer;
//  - "standard" (Linux i2c-dev): 7-bit addresses only, the requests it does
//    not know give ENOTTY, and a read returns bytes from the EEPROM's own
//    address counter, which a write of one address byte sets.
// Both take two-byte writes {address, byte} and I2C_RDWR transfers at 0x50.
// After a byte is written the chip ignores its address for the write cycle
// (5 ms), as the real part does.
//
// Under VDSIM_DIR/eeprom/: `data` the 256 bytes (blank, all 0xff, when
// missing); `driver` holds "standard" for the i2c-dev driver; `fail-open`,
// when present, makes the open fail; `fail-at` holds an EEPROM address whose
// transfers fail.
#include <errno.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "shim.h"
#include "vdsim.h"

namespace {

constexpr char kPath[] = "/dev/i2c-2";
constexpr int kBus = 2;
constexpr unsigned kSize = 256;
constexpr unsigned kAddress7 = 0x50;
constexpr unsigned kAddress8 = 0xa0;
constexpr long kWriteCycleNs = 5 * 1000 * 1000;
constexpr unsigned long kPlatformRequestA = 0x0709;
constexpr unsigned long kPlatformRequestB = 0x070a;

// state[] of an open bus.
enum { kSlave, kCounter, kStandard };

long long g_busy_until;  // end of the write cycle, monotonic ns

long long now_ns()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

void load(unsigned char* data)
{
    memset(data, 0xff, kSize);
    vdsim::state_read("eeprom/data", data, kSize);
}

long fail_address()
{
    return vdsim::state_int("eeprom/fail-at", -1);
}

// Whether the chip answers a transfer now at the given device address.
bool acks(const shim::OpenDevice* dev, unsigned address)
{
    unsigned expected = dev->state[kStandard] ? kAddress7 : kAddress8;
    return address == expected && now_ns() >= g_busy_until;
}

int nack()
{
    errno = EREMOTEIO;
    return -1;
}

// Reads count bytes from address on (wrapping at the end of the chip).
int read_bytes(unsigned address, unsigned char* out, size_t count)
{
    unsigned char data[kSize];
    load(data);
    long fail = fail_address();
    for (size_t k = 0; k < count; ++k) {
        unsigned a = (address + k) % kSize;
        if (static_cast<long>(a) == fail)
            return nack();
        vdsim::trace("eeprom_read", {a, static_cast<unsigned>(data[a])});
        out[k] = data[a];
    }
    return 0;
}

int write_bytes(unsigned address, const unsigned char* in, size_t count)
{
    if (count == 0)
        return 0;
    unsigned char data[kSize];
    load(data);
    long fail = fail_address();
    for (size_t k = 0; k < count; ++k) {
        unsigned a = (address + k) % kSize;
        if (static_cast<long>(a) == fail)
            return nack();
        vdsim::trace("eeprom_write", {a, static_cast<unsigned>(in[k])});
        data[a] = in[k];
    }
    if (!vdsim::state_write("eeprom/data", data, kSize)) {
        errno = EIO;
        return -1;
    }
    g_busy_until = now_ns() + kWriteCycleNs;
    return 0;
}

shim::Claim claim(const char* path, char*, size_t, int* unit)
{
    if (strcmp(path, kPath) != 0)
        return shim::kPass;
    *unit = kBus;
    return shim::kEmulated;
}

int eeprom_open(shim::OpenDevice* dev, int)
{
    if (vdsim::state_exists("eeprom/fail-open")) {
        errno = ENODEV;
        return -1;
    }
    char kind[16] = {};
    vdsim::state_read("eeprom/driver", kind, sizeof kind - 1);
    dev->state[kStandard] = strncmp(kind, "standard", 8) == 0;
    vdsim::trace("i2c_open", {dev->unit, dev->state[kStandard] ? "standard" : "platform"});
    return 0;
}

ssize_t eeprom_read(shim::OpenDevice* dev, void* buf, size_t count)
{
    if (!acks(dev, static_cast<unsigned>(dev->state[kSlave])))
        return nack();
    unsigned char* bytes = static_cast<unsigned char*>(buf);
    // The platform driver sends the byte found in the buffer as the address.
    unsigned address = dev->state[kStandard] ? static_cast<unsigned>(dev->state[kCounter]) : bytes[0];
    if (count > 0 && read_bytes(address, bytes, count) != 0)
        return -1;
    dev->state[kCounter] = (address + count) % kSize;
    return static_cast<ssize_t>(count);
}

ssize_t eeprom_write(shim::OpenDevice* dev, const void* buf, size_t count)
{
    if (count == 0)
        return 0;
    if (!acks(dev, static_cast<unsigned>(dev->state[kSlave])))
        return nack();
    const unsigned char* bytes = static_cast<const unsigned char*>(buf);
    if (write_bytes(bytes[0], bytes + 1, count - 1) != 0)
        return -1;
    dev->state[kCounter] = (bytes[0] + count - 1) % kSize;
    return static_cast<ssize_t>(count);
}

int rdwr(shim::OpenDevice* dev, const i2c_rdwr_ioctl_data* request)
{
    if (request == nullptr || request->nmsgs == 0 || request->nmsgs > I2C_RDWR_IOCTL_MAX_MSGS) {
        errno = EINVAL;
        return -1;
    }
    for (unsigned m = 0; m < request->nmsgs; ++m) {
        const i2c_msg& msg = request->msgs[m];
        if ((msg.flags & I2C_M_TEN) || msg.addr != kAddress7 || now_ns() < g_busy_until)
            return nack();
        if (msg.flags & I2C_M_RD) {
            if (read_bytes(static_cast<unsigned>(dev->state[kCounter]), msg.buf, msg.len) != 0)
                return -1;
            dev->state[kCounter] = (dev->state[kCounter] + msg.len) % kSize;
        } else if (msg.len > 0) {
            if (write_bytes(msg.buf[0], msg.buf + 1, msg.len - 1u) != 0)
                return -1;
            dev->state[kCounter] = (msg.buf[0] + msg.len - 1u) % kSize;
        }
    }
    return static_cast<int>(request->nmsgs);
}

int eeprom_ioctl(shim::OpenDevice* dev, unsigned long request, void* arg)
{
    unsigned long value = reinterpret_cast<unsigned long>(arg);
    if (request == I2C_RDWR) {
        vdsim::trace("i2c_ioctl", {"I2C_RDWR"});
        return rdwr(dev, static_cast<const i2c_rdwr_ioctl_data*>(arg));
    }
    char name[16];
    snprintf(name, sizeof name, "0x%04lx", request);
    vdsim::trace("i2c_ioctl", {name, value});
    switch (request) {
    case I2C_SLAVE:
    case I2C_SLAVE_FORCE:
        if (dev->state[kStandard] && value > 0x7f) {
            errno = EINVAL;
            return -1;
        }
        dev->state[kSlave] = static_cast<long>(value);
        return 0;
    case I2C_FUNCS: {
        unsigned long funcs = I2C_FUNC_I2C | I2C_FUNC_SMBUS_BYTE;
        memcpy(arg, &funcs, sizeof funcs);
        return 0;
    }
    case kPlatformRequestA:
    case kPlatformRequestB:
        if (!dev->state[kStandard])
            return 0;
        break;
    default:
        break;
    }
    errno = ENOTTY;
    return -1;
}

void eeprom_close(shim::OpenDevice* dev)
{
    vdsim::trace("i2c_close", {dev->unit});
}

const shim::Device kEeprom = {"eeprom", claim, eeprom_open, eeprom_read, eeprom_write, eeprom_ioctl,
                              eeprom_close};
SHIM_DEVICE(kEeprom)

}  // namespace
