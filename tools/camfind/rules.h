// rules.h — camfind's pure rules: reading a plan file's line, planning a
// range of addresses, finding cameras that share one, quoting a CSV field
// and telling when a watched camera came, moved or left. No sockets, no
// files, no output.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "discovery.h"

namespace camfind {

using discovery::kMacLen;

// One line of a plan file: MAC,ADDRESS[,TITLE]. The title runs to the end
// of the line, commas and all, or is one RFC 4180 quoted field.
struct PlanLine {
    uint8_t mac[kMacLen];
    uint32_t address;                   // first part in the high byte
    char title[discovery::kFieldSize];  // empty: the camera keeps its own
};
constexpr size_t kPlanLineSize = 512;
enum class LineKind { kEntry, kSkip, kBad };
struct LineRead {
    LineKind kind;
    const char* why;  // kBad: what is wrong, for "FILE:LINE: why"
};
// A line without its line feed, shorter than kPlanLineSize; a blank line or one starting with '#' is
// skipped, a carriage return at its end ignored.
LineRead parse_plan_line(const char* line, PlanLine* out);
// The first of the n lines before that has next's MAC or address, or -1.
long plan_duplicate(const PlanLine* lines, size_t n, const PlanLine& next, bool* same_mac);

// FIRST-LAST, two addresses, FIRST not after LAST.
bool parse_range(const char* text, uint32_t* first, uint32_t* last);
uint32_t quad_value(const uint8_t q[4]);
void value_quad(uint32_t v, uint8_t q[4]);

// One camera of a range plan, in MAC order.
struct RangeSlot {
    uint32_t current;
    bool has_current;  // false: its address is no dotted quad
    uint32_t next;     // out: the address it ends with
    bool kept;         // out: it keeps the one it has
};
// A camera inside [first, last] keeps its address unless an earlier camera
// keeps that one; the others take the lowest free addresses in MAC order.
// False, with *free the free addresses, when there are fewer than cameras
// to move; then the slots' outputs mean nothing.
bool plan_range(uint32_t first, uint32_t last, RangeSlot* slots, size_t n, uint64_t* free);

// A camera of a listing: cameras on one link with one address conflict.
struct Holder {
    size_t link;
    uint32_t address;
    bool has_address;
    bool conflict;  // out
};
void mark_conflicts(Holder* h, size_t n);

// An RFC 4180 field: quoted when it holds ',', '"', CR or LF, its quotes
// doubled. False when out has no room for it.
bool csv_field(const char* text, char* out, size_t size);

// A watched camera over the periods of --watch. It leaves only after two
// periods in a row without a reply, so that one lost reply does not flap.
constexpr size_t kWatchAddressSize = 64;
struct Watched {
    bool present;
    unsigned missed;
    char address[kWatchAddressSize];
};
enum class WatchEvent { kNone, kCame, kMoved, kLeft };
// After one period: address is what it answered, or null for no answer.
// A move leaves the address it had in old.
WatchEvent watch_step(Watched* w, const char* address, char old[kWatchAddressSize]);

}  // namespace camfind
