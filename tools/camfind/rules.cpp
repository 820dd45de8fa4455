// rules.cpp — camfind's pure rules (see rules.h).
#include "rules.h"

#include <string.h>

using namespace discovery;

namespace camfind {

namespace {

// A field of the line up to the next comma or its end, as a terminated copy.
const char* take_field(const char* p, char* out, size_t size, bool* fits)
{
    size_t n = strcspn(p, ",");
    *fits = n < size;
    if (*fits) {
        memcpy(out, p, n);
        out[n] = '\0';
    }
    return p + n;
}

// A quoted title: "" stands for one quote, and the closing quote ends the line.
bool unquote(const char* p, char* out, size_t size, bool* too_long)
{
    size_t used = 0;
    *too_long = false;
    for (++p;; ++p) {
        if (*p == '\0')
            return false;
        if (*p == '"') {
            if (p[1] != '"')
                break;
            ++p;
        }
        if (used + 1 == size) {
            *too_long = true;
            return true;
        }
        out[used++] = *p;
    }
    out[used] = '\0';
    return p[1] == '\0';
}

}  // namespace

LineRead parse_plan_line(const char* line, PlanLine* out)
{
    char text[kQuadTextSize * 2];
    size_t len = strlen(line);
    if (len > 0 && line[len - 1] == '\r')
        --len;
    char whole[kPlanLineSize];
    if (len >= sizeof whole)
        return {LineKind::kBad, "line too long"};
    memcpy(whole, line, len);
    whole[len] = '\0';
    if (whole[strspn(whole, " \t")] == '\0' || whole[0] == '#')
        return {LineKind::kSkip, nullptr};

    memset(out, 0, sizeof *out);
    bool fits;
    const char* p = take_field(whole, text, sizeof text, &fits);
    if (*p != ',')
        return {LineKind::kBad, "not MAC,ADDRESS[,TITLE]"};
    if (!fits || !parse_mac(text, out->mac))
        return {LineKind::kBad, "not a MAC (six hex pairs with ':')"};
    p = take_field(p + 1, text, sizeof text, &fits);
    uint8_t q[4];
    if (!fits || !parse_quad(text, q))
        return {LineKind::kBad, "not an IPv4 address (four numbers 0..255 with dots)"};
    out->address = quad_value(q);
    if (*p == '\0')
        return {LineKind::kEntry, nullptr};
    ++p;
    bool too_long = strlen(p) >= sizeof out->title;
    if (*p == '"') {
        if (!unquote(p, out->title, sizeof out->title, &too_long))
            return {LineKind::kBad, "a quoted title must end the line with its quote"};
    } else if (!too_long) {
        strcpy(out->title, p);
    }
    if (too_long)
        return {LineKind::kBad, "the title is longer than 127 characters"};
    if (out->title[0] == '\0')
        return {LineKind::kBad, "the title is empty (leave out its comma to keep the camera's)"};
    if (strchr(out->title, ';') != nullptr)
        return {LineKind::kBad, "the title contains ';'"};
    return {LineKind::kEntry, nullptr};
}

long plan_duplicate(const PlanLine* lines, size_t n, const PlanLine& next, bool* same_mac)
{
    for (size_t i = 0; i < n; ++i) {
        *same_mac = memcmp(lines[i].mac, next.mac, kMacLen) == 0;
        if (*same_mac || lines[i].address == next.address)
            return static_cast<long>(i);
    }
    return -1;
}

uint32_t quad_value(const uint8_t q[4])
{
    return uint32_t{q[0]} << 24 | uint32_t{q[1]} << 16 | uint32_t{q[2]} << 8 | q[3];
}

void value_quad(uint32_t v, uint8_t q[4])
{
    for (int i = 0; i < 4; ++i)
        q[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

bool parse_range(const char* text, uint32_t* first, uint32_t* last)
{
    const char* dash = strchr(text, '-');
    char head[kQuadTextSize * 2];
    size_t n = dash ? static_cast<size_t>(dash - text) : 0;
    uint8_t a[4], b[4];
    if (dash == nullptr || n >= sizeof head)
        return false;
    memcpy(head, text, n);
    head[n] = '\0';
    if (!parse_quad(head, a) || !parse_quad(dash + 1, b))
        return false;
    *first = quad_value(a);
    *last = quad_value(b);
    return *first <= *last;
}

bool plan_range(uint32_t first, uint32_t last, RangeSlot* slots, size_t n, uint64_t* free)
{
    auto kept_by_earlier = [&](size_t upto, uint32_t a) {
        for (size_t j = 0; j < upto; ++j) {
            if (slots[j].kept && slots[j].next == a)
                return true;
        }
        return false;
    };
    size_t kept = 0;
    for (size_t i = 0; i < n; ++i) {
        RangeSlot& s = slots[i];
        s.kept = s.has_current && s.current >= first && s.current <= last && !kept_by_earlier(i, s.current);
        s.next = s.current;
        kept += s.kept;
    }
    *free = uint64_t{last} - first + 1 - kept;
    if (*free < n - kept)
        return false;
    // 64 bits, so that a range ending at 255.255.255.255 ends the walk.
    uint64_t at = first;
    for (size_t i = 0; i < n; ++i) {
        if (slots[i].kept)
            continue;
        while (kept_by_earlier(n, static_cast<uint32_t>(at)))
            ++at;
        slots[i].next = static_cast<uint32_t>(at++);
    }
    return true;
}

void mark_conflicts(Holder* h, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        h[i].conflict = false;
    for (size_t i = 0; i < n; ++i) {
        for (size_t j = i + 1; j < n && h[i].has_address; ++j) {
            if (h[j].has_address && h[j].link == h[i].link && h[j].address == h[i].address)
                h[i].conflict = h[j].conflict = true;
        }
    }
}

bool csv_field(const char* text, char* out, size_t size)
{
    bool quote = strpbrk(text, ",\"\r\n") != nullptr;
    size_t used = 0;
    auto put = [&](char c) {
        if (used + 1 >= size)
            return false;
        out[used++] = c;
        return true;
    };
    if (quote && !put('"'))
        return false;
    for (const char* p = text; *p != '\0'; ++p) {
        if ((*p == '"' && !put('"')) || !put(*p))
            return false;
    }
    if (quote && !put('"'))
        return false;
    if (size == 0)
        return false;
    out[used] = '\0';
    return true;
}

WatchEvent watch_step(Watched* w, const char* address, char old[kWatchAddressSize])
{
    if (address == nullptr) {
        if (!w->present || ++w->missed < 2)
            return WatchEvent::kNone;
        w->present = false;
        return WatchEvent::kLeft;
    }
    w->missed = 0;
    char now[kWatchAddressSize];
    strncpy(now, address, sizeof now - 1);
    now[sizeof now - 1] = '\0';
    WatchEvent e = !w->present ? WatchEvent::kCame
                   : strcmp(now, w->address) != 0 ? WatchEvent::kMoved
                                                   : WatchEvent::kNone;
    if (e == WatchEvent::kMoved)
        memcpy(old, w->address, kWatchAddressSize);
    w->present = true;
    memcpy(w->address, now, sizeof now);
    return e;
}

}  // namespace camfind
