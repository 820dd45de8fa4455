// fuzz_mtd.cpp — /proc/mtd as the mtd module reads it: any text gives a table
// within its bounds, with terminated fields and starts that add up.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "vd_mtd.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MtdTable table{};
    uint32_t next = 0;
    unsigned lines = 0;
    char line[1024];
    size_t at = 0;
    // Lines as fgets gives them: at most 1023 bytes, the newline kept.
    while (at < size) {
        size_t n = 0;
        while (at < size && n < sizeof line - 1) {
            char c = static_cast<char>(data[at++]);
            line[n++] = c;
            if (c == '\n')
                break;
        }
        line[n] = '\0';
        ++lines;
        mtd_table_add(&table, line, &next);
    }
    if (table.count > kMtdMaxParts || table.count + table.unlisted + table.bad_lines > lines)
        abort();
    uint32_t start = 0;
    for (unsigned k = 0; k < table.count; ++k) {
        const MtdPart& p = table.parts[k];
        if (memchr(p.device, '\0', sizeof p.device) == nullptr || memchr(p.name, '\0', sizeof p.name) == nullptr)
            abort();
        if (strncmp(p.device, "/dev/", 5) != 0 || p.start != start || p.bad_count != 0)
            abort();
        start += p.size;
    }
    return 0;
}
