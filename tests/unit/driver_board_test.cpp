// The driver-board record builder shared by extdrv and pt, on their own
// option tables.
#include <getopt.h>
#include <gtest/gtest.h>
#include <string.h>

#include <array>
#include <string>
#include <vector>

#include "driver_board.h"

namespace {

using Record = std::array<int32_t, 7>;  // valid, code, param1..param5

DriverBoard board_of(const char* name)
{
    for (unsigned k = 0; k < module_count(); ++k) {
        const TestModule* m = module_at(k);
        if (strcmp(m->name, name) == 0)
            return {name, m->id, 0, m->options, m->short_options, nullptr, 0};
    }
    ADD_FAILURE() << "no module " << name;
    return {};
}

// Parses "debug -M MODULE WORDS..."; the record, or {-1} on a refusal.
Record parse(const char* module, std::vector<std::string> words)
{
    words.insert(words.begin(), {"debug", "-M", module});
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    optind = 0;  // a fresh scan
    DriverBoardCommand cmd{};
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    bool ok = pt_init_param(board_of(module), static_cast<int>(words.size()), argv.data(), &cmd);
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    if (!ok)
        return {-1};
    EXPECT_EQ(cmd.reserved0, 0);
    for (int32_t r : cmd.reserved)
        EXPECT_EQ(r, 0);
    return {cmd.valid, cmd.code, cmd.param[0], cmd.param[1], cmd.param[2], cmd.param[3], cmd.param[4]};
}

struct Case {
    std::vector<std::string> words;
    Record record;
};

void check(const char* module, const std::vector<Case>& cases)
{
    for (const Case& c : cases) {
        std::string line;
        for (const std::string& w : c.words)
            line += w + " ";
        EXPECT_EQ(parse(module, c.words), c.record) << module << ": " << line;
    }
}

const std::vector<Case> kBothBoards = {
    // set_step XY: X the pan direction, Y the tilt direction (bit 0x800000).
    {{"-s", "11", "-p", "100", "-t", "200"}, {1, 'h', 8388708, 8388808}},
    {{"-s", "0", "-p", "100", "-t", "200"}, {1, 'h', 100, 200}},
    {{"-s", "10", "-p", "100", "-t", "200"}, {1, 'h', 8388708, 200}},
    {{"-s", "1", "-p", "100", "-t", "200"}, {1, 'h', 100, 8388808}},
    {{"-s", "-11", "-p", "1", "-t", "2"}, {1, 'h', 1 | 0x800000, 2 | 0x800000}},
    // After parsing, set_step comes first and the current pair after the
    // others; they share the parameters, so later words overwrite them.
    {{"-s", "11", "-l", "28", "-r", "30"}, {1, 'm', 5, 0x800000, 30}},
    {{"-g", "3", "-k", "4", "-u", "1", "-n", "2"}, {1, 'm', 7, 1, 2}},
    // pwm: low and high bytes of run and idle, both needed.
    {{"-b", "1500", "-j", "1300"}, {1, 'm', 4, 220, 5, 20, 5}},
    {{"-b", "1500"}, {0, 0}},
    {{"--set pwm_idle", "1300", "-l", "1", "-r", "2", "--set pwm_run", "0x5dc"}, {1, 'm', 4, 220, 5, 20, 5}},
    // Pair counters count uses, and a pair alone is no command.
    {{"-l", "28"}, {0, 0, 0, 28}},
    {{"-l", "28", "-r", "30"}, {1, 'm', 5, 28, 30}},
    {{"-l", "28", "-l", "30"}, {1, 'm', 5, 30}},
    {{"-l", "1", "-l", "2", "-r", "3"}, {0, 0, 0, 2, 3}},
    {{"-g", "3", "-k", "4"}, {1, 'm', 7, 3, 4}},
    {{"-F", "5", "-L", "6"}, {1, 't', 5, 6}},
    {{"--set wie HID", "3", "--set wie PID", "4"}, {1, 'v', 3, 4}},
    // One value each; the last wins.
    {{"-a", "1", "-f", "0"}, {1, 'd', 0}},
    {{"-w", "12"}, {1, 'o', 12}},
    {{"-o", "1"}, {1, 'm', 1, 1}},
    {{"-e", "-2"}, {1, 'm', 3, -2}},
    {{"-z", "010"}, {1, 'y', 8}},
    // -m takes words 5 to 7 of an eight-word command line, and only then.
    {{"-m", "1", "2", "3", "4"}, {1, 'z', 1, 2, 3, 4}},
    {{"-m", "1", "2", "3"}, {0, 0}},
    {{"-m", "1", "2", "3", "4", "5"}, {0, 0}},
    {{"-m", "1", "2", "x", "4"}, {-1}},
    {{"-Z", "1"}, {-1}},
    {{"-f"}, {-1}},
};

TEST(DriverBoard, BothBoardsBuildTheSameRecords)
{
    check("extdrv", kBothBoards);
    check("pt", kBothBoards);
}

TEST(DriverBoard, WhatTellsTheBoardsApart)
{
    check("extdrv", {
        {{"-G", "3"}, {-1}},
        {{"-B", "1", "7"}, {-1}},
        {{"--test set led light", "1"}, {-1}},
    });
    check("pt", {
        {{"-G", "3", "-Y", "4"}, {1, 'v', 3, 4}},
        // -B: the value and the last word of the command line.
        {{"-B", "1", "7"}, {1, '|', 1, 7}},
        {{"-B", "5"}, {1, '|', 5, 5}},
        {{"-B", "1", "-f", "2"}, {1, 'd', 2, 2}},
        {{"-B", "1", "x"}, {-1}},
    });
}

}  // namespace
