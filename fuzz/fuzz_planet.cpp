// fuzz_planet.cpp — a planet datagram through the responder's path: classify,
// parse a modify request, weigh it against the store's records, build both
// replies; only the admin's own password is accepted, an accepted request
// leaves the record static with the gateway as DNS server, and a parsed
// request built again carries the same fields and a checksum that verifies.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "discovery.h"
#include "osa_net.h"
#include "vd_search.h"

using namespace discovery;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > kPlanetMaxDatagram)
        size = kPlanetMaxDatagram;
    uint8_t* d = static_cast<uint8_t*>(malloc(size ? size : 1));
    memcpy(d, data, size);
    static const uint8_t kOwn[kMacLen] = {0x02, 0, 0, 0, 0, 0x0a};
    PlanetKind kind = planet_classify(d, size);
    if (kind == PlanetKind::kInfo) {
        uint8_t text2[16] = {};
        uint8_t reply[kPlanetInfoReplyLen];
        planet_build_info_reply(reply, {{2, 0, 0, 0, 0, 10}, 0, 0, 0, "m", text2});
        if (planet_checksum(reply, sizeof reply) != 0)
            abort();
    } else if (kind == PlanetKind::kModify) {
        PlanetModify m;
        planet_parse_modify(d, &m);
        if (!CheckIPAddr(m.ipaddr) || !CheckIPAddr(m.netmask) || !CheckIPAddr(m.gateway))
            abort();
        if (strlen(m.title) > 31 || strlen(m.current) > 16 || strlen(m.fresh) > 16)
            abort();
        UserRecord admin = {};
        strcpy(admin.name, "admin");
        strcpy(admin.password, "admin");
        NetworkRecord stored = {};
        stored.mode = 1;
        PlanetOutcome o = apply_planet_modify(m, {stored, &admin, 1});
        if (o.accepted != (strcmp(m.current, "admin") == 0))
            abort();
        if (o.accepted && (o.network.mode != 0 || strcmp(o.network.dns1, o.network.gateway) != 0 ||
                           !CheckIPAddr(o.network.ipaddr) || strcmp(o.title, m.title) != 0 ||
                           (o.password != nullptr && (o.password[0] == '\0' || strcmp(o.password, "admin") == 0))))
            abort();
        uint8_t again[kPlanetModifyLen];
        PlanetModifyRequest r = {};
        memcpy(r.target, m.target, kMacLen);
        memcpy(r.ipaddr, d + planet::kNewIpaddr.at, 4);
        memcpy(r.netmask, d + planet::kNewNetmask.at, 4);
        memcpy(r.gateway, d + planet::kNewGateway.at, 4);
        r.title = m.title;
        r.current = m.current;
        r.fresh = m.fresh;
        planet_build_modify_request(again, r);
        PlanetModify back;
        planet_parse_modify(again, &back);
        if (back.checksum != back.checksum_received || strcmp(back.title, m.title) != 0 ||
            strcmp(back.current, m.current) != 0 || strcmp(back.fresh, m.fresh) != 0)
            abort();
        uint8_t reply[kPlanetModifyReplyLen];
        planet_build_modify_reply(reply, kOwn, m.title);
        if (planet_checksum(reply, sizeof reply) != 0 || reply[31] != 0)
            abort();
    }
    free(d);
    return 0;
}
