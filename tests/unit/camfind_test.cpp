// camfind's pure rules: plan-file lines, range plans, CSV fields and the
// watch of one camera, against values worked out by hand.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rules.h"

using namespace camfind;

namespace {

uint32_t addr(unsigned a, unsigned b, unsigned c, unsigned d)
{
    return a << 24 | b << 16 | c << 8 | d;
}

TEST(Plan, Lines)
{
    const std::string t127(127, 't');
    const struct {
        std::string line;
        LineKind kind;
        uint8_t last_mac_byte;
        uint32_t address;
        std::string title;  // an entry's; for a bad line, what is wrong
    } cases[] = {
        {"02:00:00:00:01:04,192.0.2.14", LineKind::kEntry, 0x04, addr(192, 0, 2, 14), ""},
        {"02-00-00-00-01-0A,198.51.100.010,Dock 4\r", LineKind::kEntry, 0x0a, addr(198, 51, 100, 10), "Dock 4"},
        {"02:00:00:00:01:04,192.0.2.14,a,b", LineKind::kEntry, 0x04, addr(192, 0, 2, 14), "a,b"},
        {"02:00:00:00:01:04,192.0.2.14,\"Dock, \"\"4\"\"\"", LineKind::kEntry, 0x04, addr(192, 0, 2, 14),
         "Dock, \"4\""},
        {"02:00:00:00:01:04,192.0.2.14," + t127, LineKind::kEntry, 0x04, addr(192, 0, 2, 14), t127},
        {"02:00:00:00:01:04,192.0.2.14,\"" + t127 + "\"", LineKind::kEntry, 0x04, addr(192, 0, 2, 14), t127},
        {"02:00:00:00:01:04,192.0.2.14,\"\"\"" + t127.substr(1) + "\"", LineKind::kEntry, 0x04,
         addr(192, 0, 2, 14), "\"" + t127.substr(1)},
        {"02:00:00:00:01:04,192.0.2.14,t" + t127, LineKind::kBad, 0, 0, "the title is longer than 127 characters"},
        {"02:00:00:00:01:04,192.0.2.14,\"t" + t127 + "\"", LineKind::kBad, 0, 0,
         "the title is longer than 127 characters"},
        {"02:00:00:00:01:04,192.0.2.14,\"Dock\" 4", LineKind::kBad, 0, 0,
         "a quoted title must end the line with its quote"},
        {"02:00:00:00:01:04,192.0.2.14,\"Dock", LineKind::kBad, 0, 0,
         "a quoted title must end the line with its quote"},
        {"02:00:00:00:01:04,192.0.2.14,", LineKind::kBad, 0, 0,
         "the title is empty (leave out its comma to keep the camera's)"},
        {"02:00:00:00:01:04,192.0.2.14,a;b", LineKind::kBad, 0, 0, "the title contains ';'"},
        {"02:00:00:00:01:04", LineKind::kBad, 0, 0, "not MAC,ADDRESS[,TITLE]"},
        {"02:00:00:00:01,192.0.2.14", LineKind::kBad, 0, 0, "not a MAC (six hex pairs with ':')"},
        {"02:00:00:00:01:04,192.0.2.256", LineKind::kBad, 0, 0, "not an IPv4 address (four numbers 0..255 with dots)"},
        {"02:00:00:00:01:04,192.0.2.14 ,x", LineKind::kBad, 0, 0, "not an IPv4 address (four numbers 0..255 with dots)"},
        {std::string(kPlanLineSize, 'x'), LineKind::kBad, 0, 0, "line too long"},
        {"", LineKind::kSkip, 0, 0, ""},
        {" \t\r", LineKind::kSkip, 0, 0, ""},
        {"# MAC,ADDRESS,TITLE", LineKind::kSkip, 0, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        PlanLine p;
        LineRead r = parse_plan_line(c.line.c_str(), &p);
        ASSERT_EQ(r.kind, c.kind);
        if (c.kind == LineKind::kBad) {
            EXPECT_EQ(r.why, c.title);
        }
        if (c.kind != LineKind::kEntry)
            continue;
        const uint8_t mac[6] = {0x02, 0, 0, 0, 0x01, c.last_mac_byte};
        EXPECT_EQ(std::vector<uint8_t>(p.mac, p.mac + 6), std::vector<uint8_t>(mac, mac + 6));
        EXPECT_EQ(p.address, c.address);
        EXPECT_EQ(p.title, c.title);
    }

    // A second line with a MAC or an address of an earlier one.
    PlanLine lines[2];
    parse_plan_line("02:00:00:00:01:01,192.0.2.11", &lines[0]);
    parse_plan_line("02:00:00:00:01:02,192.0.2.12", &lines[1]);
    const struct {
        const char* line;
        long earlier;
        bool same_mac;
    } dups[] = {
        {"02:00:00:00:01:03,192.0.2.12", 1, false},
        {"02:00:00:00:01:01,192.0.2.13", 0, true},
        {"02:00:00:00:01:03,192.0.2.13", -1, false},
    };
    for (const auto& d : dups) {
        SCOPED_TRACE(d.line);
        PlanLine next;
        parse_plan_line(d.line, &next);
        bool same_mac = false;
        EXPECT_EQ(plan_duplicate(lines, 2, next, &same_mac), d.earlier);
        if (d.earlier >= 0) {
            EXPECT_EQ(same_mac, d.same_mac);
        }
    }
}

TEST(Plan, Range)
{
    constexpr uint32_t kNone = 0;  // a camera without an address
    const uint32_t kOut1 = addr(192, 0, 2, 11), kOut2 = addr(192, 0, 2, 12), kOut3 = addr(192, 0, 2, 13);
    const uint32_t a10 = addr(198, 51, 100, 10), a11 = addr(198, 51, 100, 11), a12 = addr(198, 51, 100, 12);
    const uint32_t top = addr(255, 255, 255, 255);
    const struct {
        const char* what;
        uint32_t first, last;
        std::vector<uint32_t> current;  // in MAC order
        bool fits;
        uint64_t free;
        std::vector<uint32_t> next;
        std::vector<bool> kept;
    } cases[] = {
        {"all move", a10, a12, {kOut1, kOut2, kOut3}, true, 3, {a10, a11, a12}, {false, false, false}},
        {"one inside stays", a10, a12, {kOut1, a11, kOut3}, true, 2, {a10, a11, a12}, {false, true, false}},
        {"a held one is skipped", a10, a12, {kOut1, kOut2, a10}, true, 2, {a11, a12, a10}, {false, false, true}},
        {"two inside on one address", a10, a12, {a11, a11, kOut3}, true, 2, {a11, a10, a12}, {true, false, false}},
        {"no address", a10, a10, {kNone}, true, 1, {a10}, {false}},
        {"one short", a10, a11, {kOut1, kOut2, kOut3}, false, 2, {}, {}},
        {"one short beside a kept one", a10, a11, {kOut1, a11, kOut3}, false, 1, {}, {}},
        {"up to the last address", top - 1, top, {kOut1, kOut2}, true, 2, {top - 1, top}, {false, false}},
        {"no cameras", a10, a10, {}, true, 1, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<RangeSlot> slots(c.current.size());
        for (size_t i = 0; i < slots.size(); ++i)
            slots[i] = {c.current[i], c.current[i] != kNone, 0, false};
        uint64_t free = 0;
        ASSERT_EQ(plan_range(c.first, c.last, slots.data(), slots.size(), &free), c.fits);
        EXPECT_EQ(free, c.free);
        for (size_t i = 0; c.fits && i < slots.size(); ++i) {
            EXPECT_EQ(slots[i].next, c.next[i]) << i;
            EXPECT_EQ(slots[i].kept, c.kept[i]) << i;
        }
    }
}

TEST(Csv, Fields)
{
    const struct {
        std::string text;
        size_t room;
        bool fits;
        std::string field;
    } cases[] = {
        {"IPCAM", 16, true, "IPCAM"},
        {"", 1, true, ""},
        {"Dock, 4", 16, true, "\"Dock, 4\""},
        {"say \"hi\"", 16, true, "\"say \"\"hi\"\"\""},
        {"a\rb", 16, true, "\"a\rb\""},
        {"a\nb", 16, true, "\"a\nb\""},
        {"a\tb;c", 16, true, "a\tb;c"},
        {"\"", 5, true, "\"\"\"\""},
        {"\"", 4, false, ""},
        {"abc", 3, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        char out[32];
        ASSERT_EQ(csv_field(c.text.c_str(), out, c.room), c.fits);
        if (c.fits) {
            EXPECT_EQ(std::string(out), c.field);
        }
    }
}

TEST(Watch, OneCamera)
{
    // Per period: what the camera answered (null: nothing), and what is said.
    const struct {
        const char* address;
        WatchEvent event;
        const char* old;
    } periods[] = {
        {nullptr, WatchEvent::kNone, nullptr},
        {"192.0.2.11", WatchEvent::kCame, nullptr},
        {"192.0.2.11", WatchEvent::kNone, nullptr},
        {nullptr, WatchEvent::kNone, nullptr},  // one lost reply is no leaving
        {"192.0.2.11", WatchEvent::kNone, nullptr},
        {nullptr, WatchEvent::kNone, nullptr},
        {nullptr, WatchEvent::kLeft, nullptr},
        {nullptr, WatchEvent::kNone, nullptr},
        {"198.51.100.10", WatchEvent::kCame, nullptr},
        {"198.51.100.11", WatchEvent::kMoved, "198.51.100.10"},
    };
    Watched w{};
    int n = 0;
    for (const auto& p : periods) {
        SCOPED_TRACE(++n);
        char old[kWatchAddressSize] = "";
        EXPECT_EQ(watch_step(&w, p.address, old), p.event);
        if (p.old != nullptr) {
            EXPECT_STREQ(old, p.old);
        }
    }
}

}  // namespace
