// The module registry and the help printers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "module.h"
#include "osa.h"

namespace {

int run_noop(int, char**)
{
    return 0;
}
void usage_noop() {}

int g_exit_calls;
std::string g_exit_order;
void exit_a() { ++g_exit_calls; g_exit_order += "a"; }
void exit_b() { ++g_exit_calls; g_exit_order += "b"; }

class Registry : public ::testing::Test {
protected:
    void SetUp() override
    {
        OSA_init();
        copy_bounded(g_program_name, sizeof g_program_name, "debug");
    }
    void TearDown() override
    {
        for (const TestModule& m : modules_)
            module_unregister(&m);
        OSA_deinit();
    }
    const TestModule* add(const char* name, uint8_t id, void (*exit)() = nullptr)
    {
        modules_.push_back({name, id, run_noop, usage_noop, exit, nullptr, nullptr});
        module_register(&modules_.back());
        return &modules_.back();
    }
    static std::string list()
    {
        testing::internal::CaptureStdout();
        module_list_print(kModuleListAll);
        fflush(stdout);
        return testing::internal::GetCapturedStdout();
    }
    // The registry keeps copies, so these may move.
    std::vector<TestModule> modules_;
};

TEST_F(Registry, KeepsModulesSortedByIdWhateverTheRegistrationOrder)
{
    add("media", 19);
    add("wifi", 18);
    add("motor", 9);
    add("adc", 2);
    add("gpio", 3);
    EXPECT_EQ(list(), "modules name:\n\tadc\tgpio\tmotor\twifi\tmedia\n");
}

TEST_F(Registry, FirstRegistrationOfANameWinsIgnoringCase)
{
    add("gpio", 3);
    add("GPIO", 5);
    add("Gpio", 1);
    EXPECT_EQ(list(), "modules name:\n\tgpio\n");
}

TEST_F(Registry, EqualIdGoesAfterTheEarlierOne)
{
    add("second", 7);
    add("first", 4);
    add("later", 7);
    add("last", 9);
    EXPECT_EQ(list(), "modules name:\n\tfirst\tsecond\tlater\tlast\n");
}

TEST_F(Registry, NullRecordsAndNamesAreIgnored)
{
    module_register(nullptr);
    TestModule nameless = {nullptr, 1, run_noop, usage_noop, nullptr, nullptr, nullptr};
    module_register(&nameless);
    EXPECT_EQ(list(), "modules name:\n\n");
}

TEST_F(Registry, ListLayoutPutsEightNamesOnALine)
{
    static const char* const names[] = {"m0", "m1", "m2", "m3", "m4", "m5", "m6", "m7",
                                        "m8", "m9", "m10", "m11", "m12", "m13", "m14",
                                        "m15", "m16"};
    for (int i = 0; i < 8; ++i)
        add(names[i], static_cast<uint8_t>(i));
    // With exactly eight the list ends with an empty line.
    EXPECT_EQ(list(), "modules name:\n\tm0\tm1\tm2\tm3\tm4\tm5\tm6\tm7\n\n");
    for (int i = 8; i < 17; ++i)
        add(names[i], static_cast<uint8_t>(i));
    EXPECT_EQ(list(),
              "modules name:\n\tm0\tm1\tm2\tm3\tm4\tm5\tm6\tm7\n"
              "\tm8\tm9\tm10\tm11\tm12\tm13\tm14\tm15\n\tm16\n");
}

TEST_F(Registry, TableHoldsTwentySixModules)
{
    static char names[30][8];
    for (int i = 0; i < 27; ++i) {
        snprintf(names[i], sizeof names[i], "n%02d", i);
        add(names[i], static_cast<uint8_t>(i % 25));
    }
    std::string out = list();
    EXPECT_NE(out.find("\tn25"), std::string::npos);
    EXPECT_EQ(out.find("\tn26"), std::string::npos);
    // Lookup of one id lists only that module.
    testing::internal::CaptureStdout();
    module_list_print(5);
    fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "modules name:\n\tn05\n");
}

TEST_F(Registry, ExitEntriesRunOnceInRegistryOrder)
{
    g_exit_calls = 0;
    g_exit_order.clear();
    add("b", 9, exit_b);
    add("none", 5);
    add("a", 2, exit_a);
    module_exit_all();
    EXPECT_EQ(g_exit_order, "ab");
    EXPECT_EQ(g_exit_calls, 2);
}

int g_runs;
int run_count(int argc, char**)
{
    g_runs += argc;
    return -1;
}

TEST_F(Registry, LookupByNameIsCaseSensitive)
{
    g_runs = 0;
    modules_.push_back({"gpio", 3, run_count, usage_noop, nullptr, nullptr, nullptr});
    module_register(&modules_.back());
    char arg0[] = "debug";
    char* argv[] = {arg0, nullptr};
    EXPECT_EQ(test_run("GPIO", 1, argv), 0);
    EXPECT_EQ(g_runs, 0);
    // The module's own result never reaches the caller.
    EXPECT_EQ(test_run("gpio", 1, argv), 0);
    EXPECT_EQ(g_runs, 1);
}

const option kRows[] = {
    {"module", required_argument, nullptr, 'M'},
    {"level", required_argument, nullptr, 1},
    {"verbose", no_argument, nullptr, 'v'},
    {nullptr, 0, nullptr, 0},
};
const OptionHelp kRowHelp[] = {
    {"module", "module name: demo"},
    {"n", "a long-only option"},
    {"", "no hint"},
};

TEST_F(Registry, UsageRowsUseLetterOrBlanksAndOneOrTwoTabs)
{
    add("demo", 6);
    testing::internal::CaptureStdout();
    module_usage_print(6, kRows, kRowHelp, 3);
    fflush(stdout);
    std::string rule(80, '*');
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              rule + "\ndemo usage:\n" + "debug -M demo [option] \n" +
                  "-M  --module [module]\tmodule name: demo\n" +
                  "    --level [n]\ta long-only option\n" + "-v  --verbose\t\tno hint\n" + rule +
                  "\n");
}

TEST_F(Registry, UsageOfAnUnknownIdPrintsNothing)
{
    add("demo", 6);
    for (unsigned id : {0u, 7u, 24u, 25u, 200u}) {
        testing::internal::CaptureStdout();
        module_usage_print(id, kRows, kRowHelp, 3);
        fflush(stdout);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << id;
    }
}

}  // namespace
