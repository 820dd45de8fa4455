// fuzz_args.cpp — the program's argument scan over arbitrary argument vectors
// (NUL-separated in the input): it must only ever point into argv.
#include <stdint.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "scan.h"

namespace {

bool inside(const char* p, const std::vector<const char*>& argv)
{
    for (const char* a : argv)
        if (p == a)
            return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> args;
    size_t start = 0;
    for (size_t i = 0; i <= input.size(); ++i) {
        if (i == input.size() || input[i] == '\0') {
            args.push_back(input.substr(start, i - start));
            start = i + 1;
        }
    }
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    ArgScan scan = scan_arguments(static_cast<int>(argv.size()), argv.data());
    if (scan.module != nullptr && !inside(scan.module, argv))
        abort();
    if (scan.help != nullptr && (!inside(scan.help, argv) || !scan.version))
        abort();
    // Without the usage there is a help name or a module to run.
    if (!scan.program_usage && scan.help == nullptr && scan.module == nullptr)
        abort();
    if (scan.program_usage && scan.help != nullptr)
        abort();
    return 0;
}
