// vdsim.h — what every stand-in library of the simulated camera shares: its
// state files under VDSIM_DIR and the call trace named by VDSIM_TRACE.
//
// The camera's libraries are plain C, so the stand-ins link without the C++
// runtime: nothing here allocates through new or needs libstdc++.
#pragma once

#include <stddef.h>

#include <initializer_list>

namespace vdsim {

struct TraceField;

// One argument of a traced call, rendered when the line is written: a decimal
// integer, a quoted text with C escapes, bytes in hex, or a record
// {field=value, ...}. It only points at what it shows, so it lives no longer
// than the call that traces it.
class TraceArg {
public:
    TraceArg(int v) : kind_(kSigned), signed_(v) {}
    TraceArg(long v) : kind_(kSigned), signed_(v) {}
    TraceArg(long long v) : kind_(kSigned), signed_(v) {}
    TraceArg(unsigned v) : kind_(kUnsigned), unsigned_(v) {}
    TraceArg(unsigned long v) : kind_(kUnsigned), unsigned_(v) {}
    TraceArg(unsigned long long v) : kind_(kUnsigned), unsigned_(v) {}
    TraceArg(const char* s) : kind_(kText), text_(s), size_(static_cast<size_t>(-1)) {}
    // A text field of a fixed-size record: at most size bytes, up to a NUL.
    static TraceArg field_text(const char* s, size_t size);
    // Raw bytes as one run of lower-case hex digits between < and >.
    static TraceArg bytes(const void* data, size_t size);
    static TraceArg record(std::initializer_list<TraceField> fields);

    // Appends the rendering to out (at most size bytes with its NUL, cut to
    // fit); returns the length the whole rendering needs.
    size_t render(char* out, size_t size) const;

private:
    enum Kind { kSigned, kUnsigned, kText, kBytes, kRecord };
    TraceArg(Kind kind) : kind_(kind) {}
    Kind kind_;
    long long signed_ = 0;
    unsigned long long unsigned_ = 0;
    const char* text_ = nullptr;
    size_t size_ = 0;
    const TraceField* fields_ = nullptr;
};

struct TraceField {
    const char* name;
    TraceArg value;
};

// Appends "name(arg, arg, ...)" as one line to the trace file, if any.
void trace(const char* name, std::initializer_list<TraceArg> args = {});

// VDSIM_DIR/relative in out; false when VDSIM_DIR is unset or it does not fit.
bool state_path(const char* relative, char* out, size_t size);
// The integer kept in a state file, or fallback when there is none.
long state_int(const char* relative, long fallback);
// Replaces a state file atomically, making its directories; false, after
// report_unsaved, when it cannot.
bool set_state_int(const char* relative, long value);
// Reads at most size bytes of a state file; its length read, or -1 when it is
// missing or unreadable.
long state_read(const char* relative, void* buf, size_t size);
// Replaces a state file atomically with size bytes, making its directories;
// false, after report_unsaved, when it cannot.
bool state_write(const char* relative, const void* data, size_t size);
// Says in one line on standard error that a device's state was not saved:
// "vdsim: cannot save WHAT: WHY". A stand-in that says so fails its call, so
// an operator never sees success for a change the device did not keep.
void report_unsaved(const char* what, const char* why);
// Whether a state file exists (tests create flag files to steer a device).
bool state_exists(const char* relative);

}  // namespace vdsim
