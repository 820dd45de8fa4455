// Lines of /proc/mtd as the mtd module reads them.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "vd_mtd.h"

namespace {

TEST(MtdParse, Lines)
{
    struct Case {
        const char* line;
        bool ok;
        const char* device;
        uint32_t size;
        uint32_t erase_size;
        const char* name;
    };
    const Case cases[] = {
        {"mtd2: 00400000 00020000 \"kernel\"\n", true, "/dev/mtd2", 0x400000, 0x20000, "\"kernel\""},
        {"mtd10: ffffffff 00000000 \"x\"", true, "/dev/mtd10", 0xffffffff, 0, "\"x\""},
        {"mtd0:\t0010\t0020 \"a b\"\n", true, "/dev/mtd0", 0x10, 0x20, "\"a"},
        {"dev:    size   erasesize  name\n", false, "", 0, 0, ""},
        {"mtd1: 100000000 00020000 \"big\"\n", false, "", 0, 0, ""},  // past 32 bits
        {"mtd1: 0010 \"noerase\"\n", false, "", 0, 0, ""},
        {"mtd1: 0010 0020\n", false, "", 0, 0, ""},
        {"mtd1: 0010x 0020 \"n\"\n", false, "", 0, 0, ""},
        {": 0010 0020 \"mtd\"\n", false, "", 0, 0, ""},
        {"mtd1 0010 0020 \"n\"\n", false, "", 0, 0, ""},
    };
    for (const Case& c : cases) {
        MtdPart part{};
        ASSERT_EQ(mtd_parse_line(c.line, &part), c.ok) << c.line;
        if (!c.ok)
            continue;
        EXPECT_STREQ(part.device, c.device) << c.line;
        EXPECT_EQ(part.size, c.size) << c.line;
        EXPECT_EQ(part.erase_size, c.erase_size) << c.line;
        EXPECT_STREQ(part.name, c.name) << c.line;
    }
}

TEST(MtdParse, LongFieldsAreCut)
{
    std::string dev(40, 'd');
    std::string name(100, 'n');
    std::string line = "mtd" + dev + ": 0010 0020 " + name + "\n";
    MtdPart part{};
    ASSERT_TRUE(mtd_parse_line(line.c_str(), &part));
    EXPECT_EQ(std::string(part.device), ("/dev/mtd" + dev).substr(0, 31));
    EXPECT_EQ(std::string(part.name), name.substr(0, 31));
}

TEST(MtdTable, StartsFollowSizesAndOverflowIsCounted)
{
    MtdTable table{};
    uint32_t next = 0;
    mtd_table_add(&table, "dev:    size   erasesize  name\n", &next);
    mtd_table_add(&table, "mtd0: 00100000 00020000 \"a\"\n", &next);
    mtd_table_add(&table, "mtd1: broken\n", &next);
    for (unsigned k = 1; k < kMtdMaxParts + 2; ++k)
        mtd_table_add(&table, "mtd9: 00200000 00020000 \"b\"\n", &next);
    ASSERT_EQ(table.count, kMtdMaxParts);
    EXPECT_EQ(table.unlisted, 2u);
    EXPECT_EQ(table.bad_lines, 1u);
    EXPECT_EQ(table.parts[0].start, 0u);
    EXPECT_EQ(table.parts[1].start, 0x100000u);
    EXPECT_EQ(table.parts[12].start, 0x100000u + 11 * 0x200000u);
}

}  // namespace
