// vd_mtd.cpp — lists the bad erase blocks of every raw flash partition.
#include "vd_mtd.h"

#include <errno.h>
#include <fcntl.h>
#include <getopt.h>
#include <mtd/mtd-user.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <iterator>

#include "module.h"
#include "osa.h"

namespace {

constexpr uint8_t kMtdId = 23;
constexpr char kProcMtd[] = "/proc/mtd";

MtdTable g_table;

constexpr char kShortOptions[] = "M:b:";
const option kOptions[] = {
    {"module", required_argument, nullptr, 'M'},
    {"badblock", required_argument, nullptr, 'b'},
    {nullptr, 0, nullptr, 0},
};
const OptionHelp kHelp[] = {
    {"module", "module name: mtd"},
    {"1", "cat badblock info"},
};
static_assert(std::size(kHelp) + 1 == std::size(kOptions), "one help row per option");

void mtd_usage()
{
    module_usage_print(kMtdId, kOptions, kHelp, std::size(kHelp));
}

void mtd_exit() {}

const char* skip_blanks(const char* p)
{
    while (*p == ' ' || *p == '\t')
        ++p;
    return p;
}

// A hexadecimal field of at most 32 bits, followed by a blank.
bool hex_field(const char** p, uint32_t* out)
{
    const char* s = skip_blanks(*p);
    uint64_t v = 0;
    const char* q = s;
    for (; *q != '\0'; ++q) {
        int d;
        if (*q >= '0' && *q <= '9')
            d = *q - '0';
        else if (*q >= 'a' && *q <= 'f')
            d = *q - 'a' + 10;
        else if (*q >= 'A' && *q <= 'F')
            d = *q - 'A' + 10;
        else
            break;
        v = v * 16 + static_cast<unsigned>(d);
        if (v > UINT32_MAX)
            return false;
    }
    if (q == s || (*q != ' ' && *q != '\t'))
        return false;
    *out = static_cast<uint32_t>(v);
    *p = q;
    return true;
}

// fgets, with the rest of an overlong line dropped: it is not a line of its own.
bool read_line(FILE* f, char* line, int size)
{
    if (fgets(line, size, f) == nullptr)
        return false;
    size_t len = strlen(line);
    bool whole = len > 0 && line[len - 1] == '\n';
    char rest[256];
    while (!whole && fgets(rest, sizeof rest, f) != nullptr) {
        len = strlen(rest);
        whole = len > 0 && rest[len - 1] == '\n';
    }
    return true;
}

// The scan's error lines are the check's, whichever helper meets them.
constexpr ErrorSite kCheckSite{__FILE_NAME__, "vd_badblock_check"};

// Asks the driver for every erase block of the partition; fills its bad count and addresses.
void scan_part(MtdPart* part)
{
    part->bad_count = 0;
    if (part->erase_size == 0) {
        // The block walk would never advance.
        SITE_ERR(kCheckSite, "%s (%s) : erase size 0, skipped\n", part->device, part->name);
        return;
    }
    const UniqueFd fd(open(part->device, O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) {
        SITE_ERR(kCheckSite, "%s open failed\n", part->device);
        return;
    }
    // 64 bits, as the request takes it: a partition near 4 GiB cannot wrap.
    for (loff_t offset = 0; offset < part->size; offset += part->erase_size) {
        int ret = ioctl(fd.get(), MEMGETBADBLOCK, &offset);
        if (ret < 0) {
            print("ioctl MEMGETBADBLOCK failed, %s, error=%d\n", part->device, ret);
            break;
        }
        if (ret > 0) {
            // Past the room for addresses the blocks are still counted.
            if (part->bad_count < kMtdMaxBad)
                part->bad[part->bad_count] = part->start + static_cast<uint32_t>(offset);
            ++part->bad_count;
        }
    }
}

// The partitions past the table's room, read again from the list and scanned
// one at a time: their bad blocks count, their addresses are not kept.
unsigned scan_unlisted(FILE* f)
{
    rewind(f);
    unsigned bad = 0;
    unsigned seen = 0;
    uint32_t next_start = 0;
    MtdPart part;
    char line[1024];
    while (read_line(f, line, sizeof line)) {
        if (!mtd_parse_line(line, &part))
            continue;
        part.start = next_start;
        next_start += part.size;
        if (seen++ < kMtdMaxParts)
            continue;
        scan_part(&part);
        bad += part.bad_count;
    }
    return bad;
}

int vd_badblock_check()
{
    FILE* f = fopen(kProcMtd, "r");
    if (f == nullptr) {
        ERR_PRINT("%s open failed\n", kProcMtd);
        return -1;
    }
    g_table = MtdTable{};
    uint32_t next_start = 0;
    char line[1024];
    while (read_line(f, line, sizeof line))
        mtd_table_add(&g_table, line, &next_start);
    if (g_table.bad_lines > 0)
        ERR_PRINT("%s: %u lines not understood, skipped\n", kProcMtd, g_table.bad_lines);

    for (unsigned k = 0; k < g_table.count; ++k)
        scan_part(&g_table.parts[k]);
    unsigned unlisted_bad = g_table.unlisted > 0 ? scan_unlisted(f) : 0;
    fclose(f);

    unsigned total = 0;
    for (unsigned k = 0; k < g_table.count; ++k) {
        const MtdPart& part = g_table.parts[k];
        if (part.bad_count == 0)
            continue;
        print("%s (%s) : \n", part.device, part.name);
        unsigned listed = part.bad_count < kMtdMaxBad ? part.bad_count : kMtdMaxBad;
        for (unsigned b = 0; b < listed; ++b)
            print("Bad block found at : %08x\n", part.bad[b]);
        if (part.bad_count > listed)
            print("%u more bad blocks not listed\n", part.bad_count - listed);
        total += part.bad_count;
    }
    if (g_table.unlisted > 0)
        print("%u more partitions not listed, %u bad blocks in them\n", g_table.unlisted, unlisted_bad);
    total += unlisted_bad;
    print("\nTotal bad block : %d\n", static_cast<int>(total));
    return 0;
}

int mtd_init_param(int argc, char** argv, bool* check)
{
    int c;
    while ((c = getopt_long(argc, argv, kShortOptions, kOptions, nullptr)) != -1) {
        int32_t value = 0;
        switch (c) {
        case 'M':
            break;
        case 'b':
            if (!opt_i32(optarg, &value)) {
                mtd_usage();
                break;
            }
            if (value == 1)
                *check = true;
            break;
        default:
            ERR_PRINT("Unknow option\n");
            mtd_usage();
            break;
        }
    }
    return 0;
}

int mtd_test_main(int argc, char** argv)
{
    if (argc < 3) {
        mtd_usage();
        return -1;
    }
    bool check = false;
    mtd_init_param(argc, argv, &check);
    if (!check)
        return -1;
    vd_badblock_check();
    return 0;
}

}  // namespace

bool mtd_parse_line(const char* line, MtdPart* out)
{
    if (strstr(line, "mtd") == nullptr)
        return false;
    const char* colon = strchr(line, ':');
    if (colon == nullptr || colon == line)
        return false;
    const char* p = colon + 1;
    uint32_t size = 0;
    uint32_t erase_size = 0;
    if (!hex_field(&p, &size) || !hex_field(&p, &erase_size))
        return false;
    const char* name = skip_blanks(p);
    size_t name_len = strcspn(name, " \t\r\n");
    if (name_len == 0)
        return false;
    *out = MtdPart{};
    int dev_len = static_cast<int>(colon - line);
    snprintf(out->device, sizeof out->device, "/dev/%.*s", dev_len, line);
    out->size = size;
    out->erase_size = erase_size;
    size_t kept = name_len < sizeof out->name ? name_len : sizeof out->name - 1;
    memcpy(out->name, name, kept);
    out->name[kept] = '\0';
    return true;
}

void mtd_table_add(MtdTable* table, const char* line, uint32_t* next_start)
{
    if (strstr(line, "mtd") == nullptr)
        return;
    MtdPart part;
    if (!mtd_parse_line(line, &part)) {
        ++table->bad_lines;
        return;
    }
    if (table->count == kMtdMaxParts) {
        ++table->unlisted;
        return;
    }
    part.start = *next_start;
    *next_start += part.size;
    table->parts[table->count++] = part;
}

REGISTER_MODULE(mtd, kMtdId, mtd_test_main, mtd_usage, mtd_exit, kShortOptions, kOptions)
