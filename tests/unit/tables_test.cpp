// The option tables of every module linked into debug.
#include <ctype.h>
#include <gtest/gtest.h>
#include <string.h>

#include "module.h"

namespace {

// Short options that have no long name, by design of their module: the
// driver boards' -z (code 'y') was never given one.
bool short_only(const char* module, char letter)
{
    return letter == 'z' && (strcmp(module, "extdrv") == 0 || strcmp(module, "pt") == 0);
}

// Each letter of a module's long-option table is in its short-option string
// with the same argument kind, and each short-option letter has a row: a
// letter missing from either side is an option an operator cannot use. Rows
// whose value is no letter (the action options of ptz) are long-only.
TEST(OptionTables, ShortOptionsAndTableAgreeInEveryModule)
{
    ASSERT_GT(module_count(), 0u);
    for (unsigned k = 0; k < module_count(); ++k) {
        const TestModule* m = module_at(k);
        ASSERT_NE(m->short_options, nullptr) << m->name;
        ASSERT_NE(m->options, nullptr) << m->name;
        const char* s = m->short_options;
        for (const option* o = m->options; o->name != nullptr; ++o) {
            if (o->flag != nullptr || o->val <= 0 || o->val > 127 || !isalnum(o->val))
                continue;
            const char* at = strchr(s, o->val);
            ASSERT_NE(at, nullptr) << m->name << ": --" << o->name << " has no -"
                                   << static_cast<char>(o->val);
            EXPECT_EQ(at[1] == ':', o->has_arg != no_argument) << m->name << ": -" << *at;
        }
        for (const char* p = s; *p != '\0'; ++p) {
            if (*p == ':' || *p == '+' || *p == '-')
                continue;
            bool found = false;
            for (const option* o = m->options; o->name != nullptr; ++o)
                found = found || (o->flag == nullptr && o->val == *p);
            EXPECT_TRUE(found || short_only(m->name, *p)) << m->name << ": -" << *p << " has no row in the option table";
        }
    }
}

}  // namespace
