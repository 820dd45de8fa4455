// fuzz_planet_reply.cpp — a datagram on the planet reply port through the
// client's readers. Nothing may be read past the datagram, texts stay within
// their fields, and a reply read back builds again to the same bytes.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "discovery.h"

using namespace discovery;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > kPlanetMaxDatagram)
        size = kPlanetMaxDatagram;
    uint8_t* d = static_cast<uint8_t*>(malloc(size ? size : 1));
    memcpy(d, data, size);
    PlanetInfoReply info;
    if (planet_parse_info_reply(d, size, &info)) {
        if (strlen(info.model) > 32 || strlen(info.text2) > 16)
            abort();
        if (planet_checksum(d, kPlanetInfoReplyLen) != 0)
            abort();
    }
    PlanetResult result;
    if (planet_parse_modify_reply(d, size, &result)) {
        if (strlen(result.text) > 16 || (result.accepted && strcmp(result.text, "Successfully.") != 0))
            abort();
        // A text that fits the field builds the reply again byte for byte,
        // up to what follows the text's terminator.
        if (strlen(result.text) < 16) {
            uint8_t again[kPlanetModifyReplyLen];
            planet_build_modify_reply(again, result.mac, result.text);
            if (memcmp(again, d, 16 + strlen(result.text)) != 0)
                abort();
        }
    }
    free(d);
    return 0;
}
