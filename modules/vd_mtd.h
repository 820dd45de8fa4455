// vd_mtd.h — the partition table of the mtd module, read from /proc/mtd.
#pragma once

#include <stddef.h>
#include <stdint.h>

constexpr unsigned kMtdMaxParts = 13;
constexpr unsigned kMtdMaxBad = 128;

struct MtdPart {
    char device[32];  // "/dev/" and the device name
    uint32_t start;   // flash address: the sizes of the partitions before it
    uint32_t size;
    uint32_t erase_size;
    char name[32];  // as /proc/mtd prints it, quotes included
    uint32_t bad_count;  // every bad block found, listed or not
    uint32_t bad[kMtdMaxBad];
};

struct MtdTable {
    MtdPart parts[kMtdMaxParts];
    unsigned count;
    unsigned unlisted;   // partitions past the table's room: scanned, not listed
    unsigned bad_lines;  // device lines that did not read as a partition
};

// One line of /proc/mtd: "mtdN: SIZE ERASESIZE NAME" (sizes in hex). False
// for a line without "mtd" (the header) or one that does not read whole;
// device path and name are cut to their fields.
bool mtd_parse_line(const char* line, MtdPart* out);

// Adds a line to the table: start addresses follow from the sizes before it.
void mtd_table_add(MtdTable* table, const char* line, uint32_t* next_start);
