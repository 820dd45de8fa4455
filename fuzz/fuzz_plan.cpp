// fuzz_plan.cpp — a line of a plan file, as a line's management system hands
// it out, through camfind's reader: nothing is read past the line, an entry's
// title stays terminated within its room, and a refused line says why.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "rules.h"

using namespace camfind;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The reader takes one line without its line feed, shorter than its buffer.
    if (size >= kPlanLineSize || memchr(data, '\n', size) != nullptr || memchr(data, '\0', size) != nullptr)
        return 0;
    char* line = static_cast<char*>(malloc(size + 1));
    memcpy(line, data, size);
    line[size] = '\0';
    PlanLine entry;
    LineRead r = parse_plan_line(line, &entry);
    if (r.kind == LineKind::kEntry && strnlen(entry.title, sizeof entry.title) >= sizeof entry.title)
        abort();
    if (r.kind == LineKind::kBad && (r.why == nullptr || r.why[0] == '\0'))
        abort();
    free(line);
    return 0;
}
