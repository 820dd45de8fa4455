// vd_dm2016.cpp — reads and writes the DM2016 EEPROM on I2C bus 2, one byte
// per transfer.
#include <errno.h>
#include <fcntl.h>
#include <stddef.h>
#include <getopt.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <iterator>

#include "module.h"
#include "osa.h"

namespace {

constexpr uint8_t kDm2016Id = 14;
constexpr char kDevice[] = "/dev/i2c-2";
constexpr unsigned long kDeviceAddress = 0xa0;  // 8-bit form, as the platform driver takes it
constexpr uint16_t kDeviceAddress7 = 0x50;      // the same chip for a standard driver
constexpr unsigned long kPlatformRequestA = 0x0709;
constexpr unsigned long kPlatformRequestB = 0x070a;
constexpr unsigned kMaxValue = 128;
constexpr useconds_t kWriteCycleUs = 12000;  // the chip's write time per byte

enum Dm2016Mode { kDm2016Read = 0, kDm2016Write = 1 };

struct Dm2016Request {
    int mode;
    int start;
    int length;
    char data[132];  // text to write, or the bytes read
};
static_assert(sizeof(Dm2016Request) == 144, "request record");
static_assert(offsetof(Dm2016Request, data) == 12, "request record");

Dm2016Request g_req = {kDm2016Read, 0, 32, {}};

constexpr char kShortOptions[] = "M:w:s:l:rS";
const option kOptions[] = {
    {"module", required_argument, nullptr, 'M'},
    {"write", required_argument, nullptr, 'w'},
    {"start", required_argument, nullptr, 's'},
    {"length", required_argument, nullptr, 'l'},
    {"read", no_argument, nullptr, 'r'},
    {"shell", no_argument, nullptr, 'S'},
    {nullptr, 0, nullptr, 0},
};
const OptionHelp kHelp[] = {
    {"module", "module name: dm2016"},
    {"str", "Write 'str' to dm2016 "},
    {"hex", "Write/read start address, default[0]"},
    {"hex", "Write/read length, write length base on 'values'"},
    {"", "Read dm2016"},
    {"", "Read shell bit from dmm2016."},
};
static_assert(std::size(kHelp) + 1 == std::size(kOptions), "one help row per option");

void dm2016_usage()
{
    module_usage_print(kDm2016Id, kOptions, kHelp, std::size(kHelp));
    print("Exsample: \n");
    print("\t%s -M dm2016 \n\tDefault read dm2016 from 0 to 32 \n", g_program_name);
    print("\t%s -M dm2016 -w 'XR4T2B97' \n\tDefault read dm2016 from 0 to 32 \n", g_program_name);
}

int dm2016_open()
{
    int fd = open(kDevice, O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        print("Unable to open i2c bus 2!!!\n");
        return fd;
    }
    ioctl(fd, I2C_SLAVE, kDeviceAddress);
    return fd;
}

// The platform driver's two set-up requests; a driver that refuses them is
// a standard i2c-dev, reached with combined transfers instead.
bool platform_driver(int fd)
{
    bool a = ioctl(fd, kPlatformRequestA, 0) >= 0;
    bool b = ioctl(fd, kPlatformRequestB, 0) >= 0;
    return a && b;
}

// One combined transfer: the address byte, then one byte read back.
int standard_read_byte(int fd, uint8_t address, char* out)
{
    uint8_t addr = address;
    i2c_msg msgs[2] = {
        {kDeviceAddress7, 0, 1, &addr},
        {kDeviceAddress7, I2C_M_RD, 1, reinterpret_cast<uint8_t*>(out)},
    };
    i2c_rdwr_ioctl_data request = {msgs, 2};
    return ioctl(fd, I2C_RDWR, &request) < 0 ? -1 : 1;
}

int standard_write_byte(int fd, uint8_t address, char value)
{
    uint8_t buf[2] = {address, static_cast<uint8_t>(value)};
    i2c_msg msg = {kDeviceAddress7, 0, 2, buf};
    i2c_rdwr_ioctl_data request = {&msg, 1};
    return ioctl(fd, I2C_RDWR, &request) < 0 ? -1 : 2;
}

int read_dm2016_eeprom(int fd, unsigned start, unsigned length, char* data)
{
    if (data == nullptr)
        return -1;
    bool platform = platform_driver(fd);
    unsigned j = 0;
    for (unsigned a = start; a < start + length; ++a, ++j) {
        int ret;
        if (platform) {
            // The driver sends the byte in the buffer as the address and
            // returns the EEPROM's byte in its place.
            data[j] = static_cast<char>(a & 0xff);
            ret = static_cast<int>(read(fd, &data[j], 1));
        } else {
            ret = standard_read_byte(fd, static_cast<uint8_t>(a & 0xff), &data[j]);
        }
        if (ret < 0) {
            print("dm2016 read addr 0x%x error. \n", a);
            return ret;
        }
    }
    return 0;
}

int write_dm2016_eeprom(int fd, int start, int length, const char* data)
{
    if (data == nullptr)
        return -1;
    bool platform = platform_driver(fd);
    int j = 0;
    for (int a = start; a < start + length; ++a, ++j) {
        int ret;
        if (platform) {
            char buf[2] = {static_cast<char>(a & 0xff), data[j]};
            ret = static_cast<int>(write(fd, buf, 2));
        } else {
            ret = standard_write_byte(fd, static_cast<uint8_t>(a & 0xff), data[j]);
        }
        if (ret < 0) {
            perror("write_dm2016_eeprom");
            return ret;
        }
        usleep(kWriteCycleUs);
    }
    return 0;
}

constexpr ErrorSite kSite{__FILE_NAME__, "dm2016_init_param"};

// 0 when the run should go on, -1 after an option error (the usage follows),
// -2 when it ends here.
int dm2016_init_param(int argc, char** argv)
{
    int c;
    while (module_option(argc, argv, kShortOptions, kOptions, kSite, &c, "Unknow option. \n")) {
        switch (c) {
        case 'w':
            if (strlen(optarg) > kMaxValue) {
                ERR_PRINT("dm2016 value length must <= %d \n", static_cast<int>(kMaxValue));
                return -1;
            }
            copy_bounded(g_req.data, sizeof g_req.data, optarg);
            g_req.mode = kDm2016Write;
            break;
        case 's':
            if (!OPT_BOUNDED(kSite, optarg, 0, kMaxValue, &g_req.start, "dm2016 offset must < %d \n",
                             static_cast<int>(kMaxValue)))
                return -1;
            break;
        case 'l':
            if (!OPT_BOUNDED(kSite, optarg, 0, kMaxValue, &g_req.length, "dm2016 length must < %d \n",
                             static_cast<int>(kMaxValue)))
                return -1;
            break;
        case 'r':
            g_req.mode = kDm2016Read;
            break;
        case 'S': {
            // The shell bit: the byte at address 6, as a one-character string.
            Dm2016Request shell = {kDm2016Read, 6, 1, {}};
            UniqueFd fd(dm2016_open());
            if (!fd.valid()) {
                ERR_PRINT("Open dm2016 Fail.\n");
                return -2;
            }
            // A failed read leaves the address byte in the buffer: not a value to show.
            if (read_dm2016_eeprom(fd.get(), static_cast<unsigned>(shell.start),
                                   static_cast<unsigned>(shell.length), shell.data) == 0)
                print("%s\n", shell.data);
            fd.reset();  // exit runs no destructor of this frame
            exit(0);
        }
        }
    }
    return c;
}

int dm2016_test_main(int argc, char** argv)
{
    int parsed = dm2016_init_param(argc, argv);
    if (parsed == -1)
        dm2016_usage();
    if (parsed != 0)
        return 0;
    const UniqueFd fd(dm2016_open());
    if (!fd.valid()) {
        ERR_PRINT("Open dm2016 Fail.\n");
        return -1;
    }
    const char* verb = g_req.mode == kDm2016Write ? "write" : "read";
    int ret;
    if (g_req.mode == kDm2016Write) {
        g_req.length = static_cast<int>(strlen(g_req.data));
        ret = write_dm2016_eeprom(fd.get(), g_req.start, g_req.length, g_req.data);
    } else {
        ret = read_dm2016_eeprom(fd.get(), static_cast<unsigned>(g_req.start),
                                 static_cast<unsigned>(g_req.length), g_req.data);
    }
    if (ret < 0) {
        ERR_PRINT("DM2016 %s %s from %d length %d failed!\n", verb, g_req.data, g_req.start, g_req.length);
        return ret;
    }
    print("DM2016 %s %s from %d length %d success!\n", verb, g_req.data, g_req.start, g_req.length);
    return ret;
}

}  // namespace

REGISTER_MODULE(dm2016, kDm2016Id, dm2016_test_main, dm2016_usage, nullptr, kShortOptions, kOptions)
