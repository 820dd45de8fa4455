// scan.cpp — the program's argument scan: four exact tokens, no option parser,
// so that the module receives the whole argument vector untouched.
#include "scan.h"

#include <string.h>

namespace {

bool is(const char* token, const char* a, const char* b)
{
    return strcmp(token, a) == 0 || strcmp(token, b) == 0;
}

}  // namespace

ArgScan scan_arguments(int argc, const char* const* argv)
{
    ArgScan scan;
    for (int k = 0; k < argc; ++k) {
        if (is(argv[k], "-M", "--module")) {
            if (k + 1 == argc) {
                scan.program_usage = true;
                return scan;
            }
            scan.module = argv[k + 1];
        } else if (is(argv[k], "-h", "--help")) {
            scan.version = true;
            if (k + 1 == argc)
                scan.program_usage = true;
            else
                scan.help = argv[k + 1];
            return scan;
        }
    }
    if (scan.module == nullptr)
        scan.program_usage = true;
    return scan;
}
