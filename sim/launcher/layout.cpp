// layout.cpp — the plan of one run's mounts, from facts gathered beforehand.
#include "layout.h"

#include <algorithm>
#include <set>

namespace camsim {
namespace {

const char* const kCameraTops[] = {"mnt", "opt", "tmp", "run", "var"};

std::string parent_of(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

// Whether path is dir itself or lies below it.
bool within(const std::string& path, const std::string& dir)
{
    if (dir == "/")
        return true;
    return path == dir || (path.size() > dir.size() && path.compare(0, dir.size(), dir) == 0 &&
                           path[dir.size()] == '/');
}

class Planner {
public:
    explicit Planner(const LayoutFacts& facts) : f_(facts) {}

    Layout run()
    {
        if (f_.own_proc) {
            add(Step::kProc, "/proc");
            add(Step::kSysfs, "/sys");
        }
        if (!f_.trace_dir.empty()) {
            add(Step::kMkdirs, f_.root + "/.camsim-trace");
            add(Step::kBind, f_.trace_dir, f_.root + "/.camsim-trace");
        }
        place_template();
        if (!out_.error.empty())
            return out_;
        if (!layers_.empty()) {
            // The stage goes first: every layer keeps its halves there.
            std::vector<Step> head(out_.steps.begin(), out_.steps.begin() + first_template_);
            head.push_back({Step::kStage, stage(), {}});
            head.insert(head.end(), out_.steps.begin() + first_template_, out_.steps.end());
            out_.steps = std::move(head);
        }
        if (!layers_.empty())
            add(Step::kUnstage, stage());
        stand_camera_tops();
        return out_;
    }

private:
    std::string stage() const { return f_.root + "/.camsim-stage"; }

    void add(Step::Op op, std::string a, std::string b = {}) { out_.steps.push_back({op, std::move(a), std::move(b)}); }

    void fail(std::string why)
    {
        if (out_.error.empty())
            out_.error = std::move(why);
    }

    Kind pc_kind(const std::string& path) const
    {
        if (made_.count(path))
            return made_kind_.at(path);
        const auto it = f_.pc.find(path);
        return it == f_.pc.end() ? Kind::kNone : it->second;
    }

    // A PC directory that must take new entries becomes a layer, unless it
    // already lies in one (or was itself made in one).
    void writable(const std::string& dir)
    {
        if (made_.count(dir))
            return;
        const auto it = f_.real.find(dir);
        const std::string real = it == f_.real.end() ? dir : it->second;
        for (const auto& layer : layers_)
            if (within(real, layer))
                return;
        layers_.push_back(real);
        add(Step::kLayer, real);
    }

    void place_template()
    {
        first_template_ = out_.steps.size();
        for (const auto& e : f_.entries) {
            const std::string top = e.path.substr(0, e.path.find('/'));
            const bool proc = top == "proc";
            const std::string src = f_.root + "/" + e.path;
            const std::string dst = "/" + e.path;
            // Below a directory procfs could not take, nothing can stand.
            if (skipped_.count(parent_of(dst))) {
                skipped_.insert(dst);
                continue;
            }
            const Kind have = pc_kind(dst);
            if (e.type == 'd') {
                if (have == Kind::kDir)
                    continue;
                if (have != Kind::kNone)
                    return fail(src + " is a directory but the PC's " + dst + " is not");
                if (proc) {
                    skipped_.insert(dst);
                    continue;
                }
                writable(parent_of(dst));
                add(Step::kMkdir, dst);
                made(dst, Kind::kDir);
            } else if (e.type == 'f') {
                if (have == Kind::kNone) {
                    if (proc)
                        continue;
                    writable(parent_of(dst));
                    add(Step::kTouch, dst);
                    made(dst, Kind::kFile);
                } else if (have == Kind::kDir) {
                    return fail(src + " is a file but the PC's " + dst + " is a directory");
                }
                add(Step::kBind, src, dst);
            } else {
                return fail(src + ": only files and directories can stand in the camera");
            }
        }
    }

    // The root's mnt, opt, tmp, run and var over the PC's, keeping each path
    // we still need reachable where it lies below one of them. The PC's /tmp
    // itself (a caller's directory) is the camera's own there.
    void stand_camera_tops()
    {
        std::set<std::string> keep(f_.keep.begin(), f_.keep.end());
        for (const char* top : kCameraTops) {
            const std::string pc = std::string("/") + top;
            if (std::find(f_.pc_tops.begin(), f_.pc_tops.end(), pc) == f_.pc_tops.end())
                return fail("the PC has no " + pc + " to stand the camera's on");
            add(Step::kMkdirs, f_.root + pc);
            std::vector<std::string> kept;
            for (const auto& k : keep) {
                if (k == pc || !within(k, pc))
                    continue;
                // A path inside one already kept comes along with it.
                if (std::any_of(kept.begin(), kept.end(), [&](const std::string& o) { return within(k, o); }))
                    continue;
                const std::string inside = f_.root + k;
                add(Step::kMkdirs, inside);
                add(Step::kRbind, k, inside);
                kept.push_back(k);
            }
            add(Step::kRbind, f_.root + pc, pc);
        }
    }

    void made(const std::string& path, Kind kind)
    {
        made_.insert(path);
        made_kind_[path] = kind;
    }

    const LayoutFacts& f_;
    Layout out_;
    size_t first_template_ = 0;
    std::vector<std::string> layers_;
    std::set<std::string> made_;
    std::map<std::string, Kind> made_kind_;
    std::set<std::string> skipped_;
};

}  // namespace

std::vector<std::string> layout_questions(const std::vector<TemplateEntry>& entries)
{
    std::set<std::string> asked;
    for (const auto& e : entries) {
        const std::string dst = "/" + e.path;
        asked.insert(dst);
        asked.insert(parent_of(dst));
    }
    return {asked.begin(), asked.end()};
}

Layout plan_layout(const LayoutFacts& facts)
{
    return Planner(facts).run();
}

std::string describe(const Step& step)
{
    static const char* const names[] = {"proc",  "sysfs", "mkdirs", "stage", "layer",
                                        "mkdir", "touch", "bind",   "rbind", "unstage"};
    std::string text = names[step.op];
    text += " " + step.a;
    if (!step.b.empty())
        text += " " + step.b;
    return text;
}

}  // namespace camsim
