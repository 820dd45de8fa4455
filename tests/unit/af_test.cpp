// The af module's lens mode table and its select row printer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vd_af.h"

namespace {

TEST(AfLensMode, EveryIndex)
{
    // Mode by index 0..41; every index beyond gives 5.
    const int expected[42] = {3, 3, 3, 3, 3, 3, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 3, 3,
                              3, 3, 5, 5, 5, 4, 4, 6, 7, 5, 4, 4, 5, 5, 5, 5, 5, 5, 5, 5, 4};
    for (uint32_t i = 0; i < 42; ++i)
        EXPECT_EQ(af_lens_mode(i), expected[i]) << i;
    for (uint32_t i : {42u, 45u, 1000u, 0x7fffffffu, 0x80000000u, 0xffffffffu})
        EXPECT_EQ(af_lens_mode(i), 5) << i;
}

void collect(void* ctx, const char* text)
{
    *static_cast<std::string*>(ctx) += std::string(text) + "|";
}

TEST(AfRowPrint, HeaderCellsAndGaps)
{
    struct Case {
        bool header;
        std::vector<const char*> names;
        std::vector<const char*> values;
        std::string pieces;
    };
    const Case cases[] = {
        {true, {"zoom", "focus"}, {"692", "3100"}, "zoom|\t\t|focus|\t\t|\n|692|\t\t|3100|\t\t|\n|"},
        {false, {"zoom", "focus"}, {"0", "3000"}, "0|\t\t|3000|\t\t|\n|"},
        // Seven characters get two tabs, eight get one; a name is shown as it is.
        {true, {"abcdefg", "abcdefgh"}, {"1234567", "12345678"},
         "abcdefg|\t\t|abcdefgh|\t|\n|1234567|\t\t|12345678|\t|\n|"},
        // Values are numbers as strtoul reads them; NULL prints nothing.
        {false, {"a", "b", "c", "d", "e"}, {"abc", nullptr, "0x10", "-1", "010"},
         "0|\t\t|\t\t|16|\t\t|-1|\t\t|8|\t\t|\n|"},
        {false, {"a"}, {"long text here"}, "0|\t|\n|"},
        {false, {}, {}, "\n|"},
    };
    for (const Case& c : cases) {
        std::string out;
        af_row_print(collect, &out, static_cast<int>(c.values.size()),
                     const_cast<char**>(c.values.data()), const_cast<char**>(c.names.data()), c.header);
        EXPECT_EQ(out, c.pieces);
    }
}

}  // namespace
