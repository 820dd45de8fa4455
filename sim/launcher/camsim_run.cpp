// camsim_run.cpp — one run of the simulated camera, as sim/camsim starts it:
//   camsim-run --camsim PATH [--build DIR] [--root DIR] [--fresh] [DEVICE OPTIONS] [--] [COMMAND...]
// It makes the root if needed (camsim.d/root.sh), writes the device options,
// enters or makes the camera's namespaces, plans its mounts (layout.h) and
// applies them in one process, then runs COMMAND as its child: signals sent
// to camsim reach COMMAND, COMMAND dies with camsim, and camsim exits with
// COMMAND's status (128+N for signal N). Its own errors exit 125.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "devices.h"
#include "layout.h"
#include "owners.h"

namespace {

using camsim::Devices;
using camsim::Kind;
using camsim::Layout;
using camsim::LayoutFacts;
using camsim::Step;

constexpr int kUsageStatus = 125;
constexpr long kNsfsMagic = 0x6e736673;

[[noreturn]] __attribute__((format(printf, 1, 2))) void die(const char* format, ...)
{
    char line[4096];
    va_list ap;
    va_start(ap, format);
    vsnprintf(line, sizeof line, format, ap);
    va_end(ap);
    fprintf(stderr, "camsim: %s\n", line);
    exit(kUsageStatus);
}

struct Options {
    std::string camsim;  // the dispatcher, whose folder holds camsim.d and root
    std::string build;
    std::string root;
    bool fresh = false;
    bool dashdash = false;
    bool devices_given = false;
    Devices devices;
    std::string verb;    // up, down, ...; empty for a run
    std::vector<std::string> command;  // a run's command, or the verb's arguments
};

const char* const kVerbs[] = {"up", "down", "status", "list", "peer", "segment"};

Options parse(int argc, char** argv)
{
    Options o;
    int i = 1;
    for (; i < argc; i++) {
        const std::string arg = argv[i];
        const bool valued = arg == "--camsim" || arg == "--build" || arg == "--root" || arg == "--mtd" ||
                            arg == "--sd" || arg == "--eeprom-driver" || arg == "--eeprom-fail";
        if (valued) {
            if (i + 1 >= argc)
                die("%s needs a value (see camsim --help)", arg.c_str());
            const std::string value = argv[++i];
            std::string why;
            if (arg == "--camsim")
                o.camsim = value;
            else if (arg == "--build")
                o.build = value;
            else if (arg == "--root")
                o.root = value;
            else if (!camsim::take_device_option(arg, value, o.devices, why))
                die("%s", why.c_str());
            else
                o.devices_given = true;
        } else if (arg == "--fresh") {
            o.fresh = true;
        } else if (arg == "--") {
            o.dashdash = true;
            i++;
            break;
        } else if (arg.size() > 1 && arg[0] == '-') {
            die("unknown option %s (see camsim --help)", arg.c_str());
        } else {
            break;
        }
    }
    // After --, a verb's name is a program like any other.
    if (!o.dashdash && i < argc && std::find_if(std::begin(kVerbs), std::end(kVerbs), [&](const char* v) {
                                       return strcmp(v, argv[i]) == 0;
                                   }) != std::end(kVerbs))
        o.verb = argv[i++];
    for (; i < argc; i++)
        o.command.push_back(argv[i]);
    if (o.camsim.empty() || o.camsim[0] != '/')
        die("camsim-run is started by sim/camsim");
    if (!o.verb.empty() && o.devices_given)
        die("device options go with a run, not with %s", o.verb.c_str());
    return o;
}

std::string dir_of(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == 0 ? "/" : slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string base_of(const std::string& path)
{
    return path.substr(path.rfind('/') + 1);
}

std::string resolved(const std::string& path)
{
    char buf[PATH_MAX];
    return realpath(path.c_str(), buf) ? std::string(buf) : std::string();
}

std::string absolute(const std::string& path, const std::string& cwd)
{
    return path.empty() || path[0] == '/' ? path : cwd + "/" + path;
}

// Collapses ".", ".." and repeated slashes without asking the file system.
std::string lexical(const std::string& path)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string part = path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string out;
    for (const auto& p : parts)
        out += "/" + p;
    return out.empty() ? "/" : out;
}

bool is_dir(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool exists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

void make_dirs(const std::string& path)
{
    if (path.empty() || is_dir(path))
        return;
    make_dirs(dir_of(path));
    if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
        die("cannot make %s: %s", path.c_str(), strerror(errno));
}

bool write_file(const std::string& path, const std::string& text)
{
    FILE* f = fopen(path.c_str(), "w");
    if (f == nullptr)
        return false;
    const bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
    return fclose(f) == 0 && ok;
}

void remove_tree(const std::string& path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return;
    if (S_ISDIR(st.st_mode)) {
        if (DIR* d = opendir(path.c_str())) {
            std::vector<std::string> names;
            while (const dirent* e = readdir(d))
                if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, ".."))
                    names.push_back(e->d_name);
            closedir(d);
            for (const auto& n : names)
                remove_tree(path + "/" + n);
        }
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

// Runs argv and waits; its exit status, or 125 when it could not start.
int run_and_wait(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid < 0)
        die("cannot fork: %s", strerror(errno));
    if (pid == 0) {
        execv(argv[0], argv.data());
        fprintf(stderr, "camsim: cannot run %s: %s\n", argv[0], strerror(errno));
        _exit(kUsageStatus);
    }
    int status;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            die("cannot wait for %s: %s", argv[0], strerror(errno));
    return WIFEXITED(status) ? WEXITSTATUS(status) : kUsageStatus;
}

struct Paths {
    std::string sim, repo, build, bin, root, cwd;
    std::string nsdir() const { return root + "/.camsim-ns"; }
};

std::vector<std::string> root_job(const Paths& p, bool fresh, const char* verb)
{
    return {"/bin/bash", p.sim + "/camsim.d/root.sh", p.sim, p.build, p.root, fresh ? "1" : "0", verb};
}

// A namespace pinned by `up` is a bind mount of an nsfs file.
bool pinned(const Paths& p, const char* kind)
{
    struct statfs fs;
    return statfs((p.nsdir() + "/" + kind).c_str(), &fs) == 0 && fs.f_type == kNsfsMagic;
}

// The reaper of a pinned PID namespace still runs: its PID, kept in init,
// names a process whose children's namespace is the pinned one.
bool reaper_alive(const Paths& p)
{
    FILE* f = fopen((p.nsdir() + "/init").c_str(), "r");
    if (f == nullptr)
        return false;
    long pid = 0;
    const bool read = fscanf(f, "%ld", &pid) == 1;
    fclose(f);
    struct stat ns, pinned_ns;
    return read && pid > 0 &&
           stat(("/proc/" + std::to_string(pid) + "/ns/pid_for_children").c_str(), &ns) == 0 &&
           stat((p.nsdir() + "/pid").c_str(), &pinned_ns) == 0 && ns.st_ino == pinned_ns.st_ino &&
           ns.st_dev == pinned_ns.st_dev;
}

void apply_devices(const Paths& p, const Devices& d)
{
    const std::string vdsim = p.root + "/vdsim";
    if (d.mtd_given) {
        remove_tree(vdsim + "/mtd");
        for (size_t i = 0; i < d.partitions.size(); i++) {
            const auto& part = d.partitions[i];
            const std::string dir = vdsim + "/mtd/mtd" + std::to_string(i);
            make_dirs(dir);
            std::string bad;
            for (const auto& b : part.bad)
                bad += b + "\n";
            if (!write_file(dir + "/bad", bad) || (!part.fail.empty() && !write_file(dir + "/fail", part.fail + "\n")))
                die("cannot write the bad blocks of %s", dir.c_str());
        }
        make_dirs(p.root + "/proc");
        if (!write_file(p.root + "/proc/mtd", camsim::proc_mtd_text(d.partitions)))
            die("cannot write %s/proc/mtd", p.root.c_str());
    }
    if (d.cards) {
        auto job = root_job(p, false, "cards");
        job.insert(job.end(), d.cards->begin(), d.cards->end());
        if (const int status = run_and_wait(job))
            exit(status);
    }
    const std::string eeprom = vdsim + "/eeprom";
    make_dirs(eeprom);
    if (!d.eeprom_driver.empty() && !write_file(eeprom + "/driver", d.eeprom_driver + "\n"))
        die("cannot write %s/driver", eeprom.c_str());
    // Each --eeprom-fail replaces the fault before it.
    if (!d.eeprom_fail.empty()) {
        unlink((eeprom + "/fail-open").c_str());
        unlink((eeprom + "/fail-at").c_str());
        const bool ok = d.eeprom_fail == "none" ||
                        (d.eeprom_fail == "open" ? write_file(eeprom + "/fail-open", "")
                                                 : write_file(eeprom + "/fail-at", d.eeprom_fail + "\n"));
        if (!ok)
            die("cannot write the EEPROM's fault in %s", eeprom.c_str());
    }
}

// The root's sys, dev, proc and etc, parents before children.
void walk(const std::string& root, const std::string& rel, std::vector<camsim::TemplateEntry>& out)
{
    DIR* d = opendir((root + "/" + rel).c_str());
    if (d == nullptr)
        return;
    std::vector<std::string> names;
    while (const dirent* e = readdir(d))
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, ".."))
            names.push_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const auto& n : names) {
        const std::string path = rel + "/" + n;
        struct stat st;
        if (lstat((root + "/" + path).c_str(), &st) != 0)
            continue;
        const char type = S_ISDIR(st.st_mode) ? 'd' : S_ISREG(st.st_mode) ? 'f' : 'o';
        out.push_back({type, path});
        if (type == 'd')
            walk(root, path, out);
    }
}

LayoutFacts gather(const Paths& p, const std::string& trace_dir, bool own_proc)
{
    LayoutFacts f;
    f.root = p.root;
    for (const char* top : {"sys", "dev", "proc", "etc"})
        if (is_dir(p.root + "/" + top))
            walk(p.root, top, f.entries);
    for (const auto& q : camsim::layout_questions(f.entries)) {
        struct stat st;
        if (stat(q.c_str(), &st) != 0)
            continue;
        f.pc[q] = S_ISDIR(st.st_mode) ? Kind::kDir : Kind::kFile;
        if (S_ISDIR(st.st_mode)) {
            const std::string real = resolved(q);
            if (!real.empty() && real != q)
                f.real[q] = real;
        }
    }
    for (const auto& k : {p.root, p.build, p.repo, p.cwd}) {
        const std::string real = resolved(k);
        f.keep.push_back(real.empty() ? k : real);
    }
    for (const char* top : {"/mnt", "/opt", "/tmp", "/run", "/var"})
        if (is_dir(top))
            f.pc_tops.push_back(top);
    f.trace_dir = trace_dir;
    f.own_proc = own_proc;
    return f;
}

// --- applying the plan (in the child, inside the camera's namespaces) ---

[[noreturn]] void fail_step(const Step& step)
{
    const int err = errno;
    fprintf(stderr, "camsim: cannot %s: %s\n", camsim::describe(step).c_str(), strerror(err));
    _exit(kUsageStatus);
}

bool bind(const std::string& from, const std::string& to, bool recursive)
{
    return mount(from.c_str(), to.c_str(), nullptr, MS_BIND | (recursive ? MS_REC : 0), nullptr) == 0;
}

// The mount points strictly below dir, outermost first, from mountinfo.
std::vector<std::string> mounts_below(const std::string& dir)
{
    std::set<std::string> points;
    FILE* f = fopen("/proc/self/mountinfo", "r");
    if (f == nullptr)
        return {};
    char* line = nullptr;
    size_t size = 0;
    while (getline(&line, &size, f) > 0) {
        char field[PATH_MAX];
        if (sscanf(line, "%*s %*s %*s %*s %4095s", field) != 1)
            continue;
        // Octal escapes for space, tab, newline and backslash.
        std::string mp;
        for (const char* c = field; *c; c++) {
            if (c[0] == '\\' && c[1] >= '0' && c[1] <= '3' && c[2] && c[3]) {
                mp += static_cast<char>((c[1] - '0') * 64 + (c[2] - '0') * 8 + (c[3] - '0'));
                c += 3;
            } else {
                mp += *c;
            }
        }
        if (mp.size() > dir.size() + 1 && mp.compare(0, dir.size(), dir) == 0 && mp[dir.size()] == '/')
            points.insert(mp);
    }
    free(line);
    fclose(f);
    std::vector<std::string> outer;
    for (const auto& mp : points)
        if (outer.empty() || mp.compare(0, outer.back().size() + 1, outer.back() + "/") != 0)
            outer.push_back(mp);
    return outer;
}

// A PC directory made writable: an overlay whose upper half lives on the
// stage, with the mounts below the directory stood again on top; or, in a
// user namespace, which cannot overlay a directory with mounts below it, a
// tmpfs with each of the PC's entries bound back.
void layer(const Step& step, const std::string& stage, int n)
{
    const std::string& dir = step.a;
    const std::string halves = std::to_string(n);
    const std::string top = stage + "/" + halves + "/m";
    for (const char* half : {"", "/u", "/w", "/m"})
        if (mkdir((stage + "/" + halves + half).c_str(), 0755) != 0)
            fail_step(step);
    const UniqueFd lower(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (lower.get() < 0)
        fail_step(step);
    // Paths in overlay options cannot hold ':' or ',' (iio:device0), so the
    // lower half goes by descriptor and the others relative to the stage.
    const std::string options = "lowerdir=/proc/self/fd/" + std::to_string(lower.get()) + ",upperdir=" + halves +
                                "/u,workdir=" + halves + "/w";
    if (chdir(stage.c_str()) != 0)
        fail_step(step);
    if (mount("camsim", (halves + "/m").c_str(), "overlay", 0, options.c_str()) == 0) {
        for (const auto& mp : mounts_below(dir))
            if (!bind(mp, top + mp.substr(dir.size()), true))
                fail_step(step);
    } else {
        struct stat st;
        if (mount("camsim", top.c_str(), "tmpfs", 0, nullptr) != 0 || stat(dir.c_str(), &st) != 0 ||
            chmod(top.c_str(), st.st_mode & 07777) != 0)
            fail_step(step);
        DIR* d = opendir(dir.c_str());
        if (d == nullptr)
            fail_step(step);
        while (const dirent* e = readdir(d)) {
            if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0)
                continue;
            const std::string from = dir + "/" + e->d_name, to = top + "/" + e->d_name;
            struct stat est;
            if (lstat(from.c_str(), &est) != 0)
                continue;
            bool ok;
            if (S_ISLNK(est.st_mode)) {
                char target[PATH_MAX];
                const ssize_t len = readlink(from.c_str(), target, sizeof target - 1);
                ok = len >= 0 && (target[len] = 0, symlink(target, to.c_str()) == 0);
            } else if (S_ISDIR(est.st_mode)) {
                ok = mkdir(to.c_str(), 0755) == 0 && bind(from, to, true);
            } else {
                const int fd = open(to.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
                ok = fd >= 0 && close(fd) == 0 && bind(from, to, false);
            }
            if (!ok) {
                closedir(d);
                fail_step(step);
            }
        }
        closedir(d);
    }
    if (mount(top.c_str(), dir.c_str(), nullptr, MS_MOVE, nullptr) != 0)
        fail_step(step);
}

void apply(const Layout& layout)
{
    std::string stage;
    int layers = 0;
    for (const auto& s : layout.steps) {
        bool ok = true;
        switch (s.op) {
        case Step::kProc:
            ok = mount("camsim-proc", s.a.c_str(), "proc", 0, nullptr) == 0;
            break;
        case Step::kSysfs:
            ok = mount("camsim-sys", s.a.c_str(), "sysfs", 0, nullptr) == 0;
            break;
        case Step::kMkdirs:
            make_dirs(s.a);
            break;
        case Step::kStage:
            stage = s.a;
            make_dirs(s.a);
            ok = mount("camsim-stage", s.a.c_str(), "tmpfs", 0, nullptr) == 0;
            break;
        case Step::kLayer:
            layer(s, stage, ++layers);
            break;
        case Step::kMkdir:
            ok = mkdir(s.a.c_str(), 0755) == 0;
            break;
        case Step::kTouch: {
            const int fd = open(s.a.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            ok = fd >= 0 && close(fd) == 0;
            break;
        }
        case Step::kBind:
            ok = bind(s.a, s.b, false);
            break;
        case Step::kRbind:
            ok = bind(s.a, s.b, true);
            break;
        case Step::kUnstage:
            ok = umount2(s.a.c_str(), MNT_DETACH) == 0;
            break;
        }
        if (!ok)
            fail_step(s);
    }
}

// --- namespaces, the child and its signals ---

volatile sig_atomic_t g_child = 0;

// Passes a signal sent to camsim on to the command. A terminal sends its
// signals to the whole foreground group, the command included, so those
// (from the kernel) are not sent twice.
void forward(int sig, siginfo_t* info, void*)
{
    const int saved = errno;
    if (info->si_code != SI_KERNEL && g_child > 0)
        kill(static_cast<pid_t>(g_child), sig);
    errno = saved;
}

constexpr int kForwarded[] = {SIGINT, SIGTERM, SIGHUP};

void write_map(const char* file, const char* text)
{
    const int fd = open(file, O_WRONLY | O_CLOEXEC);
    const bool ok = fd >= 0 && write(fd, text, strlen(text)) == static_cast<ssize_t>(strlen(text));
    if (fd >= 0)
        close(fd);
    if (!ok)
        die("cannot map the user to root (%s): %s", file, strerror(errno));
}

// Maps the user to root in a user namespace of its own.
void become_root()
{
    const uid_t uid = getuid();
    const gid_t gid = getgid();
    if (unshare(CLONE_NEWUSER) != 0)
        die("cannot make a user namespace (run as root, or allow them): %s", strerror(errno));
    char map[64];
    write_map("/proc/self/setgroups", "deny");
    snprintf(map, sizeof map, "0 %u 1", static_cast<unsigned>(uid));
    write_map("/proc/self/uid_map", map);
    snprintf(map, sizeof map, "0 %u 1", static_cast<unsigned>(gid));
    write_map("/proc/self/gid_map", map);
}

void enter(const Paths& p, const char* kind, int type)
{
    const UniqueFd fd(open((p.nsdir() + "/" + kind).c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0 || setns(fd.get(), type) != 0)
        die("cannot enter the camera's %s namespace: %s", kind, strerror(errno));
}

bool on_path(const std::string& name, const std::string& path)
{
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(':', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string dir = end == start ? "." : path.substr(start, end - start);
        if (access((dir + "/" + name).c_str(), X_OK) == 0 && !is_dir(dir + "/" + name))
            return true;
        start = end + 1;
    }
    return false;
}

void set_env(const char* name, const std::string& value)
{
    setenv(name, value.c_str(), 1);
}

std::string joined(const std::string& first, const char* rest_var)
{
    const char* rest = getenv(rest_var);
    return rest && *rest ? first + ":" + rest : first;
}

bool has_shim(const std::string& build)
{
    const std::string dir = build + "/lib/shim/lib";
    DIR* d = opendir(dir.c_str());
    if (d == nullptr)
        return false;
    bool found = false;
    while (const dirent* e = readdir(d))
        found = found || (e->d_name[0] != '.' && exists(dir + "/" + e->d_name + "/libvdshim.so"));
    closedir(d);
    return found;
}

// What the camera's programs find in their environment.
void camera_env(const Paths& p, const std::string& camera_path, const std::string& trace)
{
    set_env("VDSIM_DIR", p.root + "/vdsim");
    set_env("CAMSIM_ROOT", p.root);
    set_env("PATH", camera_path);
    if (!trace.empty())
        set_env("VDSIM_TRACE", p.root + "/.camsim-trace/" + base_of(trace));
    // The devices the PC lacks, for every program of the camera. Under the
    // emulator the launcher hands the shim to the camera program alone; the
    // loader's $LIB picks the build of the shim that fits each program.
    if (has_shim(p.build)) {
        const std::string shim = p.build + "/lib/shim/$LIB/libvdshim.so";
        if (is_dir(p.build + "/emu"))
            set_env("CAMSIM_PRELOAD", shim);
        else
            set_env("LD_PRELOAD", joined(shim, "LD_PRELOAD"));
        // A sanitizer build's runtime would otherwise insist on coming first.
        set_env("ASAN_OPTIONS", joined("verify_asan_link_order=0", "ASAN_OPTIONS"));
    }
    // A build tree's debug finds the stand-ins through its rpath; an installed
    // one has none and finds them here, as the camera finds its own libraries.
    set_env("LD_LIBRARY_PATH", joined(p.build + "/lib", "LD_LIBRARY_PATH"));
}

int exit_status(int status)
{
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

#ifndef __has_feature
#define __has_feature(x) 0
#endif
#if defined(__SANITIZE_ADDRESS__) || __has_feature(address_sanitizer)
// The leak check at exit runs from a cloned tracer task, which after setns
// lands in the camera's PID namespace and never sees this process: it would
// hang there. Memory errors are still caught.
extern "C" const char* __asan_default_options()
{
    return "detect_leaks=0";
}
#endif

int main(int argc, char** argv)
{
    Options o = parse(argc, argv);
    Paths p;
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd) == nullptr)
        die("cannot tell the current directory: %s", strerror(errno));
    p.cwd = cwd;
    p.sim = dir_of(o.camsim);
    p.repo = dir_of(p.sim);
    p.build = resolved(absolute(o.build.empty() ? p.repo + "/build/default" : o.build, p.cwd));
    if (p.build.empty() || !is_dir(p.build))
        die("no build directory %s (build first, or pass --build)", o.build.c_str());
    if (!o.verb.empty()) {
        // The verbs are shell jobs: they set up what outlives a run.
        std::vector<std::string> job = {"/bin/bash",  p.sim + "/camsim.d/job.sh", o.camsim, p.build,
                                        o.root.empty() ? "" : absolute(o.root, p.cwd), o.fresh ? "1" : "0",
                                        o.verb};
        job.insert(job.end(), o.command.begin(), o.command.end());
        std::vector<char*> args;
        for (auto& a : job)
            args.push_back(a.data());
        args.push_back(nullptr);
        execv(args[0], args.data());
        die("cannot run %s: %s", job[1].c_str(), strerror(errno));
    }
    p.bin = is_dir(p.build + "/emu") ? p.build + "/emu" : p.build + "/bin";
    const std::string root_arg = lexical(absolute(o.root.empty() ? p.build + "/camroot" : o.root, p.cwd));
    make_dirs(dir_of(root_arg));
    p.root = resolved(root_arg);
    if (p.root.empty())
        p.root = resolved(dir_of(root_arg)) + "/" + base_of(root_arg);
    const std::string parent = dir_of(p.root);

    // A trace named relative to the caller stays the PC's file.
    std::string trace;
    if (const char* t = getenv("VDSIM_TRACE"); t && *t) {
        const std::string named = lexical(absolute(t, p.cwd));
        const std::string dir = resolved(dir_of(named));
        if (dir.empty() || !is_dir(dir))
            die("VDSIM_TRACE: no directory %s on the PC", dir_of(named).c_str());
        trace = (dir == "/" ? "" : dir) + "/" + base_of(named);
    }

    // Making, refreshing and entering a root are serialised by a lock on its
    // parent: a run shares it until its mounts are made, so no run enters a
    // half-swapped root.
    const int lock = open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (lock < 0 || flock(lock, LOCK_SH) != 0)
        die("cannot lock %s: %s", parent.c_str(), strerror(errno));
    if (o.fresh || !exists(p.root + "/.camsim-root")) {
        flock(lock, LOCK_EX);
        if (o.fresh && (pinned(p, "ipc") || pinned(p, "net")))
            die("the camera at %s is up; take it down first (camsim down)", p.root.c_str());
        if (const int status = run_and_wait(root_job(p, o.fresh, "make")))
            exit(status);
        flock(lock, LOCK_SH);
    }
    apply_devices(p, o.devices);

    const bool ipc_up = pinned(p, "ipc");
    const bool net_up = pinned(p, "net");
    const bool as_root = geteuid() == 0;
    if ((ipc_up || net_up) && !as_root)
        die("the camera at %s is up; entering it needs root", p.root.c_str());
    if (net_up && !reaper_alive(p))
        die("the camera at %s lost its first process; camsim down, then up --net again", p.root.c_str());

    // The camera keeps its scripts in /opt/app.
    const char* pc_path = getenv("PATH");
    const std::string camera_path = p.bin + ":/opt/app:" + p.root + "/bin" + (pc_path ? ":" + std::string(pc_path) : "");
    if (o.command.empty())
        o.command.push_back(getenv("SHELL") && *getenv("SHELL") ? getenv("SHELL") : "/bin/sh");
    // A mistyped verb is not taken for a program that does not exist.
    const std::string& word = o.command[0];
    if (!o.dashdash && word.find('/') == std::string::npos &&
        !on_path(word, p.bin + ":" + p.root + "/opt/app:" + p.root + "/bin" + (pc_path ? ":" + std::string(pc_path) : "")))
        die("%s: no such command or program (camsim up, down, status, list, peer, segment, "
            "or -- PROGRAM; see camsim --help)", word.c_str());

    const Layout layout = camsim::plan_layout(gather(p, trace.empty() ? "" : dir_of(trace), net_up));
    if (!layout.error.empty())
        die("%s", layout.error.c_str());

    if (!ipc_up && !net_up && !as_root)
        become_root();
    if (ipc_up)
        enter(p, "ipc", CLONE_NEWIPC);
    if (net_up) {
        enter(p, "net", CLONE_NEWNET);
        enter(p, "uts", CLONE_NEWUTS);
        enter(p, "pid", CLONE_NEWPID);
    }
    // Off the network the camera has loopback alone: nothing it does reaches
    // the PC's interfaces, routes or host name.
    const int fresh_ns = CLONE_NEWNS | (ipc_up ? 0 : CLONE_NEWIPC) | (net_up ? 0 : CLONE_NEWNET | CLONE_NEWUTS);
    if (unshare(fresh_ns) != 0)
        die("cannot make the camera's namespaces: %s", strerror(errno));
    if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        die("cannot make the camera's mounts private: %s", strerror(errno));

    sigset_t forwarded, old_mask;
    sigemptyset(&forwarded);
    for (const int sig : kForwarded)
        sigaddset(&forwarded, sig);
    sigprocmask(SIG_BLOCK, &forwarded, &old_mask);
    int alive[2];
    if (pipe2(alive, O_CLOEXEC) != 0)
        die("cannot make a pipe: %s", strerror(errno));
    const pid_t child = fork();
    if (child < 0)
        die("cannot fork: %s", strerror(errno));
    if (child == 0) {
        // The command never outlives camsim, even a camsim killed outright;
        // a camsim gone before this line leaves the pipe without a writer.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        close(alive[1]);
        pollfd gone{alive[0], POLLIN, 0};
        if (poll(&gone, 1, 0) == 1)
            _exit(kUsageStatus);
        close(alive[0]);
        sigprocmask(SIG_SETMASK, &old_mask, nullptr);
        apply(layout);
        // Unlocked, not only closed: the parent holds a copy of the descriptor.
        flock(lock, LOCK_UN);
        close(lock);
        camera_env(p, camera_path, trace);
        if (chdir(p.cwd.c_str()) != 0)
            fprintf(stderr, "camsim: cannot enter %s in the camera: %s\n", p.cwd.c_str(), strerror(errno));
        std::vector<char*> args;
        for (auto& a : o.command)
            args.push_back(a.data());
        args.push_back(nullptr);
        execvp(args[0], args.data());
        const int err = errno;
        fprintf(stderr, "camsim: %s: %s\n", args[0], strerror(err));
        _exit(err == ENOENT ? 127 : 126);
    }
    close(alive[0]);
    close(lock);
    g_child = child;
    struct sigaction sa {};
    sa.sa_sigaction = forward;
    sa.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&sa.sa_mask);
    for (const int sig : kForwarded)
        sigaction(sig, &sa, nullptr);
    sigprocmask(SIG_SETMASK, &old_mask, nullptr);
    int status;
    while (waitpid(child, &status, 0) < 0)
        if (errno != EINTR)
            die("cannot wait for the command: %s", strerror(errno));
    return exit_status(status);
}
