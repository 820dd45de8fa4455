// Frames and datagrams of the discovery protocols, byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "discovery.h"

using namespace discovery;

namespace {

const uint8_t kCam[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x0a};
const uint8_t kPc[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
const uint8_t kZero[6] = {};

std::vector<uint8_t> bytes(std::initializer_list<int> list)
{
    std::vector<uint8_t> v;
    for (int b : list)
        v.push_back(static_cast<uint8_t>(b));
    return v;
}

std::vector<uint8_t> frame(const uint8_t src[6], uint8_t c0, uint8_t c1, const uint8_t* target,
                           const std::string& text, size_t pad = 0)
{
    std::vector<uint8_t> f(20);
    uint8_t tmp[20];
    build_search_request(tmp, sizeof tmp, src, kBroadcast);
    f.assign(tmp, tmp + 20);
    f[18] = c0;
    f[19] = c1;
    if (target)
        f.insert(f.end(), target, target + 6);
    f.insert(f.end(), text.begin(), text.end());
    f.resize(f.size() + pad);
    return f;
}

TEST(Frame, KindsAndBounds)
{
    std::vector<uint8_t> other_mark = frame(kPc, 0, 0, nullptr, "x");
    other_mark[17] = 0x11;
    std::vector<uint8_t> cut_target = frame(kPc, 0, 2, kCam, "");
    cut_target.resize(25);
    const uint8_t kWlan[6] = {0x02, 0, 0, 0, 0, 0x0b};
    const uint8_t kAll[6] = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
    const uint8_t kIpv4Group[6] = {0x01, 0x00, 0x5e, 0x00, 0x00, 0x01};
    const uint8_t kIpv6Group[6] = {0x33, 0x33, 0x00, 0x00, 0x00, 0x01};
    const struct {
        const char* what;
        std::vector<uint8_t> f;
        FrameKind kind;
        int selector;
        std::string text;
        const uint8_t* eth;  // the camera's own addresses
        const uint8_t* wlan;
    } cases[] = {
        {"20 bytes", frame(kPc, 0, 0, nullptr, ""), FrameKind::kIgnore, 0, "", kCam, kZero},
        {"21 bytes", frame(kPc, 0, 0, nullptr, "", 1), FrameKind::kSearch, 0, "", kCam, kZero},
        {"reply 00 01", frame(kPc, 0, 1, nullptr, "", 40), FrameKind::kIgnore, 0, "", kCam, kZero},
        {"reply 00 03", frame(kPc, 0, 3, nullptr, "", 40), FrameKind::kIgnore, 0, "", kCam, kZero},
        {"code 02 00", frame(kPc, 2, 0, kCam, "a;b"), FrameKind::kModify, 0, "a;b", kCam, kZero},
        {"code 01 01", frame(kPc, 1, 1, kCam, "a"), FrameKind::kModify, 0, "a", kCam, kZero},
        {"code ff 03", frame(kPc, 0xff, 3, kCam, "a"), FrameKind::kIgnore, 0, "", kCam, kZero},
        {"from itself", frame(kCam, 0, 0, nullptr, "", 40), FrameKind::kIgnore, 0, "", kCam, kZero},
        {"from zero", frame(kZero, 0, 0, nullptr, "", 40), FrameKind::kIgnore, 0, "", kCam, kZero},
        // A reply would go to every member of the group.
        {"from broadcast", frame(kAll, 0, 0, nullptr, "", 40), FrameKind::kIgnore, 0, "", kCam, kZero},
        {"from IPv4 group", frame(kIpv4Group, 0, 0, nullptr, "", 40), FrameKind::kIgnore, 0, "", kCam, kZero},
        {"modify from IPv6 group", frame(kIpv6Group, 0, 2, kCam, "a"), FrameKind::kIgnore, 0, "", kCam, kZero},
        {"other mark", other_mark, FrameKind::kIgnore, 0, "", kCam, kZero},
        {"other camera", frame(kPc, 0, 2, kPc, "a"), FrameKind::kIgnore, 0, "", kCam, kZero},
        // An interface without an address names no camera: every camera lacks one.
        {"zero target", frame(kPc, 0, 2, kZero, "w"), FrameKind::kIgnore, 0, "", kCam, kZero},
        {"zero target, no eth0", frame(kPc, 0, 2, kZero, "w"), FrameKind::kIgnore, 0, "", kZero, kZero},
        {"broadcast target", frame(kPc, 0, 2, kAll, "w"), FrameKind::kIgnore, 0, "", kCam, kAll},
        {"wireless", frame(kPc, 0, 2, kWlan, "w"), FrameKind::kModify, 1, "w", kCam, kWlan},
        {"text at zero", frame(kPc, 0, 2, kCam, std::string("ab\0cd", 5)), FrameKind::kModify, 0, "ab", kCam, kZero},
        {"text to the end", frame(kPc, 0, 2, kCam, "abc"), FrameKind::kModify, 0, "abc", kCam, kZero},
        {"cut target", cut_target, FrameKind::kIgnore, 0, "", kCam, kZero},
    };
    for (const auto& c : cases) {
        FrameRequest r;
        EXPECT_EQ(parse_frame(c.f.data(), c.f.size(), c.eth, c.wlan, &r), c.kind) << c.what;
        if (c.kind == FrameKind::kModify) {
            EXPECT_EQ(r.selector, c.selector) << c.what;
            EXPECT_EQ(std::string(r.text, r.text_len), c.text) << c.what;
        }
        if (c.kind != FrameKind::kIgnore) {
            EXPECT_EQ(memcmp(r.requester, kPc, 6), 0) << c.what;
        }
    }
}

TEST(Console, ControlBytesEscapedPrintableTextKept)
{
    const struct {
        std::string text;
        size_t size;
        std::string shown;
    } cases[] = {
        {"192.0.2.1;Lobby;admin", 64, "192.0.2.1;Lobby;admin"},
        {"a\x1b[2Jb\x07", 64, "a\\x1b[2Jb\\x07"},
        {"tab\there\r\n", 64, "tab\\there\\x0d\\x0a"},
        {"del\x7f \\ \xc3\xa9", 64, "del\\x7f \\ \xc3\xa9"},
        {std::string("ab\0cd", 5), 64, "ab"},
        {"abc\x01", 7, "abc"},  // an escape is cut whole
        {"abc\x01", 8, "abc\\x01"},
    };
    for (const auto& c : cases) {
        char out[64];
        escape_controls(out, c.size, c.text.data(), c.text.size());
        EXPECT_EQ(std::string(out), c.shown) << c.text;
    }
    char quad[kQuadTextSize];
    const uint8_t widest[4] = {255, 255, 255, 255};
    format_quad(widest, quad);
    EXPECT_STREQ(quad, "255.255.255.255");
    const uint8_t q[4] = {192, 0, 2, 7};
    format_quad(q, quad);
    EXPECT_STREQ(quad, "192.0.2.7");
}

TEST(RequestText, SplitDropsEmptyFieldsAndKeepsBounds)
{
    const struct {
        std::string text;
        std::vector<std::string> fields;
    } cases[] = {
        {"1.2.3.4;80;;m;g;d;t;admin;pw", {"1.2.3.4", "80", "m", "g", "d", "t", "admin", "pw"}},
        {";;;a;;b;", {"a", "b"}},
        {"", {}},
        {";;;", {}},
        {std::string(200, 'x') + ";y", {std::string(127, 'x'), "y"}},
    };
    for (const auto& c : cases) {
        RequestFields f;
        split_request(c.text.data(), c.text.size(), &f);
        ASSERT_EQ(f.count, c.fields.size()) << c.text;
        for (size_t i = 0; i < c.fields.size(); ++i)
            EXPECT_EQ(std::string(f.field[i]), c.fields[i]) << c.text;
    }
    std::string many;
    for (int i = 0; i < 40; ++i)
        many += std::to_string(i) + ";";
    RequestFields f;
    split_request(many.data(), many.size(), &f);
    EXPECT_EQ(f.count, 32u);
    EXPECT_STREQ(f.field[31], "31");
    // The length bounds the text even without a terminator.
    split_request("abcdef", 3, &f);
    EXPECT_STREQ(f.field[0], "abc");
}

TEST(RequestText, PortIsClampedDecimal)
{
    const struct {
        const char* field;
        int port;
    } cases[] = {{"8080", 8080}, {"0", 1}, {"-5", 1}, {"abc", 1}, {"70000", 65535},
                 {"010", 10}, {"99999999999999999999", 65535}, {"", 1}, {"65535", 65535}};
    for (const auto& c : cases)
        EXPECT_EQ(request_port(c.field), c.port) << c.field;
}

const ReplyInfo kInfo = {"192.0.2.10", 80, "255.255.255.0", "192.0.2.1", "192.0.2.1",
                         "IPC-100", "1.0.0", "20261207", "IPCAM", "IPC-100", 4000, 0};
const char kText[] = "192.0.2.10;80;255.255.255.0;192.0.2.1;192.0.2.1;IPC-100;1.0.0;20261207;IPCAM;IPC-100;4000;0";

TEST(Replies, SearchAndModifyByteForByte)
{
    uint8_t out[kReplyLen];
    memset(out, 0xee, sizeof out);
    build_search_reply(out, kPc, kCam, kInfo);
    std::vector<uint8_t> want = bytes({2, 0, 0, 0, 0, 1, 2, 0, 0, 0, 0, 10, 8, 9, 0x20, 0x12, 6, 0x10, 0, 1});
    want.insert(want.end(), kText, kText + strlen(kText));
    want.resize(kReplyLen);
    EXPECT_EQ(std::vector<uint8_t>(out, out + kReplyLen), want);

    memset(out, 0xee, sizeof out);
    build_modify_reply(out, kPc, kCam, 1, kInfo);
    want = bytes({2, 0, 0, 0, 0, 1, 2, 0, 0, 0, 0, 10, 8, 9, 0x20, 0x12, 6, 0x10, 0, 3,
                  2, 0, 0, 0, 0, 1, 1});
    want.insert(want.end(), kText, kText + strlen(kText));
    want.resize(kReplyLen);
    EXPECT_EQ(std::vector<uint8_t>(out, out + kReplyLen), want);

    // Texts are cut at their room: 239 and 232 characters.
    std::string title(300, 't');
    ReplyInfo big = kInfo;
    big.title = title.c_str();
    build_search_reply(out, kPc, kCam, big);
    EXPECT_EQ(strnlen(reinterpret_cast<char*>(out + 20), 240), 239u);
    build_modify_reply(out, kPc, kCam, 0, big);
    EXPECT_EQ(out[26], 0);
    EXPECT_EQ(strnlen(reinterpret_cast<char*>(out + 27), 233), 232u);

    Reply r;
    ASSERT_TRUE(parse_reply(out, sizeof out, &r));
    EXPECT_EQ(r.code, kReplyModify);
    EXPECT_EQ(memcmp(r.camera, kCam, 6), 0);
}

TEST(Planet, ChecksumAndNibbleSwap)
{
    // Worked out by hand: 16-bit little-endian words, carries folded back
    // until none is left, complemented.
    const struct {
        std::vector<uint8_t> data;
        uint16_t sum;
    } sums[] = {
        {bytes({0x00, 0x01, 0xf2, 0x03, 0xf4, 0xf5, 0xf6, 0xf7}), 0x0d22},  // RFC 1071's example, little-endian
        {{}, 0xffff},
        {bytes({0x01, 0x02, 0x03}), 0xfdfb},  // the odd byte is the low byte of its word
        {bytes({0xff, 0xff, 0xff, 0xff, 0x02, 0x00}), 0xfffd},  // 0x20000: one fold
        {bytes({0xff, 0xff, 0xff, 0xff, 0x01, 0x00}), 0xfffe},  // 0x1ffff: the first fold carries again
    };
    for (const auto& c : sums)
        EXPECT_EQ(planet_checksum(c.data.data(), c.data.size()), c.sum) << c.data.size();
    EXPECT_EQ(nibble_swap(0x61), 0x16);
    EXPECT_EQ(nibble_swap(0x16), 0x61);

    uint8_t field[16];
    char out[17];
    planet_encode_password("admin", field);
    EXPECT_EQ(std::vector<uint8_t>(field, field + 6), bytes({0x16, 0x46, 0xd6, 0x96, 0xe6, 0}));
    planet_decode_password(field, out);
    EXPECT_STREQ(out, "admin");
    planet_encode_password("0123456789abcdefXYZ", field);  // 16 kept, no terminator
    planet_decode_password(field, out);
    EXPECT_STREQ(out, "0123456789abcdef");
}

TEST(Planet, ClassifyAndModifyRequestRoundTrip)
{
    uint8_t d[kPlanetMaxDatagram] = {};
    size_t n = planet_build_info_request(d, sizeof d);
    const struct {
        const char* what;
        size_t len;
        int byte, value;
        PlanetKind kind;
    } cases[] = {
        {"info", n, 0, 'P', PlanetKind::kInfo},
        {"10 bytes", 10, 0, 'P', PlanetKind::kIgnore},
        {"byte 8 set", n, 8, 1, PlanetKind::kIgnore},
        {"magic last letter", n, 7, 'T', PlanetKind::kIgnore},
        {"other code", n, 9, 0x70, PlanetKind::kIgnore},
        {"short modify", 97, 9, 0x90, PlanetKind::kIgnore},
        {"modify", 98, 9, 0x90, PlanetKind::kModify},
    };
    for (const auto& c : cases) {
        uint8_t copy[kPlanetMaxDatagram];
        memcpy(copy, d, sizeof copy);
        copy[c.byte] = static_cast<uint8_t>(c.value);
        EXPECT_EQ(planet_classify(copy, c.len), c.kind) << c.what;
    }

    PlanetModifyRequest req = {{2, 0, 0, 0, 0, 10}, {192, 0, 2, 77}, {255, 255, 255, 0},
                               {192, 0, 2, 254}, "Lobby\r\n", "admin", "0123456789abcdef"};
    uint8_t m[kPlanetModifyLen];
    planet_build_modify_request(m, req);
    PlanetModify p;
    planet_parse_modify(m, &p);
    EXPECT_STREQ(p.ipaddr, "192.0.2.77");
    EXPECT_STREQ(p.netmask, "255.255.255.0");
    EXPECT_STREQ(p.gateway, "192.0.2.254");
    EXPECT_STREQ(p.title, "Lobby\r\n");
    EXPECT_STREQ(p.current, "admin");
    EXPECT_STREQ(p.fresh, "0123456789abcdef");
    EXPECT_EQ(p.checksum, p.checksum_received);
    EXPECT_EQ(memcmp(p.target, req.target, 6), 0);
}

TEST(Planet, RepliesByteForByte)
{
    uint8_t text2[32] = "1.0.0";
    PlanetInfo info = {{2, 0, 0, 0, 0, 10}, 0x0a0200c0, 0x00ffffff, 0x010200c0,
                       "a-model-name-longer-than-31-chars!", text2};
    uint8_t out[kPlanetInfoReplyLen];
    planet_build_info_reply(out, info);
    std::vector<uint8_t> want = bytes({'P', 'L', 'A', 'N', 'E', 'T', 'u', 't', 0, 0x70, 2, 0, 0, 0, 0, 10,
                                       'D', '0', '0', '0', 192, 0, 2, 10, 255, 255, 255, 0, 192, 0, 2, 1});
    const char model[] = "a-model-name-longer-than-31-cha";
    want.insert(want.end(), model, model + 31);
    want.push_back(0);
    want.insert(want.end(), text2, text2 + 16);
    want.insert(want.end(), model, model + 31);
    want.push_back(0);
    want.insert(want.end(), {0x54, 0x50});  // 0x5054, worked out by hand
    EXPECT_EQ(std::vector<uint8_t>(out, out + sizeof out), want);

    uint8_t r[kPlanetModifyReplyLen];
    planet_build_modify_reply(r, info.mac, "Successfully.");
    want = bytes({'P', 'L', 'A', 'N', 'E', 'T', 'u', 't', 0, 0x30, 2, 0, 0, 0, 0, 10});
    const char ok[] = "Successfully.";
    want.insert(want.end(), ok, ok + 13);
    want.resize(48);
    want.insert(want.end(), {0x11, 0xca});  // 0xca11, worked out by hand
    EXPECT_EQ(std::vector<uint8_t>(r, r + sizeof r), want);
}

Reply reply_of(uint8_t code, const std::string& text)
{
    Reply r = {};
    r.code = code;
    memcpy(r.text, text.data(), std::min(text.size(), sizeof r.text - 1));
    return r;
}

TEST(Client, ReplyTextReadBack)
{
    std::string full(kText);
    std::string long_title = "1.2.3.4;80;m;g;d;a;b;c;" + std::string(300, 'T');
    const struct {
        const char* what;
        uint8_t code;
        std::string text;
        bool ok;
        std::vector<std::string> texts;  // ip mask gw dns t1 t2 t3 title model
        long port, uptime, mode;
        bool cut;
    } cases[] = {
        {"whole", kReplySearch, full, true,
         {"192.0.2.10", "255.255.255.0", "192.0.2.1", "192.0.2.1", "IPC-100", "1.0.0", "20261207", "IPCAM", "IPC-100"},
         80, 4000, 0, false},
        {"';' in a text", kReplySearch, "i;1;m;g;;a;b;c;x;y;z;M;-1;7", true,
         {"i", "m", "g", "", "a", "b", "c", "x;y;z", "M"}, 1, -1, 7, false},
        {"cut at 239", kReplySearch, long_title, true,
         {"1.2.3.4", "m", "g", "d", "a", "b", "c", std::string(239 - 23, 'T'), ""}, 80, -1, -1, true},
        {"cut at 232", kReplyModify, long_title.substr(0, 232), true,
         {"1.2.3.4", "m", "g", "d", "a", "b", "c", std::string(232 - 23, 'T'), ""}, 80, -1, -1, true},
        {"short of 232", kReplyModify, long_title.substr(0, 231), false, {}, 0, 0, 0, false},
        {"too few fields", kReplySearch, "1.2.3.4;80;m", false, {}, 0, 0, 0, false},
        {"port not a number", kReplySearch, "i;8o;m;g;d;a;b;c;t;M;1;0", false, {}, 0, 0, 0, false},
        {"empty mode", kReplySearch, "i;80;m;g;d;a;b;c;t;M;1;", false, {}, 0, 0, 0, false},
        {"port past int", kReplySearch, "i;2147483648;m;g;d;a;b;c;t;M;1;0", false, {}, 0, 0, 0, false},
    };
    for (const auto& c : cases) {
        ReplyFields f;
        ASSERT_EQ(parse_reply_text(reply_of(c.code, c.text), &f), c.ok) << c.what;
        if (!c.ok)
            continue;
        const char* got[] = {f.ipaddr, f.netmask, f.gateway, f.dns1, f.text1, f.text2, f.text3, f.title, f.model};
        for (size_t i = 0; i < 9; ++i)
            EXPECT_EQ(got[i], c.texts[i]) << c.what << " field " << i;
        EXPECT_EQ(f.http_port, c.port) << c.what;
        EXPECT_EQ(f.uptime, c.uptime) << c.what;
        EXPECT_EQ(f.mode, c.mode) << c.what;
        EXPECT_EQ(f.cut, c.cut) << c.what;
    }
}

TEST(Client, ModifyTextRefusesWhatTheCameraWouldShiftOrCut)
{
    std::string t127(127, 't'), t128(128, 't');
    const struct {
        std::vector<const char*> fields;
        size_t size;
        TextCheck check;
        int field;
        const char* text;
    } cases[] = {
        {{"192.0.2.20", "80", "m", "g", "d", "Lobby", "admin", "pw"}, 1100, TextCheck::kOk, -1,
         "192.0.2.20;80;m;g;d;Lobby;admin;pw"},
        {{"i", "80", "m", "g", "d", t127.c_str(), "u", "p"}, 1100, TextCheck::kOk, -1, nullptr},
        {{"i", "80", "m", "g", "d", t128.c_str(), "u", "p"}, 1100, TextCheck::kTooLong, 5, nullptr},
        {{"i", "80", "m", "g", "d", "a;b", "u", "p"}, 1100, TextCheck::kSeparator, 5, nullptr},
        {{"i", "80", "m", "g", "d", "t", "u", ""}, 1100, TextCheck::kEmpty, 7, nullptr},
        {{"i", "80", "m", "g", "d", "t", "u", "p"}, 17, TextCheck::kOk, -1, "i;80;m;g;d;t;u;p"},
        {{"i", "80", "m", "g", "d", "t", "u", "p"}, 16, TextCheck::kNoRoom, 7, nullptr},
    };
    for (const auto& c : cases) {
        char out[1100];
        ModifyText r = build_modify_text(out, c.size, c.fields.data());
        EXPECT_EQ(r.check, c.check) << c.size;
        EXPECT_EQ(r.field, c.field) << c.size;
        if (c.text != nullptr) {
            EXPECT_STREQ(out, c.text);
        }
    }
}

TEST(Client, RequestFramesByteForByte)
{
    uint8_t out[64];
    EXPECT_EQ(build_search_request(out, 19, kPc, kBroadcast), 0u);
    ASSERT_EQ(build_search_request(out, sizeof out, kPc, kBroadcast), 20u);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 20),
              bytes({255, 255, 255, 255, 255, 255, 2, 0, 0, 0, 0, 1, 8, 9, 0x20, 0x12, 6, 0x10, 0, 0}));
    EXPECT_EQ(build_modify_request(out, 29, kPc, kCam, kCam, "a;b"), 0u);  // 26 + 3 + terminator
    ASSERT_EQ(build_modify_request(out, 29, kPc, kCam, kCam, "a;"), 29u);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 29),
              bytes({2, 0, 0, 0, 0, 10, 2, 0, 0, 0, 0, 1, 8, 9, 0x20, 0x12, 6, 0x10, 0, 2,
                     2, 0, 0, 0, 0, 10, 'a', ';', 0}));
    uint8_t mac[6];
    char text[18];
    EXPECT_TRUE(parse_mac("02-00-00-00-00-0A", mac));
    format_mac(mac, text);
    EXPECT_STREQ(text, "02:00:00:00:00:0a");
    for (const char* bad : {"02:00:00:00:00", "02:00:00:00:00:0a:", "02:00:00:00:00:0g", "02:00:00:00:00-0a ",
                            "0:200:00:00:00:0a"})
        EXPECT_FALSE(parse_mac(bad, mac)) << bad;
}

TEST(Client, PlanetRepliesReadBack)
{
    uint8_t text2[16] = {'1', '.', '0', '.', '0'};
    PlanetInfo info = {{2, 0, 0, 0, 0, 10}, 0x0a0200c0, 0x00ffffff, 0x010200c0, "IPC-100", text2};
    uint8_t d[kPlanetInfoReplyLen];
    planet_build_info_reply(d, info);
    EXPECT_EQ(std::vector<uint8_t>(d + 112, d + 114), bytes({0x4c, 0xfc}));  // 0xfc4c, worked out by hand
    PlanetInfoReply r;
    ASSERT_TRUE(planet_parse_info_reply(d, sizeof d, &r));
    EXPECT_EQ(std::vector<uint8_t>(r.ipaddr, r.ipaddr + 4), bytes({192, 0, 2, 10}));
    EXPECT_EQ(std::vector<uint8_t>(r.gateway, r.gateway + 4), bytes({192, 0, 2, 1}));
    EXPECT_STREQ(r.model, "IPC-100");
    EXPECT_STREQ(r.text2, "1.0.0");
    EXPECT_FALSE(planet_parse_info_reply(d, sizeof d - 1, &r));
    // Fields without terminators stay within their bytes.
    memset(d + 32, 'M', 32);
    memset(d + 64, 'V', 16);
    d[112] = 0x44;  // 0x7f44, worked out by hand
    d[113] = 0x7f;
    ASSERT_TRUE(planet_parse_info_reply(d, sizeof d, &r));
    EXPECT_EQ(std::string(r.model), std::string(32, 'M'));
    EXPECT_EQ(std::string(r.text2), std::string(16, 'V'));
    d[40] ^= 1;
    EXPECT_FALSE(planet_parse_info_reply(d, sizeof d, &r));  // checksum

    uint8_t m[kPlanetModifyReplyLen];
    PlanetResult res;
    planet_build_modify_reply(m, info.mac, "Successfully.");
    ASSERT_TRUE(planet_parse_modify_reply(m, sizeof m, &res));
    EXPECT_TRUE(res.accepted);
    planet_build_modify_reply(m, info.mac, "Failed.");
    EXPECT_EQ(std::vector<uint8_t>(m + 48, m + 50), bytes({0x6e, 0x30}));  // 0x306e, worked out by hand
    ASSERT_TRUE(planet_parse_modify_reply(m, sizeof m, &res));
    EXPECT_FALSE(res.accepted);
    EXPECT_STREQ(res.text, "Failed.");
    EXPECT_FALSE(planet_parse_info_reply(m, sizeof m, &r));  // another code
    EXPECT_FALSE(planet_parse_modify_reply(m, sizeof m - 1, &res));
}

}  // namespace
