// Frames and datagrams of the discovery protocols, byte for byte.
#include <gtest/gtest.h>

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
    const struct {
        const char* what;
        std::vector<uint8_t> f;
        FrameKind kind;
        int selector;
        std::string text;
    } cases[] = {
        {"20 bytes", frame(kPc, 0, 0, nullptr, ""), FrameKind::kIgnore, 0, ""},
        {"21 bytes", frame(kPc, 0, 0, nullptr, "", 1), FrameKind::kSearch, 0, ""},
        {"reply 00 01", frame(kPc, 0, 1, nullptr, "", 40), FrameKind::kIgnore, 0, ""},
        {"reply 00 03", frame(kPc, 0, 3, nullptr, "", 40), FrameKind::kIgnore, 0, ""},
        {"code 02 00", frame(kPc, 2, 0, kCam, "a;b"), FrameKind::kModify, 0, "a;b"},
        {"code 01 01", frame(kPc, 1, 1, kCam, "a"), FrameKind::kModify, 0, "a"},
        {"code ff 03", frame(kPc, 0xff, 3, kCam, "a"), FrameKind::kIgnore, 0, ""},
        {"from itself", frame(kCam, 0, 0, nullptr, "", 40), FrameKind::kIgnore, 0, ""},
        {"from zero", frame(kZero, 0, 0, nullptr, "", 40), FrameKind::kIgnore, 0, ""},
        {"other mark", other_mark, FrameKind::kIgnore, 0, ""},
        {"other camera", frame(kPc, 0, 2, kPc, "a"), FrameKind::kIgnore, 0, ""},
        {"wireless", frame(kPc, 0, 2, kZero, "w"), FrameKind::kModify, 1, "w"},
        {"text at zero", frame(kPc, 0, 2, kCam, std::string("ab\0cd", 5)), FrameKind::kModify, 0, "ab"},
        {"text to the end", frame(kPc, 0, 2, kCam, "abc"), FrameKind::kModify, 0, "abc"},
        {"cut target", cut_target, FrameKind::kIgnore, 0, ""},
    };
    for (const auto& c : cases) {
        FrameRequest r;
        EXPECT_EQ(parse_frame(c.f.data(), c.f.size(), kCam, kZero, &r), c.kind) << c.what;
        if (c.kind == FrameKind::kModify) {
            EXPECT_EQ(r.selector, c.selector) << c.what;
            EXPECT_EQ(std::string(r.text, r.text_len), c.text) << c.what;
        }
        if (c.kind != FrameKind::kIgnore) {
            EXPECT_EQ(memcmp(r.requester, kPc, 6), 0) << c.what;
        }
    }
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
    // RFC 1071's example: stored little-endian, the bytes are 22 0d as there.
    const uint8_t data[] = {0x00, 0x01, 0xf2, 0x03, 0xf4, 0xf5, 0xf6, 0xf7};
    EXPECT_EQ(planet_checksum(data, sizeof data), 0x0d22);
    EXPECT_EQ(planet_checksum(nullptr, 0), 0xffff);
    const uint8_t odd[] = {0x01, 0x02, 0x03};  // the odd byte is the low byte of its word
    EXPECT_EQ(planet_checksum(odd, 3), static_cast<uint16_t>(~(0x0201 + 0x0003) & 0xffff));
    const uint8_t carry[] = {0xff, 0xff, 0xff, 0xff, 0x02, 0x00};  // folds the carries back
    EXPECT_EQ(planet_checksum(carry, 6), 0xfffd);
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
    uint16_t sum = planet_checksum(want.data(), 112);
    want.push_back(sum & 0xff);
    want.push_back(sum >> 8);
    EXPECT_EQ(std::vector<uint8_t>(out, out + sizeof out), want);
    EXPECT_EQ(planet_checksum(out, sizeof out), 0);  // a whole packet sums to zero

    uint8_t r[kPlanetModifyReplyLen];
    planet_build_modify_reply(r, info.mac, "Successfully.");
    want = bytes({'P', 'L', 'A', 'N', 'E', 'T', 'u', 't', 0, 0x30, 2, 0, 0, 0, 0, 10});
    const char ok[] = "Successfully.";
    want.insert(want.end(), ok, ok + 13);
    want.resize(48);
    sum = planet_checksum(want.data(), 48);
    want.push_back(sum & 0xff);
    want.push_back(sum >> 8);
    EXPECT_EQ(std::vector<uint8_t>(r, r + sizeof r), want);
}

}  // namespace
