// Option values: what an operator types for a number.
#include <gtest/gtest.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include "osa.h"

namespace {

std::string refusal_of(bool (*read)(const char*, uint32_t*, const char*, const char*, int),
                       const char* text)
{
    testing::internal::CaptureStderr();
    uint32_t v = 7;
    bool ok = read(text, &v, "dir/vd_x.cpp", "x_init_param", 12);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(ok);
    EXPECT_EQ(v, 7u) << "a refused text must not change the value";
    return err;
}

TEST(OptionValue, WhiteSpaceSignsAndWidths)
{
    struct Case {
        const char* text;
        bool u_ok;
        uint32_t u;
        bool i_ok;
        int32_t i;
    } cases[] = {
        {"\r-1", true, 0xffffffffu, true, -1},  // every isspace byte leads
        {"\n\v\f 0x10", true, 16, true, 16},
        {"-2147483648", true, 0x80000000u, true, INT32_MIN},
        {"-2147483649", false, 0, false, 0},
        {"4294967295", true, 0xffffffffu, false, 0},
        {"2147483647", true, 0x7fffffffu, true, INT32_MAX},
        {"010", true, 8, true, 8},
        {"1 ", false, 0, false, 0},
        {"\x01" "1", false, 0, false, 0},
        {"", false, 0, false, 0},
    };
    for (const Case& c : cases) {
        uint32_t u = 0;
        int32_t i = 0;
        EXPECT_EQ(parse_u32(c.text, &u), c.u_ok) << c.text;
        EXPECT_EQ(parse_i32(c.text, &i), c.i_ok) << c.text;
        if (c.u_ok) {
            EXPECT_EQ(u, c.u) << c.text;
        }
        if (c.i_ok) {
            EXPECT_EQ(i, c.i) << c.text;
        }
    }
}

TEST(OptionValue, RefusalNamesTheCallerAndEscapesControlBytes)
{
    EXPECT_EQ(refusal_of(opt_u32, "5x"), " ERROR  (vd_x|x_init_param|12): invalid number: 5x\n");
    EXPECT_EQ(refusal_of(opt_u32, "1\n\x1b[2J\xff"),
              " ERROR  (vd_x|x_init_param|12): invalid number: 1\\n\\x1b[2J\\xff\n");
    testing::internal::CaptureStderr();
    int32_t v = 0;
    EXPECT_TRUE(opt_i32(" -3", &v));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(v, -3);
}

// Unsigned numbers keep their 32 bits in an int field; signed ones are read
// as such; a refused one leaves the field as it was.
TEST(OptionValue, BoundedNumbersByKindIntoAnIntField)
{
    const ErrorSite site{"dir/vd_x.cpp", "x_init_param"};
    struct Case {
        bool is_signed;
        const char* text;
        int64_t low, high;
        int stored;
        const char* err;
    } cases[] = {
        {false, "4294967295", 0, UINT32_MAX, -1, ""},
        {false, "0x10", 0, 16, 16, ""},
        {false, "17", 0, 16, 7, "out: 17\n"},
        {false, "-5", 0, INT32_MAX, 7, "out: -5\n"},
        {true, "-5", -10, 0, -5, ""},
        {true, "4294967295", 0, INT32_MAX, 7, "invalid number: 4294967295\n"},
    };
    for (const Case& c : cases) {
        int v = 7;
        testing::internal::CaptureStderr();
        bool ok = opt_bounded(site, 12, c.is_signed, c.text, c.low, c.high, &v, "out: %s\n", c.text);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(ok, c.err[0] == '\0') << c.text;
        EXPECT_EQ(v, c.stored) << c.text;
        EXPECT_EQ(err, c.err[0] == '\0' ? "" : std::string(" ERROR  (vd_x|x_init_param|12): ") + c.err) << c.text;
    }
}

TEST(OptionValue, EscapeNeverCutsAnEscapeInHalf)
{
    char out[6];
    escape_text(out, sizeof out, "ab\x01zz");
    EXPECT_STREQ(out, "ab");
    escape_text(out, sizeof out, "abcdefgh");
    EXPECT_STREQ(out, "abcde");
}

}  // namespace
