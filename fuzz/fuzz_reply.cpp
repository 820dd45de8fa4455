// fuzz_reply.cpp — a frame from any device on the segment through the
// client's path: read the reply, then its text. Nothing may be read past the
// frame (exactly size bytes), and every field read back stays terminated
// within its room.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "discovery.h"

using namespace discovery;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    uint8_t* frame = static_cast<uint8_t*>(malloc(size ? size : 1));
    memcpy(frame, data, size);
    Reply r;
    if (parse_reply(frame, size, &r)) {
        if (r.code != kReplySearch && r.code != kReplyModify)
            abort();
        if (strnlen(r.text, sizeof r.text) >= sizeof r.text)
            abort();
        ReplyFields f;
        if (parse_reply_text(r, &f)) {
            const char* texts[] = {f.ipaddr, f.netmask, f.gateway, f.dns1, f.text1,
                                   f.text2,  f.text3,   f.title,   f.model};
            for (const char* t : texts) {
                if (strnlen(t, kSearchTextRoom) >= kSearchTextRoom)
                    abort();
            }
            // A whole text has all its numbers.
            if (!f.cut && (f.http_port < -0x80000000L || f.http_port > 0x7fffffffL))
                abort();
        }
    }
    free(frame);
    return 0;
}
