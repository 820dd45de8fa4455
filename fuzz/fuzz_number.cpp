// fuzz_number.cpp — option values: parse_u32 must agree with strtoul in base 0
// on every text it accepts, and refuse what does not fit 32 bits.
#include <errno.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "osa.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));
    uint32_t value = 0;
    bool ok = parse_u32(text.c_str(), &value);

    errno = 0;
    char* end = nullptr;
    unsigned long expect = strtoul(text.c_str(), &end, 0);
    bool whole = !text.empty() && end != text.c_str() && *end == '\0' && errno != ERANGE;
    if (ok && (!whole || static_cast<uint32_t>(expect) != value))
        abort();
    if (!whole && ok)
        abort();

    char small[8];
    copy_bounded(small, sizeof small, text.c_str());
    if (strlen(small) != (text.size() < sizeof small ? text.size() : sizeof small - 1))
        abort();
    return 0;
}
