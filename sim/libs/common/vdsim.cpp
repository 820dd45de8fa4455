// vdsim.cpp — state files and call trace of the stand-in libraries.
#include "vdsim.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vdsim {
namespace {

// Appends to a fixed buffer and counts what did not fit, so a caller can
// measure a rendering first and then make room for it.
struct Sink {
    char* out;
    size_t size;
    size_t len;

    void put(char c)
    {
        if (len + 1 < size) {
            out[len] = c;
            out[len + 1] = '\0';
        }
        ++len;
    }
    void put(const char* s)
    {
        while (*s != '\0')
            put(*s++);
    }
};

void put_quoted(Sink& sink, const char* s, size_t size)
{
    sink.put('"');
    for (size_t i = 0; i < size && s[i] != '\0'; ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        switch (c) {
        case '"': sink.put("\\\""); break;
        case '\\': sink.put("\\\\"); break;
        case '\n': sink.put("\\n"); break;
        case '\r': sink.put("\\r"); break;
        case '\t': sink.put("\\t"); break;
        default:
            if (c < 0x20 || c >= 0x7f) {
                char esc[8];
                snprintf(esc, sizeof esc, "\\%03o", c);
                sink.put(esc);
            } else {
                sink.put(static_cast<char>(c));
            }
        }
    }
    sink.put('"');
}

bool write_all(int fd, const char* data, size_t size)
{
    size_t done = 0;
    while (done < size) {
        ssize_t n = write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            errno = EIO;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Makes the directories above path; 0, or the errno of the first one that
// could not be made (that, not ENOENT, says why a file below cannot be).
int make_parents(char* path)
{
    int err = 0;
    for (char* slash = strchr(path + 1, '/'); slash != nullptr; slash = strchr(slash + 1, '/')) {
        *slash = '\0';
        if (mkdir(path, 0755) != 0 && errno != EEXIST && err == 0)
            err = errno;
        *slash = '/';
    }
    return err;
}

size_t render_call(char* out, size_t size, const char* name, std::initializer_list<TraceArg> args)
{
    Sink sink{out, size, 0};
    if (size > 0)
        out[0] = '\0';
    sink.put(name);
    sink.put('(');
    const char* sep = "";
    for (const TraceArg& a : args) {
        sink.put(sep);
        size_t room = sink.len < size ? size - sink.len : 0;
        sink.len += a.render(room > 0 ? out + sink.len : nullptr, room);
        sep = ", ";
    }
    sink.put(")\n");
    return sink.len;
}

}  // namespace

TraceArg TraceArg::field_text(const char* s, size_t size)
{
    TraceArg a(kText);
    a.text_ = s;
    a.size_ = size;
    return a;
}

TraceArg TraceArg::bytes(const void* data, size_t size)
{
    TraceArg a(kBytes);
    a.text_ = static_cast<const char*>(data);
    a.size_ = size;
    return a;
}

TraceArg TraceArg::record(std::initializer_list<TraceField> fields)
{
    TraceArg a(kRecord);
    a.fields_ = fields.begin();
    a.size_ = fields.size();
    return a;
}

size_t TraceArg::render(char* out, size_t size) const
{
    Sink sink{out, out != nullptr ? size : 0, 0};
    if (sink.size > 0)
        out[0] = '\0';
    char number[32];
    switch (kind_) {
    case kSigned:
        snprintf(number, sizeof number, "%lld", signed_);
        sink.put(number);
        break;
    case kUnsigned:
        snprintf(number, sizeof number, "%llu", unsigned_);
        sink.put(number);
        break;
    case kText:
        if (text_ == nullptr)
            sink.put("NULL");
        else
            put_quoted(sink, text_, size_);
        break;
    case kBytes:
        sink.put('<');
        for (size_t i = 0; i < size_; ++i) {
            snprintf(number, sizeof number, "%02x", static_cast<unsigned char>(text_[i]));
            sink.put(number);
        }
        sink.put('>');
        break;
    case kRecord:
        sink.put('{');
        for (size_t i = 0; i < size_; ++i) {
            if (i > 0)
                sink.put(", ");
            sink.put(fields_[i].name);
            sink.put('=');
            size_t room = sink.len < sink.size ? sink.size - sink.len : 0;
            sink.len += fields_[i].value.render(room > 0 ? out + sink.len : nullptr, room);
        }
        sink.put('}');
        break;
    }
    return sink.len;
}

void trace(const char* name, std::initializer_list<TraceArg> args)
{
    const char* path = getenv("VDSIM_TRACE");
    if (path == nullptr || *path == '\0')
        return;
    char small[1024];
    char* line = small;
    size_t len = render_call(small, sizeof small, name, args);
    if (len >= sizeof small) {
        line = static_cast<char*>(malloc(len + 1));
        if (line == nullptr)
            return;
        render_call(line, len + 1, name, args);
    }
    // One append per line: calls from several threads or processes never mix.
    int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd >= 0) {
        write_all(fd, line, len);
        close(fd);
    }
    if (line != small)
        free(line);
}

bool state_path(const char* relative, char* out, size_t size)
{
    const char* dir = getenv("VDSIM_DIR");
    if (dir == nullptr || *dir == '\0')
        return false;
    int n = snprintf(out, size, "%s/%s", dir, relative);
    return n > 0 && static_cast<size_t>(n) < size;
}

long state_read(const char* relative, void* buf, size_t size)
{
    char path[4096];
    if (!state_path(relative, path, sizeof path))
        return -1;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    size_t done = 0;
    while (done < size) {
        ssize_t n = read(fd, static_cast<char*>(buf) + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            close(fd);
            return -1;
        }
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    close(fd);
    return static_cast<long>(done);
}

long state_int(const char* relative, long fallback)
{
    char text[64];
    long n = state_read(relative, text, sizeof text - 1);
    if (n <= 0)
        return fallback;
    text[n] = '\0';
    char* end = nullptr;
    errno = 0;
    long value = strtol(text, &end, 10);
    return (end == text || errno == ERANGE) ? fallback : value;
}

bool state_write(const char* relative, const void* data, size_t size)
{
    char path[4096];
    char tmp[4200];
    if (!state_path(relative, path, sizeof path)) {
        const char* dir = getenv("VDSIM_DIR");
        report_unsaved(relative, dir == nullptr || *dir == '\0' ? "VDSIM_DIR is not set" : "name too long");
        return false;
    }
    int parents = make_parents(path);
    snprintf(tmp, sizeof tmp, "%s.tmp%d", path, static_cast<int>(getpid()));
    int fd = open(tmp, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (errno == ENOENT && parents != 0)
            errno = parents;
        report_unsaved(relative, strerror(errno));
        return false;
    }
    int err = write_all(fd, static_cast<const char*>(data), size) ? 0 : errno;
    if (close(fd) != 0 && err == 0)
        err = errno;
    // The rename makes the new state appear whole or not at all.
    if (err == 0 && rename(tmp, path) != 0)
        err = errno;
    if (err != 0) {
        unlink(tmp);
        report_unsaved(relative, strerror(err));
        errno = err;
        return false;
    }
    return true;
}

bool set_state_int(const char* relative, long value)
{
    char text[32];
    int n = snprintf(text, sizeof text, "%ld\n", value);
    return state_write(relative, text, static_cast<size_t>(n));
}

void report_unsaved(const char* what, const char* why)
{
    int saved = errno;
    char line[512];
    int n = snprintf(line, sizeof line, "vdsim: cannot save %s: %s\n", what, why);
    if (n > 0) {
        size_t len = static_cast<size_t>(n);
        // A line cut to fit still ends as a line.
        if (len >= sizeof line) {
            len = sizeof line - 1;
            line[len - 1] = '\n';
        }
        // One write: the line never mixes with the caller's own output.
        write_all(STDERR_FILENO, line, len);
    }
    errno = saved;
}

bool state_exists(const char* relative)
{
    char path[4096];
    return state_path(relative, path, sizeof path) && access(path, F_OK) == 0;
}

}  // namespace vdsim
