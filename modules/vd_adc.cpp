// vd_adc.cpp — sample the analogue inputs through IIO sysfs, or post a
// day/night setting to the photodiode process through shared memory.
#include <getopt.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>

#include <iterator>

#include "module.h"
#include "osa.h"

namespace {

constexpr uint8_t kAdcId = 2;
constexpr int kAdcChannels = 3;
constexpr int kAdcShmKey = 7665432;
constexpr ErrorSite kSite{__FILE_NAME__, "adc_init_param"};

struct AdcRequest {
    int channel;     // above 2: channels 0, 1 and 2 in turn
    int times;       // rounds; -1 = until a signal
    unsigned delay;  // ms after each round
};
AdcRequest g_req = {0, -1, 1000};

// Read by the photodiode process as the processor stores it.
struct AdcThresholdCommand {
    int32_t valid;
    int32_t kind;  // AdcCommandKind
    int32_t value;
    int32_t day;
    int32_t reserved[8];
};
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the block is little-endian");
static_assert(sizeof(AdcThresholdCommand) == 48, "AdcThresholdCommand layout");
static_assert(offsetof(AdcThresholdCommand, valid) == 0, "AdcThresholdCommand layout");
static_assert(offsetof(AdcThresholdCommand, kind) == 4, "AdcThresholdCommand layout");
static_assert(offsetof(AdcThresholdCommand, value) == 8, "AdcThresholdCommand layout");
static_assert(offsetof(AdcThresholdCommand, day) == 12, "AdcThresholdCommand layout");
static_assert(offsetof(AdcThresholdCommand, reserved) == 16, "AdcThresholdCommand layout");
AdcThresholdCommand g_cmd{};

enum AdcCommandKind { kNightOnly = 0, kNightAndDay = 1, kSensitivity = 2, kDebugParam = 3, kInfo = 4 };

struct AdcChannel {
    const char* path;
    const char* open_error;
    const char* description;  // null: reserve
};
const AdcChannel kChannels[kAdcChannels] = {
    {"/sys/bus/iio/devices/iio:device0/in_voltage0_raw", "open ADC_CHN_A error!!!",
     "Photodiode AD sampling"},
    {"/sys/bus/iio/devices/iio:device0/in_voltage1_raw", "open ADC_B_DVE_NAME error!!!", nullptr},
    {"/sys/bus/iio/devices/iio:device0/in_voltage2_raw", "open ADC_C_DVE_NAME error!!!", nullptr},
};

constexpr char kShortOptions[] = "M:c:t:d:N:D:s:g:i";
const option kOptions[] = {
    {"module", required_argument, nullptr, 'M'},
    {"channel", required_argument, nullptr, 'c'},
    {"times", required_argument, nullptr, 't'},
    {"delay", required_argument, nullptr, 'd'},
    {"night_ev_th", required_argument, nullptr, 'N'},
    {"day_ev_th", required_argument, nullptr, 'D'},
    {"sensitive", required_argument, nullptr, 's'},
    {"debug switch", required_argument, nullptr, 'g'},
    {"info ", no_argument, nullptr, 'i'},
    {nullptr, 0, nullptr, 0},
};
const OptionHelp kHelp[] = {
    {"module", "module name: adc"},
    {"hex", "adc channel, default [4], means all"},
    {"digit", "adc read times, default [-1] means no timeout"},
    {"digit", "adc read delay [n] ms,  default [1000]ms"},
    {"0~1023", "0 is min   ,31023 is max"},
    {"0~1023", "0 is min   ,31023 is max"},
    {"0~9", "0 is min   ,9 is max"},
    {"param", "show param info"},
    {"debug switch", "0: close, 1: open"},
};
static_assert(std::size(kHelp) + 1 == std::size(kOptions), "one help row per option");

void adc_usage()
{
    module_usage_print(kAdcId, kOptions, kHelp, std::size(kHelp));
    print("ADC infomation descryption: \n");
    for (int ch = 0; ch < kAdcChannels; ++ch) {
        if (kChannels[ch].description != nullptr)
            print("channel%d: %s\n", ch, kChannels[ch].description);
        else
            print("channel%d: reserve\n", ch);
    }
    print("\n");
}

void adc_exit() {}

// Fills g_req and g_cmd; *thresholds counts the uses of -N and -D.
int adc_init_param(int argc, char** argv, int* thresholds)
{
    int c;
    while (module_option(argc, argv, kShortOptions, kOptions, kSite, &c)) {
        uint32_t number = 0;
        switch (c) {
        case 'c':
            if (!opt_u32(optarg, &number))
                return -1;
            // Only the photodiode channel is sampled on this board.
            g_req.channel = 0;
            if (number != 0)
                ERR_PRINT("Adc channel reset=%d\n", g_req.channel);
            break;
        case 't':
            if (!opt_u32(optarg, &g_req.times))
                return -1;
            break;
        case 'd':
            if (!OPT_BOUNDED(kSite, optarg, 1, UINT32_MAX, &g_req.delay, "Adc delay time must > 0 !\n"))
                return -1;
            break;
        case 'N':
            if (!opt_i32(optarg, &g_cmd.value))
                return -1;
            g_cmd.valid = 1;
            ++*thresholds;
            break;
        case 'D':
            if (!opt_i32(optarg, &g_cmd.day))
                return -1;
            ++*thresholds;
            break;
        case 's':
        case 'g':
            if (!opt_i32(optarg, &g_cmd.value))
                return -1;
            g_cmd.valid = 1;
            g_cmd.kind = c == 's' ? kSensitivity : kDebugParam;
            break;
        case 'i':
            g_cmd.valid = 1;
            g_cmd.kind = kInfo;
            break;
        }
    }
    return c;
}

// The channel's value scaled to the photodiode's range, or -1.
int adc_read(int channel)
{
    FILE* f = fopen(kChannels[channel].path, "r+");
    if (f == nullptr) {
        print("%s", kChannels[channel].open_error);
        return -1;
    }
    char text[5] = {};
    size_t got = fread(text, 1, 4, f);
    fclose(f);
    text[got] = '\0';
    int32_t raw = static_cast<int32_t>(strtol(text, nullptr, 10));
    return raw * 580 / 1900;
}

void adc_sample_round(int channel)
{
    int first = channel < kAdcChannels ? channel : 0;
    int last = channel < kAdcChannels ? channel : kAdcChannels - 1;
    for (int ch = first; ch <= last; ++ch) {
        int value = adc_read(ch);
        if (value < 0)
            print("adc_read error!\n");
        print("Adc[%d] = %d\n", ch, value);
    }
}

int adc_test_main(int argc, char** argv)
{
    int thresholds = 0;
    if (adc_init_param(argc, argv, &thresholds) != 0) {
        adc_usage();
        return 0;
    }
    // -N and -D together (or either twice) set both thresholds.
    if (thresholds == 2) {
        g_cmd.valid = 1;
        g_cmd.kind = kNightAndDay;
    }
    if (g_cmd.valid == 1)
        return OSA_shmPost(kAdcShmKey, &g_cmd, sizeof g_cmd);

    if (g_req.times == -1) {
        while (!g_quit) {
            adc_sample_round(g_req.channel);
            OSA_sleepMilli(g_req.delay);
        }
        return 0;
    }
    for (int round = 0; round < g_req.times; ++round) {
        adc_sample_round(g_req.channel);
        OSA_sleepMilli(g_req.delay);
    }
    return 0;
}

}  // namespace

REGISTER_MODULE(adc, kAdcId, adc_test_main, adc_usage, adc_exit, kShortOptions, kOptions)
