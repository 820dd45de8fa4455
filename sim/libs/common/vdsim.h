// vdsim.h — what every stand-in library of the simulated camera shares: its
// state files under VDSIM_DIR and the call trace named by VDSIM_TRACE.
#pragma once

#include <stddef.h>

#include <initializer_list>
#include <string>
#include <utility>

namespace vdsim {

// One rendered argument of a traced call: a decimal integer, a quoted text
// with C escapes, or a record {field=value, ...}.
class TraceArg {
public:
    TraceArg(int v) : text_(std::to_string(v)) {}
    TraceArg(unsigned v) : text_(std::to_string(v)) {}
    TraceArg(long v) : text_(std::to_string(v)) {}
    TraceArg(unsigned long v) : text_(std::to_string(v)) {}
    TraceArg(long long v) : text_(std::to_string(v)) {}
    TraceArg(unsigned long long v) : text_(std::to_string(v)) {}
    TraceArg(const char* s);
    // A text field of a fixed-size record: at most size bytes, up to a NUL.
    static TraceArg field_text(const char* s, size_t size);
    static TraceArg record(std::initializer_list<std::pair<const char*, TraceArg>> fields);
    const std::string& text() const { return text_; }

private:
    TraceArg() = default;
    std::string text_;
};

// Appends "name(arg, arg, ...)" as one line to the trace file, if any.
void trace(const char* name, std::initializer_list<TraceArg> args = {});

// Path of a state file below VDSIM_DIR ("" when it is not set).
std::string state_path(const std::string& relative);
// The integer kept in a state file, or fallback when there is none.
long state_int(const std::string& relative, long fallback);
// Replaces a state file atomically, making its directories; false on error.
bool set_state_int(const std::string& relative, long value);

}  // namespace vdsim
