// fuzz_modify_text.cpp — a modify request's text: split into at most 32
// fields of at most 127 characters; the fields, joined again, are the
// text's non-empty pieces in order, each cut to its bound.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "discovery.h"
#include "osa_net.h"

using namespace discovery;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    char* text = static_cast<char*>(malloc(size ? size : 1));
    memcpy(text, data, size);
    RequestFields f;
    split_request(text, size, &f);

    std::string expect;
    size_t count = 0;
    std::string piece;
    size_t end = strnlen(text, size);
    for (size_t i = 0; i <= end && count < kFieldSlots; ++i) {
        if (i == end || text[i] == ';') {
            if (!piece.empty()) {
                if (strcmp(f.field[count], piece.substr(0, kFieldSize - 1).c_str()) != 0)
                    abort();
                ++count;
            }
            piece.clear();
        } else {
            piece += text[i];
        }
    }
    if (f.count != count)
        abort();
    for (size_t i = 0; i < kFieldSlots; ++i) {
        uint8_t q[4];
        if (CheckIPAddr(f.field[i]) != (net_parse_quad(f.field[i], q) ? 1 : 0))
            abort();
    }
    int port = request_port(f.field[kFieldPort]);
    if (port < 1 || port > 65535)
        abort();
    free(text);
    return 0;
}
