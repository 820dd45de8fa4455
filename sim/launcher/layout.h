// layout.h — what one run of the simulated camera mounts, as a value: the
// facts of the PC and the root go in, a list of steps comes out, and only
// then are the steps applied (layout_apply.cpp). The plan is pure, so a table
// test covers every rule of it without touching the kernel.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace camsim {

// What stands at a path: nothing, a directory, or anything else (a file or a
// device node; a symlink is taken for what it points at).
enum class Kind { kNone, kDir, kFile };

struct TemplateEntry {
    char type;          // 'd' directory, 'f' regular file, anything else refused
    std::string path;   // relative to the root, "dev/mmcblk0"
};

struct LayoutFacts {
    std::string root;                       // the camera root, resolved
    std::vector<TemplateEntry> entries;     // the root's sys, dev, proc and etc, parents first
    std::map<std::string, Kind> pc;         // the PC's kind of each /sys, /dev, /proc, /etc path asked
    std::map<std::string, std::string> real;  // a PC directory's resolved path, where it differs
    std::vector<std::string> keep;          // paths that must stay reachable (root, build, sim, cwd)
    std::vector<std::string> pc_tops;       // which of /mnt /opt /tmp /run /var the PC has
    std::string trace_dir;                  // the PC directory of VDSIM_TRACE, or empty
    bool own_proc = false;                  // a camera on a network sees its own /proc and /sys
};

struct Step {
    enum Op {
        kProc,      // mount a procfs at a
        kSysfs,     // mount a sysfs at a
        kMkdirs,    // make the directory a and its parents, on disk
        kStage,     // a throw-away tmpfs at a for the layers' upper halves
        kLayer,     // make the PC directory a writable, its entries kept
        kMkdir,     // make the directory a (inside a layer)
        kTouch,     // make the empty file a (inside a layer)
        kBind,      // bind a over b
        kRbind,     // bind a and the mounts below it over b
        kUnstage,   // detach the stage a (the layers keep what they use)
    };
    Op op;
    std::string a, b;

    bool operator==(const Step& o) const { return op == o.op && a == o.a && b == o.b; }
};

struct Layout {
    std::vector<Step> steps;
    std::string error;  // why the root cannot stand over this PC, or empty
};

// The camera paths that the template's entries stand at, and their parents:
// what plan_layout asks about the PC.
std::vector<std::string> layout_questions(const std::vector<TemplateEntry>& entries);

Layout plan_layout(const LayoutFacts& facts);

// One step as text ("bind /r/dev/x /dev/x"), for errors and tests.
std::string describe(const Step& step);

}  // namespace camsim
