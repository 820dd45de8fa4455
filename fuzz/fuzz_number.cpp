// fuzz_number.cpp — option values: parse_u32 accepts exactly the texts that
// strtoul in base 0 reads whole and that fit 32 bits, with strtoul's value.
#include <ctype.h>
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
    bool whole = end != text.c_str() && *end == '\0' && errno != ERANGE;
    // Fits 32 bits: a negative number as a 32-bit int, anything else unsigned.
    const char* p = text.c_str();
    while (isspace(static_cast<unsigned char>(*p)))
        ++p;
    bool fits = *p == '-' ? 0UL - expect <= 0x80000000UL : expect <= 0xffffffffUL;
    if (ok != (whole && fits))
        abort();
    if (ok && value != static_cast<uint32_t>(expect))
        abort();

    char small[8];
    copy_bounded(small, sizeof small, text.c_str());
    if (strlen(small) != (text.size() < sizeof small ? text.size() : sizeof small - 1))
        abort();
    return 0;
}
