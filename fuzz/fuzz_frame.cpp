// fuzz_frame.cpp — a captured frame through the responder's path: classify,
// split the modify text, build the reply. Nothing may be read past the
// captured bytes (the input is exactly that long), and every reply keeps
// its header and terminated text.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "discovery.h"
#include "osa_net.h"

using namespace discovery;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const uint8_t kOwn[kMacLen] = {0x02, 0, 0, 0, 0, 0x0a};
    static const uint8_t kZero[kMacLen] = {};
    // A heap copy of exactly size bytes, so ASan sees any read past it.
    uint8_t* frame = static_cast<uint8_t*>(malloc(size ? size : 1));
    memcpy(frame, data, size);
    FrameRequest req;
    FrameKind kind = parse_frame(frame, size, kOwn, kZero, &req);
    uint8_t reply[kReplyLen];
    ReplyInfo info = {"192.0.2.10", 80, "255.255.255.0", "192.0.2.1", "", "a", "b", "c", "t", "m", 1, 0};
    if (kind == FrameKind::kSearch) {
        build_search_reply(reply, req.requester, kOwn, info);
    } else if (kind == FrameKind::kModify) {
        RequestFields fields;
        split_request(req.text, req.text_len, &fields);
        if (fields.count > kFieldSlots)
            abort();
        for (size_t i = 0; i < kFieldSlots; ++i) {
            if (strnlen(fields.field[i], kFieldSize) >= kFieldSize)
                abort();
        }
        CheckIPAddr(fields.field[kFieldIp]);
        info.http_port = request_port(fields.field[kFieldPort]);
        info.title = fields.field[kFieldTitle];
        build_modify_reply(reply, req.requester, kOwn, 1, info);
        if (reply[kModifyResultAt] != 1 || reply[kReplyLen - 1] != 0)
            abort();
    }
    if (kind != FrameKind::kIgnore) {
        Reply back;
        if (!parse_reply(reply, kReplyLen, &back) || memcmp(back.camera, kOwn, kMacLen) != 0)
            abort();
    }
    free(frame);
    return 0;
}
