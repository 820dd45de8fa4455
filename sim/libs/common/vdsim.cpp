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

std::string quote(const char* s, size_t size)
{
    std::string out = "\"";
    for (size_t i = 0; i < size && s[i] != '\0'; ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c >= 0x7f) {
                char esc[8];
                snprintf(esc, sizeof esc, "\\%03o", c);
                out += esc;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

bool write_all(int fd, const std::string& data)
{
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

void make_parents(const std::string& path)
{
    for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1))
        mkdir(path.substr(0, at).c_str(), 0755);
}

}  // namespace

TraceArg::TraceArg(const char* s) : text_(s ? quote(s, static_cast<size_t>(-1)) : "NULL") {}

TraceArg TraceArg::field_text(const char* s, size_t size)
{
    TraceArg a;
    a.text_ = quote(s, size);
    return a;
}

TraceArg TraceArg::record(std::initializer_list<std::pair<const char*, TraceArg>> fields)
{
    TraceArg a;
    a.text_ = "{";
    const char* sep = "";
    for (const auto& f : fields) {
        a.text_ += sep;
        a.text_ += f.first;
        a.text_ += '=';
        a.text_ += f.second.text_;
        sep = ", ";
    }
    a.text_ += '}';
    return a;
}

void trace(const char* name, std::initializer_list<TraceArg> args)
{
    const char* path = getenv("VDSIM_TRACE");
    if (path == nullptr || *path == '\0')
        return;
    std::string line = name;
    line += '(';
    const char* sep = "";
    for (const TraceArg& a : args) {
        line += sep;
        line += a.text();
        sep = ", ";
    }
    line += ")\n";
    int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    write_all(fd, line);
    close(fd);
}

std::string state_path(const std::string& relative)
{
    const char* dir = getenv("VDSIM_DIR");
    if (dir == nullptr || *dir == '\0')
        return {};
    return std::string(dir) + "/" + relative;
}

long state_int(const std::string& relative, long fallback)
{
    std::string path = state_path(relative);
    if (path.empty())
        return fallback;
    FILE* f = fopen(path.c_str(), "re");
    if (f == nullptr)
        return fallback;
    long value = fallback;
    if (fscanf(f, "%ld", &value) != 1)
        value = fallback;
    fclose(f);
    return value;
}

bool set_state_int(const std::string& relative, long value)
{
    std::string path = state_path(relative);
    if (path.empty())
        return false;
    make_parents(path);
    std::string tmp = path + ".tmp" + std::to_string(getpid());
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    bool ok = write_all(fd, std::to_string(value) + "\n");
    ok = (close(fd) == 0) && ok;
    if (!ok || rename(tmp.c_str(), path.c_str()) != 0) {
        unlink(tmp.c_str());
        return false;
    }
    return true;
}

}  // namespace vdsim
