// The cpu module's load arithmetic and its readers of /proc texts.
#include <gtest/gtest.h>
#include <stdint.h>

#include "vd_cpu.h"

namespace {

TEST(CpuLoad, ReadsTheAggregateLineOnly)
{
    CpuCounters c{};
    // user nice system idle iowait irq softirq steal
    ASSERT_TRUE(cpu_parse_stat("cpu0 9 9 9 9 9 9 9 9 0 0\n"
                               "cpu  10 2 30 400 5 6 7 8 0 0\n", &c));
    EXPECT_EQ(c.user_nice, 12u);
    EXPECT_EQ(c.nice, 2u);
    EXPECT_EQ(c.system_all, 43u);
    EXPECT_EQ(c.idle, 400u);
    EXPECT_EQ(c.iowait, 5u);
    EXPECT_EQ(c.irq, 6u);
    EXPECT_EQ(c.softirq, 7u);
    EXPECT_EQ(c.steal, 8u);
    EXPECT_EQ(c.total, 468u);

    // A short record does not take its missing counters from the next line.
    EXPECT_FALSE(cpu_parse_stat("cpu 1 2 3 4\nintr 5 6 7 8 9 10\n", &c));
    EXPECT_FALSE(cpu_parse_stat("cpu0 1 2 3 4 5 6 7 8\ncpuX 1 2 3 4 5 6 7 8\n", &c));
    EXPECT_FALSE(cpu_parse_stat("", &c));
}

TEST(CpuLoad, ProcessTimeIsFieldsFourteenToSeventeen)
{
    uint64_t t = 0;
    ASSERT_TRUE(cpu_parse_self_stat(
        "77 (de bug) x) S 1 77 77 0 -1 4194560 100 0 0 0 11 22 33 44 20 0 1 0\n", &t));
    EXPECT_EQ(t, 110u);
    EXPECT_FALSE(cpu_parse_self_stat("77 (debug) S 1 77 77 0 -1 4194560 100 0 0 0 11 22\n", &t));
    EXPECT_FALSE(cpu_parse_self_stat("garbage", &t));
}

TEST(CpuLoad, BaselineIsTheAllZeroRecord)
{
    EXPECT_TRUE(cpu_counters_zero(CpuCounters{}));
    CpuCounters c{};
    c.process = 1;  // every counter counts, the process time too
    EXPECT_FALSE(cpu_counters_zero(c));
    c = CpuCounters{};
    c.softirq = 1;
    EXPECT_FALSE(cpu_counters_zero(c));
}

TEST(CpuLoad, FiguresOfOneInterval)
{
    struct Case {
        CpuCounters prev, cur;
        CpuFigures want;
    };
    const uint64_t top = UINT64_MAX;
    const Case cases[] = {
        // 200 ticks: 50 idle, 40 user+nice, 60 system, 20 wait, 30 steal.
        {{100, 0, 100, 100, 10, 0, 0, 5, 315, 0}, {140, 0, 160, 150, 30, 0, 0, 35, 515, 0},
         {75, 30, 20, 10, 15}},
        // Every counter wrapped past 2^64 during the interval.
        {{top - 19, 0, top - 29, top - 9, top, 0, 0, top - 4, top - 99, 0},
         {20, 0, 30, 40, 19, 0, 0, 25, 100, 0},
         {75, 30, 20, 10, 15}},
        // Nothing idle: full load.
        {{0, 0, 0, 7, 0, 0, 0, 0, 7, 0}, {50, 0, 50, 7, 0, 0, 0, 0, 107, 0}, {100, 50, 50, 0, 0}},
    };
    const CpuFigures last{1, 2, 3, 4, 5};
    for (const Case& k : cases) {
        CpuFigures f = cpu_figures(k.prev, k.cur, last);
        EXPECT_DOUBLE_EQ(f.cpu, k.want.cpu);
        EXPECT_DOUBLE_EQ(f.sys, k.want.sys);
        EXPECT_DOUBLE_EQ(f.user, k.want.user);
        EXPECT_DOUBLE_EQ(f.wait, k.want.wait);
        EXPECT_DOUBLE_EQ(f.steal, k.want.steal);
    }
    // No time passed: the last figures stand instead of a division by zero.
    CpuCounters same{1, 0, 1, 1, 0, 0, 0, 0, 3, 0};
    CpuFigures f = cpu_figures(same, same, last);
    EXPECT_DOUBLE_EQ(f.cpu, 1);
    EXPECT_DOUBLE_EQ(f.steal, 5);
}

}  // namespace
