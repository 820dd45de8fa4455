// camfind.h — what camfind's verbs share: its error line, the rows it
// prints (output.cpp) and the links it searches on, one socket per
// interface (link.cpp).
#pragma once

#include <errno.h>
#include <net/if.h>
#include <poll.h>
#include <signal.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <linux/if_packet.h>

#include "discovery.h"
#include "owners.h"

namespace camfind {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr size_t kFrameRoom = 2048;

enum class Format { kText, kJson, kCsv };
// A listing's columns. A null value is an unknown one: `?` in text, empty
// in CSV, null in JSON.
enum class Kind {
    kText,        // a text of the camera
    kNumber,      // digits
    kFlag,        // set (non-null) or not: its key or `-`, JSON true or false
    kJsonNumber,  // in JSON alone
    kJsonMark,    // in JSON alone, and only when set: "key":true
};
struct Column {
    const char* key;
    Kind kind;
};
// A camera's text on a terminal: control bytes and backslashes escaped.
void put_text(const char* s);
// A JSON string, quotes and all.
void put_json_string(const char* s);
// The header row: always in CSV, in text only on a terminal, never in JSON.
void print_header(Format format, const Column* columns, size_t n);
// One row of n values; result, when given, comes first.
void print_row(Format format, const Column* columns, size_t n, const char* const* v, const char* result);

// "camfind: message" on standard error.
__attribute__((format(printf, 1, 2))) void error(const char* format, ...);

long long now_ms();

struct Link {
    UniqueFd sock;
    int ifindex = 0;
    char name[IF_NAMESIZE] = {};
    uint8_t mac[discovery::kMacLen] = {};
};

// More interfaces than this on one PC are not searched, and camfind says so.
constexpr size_t kMaxLinks = 32;
struct Links {
    Link link[kMaxLinks];
    size_t count = 0;
};

enum class LinkKind { kRaw, kPlanet };
// iface, or with none every Ethernet interface that is up: loopback and the
// ports of a bridge or bond aside, since their master carries their frames.
bool open_links(const char* iface, LinkKind kind, Links* links);
// A raw frame out of one link, padded to the least an Ethernet frame holds.
bool send_frame(const Link& link, uint8_t* frame, size_t len, size_t room);
// A search request out of every link.
bool send_search(const Links& links, const uint8_t dst[discovery::kMacLen]);
// A planet datagram broadcast out of one link.
bool planet_send(const Link& link, const uint8_t* data, size_t len);

// Set by SIGINT or SIGTERM once watch_signals() has run; a wait in receive()
// then ends at once.
extern volatile sig_atomic_t g_stop;
void watch_signals();
// The signals that may come during a wait: all but those held for it.
extern const sigset_t* g_wait_mask;

// Hands every datagram or frame that arrives on the links within ms to
// take(link index, bytes, length), until take says it has what it waited
// for or a stop is asked. Frames the host sent itself are skipped.
template <typename Take>
bool receive(const Links& links, unsigned ms, Take take)
{
    long long end = now_ms() + ms;
    uint8_t buf[kFrameRoom];
    pollfd p[kMaxLinks];
    for (size_t i = 0; i < links.count; ++i)
        p[i] = {links.link[i].sock.get(), POLLIN, 0};
    while (!g_stop) {
        long long left = end - now_ms();
        if (left <= 0)
            return true;
        timespec wait = {static_cast<time_t>(left / 1000), static_cast<long>(left % 1000) * 1000000};
        if (ppoll(p, links.count, &wait, g_wait_mask) < 0 && errno != EINTR) {
            error("poll: %s", strerror(errno));
            return false;
        }
        // Everything queued, before the next wait.
        for (size_t i = 0; i < links.count; ++i) {
            for (;;) {
                sockaddr_ll from{};
                socklen_t fromlen = sizeof from;
                ssize_t n = recvfrom(p[i].fd, buf, sizeof buf, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from),
                                     &fromlen);
                if (n < 0) {
                    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                        break;
                    error("receive: %s", strerror(errno));
                    return false;
                }
                if (from.sll_family == AF_PACKET && from.sll_pkttype == PACKET_OUTGOING)
                    continue;
                if (take(i, static_cast<const uint8_t*>(buf), static_cast<size_t>(n)))
                    return true;
            }
        }
    }
    return true;
}

}  // namespace camfind
