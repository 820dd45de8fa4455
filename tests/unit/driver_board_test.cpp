// The driver-board option table, as the extdrv and pt modules registered
// it, and the records its parser builds.
#include <getopt.h>
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <array>
#include <set>
#include <string>
#include <vector>

#include "driver_board.h"

namespace {

struct Board {
    const char* module;
    uint8_t forms;
    const TestModule* m() const
    {
        for (unsigned k = 0; k < module_count(); ++k) {
            if (strcmp(module_at(k)->name, module) == 0)
                return module_at(k);
        }
        return nullptr;
    }
};
const Board kExtdrvBoard{"extdrv", kExtdrv}, kPtBoard{"pt", kPt};

// Each row reaches the tables of the boards it names, in the forms it
// names, and no others: getopt_long's table, the short-option string, and
// its own help line if it has help. Letters and names are one row's each.
TEST(DriverBoard, EveryRowReachesItsBoardsTables)
{
    for (const Board& b : {kExtdrvBoard, kPtBoard}) {
        const TestModule* m = b.m();
        ASSERT_NE(m, nullptr) << b.module;
        testing::internal::CaptureStdout();
        m->usage();
        std::string help = testing::internal::GetCapturedStdout();
        std::string module_help = std::string("module name: ") + b.module;
        std::set<char> letters;
        std::set<std::string> names;
        size_t helped = 0, marks = 0, long_rows = 0;
        for (const DriverBoardOption& o : kDriverBoardOptions) {
            SCOPED_TRACE(std::string(b.module) + ": -" + o.letter);
            bool on = (o.boards & b.forms) != 0, has_letter = (o.boards & b.forms & kLetterForms) != 0;
            EXPECT_TRUE(!on || letters.insert(o.letter).second) << "letter used twice";
            const char* at = strchr(m->short_options, o.letter);
            ASSERT_EQ(at != nullptr, has_letter);
            if (has_letter) {
                EXPECT_EQ(strspn(at + 1, ":"), static_cast<size_t>(o.has_arg));
                marks += 1 + o.has_arg;
            }
            const option* row = m->options;
            while (row->name != nullptr && (o.name == nullptr || strcmp(row->name, o.name) != 0))
                ++row;
            ASSERT_EQ(row->name != nullptr, (o.boards & b.forms & kLongForms) != 0);
            if (row->name != nullptr) {
                EXPECT_TRUE(names.insert(o.name).second) << "name used twice";
                EXPECT_EQ(row->val, has_letter ? o.letter : 0x100 | o.letter);
                EXPECT_EQ(row->has_arg, o.has_arg);
            }
            const char* text = o.action == kModule ? module_help.c_str() : o.help;
            if (!on || text == nullptr)
                continue;
            ++helped;
            std::string line = (has_letter ? std::string("\n-") + o.letter + "  --" : "\n    --") + o.name +
                               (*o.hint ? std::string(" [") + o.hint + "]\t" : "\t\t") + text + "\n";
            EXPECT_NE(help.find(line), std::string::npos) << line;
        }
        // Around the rows: two star lines, the title and the command line.
        EXPECT_EQ(std::count(help.begin(), help.end(), '\n'), static_cast<long>(helped + 4));
        while (m->options[long_rows].name != nullptr)
            ++long_rows;
        EXPECT_EQ(long_rows, names.size());
        EXPECT_EQ(strlen(m->short_options), marks);
    }
}

using Record = std::array<int32_t, 7>;  // valid, code, param1..param5; {-1}: refused
struct Case {
    std::vector<std::string> words;  // after "debug -M MODULE"
    Record record;
};

void check(const Board& b, std::vector<Case> cases)
{
    const TestModule* m = b.m();
    const DriverBoard board = {{"vd_test", "pt_init_param"}, m->id, 0, b.forms, "", m->options, m->short_options};
    for (Case& c : cases) {
        c.words.insert(c.words.begin(), {"debug", "-M", b.module});
        std::vector<char*> argv;
        for (std::string& w : c.words)
            argv.push_back(w.data());
        argv.push_back(nullptr);
        std::string line = testing::PrintToString(c.words);
        optind = 0;  // a fresh scan
        DriverBoardCommand cmd{}, zero{};
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        bool ok = pt_init_param(board, static_cast<int>(c.words.size()), argv.data(), &cmd);
        testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
        Record got = {cmd.valid, cmd.code, cmd.param[0], cmd.param[1], cmd.param[2], cmd.param[3], cmd.param[4]};
        EXPECT_EQ(ok ? got : Record{-1}, c.record) << line;
        EXPECT_EQ(cmd.reserved0, 0) << line;
        EXPECT_EQ(memcmp(cmd.reserved, zero.reserved, sizeof zero.reserved), 0) << line;
    }
}

TEST(DriverBoard, BuildsTheRecords)
{
    for (const Board& b : {kExtdrvBoard, kPtBoard}) {
        check(b, {
            // set_step XY: X the pan direction, Y the tilt direction (bit 0x800000).
            {{"-s", "10", "-p", "100", "-t", "200"}, {1, 'h', 8388708, 200}},
            {{"-s", "1", "-p", "100", "-t", "200"}, {1, 'h', 100, 8388808}},
            {{"-s", "-11", "-p", "1", "-t", "2"}, {1, 'h', 1 | 0x800000, 2 | 0x800000}},
            // After parsing: set_step, the pairs heat, fan, light, wie and
            // current, then pwm; they share the parameters, so later words
            // overwrite them.
            {{"-s", "11", "-l", "28", "-r", "30"}, {1, 'm', 5, 0x800000, 30}},
            {{"-u", "1", "-n", "2", "-g", "3", "-k", "4", "-F", "5", "-L", "6"}, {1, 'm', 7, 6, 4}},
            {{"--set pwm_idle", "1300", "-l", "1", "-r", "2", "--set pwm_run", "0x5dc"}, {1, 'm', 4, 220, 5, 20, 5}},
            {{"-b", "1500"}, {0, 0}},
            // Pair counters count uses, and a pair alone is no command.
            {{"-l", "28", "-l", "30"}, {1, 'm', 5, 30}},
            {{"-l", "1", "-l", "2", "-r", "3"}, {0, 0, 0, 2, 3}},
            {{"-F", "5", "-L", "6"}, {1, 't', 5, 6}},
            // One value each; the last wins.
            {{"-a", "1", "-f", "0"}, {1, 'd', 0}},
            {{"-o", "1"}, {1, 'm', 1, 1}},
            {{"-e", "-2"}, {1, 'm', 3, -2}},
            {{"-z", "010"}, {1, 'y', 8}},
            // -m takes words 5 to 7 of an eight-word command line, and only then.
            {{"-m", "1", "2", "3", "4", "5"}, {0, 0}},
        });
    }
    // -B, pt's alone: the value and the last word of the command line.
    check(kPtBoard, {
        {{"-B", "1", "7"}, {1, '|', 1, 7}},
        {{"-B", "5"}, {1, '|', 5, 5}},
        {{"-B", "1", "-f", "2"}, {1, 'd', 2, 2}},
        {{"-B", "1", "x"}, {-1}},
    });
}

}  // namespace
