// camsim's plan of a run's mounts, and its device options, from facts given
// by hand: no kernel, no root.
#include <gtest/gtest.h>

#include "devices.h"
#include "layout.h"

namespace {

using camsim::Kind;
using camsim::LayoutFacts;

const std::vector<std::string> kTops = {"/mnt", "/opt", "/tmp", "/run", "/var"};

// The steps that stand the camera's mnt ... var, for a root kept elsewhere.
std::vector<std::string> tops(const std::string& root)
{
    std::vector<std::string> out;
    for (const auto& t : kTops) {
        out.push_back("mkdirs " + root + t);
        out.push_back("rbind " + root + t + " " + t);
    }
    return out;
}

std::vector<std::string> plan(const LayoutFacts& f)
{
    const auto layout = camsim::plan_layout(f);
    if (!layout.error.empty())
        return {"error: " + layout.error};
    std::vector<std::string> out;
    for (const auto& s : layout.steps)
        out.push_back(camsim::describe(s));
    return out;
}

LayoutFacts facts(std::vector<camsim::TemplateEntry> entries, std::map<std::string, Kind> pc)
{
    LayoutFacts f;
    f.root = "/r";
    f.entries = std::move(entries);
    f.pc = std::move(pc);
    f.keep = {"/r", "/b"};
    f.pc_tops = kTops;
    return f;
}

std::vector<std::string> with_tops(std::vector<std::string> steps, const std::string& root = "/r")
{
    const auto t = tops(root);
    steps.insert(steps.end(), t.begin(), t.end());
    return steps;
}

TEST(CamsimLayout, TemplateStandsOverThePc)
{
    const Kind D = Kind::kDir, F = Kind::kFile;
    struct Case {
        const char* what;
        LayoutFacts facts;
        std::vector<std::string> steps;
    };
    const Case cases[] = {
        {"present files are bound, nothing layered",
         facts({{'d', "etc"}, {'f', "etc/resolv.conf"}, {'d', "proc"}, {'f', "proc/version"}},
               {{"/etc", D}, {"/etc/resolv.conf", F}, {"/proc", D}, {"/proc/version", F}}),
         with_tops({"bind /r/etc/resolv.conf /etc/resolv.conf", "bind /r/proc/version /proc/version"})},
        {"a missing directory is made in one layer over its nearest parent; procfs takes no new name",
         facts({{'d', "dev"}, {'f', "dev/mmcblk0"}, {'f', "dev/mmcblk1"}, {'d', "proc"}, {'f', "proc/mtd"},
                {'d', "proc/x"}, {'f', "proc/x/y"}, {'d', "sys"}, {'d', "sys/bus"}, {'d', "sys/bus/iio"},
                {'d', "sys/bus/iio/devices"}, {'f', "sys/bus/iio/devices/raw"}},
               {{"/dev", D}, {"/proc", D}, {"/sys", D}, {"/sys/bus", D}}),
         with_tops({"stage /r/.camsim-stage", "layer /dev", "touch /dev/mmcblk0", "bind /r/dev/mmcblk0 /dev/mmcblk0",
                    "touch /dev/mmcblk1", "bind /r/dev/mmcblk1 /dev/mmcblk1", "layer /sys/bus",
                    "mkdir /sys/bus/iio", "mkdir /sys/bus/iio/devices", "touch /sys/bus/iio/devices/raw",
                    "bind /r/sys/bus/iio/devices/raw /sys/bus/iio/devices/raw", "unstage /r/.camsim-stage"})},
        {"a layer inside an earlier one is not made again",
         facts({{'d', "dev"}, {'f', "dev/new"}, {'d', "dev/block"}, {'f', "dev/block/new"}},
               {{"/dev", D}, {"/dev/block", D}}),
         with_tops({"stage /r/.camsim-stage", "layer /dev", "touch /dev/new", "bind /r/dev/new /dev/new",
                    "touch /dev/block/new", "bind /r/dev/block/new /dev/block/new", "unstage /r/.camsim-stage"})},
        {"a directory is layered where it really lies",
         [&] {
             auto f = facts({{'d', "dev"}, {'d', "dev/fd"}, {'f', "dev/fd/9"}}, {{"/dev", D}, {"/dev/fd", D}});
             f.real["/dev/fd"] = "/proc/self/fd";
             return f;
         }(),
         with_tops({"stage /r/.camsim-stage", "layer /proc/self/fd", "touch /dev/fd/9", "bind /r/dev/fd/9 /dev/fd/9",
                    "unstage /r/.camsim-stage"})},
        {"the PC's file where the root has a directory",
         facts({{'d', "dev"}, {'d', "dev/null"}}, {{"/dev", D}, {"/dev/null", F}}),
         {"error: /r/dev/null is a directory but the PC's /dev/null is not"}},
        {"the PC's directory where the root has a file",
         facts({{'d', "dev"}, {'f', "dev/pts"}}, {{"/dev", D}, {"/dev/pts", D}}),
         {"error: /r/dev/pts is a file but the PC's /dev/pts is a directory"}},
        {"neither a file nor a directory",
         facts({{'d', "dev"}, {'o', "dev/link"}}, {{"/dev", D}}),
         {"error: /r/dev/link: only files and directories can stand in the camera"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(plan(c.facts), c.steps) << c.what;
}

TEST(CamsimLayout, KeptPathsTraceAndOwnProc)
{
    // A root, build and caller below /tmp stay reachable; a path inside a
    // kept one comes along with it; the PC's /tmp itself is the camera's.
    auto f = facts({}, {});
    f.root = "/tmp/a/cam";
    f.keep = {"/tmp/a/cam", "/tmp/a", "/tmp/a-b", "/tmp", "/work/build"};
    f.trace_dir = "/home/me";
    f.own_proc = true;
    std::vector<std::string> want = {"proc /proc", "sysfs /sys", "mkdirs /tmp/a/cam/.camsim-trace",
                                     "bind /home/me /tmp/a/cam/.camsim-trace"};
    for (const auto& t : kTops) {
        want.push_back("mkdirs /tmp/a/cam" + t);
        if (t == "/tmp") {
            for (const char* k : {"/tmp/a", "/tmp/a-b"}) {
                want.push_back(std::string("mkdirs /tmp/a/cam") + k);
                want.push_back(std::string("rbind ") + k + " /tmp/a/cam" + k);
            }
        }
        want.push_back("rbind /tmp/a/cam" + t + " " + t);
    }
    EXPECT_EQ(plan(f), want);

    f.pc_tops = {"/mnt", "/opt", "/tmp", "/var"};
    EXPECT_EQ(plan(f), std::vector<std::string>{"error: the PC has no /run to stand the camera's on"});
}

TEST(CamsimDevices, OptionsAreCheckedWhole)
{
    struct Case {
        const char* option;
        const char* value;
        const char* why;  // empty when taken
    };
    const Case cases[] = {
        {"--eeprom-fail", "255", ""},
        {"--eeprom-fail", "0xff", ""},
        {"--eeprom-fail", "256", "--eeprom-fail 256: the EEPROM's addresses are 0 to 255"},
        {"--eeprom-fail", "999", "--eeprom-fail 999: the EEPROM's addresses are 0 to 255"},
        {"--eeprom-fail", "-1", "--eeprom-fail is open, an address or none, not -1"},
        {"--eeprom-fail", "0x1ffffffff", "--eeprom-fail is open, an address or none, not 0x1ffffffff"},
        {"--eeprom-driver", "i2c", "--eeprom-driver is platform or standard, not i2c"},
        {"--mtd", "a:0x40000:0x20000:0x3ffff:0x20000", ""},
        {"--mtd", "a:0x40000:0x20000:0x40000", "bad block offset 0x40000 in --mtd a:0x40000:0x20000:0x40000 "
                                               "(a number below the partition's size)"},
        {"--mtd", "a:0x40000:0x20000::0x40000", "bad failing offset 0x40000 in --mtd a:0x40000:0x20000::0x40000 "
                                                "(a number below the partition's size)"},
        {"--mtd", "a:0x100000000:0x20000", "--mtd wants NAME:SIZE:ERASESIZE[:BAD,...[:FAIL]], not a:0x100000000:0x20000"},
        {"--mtd", "a:1:2:0:0:0", "--mtd wants NAME:SIZE:ERASESIZE[:BAD,...[:FAIL]], not a:1:2:0:0:0"},
        {"--mtd", "a\"b:1:1", "bad partition name in --mtd a\"b:1:1"},
        {"--mtd", ":1:1", "bad partition name in --mtd :1:1"},
        {"--sd", "64G,1", ""},
        {"--sd", "65G", "bad card size 65G (a number with K, M or G, at most 64G)"},
        {"--sd", "256M,,1", "bad card size  (a number with K, M or G, at most 64G)"},
        {"--sd", "08M", "bad card size 08M (a number with K, M or G, at most 64G)"},
        {"--sd", "1T", "bad card size 1T (a number with K, M or G, at most 64G)"},
    };
    for (const auto& c : cases) {
        camsim::Devices d;
        std::string why;
        const bool taken = camsim::take_device_option(c.option, c.value, d, why);
        EXPECT_EQ(taken ? "" : why, c.why) << c.option << " " << c.value;
    }
}

TEST(CamsimDevices, PartitionTable)
{
    camsim::Devices d;
    std::string why;
    ASSERT_TRUE(camsim::take_device_option("--mtd", "boot:0x100000:0x20000", d, why));
    ASSERT_TRUE(camsim::take_device_option("--mtd", "none", d, why));
    ASSERT_TRUE(camsim::take_device_option("--mtd", "data:4194304:131072:0x20000,0x3e0000:1", d, why));
    EXPECT_EQ(camsim::proc_mtd_text(d.partitions),
              "dev:    size   erasesize  name\n"
              "mtd0: 00100000 00020000 \"boot\"\n"
              "mtd1: 00400000 00020000 \"data\"\n");
    EXPECT_EQ(d.partitions[1].bad, (std::vector<std::string>{"0x20000", "0x3e0000"}));
    EXPECT_EQ(d.partitions[1].fail, "1");
}

}  // namespace
