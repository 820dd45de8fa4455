// camfind.cpp — the PC's end of camera discovery: lists the cameras that
// answer on a segment and gives one its address, port and title, over the
// raw-Ethernet search protocol and the planet UDP protocol.
#include <arpa/inet.h>
#include <errno.h>
#include <getopt.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include "discovery.h"
#include "owners.h"

using namespace discovery;

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr unsigned kWindowMs = 1000;
constexpr unsigned kMaxWindowMs = 600000;
// A camera writes its store before it answers a modify request, and a planet
// camera pauses a second after every datagram.
constexpr unsigned kResultWaitMs = 3000;
// A whole segment answers one broadcast at once; the kernel caps a plain
// SO_RCVBUF at rmem_max, which root may pass with SO_RCVBUFFORCE.
constexpr int kReceiveBuffer = 4 << 20;
constexpr size_t kMaxCameras = 1024;
constexpr size_t kFrameRoom = 2048;
// Sent for an address the camera has no valid value for: its own rule then
// refuses the field and it keeps what it has, where an empty field would
// shift every field after it.
constexpr char kKeepAddress[] = "-";

enum class Verb { kList, kSet, kPlanetList, kPlanetSet };

// Options that only some verbs take, as bits.
enum : unsigned {
    kOptIp = 1, kOptMask = 2, kOptGw = 4, kOptDns = 8, kOptPort = 16, kOptTitle = 32,
    kOptUser = 64, kOptPassword = 128, kOptNewPassword = 256,
};

struct Config {
    Verb verb = Verb::kList;
    const char* iface = "eth0";
    unsigned window_ms = kWindowMs;
    bool json = false;
    uint8_t target[kMacLen] = {};
    unsigned given = 0;
    const char* ip = nullptr;
    const char* mask = nullptr;
    const char* gw = nullptr;
    const char* dns = nullptr;
    const char* port = nullptr;
    const char* title = nullptr;
    const char* user = nullptr;
    const char* password = nullptr;
    const char* new_password = nullptr;
};

const option kOptions[] = {
    {"interface", required_argument, nullptr, 'i'},
    {"time", required_argument, nullptr, 't'},
    {"json", no_argument, nullptr, 'j'},
    {"ip", required_argument, nullptr, 'A'},
    {"mask", required_argument, nullptr, 'N'},
    {"gw", required_argument, nullptr, 'G'},
    {"dns", required_argument, nullptr, 'D'},
    {"port", required_argument, nullptr, 'P'},
    {"title", required_argument, nullptr, 'T'},
    {"user", required_argument, nullptr, 'u'},
    {"password", required_argument, nullptr, 'p'},
    {"new-password", required_argument, nullptr, 'W'},
    {"help", no_argument, nullptr, 'h'},
    {},
};

const char kUsage[] =
    "usage: camfind [-i IFACE] [-t MS] [--json]\n"
    "       camfind set MAC [--ip A] [--mask M] [--gw G] [--dns D] [--port P] [--title T]\n"
    "                   -u USER -p PASS [-i IFACE] [-t MS] [--json]\n"
    "       camfind planet [-i IFACE] [-t MS] [--json]\n"
    "       camfind planet set MAC [--ip A] [--mask M] [--gw G] [--title T]\n"
    "                   [--new-password NEW] -p PASS [-u admin] [-i IFACE] [-t MS] [--json]\n"
    "\n"
    "Lists the cameras that answer a search on IFACE within MS milliseconds, one\n"
    "line each sorted by MAC, or sets one camera's address, netmask, gateway, DNS\n"
    "server, HTTP port and title; what is not given keeps the camera's value.\n"
    "`planet` speaks the planet UDP protocol instead.\n"
    "\n"
    "  -i, --interface IFACE  the interface of the segment (default eth0)\n"
    "  -t, --time MS          how long replies are awaited (default 1000; set waits\n"
    "                         at least 3000 for the camera's result)\n"
    "      --json             one JSON object per line instead of tab-separated text\n"
    "  -u, --user USER        user name the camera checks\n"
    "  -p, --password PASS    that user's password\n"
    "      --new-password NEW planet set: the admin user's new password\n"
    "  -h, --help             this text\n"
    "\n"
    "Raw sockets need root or CAP_NET_RAW. Exit status: 0 done (set: the camera\n"
    "accepted), 1 failed or refused, 2 bad command line.\n";

__attribute__((format(printf, 1, 2))) void error(const char* format, ...)
{
    char line[512];
    va_list ap;
    va_start(ap, format);
    vsnprintf(line, sizeof line, format, ap);
    va_end(ap);
    fprintf(stderr, "camfind: %s\n", line);
}

int usage_error(const char* what, const char* value)
{
    error("%s%s", what, value);
    fprintf(stderr, "Try 'camfind -h'.\n");
    return kExitUsage;
}

// --- Options -----------------------------------------------------------

bool parse_decimal(const char* text, unsigned long low, unsigned long high, unsigned long* out)
{
    if (text[0] < '0' || text[0] > '9')
        return false;
    char* end = nullptr;
    errno = 0;
    unsigned long v = strtoul(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high)
        return false;
    *out = v;
    return true;
}

// An address as the camera's rule reads it, given on in its plain form.
bool check_address(const char* option, const char* text, char out[kQuadTextSize], uint8_t quad[4])
{
    if (!parse_quad(text, quad)) {
        usage_error(option, ": not an IPv4 address (four numbers 0..255 with dots)");
        return false;
    }
    format_quad(quad, out);
    return true;
}

int parse_config(int argc, char** argv, Config* c)
{
    int opt;
    opterr = 0;
    while ((opt = getopt_long(argc, argv, ":hi:t:u:p:", kOptions, nullptr)) != -1) {
        unsigned long v = 0;
        switch (opt) {
        case 'h':
            fputs(kUsage, stdout);
            return 0;
        case 'i':
            c->iface = optarg;
            break;
        case 't':
            if (!parse_decimal(optarg, 1, kMaxWindowMs, &v))
                return usage_error("-t: not a number of milliseconds 1..600000: ", optarg);
            c->window_ms = static_cast<unsigned>(v);
            break;
        case 'j':
            c->json = true;
            break;
        case 'A': c->ip = optarg; c->given |= kOptIp; break;
        case 'N': c->mask = optarg; c->given |= kOptMask; break;
        case 'G': c->gw = optarg; c->given |= kOptGw; break;
        case 'D': c->dns = optarg; c->given |= kOptDns; break;
        case 'P': c->port = optarg; c->given |= kOptPort; break;
        case 'T': c->title = optarg; c->given |= kOptTitle; break;
        case 'u': c->user = optarg; c->given |= kOptUser; break;
        case 'p': c->password = optarg; c->given |= kOptPassword; break;
        case 'W': c->new_password = optarg; c->given |= kOptNewPassword; break;
        case ':':
            return usage_error("missing value of ", argv[optind - 1]);
        default:
            return usage_error("unknown option ", argv[optind - 1]);
        }
    }
    char** rest = argv + optind;
    int n = argc - optind;
    bool planet = n > 0 && strcmp(rest[0], "planet") == 0;
    if (planet) {
        ++rest;
        --n;
    }
    if (n == 0) {
        c->verb = planet ? Verb::kPlanetList : Verb::kList;
    } else if (strcmp(rest[0], "set") == 0) {
        c->verb = planet ? Verb::kPlanetSet : Verb::kSet;
        if (n < 2)
            return usage_error("set needs the camera's MAC", "");
        if (!parse_mac(rest[1], c->target))
            return usage_error("not a MAC (six hex pairs with ':'): ", rest[1]);
        if (n > 2)
            return usage_error("unexpected argument: ", rest[2]);
    } else {
        return usage_error("unexpected argument: ", rest[0]);
    }
    unsigned allowed = 0;
    if (c->verb == Verb::kSet)
        allowed = kOptIp | kOptMask | kOptGw | kOptDns | kOptPort | kOptTitle | kOptUser | kOptPassword;
    if (c->verb == Verb::kPlanetSet)
        allowed = kOptIp | kOptMask | kOptGw | kOptTitle | kOptUser | kOptPassword | kOptNewPassword;
    static const char* const kNames[] = {"--ip", "--mask", "--gw", "--dns", "--port", "--title",
                                         "-u", "-p", "--new-password"};
    for (unsigned i = 0; i < 9; ++i) {
        if ((c->given & ~allowed) & (1u << i))
            return usage_error(kNames[i], c->verb == Verb::kSet || c->verb == Verb::kPlanetSet
                                              ? ": not an option of this verb"
                                              : ": only with set");
    }
    if (c->verb == Verb::kSet && (c->user == nullptr || c->password == nullptr))
        return usage_error("set needs -u USER and -p PASS", "");
    if (c->verb == Verb::kPlanetSet && c->password == nullptr)
        return usage_error("planet set needs -p PASS (of user admin)", "");
    return -1;  // go on
}

// --- Output ------------------------------------------------------------

// A camera's texts on a terminal: separators and control bytes escaped, so
// a hostile device can neither split a line nor drive the terminal.
void put_text(const char* s)
{
    for (; *s != '\0'; ++s) {
        char escape[5];
        if (*s == '\\')
            fputs("\\\\", stdout);  // a backslash of the text cannot pass for an escape
        else if (size_t n = control_escape(static_cast<unsigned char>(*s), escape))
            fwrite(escape, 1, n, stdout);
        else
            putchar(*s);
    }
}

// Length of a valid UTF-8 sequence at s, or 0.
size_t utf8_length(const unsigned char* s)
{
    unsigned char c = s[0];
    size_t n;
    unsigned char lo = 0x80, hi = 0xbf;
    if (c >= 0xc2 && c <= 0xdf) {
        n = 2;
    } else if (c >= 0xe0 && c <= 0xef) {
        n = 3;
        if (c == 0xe0)
            lo = 0xa0;
        if (c == 0xed)
            hi = 0x9f;
    } else if (c >= 0xf0 && c <= 0xf4) {
        n = 4;
        if (c == 0xf0)
            lo = 0x90;
        if (c == 0xf4)
            hi = 0x8f;
    } else {
        return 0;
    }
    if (s[1] < lo || s[1] > hi)
        return 0;
    for (size_t i = 2; i < n; ++i) {
        if (s[i] < 0x80 || s[i] > 0xbf)
            return 0;
    }
    return n;
}

// A JSON string; a byte that is no part of valid UTF-8 is read as Latin-1.
void put_json(const char* key, const char* s, bool last = false)
{
    printf("\"%s\":\"", key);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(s);
    while (*p != 0) {
        size_t n = *p >= 0x80 ? utf8_length(p) : 1;
        if (*p == '"' || *p == '\\') {
            printf("\\%c", *p);
        } else if (*p < 0x20 || *p == 0x7f || n == 0) {
            printf("\\u%04x", *p);
            n = 1;
        } else {
            fwrite(p, 1, n, stdout);
        }
        p += n;
    }
    fputs(last ? "\"" : "\",", stdout);
}

void put_json_number(const char* key, long v, bool last = false)
{
    if (v < 0)
        printf("\"%s\":null%s", key, last ? "" : ",");
    else
        printf("\"%s\":%ld%s", key, v, last ? "" : ",");
}

const char* mode_name(long mode)
{
    return mode < 0 ? "?" : mode == 0 ? "static" : "dhcp";
}

void print_camera(const Config& c, const uint8_t mac[kMacLen], const ReplyFields& f,
                  const char* result)
{
    char m[18];
    format_mac(mac, m);
    if (c.json) {
        putchar('{');
        if (result != nullptr)
            printf("\"result\":\"%s\",", result);
        printf("\"mac\":\"%s\",", m);
        put_json("ipaddr", f.ipaddr);
        put_json("netmask", f.netmask);
        put_json("gateway", f.gateway);
        put_json("dns", f.dns1);
        put_json_number("http_port", f.http_port);
        if (f.mode < 0)
            fputs("\"mode\":null,", stdout);
        else
            printf("\"mode\":\"%s\",", mode_name(f.mode));
        put_json("title", f.title);
        put_json("text1", f.text1);
        put_json("text2", f.text2);
        put_json("text3", f.text3);
        put_json("model", f.model);
        put_json_number("uptime", f.uptime, !f.cut);
        if (f.cut)
            fputs("\"cut\":true", stdout);
        puts("}");
        return;
    }
    if (result != nullptr)
        printf("%s\t", result);
    printf("%s", m);
    const char* texts[] = {f.ipaddr, f.netmask, f.gateway, f.dns1};
    for (const char* t : texts) {
        putchar('\t');
        put_text(t);
    }
    if (f.http_port < 0)
        printf("\t?");
    else
        printf("\t%ld", f.http_port);
    printf("\t%s", mode_name(f.mode));
    const char* more[] = {f.title, f.text1, f.text2, f.text3, f.model};
    for (const char* t : more) {
        putchar('\t');
        put_text(t);
    }
    putchar('\n');
}

void print_planet(const Config& c, const PlanetInfoReply& r)
{
    char m[18], ip[kQuadTextSize], mask[kQuadTextSize], gw[kQuadTextSize];
    format_mac(r.mac, m);
    format_quad(r.ipaddr, ip);
    format_quad(r.netmask, mask);
    format_quad(r.gateway, gw);
    if (c.json) {
        printf("{\"mac\":\"%s\",\"ipaddr\":\"%s\",\"netmask\":\"%s\",\"gateway\":\"%s\",", m, ip, mask, gw);
        put_json("model", r.model);
        put_json("text2", r.text2, true);
        puts("}");
        return;
    }
    printf("%s\t%s\t%s\t%s\t", m, ip, mask, gw);
    put_text(r.model);
    putchar('\t');
    put_text(r.text2);
    putchar('\n');
}

void print_result(const Config& c, const uint8_t mac[kMacLen], const PlanetResult& r)
{
    char m[18];
    format_mac(mac, m);
    const char* result = r.accepted ? "accepted" : "refused";
    if (c.json) {
        printf("{\"result\":\"%s\",\"mac\":\"%s\",", result, m);
        put_json("text", r.text, true);
        puts("}");
        return;
    }
    printf("%s\t%s\t", result, m);
    put_text(r.text);
    putchar('\n');
}

// --- What answered -----------------------------------------------------

// One entry per camera: a second answer (an announcement within the window)
// is not listed again.
template <typename T>
struct Found {
    struct Entry {
        uint8_t mac[kMacLen];
        T value;
    };
    Entry entry[kMaxCameras];
    size_t count;
    bool full;

    bool add(const uint8_t mac[kMacLen], const T& value)
    {
        for (size_t i = 0; i < count; ++i) {
            if (memcmp(entry[i].mac, mac, kMacLen) == 0)
                return false;
        }
        if (count == kMaxCameras) {
            full = true;
            return false;
        }
        memcpy(entry[count].mac, mac, kMacLen);
        entry[count].value = value;
        ++count;
        return true;
    }

    void sort()
    {
        qsort(entry, count, sizeof entry[0], [](const void* a, const void* b) {
            return memcmp(a, b, kMacLen);
        });
    }
};

Found<Reply> g_cameras;
Found<PlanetInfoReply> g_planet;

// --- The link ----------------------------------------------------------

long long now_ms()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

bool interface_exists(const char* iface)
{
    if (if_nametoindex(iface) != 0)
        return true;
    error("no interface %s", iface);
    return false;
}

bool socket_failed(const char* what, const char* denied = "raw sockets need root or CAP_NET_RAW")
{
    if (errno == EPERM || errno == EACCES)
        error("%s: %s", what, denied);
    else
        error("%s: %s", what, strerror(errno));
    return false;
}

void size_receive_buffer(int fd)
{
    int size = kReceiveBuffer;
    if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0)
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
}

struct Link {
    UniqueFd sock;
    int ifindex = 0;
    uint8_t mac[kMacLen] = {};
};

// A packet socket that takes only the search EtherType, and only on iface:
// made without a protocol and bound after, so nothing of another interface
// is queued in between.
bool open_link(const char* iface, Link* link)
{
    if (!interface_exists(iface))
        return false;
    link->ifindex = static_cast<int>(if_nametoindex(iface));
    link->sock.reset(socket(AF_PACKET, SOCK_RAW, 0));
    if (!link->sock.valid())
        return socket_failed("socket");
    size_receive_buffer(link->sock.get());
    sockaddr_ll sll{};
    sll.sll_family = AF_PACKET;
    sll.sll_protocol = htons(kEtherType);
    sll.sll_ifindex = link->ifindex;
    if (bind(link->sock.get(), reinterpret_cast<sockaddr*>(&sll), sizeof sll) != 0)
        return socket_failed("bind");
    ifreq ifr{};
    snprintf(ifr.ifr_name, sizeof ifr.ifr_name, "%s", iface);
    if (ioctl(link->sock.get(), SIOCGIFHWADDR, &ifr) != 0)
        return socket_failed("SIOCGIFHWADDR");
    memcpy(link->mac, ifr.ifr_hwaddr.sa_data, kMacLen);
    return true;
}

bool send_frame(const Link& link, uint8_t* frame, size_t len, size_t room)
{
    // A link without padding of its own (veth) would carry a 20-byte frame
    // that the camera ignores as too short.
    if (len < kMinFrame && room >= kMinFrame) {
        memset(frame + len, 0, kMinFrame - len);
        len = kMinFrame;
    }
    sockaddr_ll to{};
    to.sll_family = AF_PACKET;
    to.sll_ifindex = link.ifindex;
    to.sll_halen = kMacLen;
    memcpy(to.sll_addr, frame, kMacLen);
    if (sendto(link.sock.get(), frame, len, 0, reinterpret_cast<sockaddr*>(&to), sizeof to) < 0) {
        error("send on the link: %s", strerror(errno));
        return false;
    }
    return true;
}

// Hands every datagram or frame that arrives within ms to take, until take
// says it has what it waited for. Frames the host sent itself are skipped.
template <typename Take>
bool receive(int fd, unsigned ms, Take take)
{
    long long end = now_ms() + ms;
    uint8_t buf[kFrameRoom];
    for (;;) {
        long long left = end - now_ms();
        if (left <= 0)
            return true;
        pollfd p = {fd, POLLIN, 0};
        int r = poll(&p, 1, static_cast<int>(left));
        if (r < 0 && errno != EINTR) {
            error("poll: %s", strerror(errno));
            return false;
        }
        // Everything queued, before the next wait.
        for (;;) {
            sockaddr_ll from{};
            socklen_t fromlen = sizeof from;
            ssize_t n = recvfrom(fd, buf, sizeof buf, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from),
                                 &fromlen);
            if (n < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                    break;
                error("receive: %s", strerror(errno));
                return false;
            }
            if (from.sll_family == AF_PACKET && from.sll_pkttype == PACKET_OUTGOING)
                continue;
            if (take(buf, static_cast<size_t>(n)))
                return true;
        }
    }
}

bool send_search(const Link& link, const uint8_t dst[kMacLen])
{
    uint8_t frame[kMinFrame];
    size_t n = build_search_request(frame, sizeof frame, link.mac, dst);
    return send_frame(link, frame, n, sizeof frame);
}

// A search reply meant for this host: to its address, or an announcement.
bool search_reply(const Link& link, const uint8_t* frame, size_t len, Reply* r)
{
    return parse_reply(frame, len, r) && r->code == kReplySearch &&
           (memcmp(frame, link.mac, kMacLen) == 0 || memcmp(frame, kBroadcast, kMacLen) == 0);
}

void not_understood(const uint8_t mac[kMacLen])
{
    char m[18];
    format_mac(mac, m);
    error("%s: reply not understood", m);
}

// --- Raw-Ethernet verbs ------------------------------------------------

int list_cameras(const Config& c)
{
    Link link;
    if (!open_link(c.iface, &link) || !send_search(link, kBroadcast))
        return kExitFailed;
    bool ok = receive(link.sock.get(), c.window_ms, [&](const uint8_t* frame, size_t len) {
        Reply r;
        if (search_reply(link, frame, len, &r))
            g_cameras.add(r.camera, r);
        return false;
    });
    g_cameras.sort();
    int status = ok ? 0 : kExitFailed;
    for (size_t i = 0; i < g_cameras.count; ++i) {
        ReplyFields f;
        if (parse_reply_text(g_cameras.entry[i].value, &f)) {
            print_camera(c, g_cameras.entry[i].mac, f, nullptr);
        } else {
            not_understood(g_cameras.entry[i].mac);
            status = kExitFailed;
        }
    }
    if (g_cameras.full) {
        error("more than %zu cameras answered; the rest are not listed", kMaxCameras);
        status = kExitFailed;
    }
    return status;
}

const char* text_check_name(TextCheck check)
{
    switch (check) {
    case TextCheck::kEmpty: return "is empty";
    case TextCheck::kSeparator: return "contains ';'";
    case TextCheck::kTooLong: return "is longer than 127 characters";
    default: return "does not fit the request";
    }
}

// The camera's current value when the operator gave none; for an address
// the camera's own rule would refuse, one that makes it keep what it has.
const char* address_or_current(const char* given, char norm[16], const char* current)
{
    uint8_t q[4];
    if (given != nullptr)
        return norm;
    return parse_quad(current, q) ? current : kKeepAddress;
}

int set_camera(const Config& c)
{
    char ip[16] = {}, mask[16] = {}, gw[16] = {}, dns[16] = {}, port[8] = {};
    uint8_t q[4];
    if ((c.ip && !check_address("--ip", c.ip, ip, q)) || (c.mask && !check_address("--mask", c.mask, mask, q)) ||
        (c.gw && !check_address("--gw", c.gw, gw, q)) || (c.dns && !check_address("--dns", c.dns, dns, q)))
        return kExitUsage;
    unsigned long v = 0;
    if (c.port != nullptr) {
        if (!parse_decimal(c.port, 1, 65535, &v))
            return usage_error("--port: not a port 1..65535: ", c.port);
        snprintf(port, sizeof port, "%lu", v);
    }
    Link link;
    if (!open_link(c.iface, &link) || !send_search(link, c.target))
        return kExitFailed;
    Reply current;
    bool found = false;
    if (!receive(link.sock.get(), c.window_ms, [&](const uint8_t* frame, size_t len) {
            found = search_reply(link, frame, len, &current) &&
                    memcmp(current.camera, c.target, kMacLen) == 0;
            return found;
        }))
        return kExitFailed;
    char m[18];
    format_mac(c.target, m);
    if (!found) {
        error("%s: no reply to the search", m);
        return kExitFailed;
    }
    ReplyFields now;
    if (!parse_reply_text(current, &now)) {
        not_understood(c.target);
        return kExitFailed;
    }
    if (now.cut && (c.port == nullptr || c.title == nullptr)) {
        error("%s: the camera's reply was cut short; give --port and --title", m);
        return kExitFailed;
    }
    if (c.port == nullptr)
        snprintf(port, sizeof port, "%ld", now.http_port);
    const char* fields[kModifyFields] = {
        address_or_current(c.ip, ip, now.ipaddr), port,
        address_or_current(c.mask, mask, now.netmask), address_or_current(c.gw, gw, now.gateway),
        address_or_current(c.dns, dns, now.dns1), c.title ? c.title : now.title, c.user, c.password,
    };
    static const char* const kFieldNames[] = {"address", "port", "netmask", "gateway", "DNS server",
                                              "title", "user", "password"};
    char text[kModifyFields * kFieldSize];
    ModifyText check = build_modify_text(text, sizeof text, fields);
    if (check.check != TextCheck::kOk) {
        error("%s%s %s; nothing was sent", check.field == kFieldTitle && !c.title ? "the camera's " : "",
              kFieldNames[check.field], text_check_name(check.check));
        return check.field == kFieldTitle && !c.title ? kExitFailed : kExitUsage;
    }
    uint8_t frame[kFrameRoom];
    size_t n = build_modify_request(frame, sizeof frame, link.mac, c.target, c.target, text);
    if (n == 0 || !send_frame(link, frame, n, sizeof frame))
        return kExitFailed;
    Reply result;
    found = false;
    unsigned wait = c.window_ms > kResultWaitMs ? c.window_ms : kResultWaitMs;
    if (!receive(link.sock.get(), wait, [&](const uint8_t* f, size_t len) {
            found = parse_reply(f, len, &result) && result.code == kReplyModify &&
                    memcmp(result.camera, c.target, kMacLen) == 0 &&
                    memcmp(result.requester, link.mac, kMacLen) == 0;
            return found;
        }))
        return kExitFailed;
    if (!found) {
        error("%s: no result from the camera", m);
        return kExitFailed;
    }
    ReplyFields after;
    if (!parse_reply_text(result, &after)) {
        not_understood(c.target);
        return kExitFailed;
    }
    print_camera(c, c.target, after, result.result == 1 ? "accepted" : "refused");
    return result.result == 1 ? 0 : kExitFailed;
}

// --- Planet verbs ------------------------------------------------------

struct Planet {
    UniqueFd sock;
};

bool open_planet(const char* iface, Planet* p)
{
    if (!interface_exists(iface))
        return false;
    p->sock.reset(socket(AF_INET, SOCK_DGRAM, 0));
    if (!p->sock.valid())
        return socket_failed("socket");
    int one = 1;
    setsockopt(p->sock.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (setsockopt(p->sock.get(), SOL_SOCKET, SO_BROADCAST, &one, sizeof one) != 0)
        return socket_failed("SO_BROADCAST");
    // Replies are broadcast: only those of this segment, and requests go out here.
    if (setsockopt(p->sock.get(), SOL_SOCKET, SO_BINDTODEVICE, iface, static_cast<socklen_t>(strlen(iface))) != 0)
        return socket_failed("SO_BINDTODEVICE", "binding to an interface needs root or CAP_NET_RAW");
    size_receive_buffer(p->sock.get());
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(kPlanetReplyPort);
    at.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(p->sock.get(), reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
        error("bind to UDP port %u: %s", kPlanetReplyPort, strerror(errno));
        return false;
    }
    return true;
}

bool planet_send(const Planet& p, const uint8_t* data, size_t len)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kPlanetPort);
    to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    if (sendto(p.sock.get(), data, len, 0, reinterpret_cast<sockaddr*>(&to), sizeof to) < 0) {
        error("send to UDP port %u: %s", kPlanetPort, strerror(errno));
        return false;
    }
    return true;
}

// Asks every planet camera; with only, waits for that camera's reply alone.
bool planet_info(const Planet& p, unsigned ms, const uint8_t* only, PlanetInfoReply* one, bool* found)
{
    uint8_t req[kPlanetMinLen];
    size_t n = planet_build_info_request(req, sizeof req);
    if (!planet_send(p, req, n))
        return false;
    return receive(p.sock.get(), ms, [&](const uint8_t* data, size_t len) {
        PlanetInfoReply r;
        if (!planet_parse_info_reply(data, len, &r))
            return false;
        if (only == nullptr) {
            g_planet.add(r.mac, r);
            return false;
        }
        if (memcmp(r.mac, only, kMacLen) != 0)
            return false;
        *one = r;
        *found = true;
        return true;
    });
}

int list_planet(const Config& c)
{
    Planet p;
    if (!open_planet(c.iface, &p))
        return kExitFailed;
    bool ok = planet_info(p, c.window_ms, nullptr, nullptr, nullptr);
    g_planet.sort();
    for (size_t i = 0; i < g_planet.count; ++i)
        print_planet(c, g_planet.entry[i].value);
    if (g_planet.full) {
        error("more than %zu cameras answered; the rest are not listed", kMaxCameras);
        return kExitFailed;
    }
    return ok ? 0 : kExitFailed;
}

bool planet_text(const char* what, const char* text, size_t most)
{
    if (text == nullptr || strlen(text) <= most)
        return true;
    char line[96];
    snprintf(line, sizeof line, ": longer than the request's %zu characters", most);
    usage_error(what, line);
    return false;
}

int set_planet(const Config& c)
{
    char norm[16];
    PlanetModifyRequest req = {};
    uint8_t ip[4], mask[4], gw[4];
    if ((c.ip && !check_address("--ip", c.ip, norm, ip)) || (c.mask && !check_address("--mask", c.mask, norm, mask)) ||
        (c.gw && !check_address("--gw", c.gw, norm, gw)))
        return kExitUsage;
    if (c.user != nullptr && strcmp(c.user, "admin") != 0)
        return usage_error("planet set checks the password of user admin only, not ", c.user);
    if (!planet_text("--title", c.title, 31) || !planet_text("-p", c.password, kPlanetPasswordLen) ||
        !planet_text("--new-password", c.new_password, kPlanetPasswordLen))
        return kExitUsage;
    Planet p;
    if (!open_planet(c.iface, &p))
        return kExitFailed;
    PlanetInfoReply now;
    bool found = false;
    if (!planet_info(p, c.window_ms, c.target, &now, &found))
        return kExitFailed;
    char m[18];
    format_mac(c.target, m);
    if (!found) {
        error("%s: no reply to the planet information request", m);
        return kExitFailed;
    }
    // The camera sends 255.255.255.255 for a stored text that is no address;
    // sent back, its rule would accept and store it.
    static const uint8_t kNone[4] = {255, 255, 255, 255};
    const struct {
        const char* given;
        const uint8_t* value;
        const uint8_t* current;
        uint8_t* out;
        const char* option;
    } addrs[] = {{c.ip, ip, now.ipaddr, req.ipaddr, "--ip"},
                 {c.mask, mask, now.netmask, req.netmask, "--mask"},
                 {c.gw, gw, now.gateway, req.gateway, "--gw"}};
    for (const auto& a : addrs) {
        if (a.given == nullptr && memcmp(a.current, kNone, 4) == 0) {
            error("%s: the camera has no valid stored value for %s; give it", m, a.option);
            return kExitFailed;
        }
        memcpy(a.out, a.given ? a.value : a.current, 4);
    }
    memcpy(req.target, c.target, kMacLen);
    req.title = c.title ? c.title : "";
    req.current = c.password;
    req.fresh = c.new_password ? c.new_password : "";
    uint8_t data[kPlanetModifyLen];
    planet_build_modify_request(data, req);
    if (!planet_send(p, data, sizeof data))
        return kExitFailed;
    PlanetResult result;
    found = false;
    unsigned wait = c.window_ms > kResultWaitMs ? c.window_ms : kResultWaitMs;
    if (!receive(p.sock.get(), wait, [&](const uint8_t* d, size_t len) {
            found = planet_parse_modify_reply(d, len, &result) && memcmp(result.mac, c.target, kMacLen) == 0;
            return found;
        }))
        return kExitFailed;
    if (!found) {
        error("%s: no result from the camera", m);
        return kExitFailed;
    }
    print_result(c, c.target, result);
    return result.accepted ? 0 : kExitFailed;
}

}  // namespace

int main(int argc, char** argv)
{
    Config c;
    int status = parse_config(argc, argv, &c);
    if (status >= 0)
        return status;
    switch (c.verb) {
    case Verb::kList:
        status = list_cameras(c);
        break;
    case Verb::kSet:
        status = set_camera(c);
        break;
    case Verb::kPlanetList:
        status = list_planet(c);
        break;
    case Verb::kPlanetSet:
        status = set_planet(c);
        break;
    }
    if (fflush(stdout) != 0) {
        error("standard output: %s", strerror(errno));
        return kExitFailed;
    }
    return status;
}
