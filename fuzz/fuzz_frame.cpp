// fuzz_frame.cpp — a captured frame through the responder's path: classify,
// split the modify text, weigh it against the store's records, build the
// reply. Nothing may be read past the captured bytes (the input is exactly
// that long), only the stored user's own password is accepted, an accepted
// request leaves every address a dotted quad, and every reply keeps its
// header and terminated text.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "discovery.h"
#include "osa_net.h"
#include "vd_search.h"

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
        UserRecord admin = {};
        strcpy(admin.name, "admin");
        strcpy(admin.password, "admin");
        NetworkRecord stored = {};
        strcpy(stored.ipaddr, "192.0.2.10");
        strcpy(stored.netmask, "255.255.255.0");
        ModifyOutcome o = apply_modify(fields, {stored, &admin, 1});
        bool admin_asked = strcmp(fields.field[kFieldUser], "admin") == 0 &&
                           strcmp(fields.field[kFieldPassword], "admin") == 0;
        if ((o.result >= 0) != admin_asked || o.result < -1 || o.result > 1)
            abort();
        if (o.result >= 0) {
            const char* addresses[] = {o.network.ipaddr, o.network.netmask, o.network.gateway, o.network.dns1};
            for (const char* a : addresses) {
                if (strnlen(a, sizeof o.network.ipaddr) >= sizeof o.network.ipaddr || (a[0] != '\0' && !CheckIPAddr(a)))
                    abort();
            }
            bool same = o.network.mode == 0 && strcmp(o.network.ipaddr, "192.0.2.10") == 0 &&
                        strcmp(o.network.netmask, "255.255.255.0") == 0 && o.network.gateway[0] == '\0' &&
                        o.network.dns1[0] == '\0';
            if (o.result != (same ? 0 : 1) || o.http_port < 1 || o.http_port > 65535)
                abort();
        }
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
