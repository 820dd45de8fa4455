// vd_sdmmc.cpp — the SD card slot: find the card, mount it, show its size,
// repair or format it, time its writes and reads, fill it to the brim. The
// disk work is done by the shell's own tools.
#include <errno.h>
#include <getopt.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <iterator>

#include "module.h"
#include "osa.h"
#include "vdcommon.h"

namespace {

constexpr uint8_t kSdmmcId = 10;
constexpr char kMountPoint[] = "/mnt/mmc";
constexpr uint32_t kMaxFillValue = 65536;
// --init has no letter; a value past every letter keeps it apart from them.
constexpr int kInitOption = 0x100;

// The card's possible block devices, in the order they are looked for. The
// commands are built only from these names.
const char* const kCandidates[] = {"/dev/mmcblk0", "/dev/mmcblk1", "/dev/mmcblk2", "/dev/mmcblk3"};

struct SdmmcState {
    const char* device;
    int file_size;  // MB per fill file
    int file_num;
    unsigned long long block;
    unsigned long long total;
    unsigned long long free;
    unsigned long long used;
};
SdmmcState g_sd = {nullptr, 128, 128, 0, 0, 0, 0};

constexpr char kShortOptions[] = "M:n:z:isrfFm";
const option kOptions[] = {
    {"module", required_argument, nullptr, 'M'},
    {"filenum", required_argument, nullptr, 'n'},
    {"filesize", required_argument, nullptr, 'z'},
    {"info", no_argument, nullptr, 'i'},
    {"init", no_argument, nullptr, kInitOption},
    {"speed", no_argument, nullptr, 's'},
    {"repair", no_argument, nullptr, 'r'},
    {"format", no_argument, nullptr, 'f'},
    {"filling", no_argument, nullptr, 'F'},
    {"mount", no_argument, nullptr, 'm'},
    {nullptr, 0, nullptr, 0},
};
const OptionHelp kHelp[] = {
    {"module", "module name: sdmmc"},
    {"digit", "sdmmc filling file numbers [n], default 128, [1-40960]"},
    {"digit", "sdmmc filling file echo filesize [n]MB, default 128MB, [1-4096]"},
    {"", "sdmmc base information(blocksize, total size, freesize, usesize)."},
    {"", "Sdmmc init device."},
    {"", "sdmmc check read and write speed."},
    {"", "Repair sdmmc disk."},
    {"", "Format sdmmc disk."},
    {"", "Filling sdmmc disk to full."},
    {"", "Mount sdmmc."},
};
static_assert(std::size(kHelp) + 1 == std::size(kOptions), "one help row per option");

void sdmmc_usage()
{
    module_usage_print(kSdmmcId, kOptions, kHelp, std::size(kHelp));
}

// 1: exactly one card, 0: none, -1: a second one (the first stays chosen).
int sdmmc_scan()
{
    bool found = false;
    for (const char* path : kCandidates) {
        if (access(path, F_OK) != 0)
            continue;
        if (found)
            return -1;
        g_sd.device = path;
        found = true;
    }
    return found ? 1 : 0;
}

int sdmmc_init()
{
    int found = sdmmc_scan();
    if (found == 1)
        return 0;
    if (found == 0) {
        print("%s\n", "SD/mmc isn't inserted, please check again!");
        return -1;
    }
    print("%s\n", "SD/mmc has error, try to reinit!");
    sleep(1);
    found = sdmmc_scan();
    if (found == 1) {
        print("%s\n", "SD/mmc inserted!");
        return 0;
    }
    if (found == -1) {
        ERR_PRINT("SD/mmc has error, reinit faild!\n");
        return -1;
    }
    print("%s\n", "SD/mmc isn't inserted, please check again!");
    ERR_PRINT("SD/mmc has unknow error!\n");
    return -1;
}

// Runs a command built from a format and the device path, in a 256-byte buffer.
int run_with_device(const char* fmt)
{
    char cmd[256];
    int n = snprintf(cmd, sizeof cmd, fmt, g_sd.device);
    if (n < 0 || static_cast<size_t>(n) >= sizeof cmd)
        return -1;
    return system(cmd);
}

int sdmmc_mount()
{
    // Any mounted card counts as the one at /mnt/mmc.
    if (system("df | grep mmcblk > /dev/null 2>&1") == 0)
        return 0;
    if (sdmmc_init() != 0)
        return -1;
    return run_with_device("mount -t vfat %s /mnt/mmc -o async,umask=000");
}

int sdmmc_repair()
{
    if (sdmmc_init() != 0)
        return -1;
    if (run_with_device("time dosfsck -a -v -V %s") == 0) {
        print("Sd/mmc repair %s success!\n", g_sd.device);
        return 0;
    }
    print("Sd/mmc repair %s faild!\n", g_sd.device);
    return -1;
}

// A command whose outcome the module does not act on.
void run(const char* cmd)
{
    int status = system(cmd);
    (void)status;
}

void settle()
{
    vd_free_system_caches();
    sleep(1);
    run("sync");
    sleep(1);
}

int sdmmc_format()
{
    if (sdmmc_init() != 0)
        return -1;
    char cmd[64];
    snprintf(cmd, sizeof cmd, "fdisk %s", g_sd.device);
    FILE* fdisk = popen(cmd, "w");
    if (fdisk == nullptr) {
        print("fdisk %s failed!\n", g_sd.device);
        return -1;
    }
    // Delete partitions 1 to 4 and write the empty table; fdisk reads its
    // answers one prompt at a time.
    static const char kAnswers[] = "d1\nd2\nd3\nd4\n w\n";
    for (const char* p = kAnswers; *p != '\0'; ++p) {
        if (*p == '\n')
            usleep(500000);
        putc(*p, fdisk);
    }
    pclose(fdisk);
    settle();
    sleep(1);
    if (run_with_device("time mkdosfs -I -F 32 %s") == 0) {
        settle();
        return 0;
    }
    print("%s\n", "Sd/mmc format failed!");
    return -1;
}

// The card mounted for an action; a failure is reported in the action's name.
bool mounted(const char* func = __builtin_FUNCTION(), int line = __builtin_LINE())
{
    if (sdmmc_mount() == 0)
        return true;
    err_print_prefix(__FILE_NAME__, func, line);
    err_print_text("sdmmc mount failed!\n");
    return false;
}

// statfs of the mount point; an error line when it fails, so that no
// figures are made up from an unfilled record.
bool mount_stats(struct statfs* st)
{
    if (statfs(kMountPoint, st) == 0)
        return true;
    ERR_PRINT("statfs %s failed: %s\n", kMountPoint, strerror(errno));
    return false;
}

int sdmmc_info()
{
    struct statfs st;
    if (!mounted() || !mount_stats(&st))
        return -1;
    g_sd.block = static_cast<unsigned long long>(st.f_bsize);
    print("Block = %llu KB \n", g_sd.block >> 10);
    g_sd.total = static_cast<unsigned long long>(st.f_blocks) * g_sd.block;
    print("Total = %llu B = %llu KB = %llu MB = %.2f GB\n", g_sd.total, g_sd.total >> 10, g_sd.total >> 20,
          static_cast<double>(g_sd.total >> 20) * (1.0 / 1024));
    g_sd.free = static_cast<unsigned long long>(st.f_bfree) * g_sd.block;
    print("Free = %llu KB = %llu MB = %.2f GB\n", g_sd.free >> 10, g_sd.free >> 20,
          static_cast<double>(g_sd.free >> 20) / 1024);
    g_sd.used = g_sd.total - g_sd.free;
    print("Use = %llu KB = %llu MB = %.2f GB\n", g_sd.used >> 10, g_sd.used >> 20,
          static_cast<double>(g_sd.used >> 20) / 1024);
    return 0;
}

int sdmmc_test_speed()
{
    if (!mounted())
        return -1;
    // time and dd print the figures themselves.
    run("time dd if=/dev/zero of=/mnt/mmc/empty.file bs=128k count=1k ");
    settle();
    run("time dd if=/mnt/mmc/empty.file of=/dev/null bs=128k count=1k ");
    sleep(1);
    run("rm -rf /mnt/mmc/empty.file");
    return 0;
}

void print_free(unsigned long long block)
{
    struct statfs st;
    if (!mount_stats(&st))
        return;
    g_sd.free = block * static_cast<unsigned long long>(st.f_bfree);
    print("Free size = %llu MB \n", g_sd.free >> 20);
}

int sdmmc_filling_disk()
{
    struct statfs st;
    if (!mounted() || !mount_stats(&st))
        return -1;
    g_sd.block = static_cast<unsigned long long>(st.f_bsize);
    g_sd.total = (g_sd.block * static_cast<unsigned long long>(st.f_blocks)) >> 20;
    g_sd.free = (g_sd.block * static_cast<unsigned long long>(st.f_bfree)) >> 20;
    g_sd.used = g_sd.total - g_sd.free;
    print("All size = %llu MB, free size = %llu MB \n", g_sd.total, g_sd.free);
    print("Try to filling sdmmc by creating %d files, echo file size %d MB \n", g_sd.file_num, g_sd.file_size);
    int created = 0;
    for (int i = 0; i < g_sd.file_num; ++i) {
        if (g_quit)
            break;
        print("Create %s/file%d \n", kMountPoint, i);
        char cmd[128];
        snprintf(cmd, sizeof cmd, "dd if=/dev/zero of=/mnt/mmc/file%d  bs=128k count=%u > /dev/null 2>&1", i,
                 static_cast<unsigned>(g_sd.file_size) * 8u);
        // A full card does not stop the fill: the count of files is the plan.
        run(cmd);
        ++created;
        if ((i + 1) % 32 == 0)
            print_free(g_sd.block);
        sleep(1);
    }
    print("Create total %d files \n", created);
    print_free(g_sd.block);
    settle();
    return 0;
}

// The card's readiness on its own, as the help offers it.
int sdmmc_ready()
{
    if (sdmmc_init() != 0)
        return -1;
    print("SD/mmc %s ready!\n", g_sd.device);
    return 0;
}

// The options that act at once, in command-line order, each with the line
// that says it failed.
struct SdmmcAction {
    int option;
    int (*run)();
    const char* failed;
};
const SdmmcAction kActions[] = {
    {'m', sdmmc_mount, "sdmmc mount faild!\n"},
    {'i', sdmmc_info, "sdmmc check information faild!\n"},
    {kInitOption, sdmmc_ready, "sdmmc init faild!\n"},
    {'s', sdmmc_test_speed, "sdmmc test speed faild!\n"},
    {'r', sdmmc_repair, "sdmmc repair disk faild!\n"},
    {'f', sdmmc_format, "sdmmc format disk faild!\n"},
    {'F', sdmmc_filling_disk, "sdmmc filling disk faild!\n"},
};

constexpr ErrorSite kParamSite{__FILE_NAME__, "sdmmc_init_param"};

int sdmmc_init_param(int argc, char** argv)
{
    int c;
    while (module_option(argc, argv, kShortOptions, kOptions, kParamSite, &c)) {
        switch (c) {
        case 'n':
            if (!OPT_BOUNDED(kParamSite, optarg, 0, kMaxFillValue, &g_sd.file_num,
                             "filling file numbers must in [1-40960]!\n"))
                module_refuse(sdmmc_usage);
            break;
        case 'z':
            if (!OPT_BOUNDED(kParamSite, optarg, 0, kMaxFillValue, &g_sd.file_size,
                             "filling file size must in [1-1024]!\n"))
                module_refuse(sdmmc_usage);
            break;
        default:
            for (const SdmmcAction& a : kActions) {
                if (a.option == c && a.run() != 0)
                    ERR_PRINT("%s", a.failed);
            }
            break;
        }
    }
    if (c != 0)
        module_refuse(sdmmc_usage);
    return 0;
}

int sdmmc_test_main(int argc, char** argv)
{
    sdmmc_init_param(argc, argv);
    return 0;
}

}  // namespace

REGISTER_MODULE(sdmmc, kSdmmcId, sdmmc_test_main, sdmmc_usage, nullptr, kShortOptions, kOptions)
