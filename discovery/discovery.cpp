// discovery.cpp — frames and datagrams of the discovery protocols.
#include "discovery.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace discovery {
namespace {

constexpr uint8_t kHeaderTail[6] = {0x08, 0x09, 0x20, 0x12, 0x06, 0x10};

bool same_mac(const uint8_t* a, const uint8_t* b)
{
    return memcmp(a, b, kMacLen) == 0;
}

void put_header(uint8_t* out, const uint8_t dst[kMacLen], const uint8_t src[kMacLen],
                uint8_t code0, uint8_t code1)
{
    memcpy(out, dst, kMacLen);
    memcpy(out + 6, src, kMacLen);
    memcpy(out + 12, kHeaderTail, sizeof kHeaderTail);
    out[18] = code0;
    out[19] = code1;
}

// At most size-1 bytes of text up to its first zero, always terminated.
void copy_cut(char* dst, size_t size, const char* src)
{
    size_t n = strnlen(src, size - 1);
    memcpy(dst, src, n);
    dst[n] = '\0';
}

// The checksum of a whole packet of len bytes, in its last two.
void put_checksum(uint8_t* data, size_t len)
{
    size_t covered = len - kPlanetSumSize;
    uint16_t sum = planet_checksum(data, covered);
    data[covered] = static_cast<uint8_t>(sum & 0xff);
    data[covered + 1] = static_cast<uint8_t>(sum >> 8);
}

// A cleared packet with its magic and code.
void put_planet_header(uint8_t* out, size_t len, uint8_t code)
{
    memset(out, 0, len);
    memcpy(out + planet::kMagic.at, kPlanetMagic, planet::kMagic.size);
    out[planet::kCode.at] = code;
}

// One number as %d reads it: blanks, an optional sign, decimal digits.
// Values past 32 bits saturate, so they can never pass as 0..255.
const char* scan_number(const char* p, long long* value)
{
    while (isspace(static_cast<unsigned char>(*p)))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    if (!isdigit(static_cast<unsigned char>(*p)))
        return nullptr;
    long long v = 0;
    for (; isdigit(static_cast<unsigned char>(*p)); ++p) {
        if (v < 0x100000000LL)
            v = v * 10 + (*p - '0');
    }
    *value = negative ? -v : v;
    return p;
}

// A reply's number exactly as %d prints it: an optional '-' and digits.
bool reply_number(const char* p, size_t len, long* out)
{
    size_t i = (len > 0 && p[0] == '-') ? 1 : 0;
    if (i == len)
        return false;
    long long v = 0;
    for (; i < len; ++i) {
        if (!isdigit(static_cast<unsigned char>(p[i])) || v > 0x7fffffffLL)
            return false;
        v = v * 10 + (p[i] - '0');
    }
    if (p[0] == '-')
        v = -v;
    if (v > 0x7fffffffLL || v < -0x80000000LL)
        return false;
    *out = static_cast<long>(v);
    return true;
}

struct Span {
    const char* p;
    size_t len;
};

void copy_span(char* dst, Span s)
{
    memcpy(dst, s.p, s.len);  // a span of the reply text always fits its room
    dst[s.len] = '\0';
}

int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

uint16_t le16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

bool planet_packet(const uint8_t* data, size_t len, size_t full, uint8_t code)
{
    return data != nullptr && len >= full &&
           memcmp(data + planet::kMagic.at, kPlanetMagic, planet::kMagic.size) == 0 &&
           data[planet::kPad.at] == 0 && data[planet::kCode.at] == code &&
           planet_checksum(data, full - kPlanetSumSize) == le16(data + full - kPlanetSumSize);
}

void put(uint8_t* packet, PlanetField f, const void* value)
{
    memcpy(packet + f.at, value, f.size);
}

void get(const uint8_t* packet, PlanetField f, void* value)
{
    memcpy(value, packet + f.at, f.size);
}

// A text field of a packet: at most size-1 characters, the rest zero.
void put_text(uint8_t* packet, PlanetField f, const char* text)
{
    copy_cut(reinterpret_cast<char*>(packet + f.at), f.size, text);
}

// A text field read back whole: it may fill its bytes without a terminator.
void get_text(const uint8_t* packet, PlanetField f, char* out)
{
    const char* text = reinterpret_cast<const char*>(packet + f.at);
    size_t n = strnlen(text, f.size);
    memcpy(out, text, n);
    out[n] = '\0';
}

}  // namespace

bool is_station(const uint8_t mac[kMacLen])
{
    static const uint8_t kNone[kMacLen] = {};
    return (mac[0] & 0x01) == 0 && !same_mac(mac, kNone);
}

FrameKind parse_frame(const uint8_t* frame, size_t len, const uint8_t own_eth[kMacLen],
                      const uint8_t own_wlan[kMacLen], FrameRequest* out)
{
    memset(out, 0, sizeof *out);
    out->kind = FrameKind::kIgnore;
    if (len <= kHeaderLen)
        return out->kind;
    const uint8_t* src = frame + 6;
    if (!is_station(src) || same_mac(src, own_eth) || same_mac(src, own_wlan))
        return out->kind;
    if (memcmp(frame + 14, kMark, sizeof kMark) != 0)
        return out->kind;
    memcpy(out->requester, src, kMacLen);
    unsigned code = static_cast<unsigned>(frame[18]) + frame[19];
    if (code == kCodeSearch) {
        out->kind = FrameKind::kSearch;
        return out->kind;
    }
    // A modify request must carry its whole target address.
    if (code != kCodeModify || len < kModifyTextAt)
        return out->kind;
    // Only a station's own address names it: an absent interface reads as
    // zeros, which every camera would share.
    const uint8_t* target = frame + 20;
    if (is_station(own_eth) && same_mac(target, own_eth))
        out->selector = 0;
    else if (is_station(own_wlan) && same_mac(target, own_wlan))
        out->selector = 1;
    else
        return out->kind;
    out->text = reinterpret_cast<const char*>(frame + kModifyTextAt);
    out->text_len = strnlen(out->text, len - kModifyTextAt);
    out->kind = FrameKind::kModify;
    return out->kind;
}

void split_request(const char* text, size_t len, RequestFields* out)
{
    memset(out, 0, sizeof *out);
    size_t pos = 0;  // characters in the field being read
    for (size_t i = 0; i < len && text[i] != '\0'; ++i) {
        if (text[i] == ';') {
            if (pos > 0) {
                ++out->count;
                pos = 0;
            }
            continue;
        }
        if (out->count >= kFieldSlots)
            break;
        if (pos < kFieldSize - 1)
            out->field[out->count][pos] = text[i];
        ++pos;
    }
    if (pos > 0 && out->count < kFieldSlots)
        ++out->count;
}

int request_port(const char* field)
{
    long port = strtol(field, nullptr, 10);
    if (port > 65535)
        port = 65535;
    if (port < 1)
        port = 1;
    return static_cast<int>(port);
}

void format_reply_text(char* out, size_t room, const ReplyInfo& i)
{
    snprintf(out, room, "%s;%d;%s;%s;%s;%s;%s;%s;%s;%s;%d;%d", i.ipaddr, i.http_port, i.netmask,
             i.gateway, i.dns1, i.text1, i.text2, i.text3, i.title, i.model, i.uptime, i.mode);
}

void build_search_reply(uint8_t out[kReplyLen], const uint8_t dst[kMacLen],
                        const uint8_t own[kMacLen], const ReplyInfo& info)
{
    memset(out, 0, kReplyLen);
    put_header(out, dst, own, 0, kReplySearch);
    format_reply_text(reinterpret_cast<char*>(out + kSearchTextAt), kSearchTextRoom, info);
}

void build_modify_reply(uint8_t out[kReplyLen], const uint8_t requester[kMacLen],
                        const uint8_t own[kMacLen], int result, const ReplyInfo& info)
{
    memset(out, 0, kReplyLen);
    put_header(out, requester, own, 0, kReplyModify);
    memcpy(out + 20, requester, kMacLen);
    out[kModifyResultAt] = static_cast<uint8_t>(result);
    format_reply_text(reinterpret_cast<char*>(out + kModifyReplyTextAt), kModifyTextRoom, info);
}

size_t build_search_request(uint8_t* out, size_t size, const uint8_t src[kMacLen],
                            const uint8_t dst[kMacLen])
{
    if (size < kHeaderLen)
        return 0;
    put_header(out, dst, src, 0, 0);
    return kHeaderLen;
}

size_t build_modify_request(uint8_t* out, size_t size, const uint8_t src[kMacLen],
                            const uint8_t dst[kMacLen], const uint8_t target[kMacLen],
                            const char* text)
{
    size_t n = strlen(text);
    if (size < kModifyTextAt + n + 1)
        return 0;
    put_header(out, dst, src, 0, 2);
    memcpy(out + 20, target, kMacLen);
    memcpy(out + kModifyTextAt, text, n + 1);
    return kModifyTextAt + n + 1;
}

bool parse_reply(const uint8_t* frame, size_t len, Reply* out)
{
    memset(out, 0, sizeof *out);
    if (len <= kHeaderLen || memcmp(frame + 12, kHeaderTail, sizeof kHeaderTail) != 0 ||
        frame[18] != 0)
        return false;
    size_t at;
    if (frame[19] == kReplySearch) {
        at = kSearchTextAt;
    } else if (frame[19] == kReplyModify && len > kModifyReplyTextAt) {
        at = kModifyReplyTextAt;
        memcpy(out->requester, frame + 20, kMacLen);
        out->result = frame[kModifyResultAt];
    } else {
        return false;
    }
    out->code = frame[19];
    memcpy(out->camera, frame + 6, kMacLen);
    size_t room = len - at < sizeof out->text - 1 ? len - at : sizeof out->text - 1;
    size_t n = strnlen(reinterpret_cast<const char*>(frame + at), room);
    memcpy(out->text, frame + at, n);
    return true;
}

bool parse_reply_text(const Reply& reply, ReplyFields* out)
{
    memset(out, 0, sizeof *out);
    out->http_port = out->uptime = out->mode = -1;
    size_t room = reply.code == kReplyModify ? kModifyTextRoom : kSearchTextRoom;
    const char* text = reply.text;
    size_t len = strnlen(text, kSearchTextRoom - 1);
    Span part[kSearchTextRoom];
    size_t n = 0;
    const char* start = text;
    for (size_t i = 0; i <= len; ++i) {
        if (i == len || text[i] == ';') {
            part[n++] = {start, static_cast<size_t>(text + i - start)};
            start = text + i + 1;
        }
    }
    constexpr size_t kFields = 12;
    char* texts[] = {out->ipaddr, nullptr, out->netmask, out->gateway, out->dns1, out->text1,
                     out->text2, out->text3, out->title, out->model, nullptr, nullptr};
    long* numbers[] = {nullptr, &out->http_port, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr, &out->uptime, &out->mode};
    Span field[kFields] = {};
    if (n >= kFields) {
        for (size_t i = 0; i < 8; ++i)
            field[i] = part[i];
        // Extra parts belong to the title: from its start to the model's separator.
        field[8] = {part[8].p, static_cast<size_t>(part[n - 4].p + part[n - 4].len - part[8].p)};
        field[9] = part[n - 3];
        field[10] = part[n - 2];
        field[11] = part[n - 1];
    } else {
        // Fewer fields only when the camera cut the text at its room.
        if (len < room - 1)
            return false;
        out->cut = true;
        for (size_t i = 0; i < n; ++i)
            field[i] = part[i];
    }
    size_t have = n < kFields ? n : kFields;
    for (size_t i = 0; i < have; ++i) {
        if (texts[i] != nullptr)
            copy_span(texts[i], field[i]);
        else if (!reply_number(field[i].p, field[i].len, numbers[i]))
            return false;
    }
    return true;
}

ModifyText build_modify_text(char* out, size_t size, const char* const fields[kModifyFields])
{
    size_t used = 0;
    for (size_t i = 0; i < kModifyFields; ++i) {
        int f = static_cast<int>(i);
        size_t n = strlen(fields[i]);
        if (n == 0)
            return {TextCheck::kEmpty, f};
        if (memchr(fields[i], ';', n) != nullptr)
            return {TextCheck::kSeparator, f};
        if (n > kFieldSize - 1)
            return {TextCheck::kTooLong, f};
        // The separator (or the terminator after the last field) needs a byte too.
        if (size - used < n + 1)
            return {TextCheck::kNoRoom, f};
        memcpy(out + used, fields[i], n);
        used += n;
        out[used++] = i + 1 < kModifyFields ? ';' : '\0';
    }
    return {TextCheck::kOk, -1};
}

bool parse_quad(const char* text, uint8_t out[4])
{
    if (text == nullptr)
        return false;
    const char* p = text;
    for (int i = 0; i < 4; ++i) {
        long long v = 0;
        p = scan_number(p, &v);
        // Compared as unsigned 32-bit: negative numbers fail, -0 is 0.
        if (p == nullptr || v < 0 || v > 255)
            return false;
        out[i] = static_cast<uint8_t>(v);
        if (i < 3 && *p++ != '.')
            return false;
    }
    return *p == '\0';
}

bool parse_mac(const char* text, uint8_t out[kMacLen])
{
    if (strlen(text) != 17)
        return false;
    for (size_t i = 0; i < kMacLen; ++i) {
        const char* p = text + i * 3;
        int hi = hex_digit(p[0]), lo = hex_digit(p[1]);
        if (hi < 0 || lo < 0 || (i < 5 && p[2] != ':' && p[2] != '-'))
            return false;
        out[i] = static_cast<uint8_t>(hi << 4 | lo);
    }
    return true;
}

void format_quad(const uint8_t q[4], char out[kQuadTextSize])
{
    snprintf(out, kQuadTextSize, "%u.%u.%u.%u", unsigned{q[0]}, unsigned{q[1]}, unsigned{q[2]},
             unsigned{q[3]});
}

size_t control_escape(unsigned char ch, char out[5])
{
    if (ch == '\t') {
        memcpy(out, "\\t", 3);
        return 2;
    }
    if (ch >= 0x20 && ch != 0x7f)
        return 0;
    snprintf(out, 5, "\\x%02x", ch);
    return 4;
}

void escape_controls(char* out, size_t size, const char* text, size_t len)
{
    if (size == 0)
        return;
    size_t used = 0;
    for (size_t i = 0; i < len && text[i] != '\0'; ++i) {
        char piece[5] = {text[i], '\0'};
        size_t n = control_escape(static_cast<unsigned char>(text[i]), piece);
        if (n == 0)
            n = 1;
        if (size - 1 - used < n)
            break;
        memcpy(out + used, piece, n);
        used += n;
    }
    out[used] = '\0';
}

void format_mac(const uint8_t mac[kMacLen], char out[18])
{
    snprintf(out, 18, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3], mac[4],
             mac[5]);
}

uint16_t planet_checksum(const uint8_t* data, size_t len)
{
    uint32_t sum = 0;
    size_t i = 0;
    for (; i + 1 < len; i += 2)
        sum += static_cast<uint32_t>(data[i]) | static_cast<uint32_t>(data[i + 1]) << 8;
    if (i < len)
        sum += data[i];
    sum = (sum & 0xffff) + (sum >> 16);
    sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<uint16_t>(~sum & 0xffff);
}

void planet_decode_password(const uint8_t field[kPlanetPasswordLen], char out[kPlanetPasswordLen + 1])
{
    size_t i = 0;
    for (; i < kPlanetPasswordLen && field[i] != 0; ++i)
        out[i] = static_cast<char>(nibble_swap(field[i]));
    out[i] = '\0';
}

void planet_encode_password(const char* password, uint8_t field[kPlanetPasswordLen])
{
    memset(field, 0, kPlanetPasswordLen);
    for (size_t i = 0; i < kPlanetPasswordLen && password[i] != '\0'; ++i)
        field[i] = nibble_swap(static_cast<uint8_t>(password[i]));
}

PlanetKind planet_classify(const uint8_t* data, size_t len)
{
    if (len < kPlanetMinLen || memcmp(data + planet::kMagic.at, kPlanetMagic, planet::kMagic.size) != 0 ||
        data[planet::kPad.at] != 0)
        return PlanetKind::kIgnore;
    uint8_t code = data[planet::kCode.at];
    if (code == kPlanetInfoRequest)
        return PlanetKind::kInfo;
    if (code == kPlanetModifyRequest && len >= kPlanetModifyLen)
        return PlanetKind::kModify;
    return PlanetKind::kIgnore;
}

void planet_parse_modify(const uint8_t data[kPlanetModifyLen], PlanetModify* out)
{
    using namespace planet;
    memset(out, 0, sizeof *out);
    get(data, kMac, out->target);
    format_quad(data + kNewIpaddr.at, out->ipaddr);
    format_quad(data + kNewNetmask.at, out->netmask);
    format_quad(data + kNewGateway.at, out->gateway);
    char title[kNewTitle.size + 1];
    get_text(data, kNewTitle, title);
    copy_cut(out->title, sizeof out->title, title);  // the field's last byte is never read
    planet_decode_password(data + kCurrent.at, out->current);
    planet_decode_password(data + kFresh.at, out->fresh);
    out->checksum = planet_checksum(data, kPlanetModifyLen - kPlanetSumSize);
    out->checksum_received = le16(data + kPlanetModifyLen - kPlanetSumSize);
}

void planet_build_info_reply(uint8_t out[kPlanetInfoReplyLen], const PlanetInfo& info)
{
    using namespace planet;
    put_planet_header(out, kPlanetInfoReplyLen, kPlanetInfoReply);
    put(out, kMac, info.mac);
    put(out, kTag, "D000");
    put(out, kIpaddr, &info.ipaddr);
    put(out, kNetmask, &info.netmask);
    put(out, kGateway, &info.gateway);
    put_text(out, kModel, info.model);
    put(out, kText2, info.text2);
    put(out, kModelCopy, out + kModel.at);
    put_checksum(out, kPlanetInfoReplyLen);
}

void planet_build_modify_reply(uint8_t out[kPlanetModifyReplyLen], const uint8_t mac[kMacLen],
                               const char* text)
{
    using namespace planet;
    put_planet_header(out, kPlanetModifyReplyLen, kPlanetModifyReply);
    put(out, kMac, mac);
    put_text(out, kResult, text);
    put_checksum(out, kPlanetModifyReplyLen);
}

size_t planet_build_info_request(uint8_t* out, size_t size)
{
    if (size < kPlanetMinLen)
        return 0;
    put_planet_header(out, kPlanetMinLen, kPlanetInfoRequest);
    return kPlanetMinLen;
}

void planet_build_modify_request(uint8_t out[kPlanetModifyLen], const PlanetModifyRequest& r)
{
    using namespace planet;
    put_planet_header(out, kPlanetModifyLen, kPlanetModifyRequest);
    put(out, kMac, r.target);
    put(out, kNewIpaddr, r.ipaddr);
    put(out, kNewNetmask, r.netmask);
    put(out, kNewGateway, r.gateway);
    put_text(out, kNewTitle, r.title);
    planet_encode_password(r.current, out + kCurrent.at);
    planet_encode_password(r.fresh, out + kFresh.at);
    put_checksum(out, kPlanetModifyLen);
}

bool planet_parse_info_reply(const uint8_t* data, size_t len, PlanetInfoReply* out)
{
    using namespace planet;
    memset(out, 0, sizeof *out);
    if (!planet_packet(data, len, kPlanetInfoReplyLen, kPlanetInfoReply))
        return false;
    get(data, kMac, out->mac);
    get(data, kIpaddr, out->ipaddr);
    get(data, kNetmask, out->netmask);
    get(data, kGateway, out->gateway);
    get_text(data, kModel, out->model);
    get_text(data, kText2, out->text2);
    return true;
}

bool planet_parse_modify_reply(const uint8_t* data, size_t len, PlanetResult* out)
{
    using namespace planet;
    memset(out, 0, sizeof *out);
    if (!planet_packet(data, len, kPlanetModifyReplyLen, kPlanetModifyReply))
        return false;
    get(data, kMac, out->mac);
    get_text(data, kResult, out->text);
    out->accepted = strcmp(out->text, "Successfully.") == 0;
    return true;
}

}  // namespace discovery
