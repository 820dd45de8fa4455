// camfind.cpp — the PC's end of camera discovery: lists the cameras that
// answer on a segment, watches them come and go, and gives one camera, or a
// whole line of them, its address, port and title, over the raw-Ethernet
// search protocol and the planet UDP protocol.
#include <getopt.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <iterator>

#include "camfind.h"
#include "discovery.h"
#include "rules.h"

using namespace discovery;
using namespace camfind;

namespace {

constexpr unsigned kWindowMs = 1000;
constexpr unsigned kMaxWindowMs = 600000;
// A camera writes its store before it answers a modify request, and a planet
// camera pauses a second after every datagram.
constexpr unsigned kResultWaitMs = 3000;
constexpr size_t kMaxCameras = 1024;
// Sent for an address the camera has no valid value for: its own rule then
// refuses the field and it keeps what it has, where an empty field would
// shift every field after it.
constexpr char kKeepAddress[] = "-";

// Verbs as bits, so that an option can name those that take it.
enum : unsigned { kList = 1, kSet = 2, kAssign = 4, kPlanetList = 8, kPlanetSet = 16 };

// Options that only some verbs take, as bits.
enum : unsigned {
    kOptIp = 1 << 0, kOptMask = 1 << 1, kOptGw = 1 << 2, kOptDns = 1 << 3, kOptPort = 1 << 4,
    kOptTitle = 1 << 5, kOptUser = 1 << 6, kOptPassword = 1 << 7, kOptNewPassword = 1 << 8,
    kOptJson = 1 << 9, kOptCsv = 1 << 10, kOptWatch = 1 << 11, kOptForce = 1 << 12,
    kOptPlan = 1 << 13, kOptDryRun = 1 << 14,
};

struct Config {
    unsigned verb = kList;
    const char* iface = nullptr;  // none: every Ethernet interface that is up
    unsigned window_ms = kWindowMs;
    Format format = Format::kText;
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
    const char* plan = nullptr;
    uint32_t first = 0, last = 0;  // assign's range
};

constexpr char kShortOptions[] = ":hi:t:u:p:";
const option kOptions[] = {
    {"interface", required_argument, nullptr, 'i'},
    {"time", required_argument, nullptr, 't'},
    {"json", no_argument, nullptr, 'j'},
    {"csv", no_argument, nullptr, 'C'},
    {"watch", no_argument, nullptr, 'w'},
    {"ip", required_argument, nullptr, 'A'},
    {"mask", required_argument, nullptr, 'N'},
    {"gw", required_argument, nullptr, 'G'},
    {"dns", required_argument, nullptr, 'D'},
    {"port", required_argument, nullptr, 'P'},
    {"title", required_argument, nullptr, 'T'},
    {"user", required_argument, nullptr, 'u'},
    {"password", required_argument, nullptr, 'p'},
    {"new-password", required_argument, nullptr, 'W'},
    {"force", no_argument, nullptr, 'F'},
    {"plan", required_argument, nullptr, 'L'},
    {"dry-run", no_argument, nullptr, 'R'},
    {"help", no_argument, nullptr, 'h'},
    {},
};
// Per option: its value's name, its bit (0: every verb takes it), the verbs
// that take it and how a listing's refusal names them (none: "not an option
// of this verb"), and its help.
struct OptionHelp {
    const char* hint;
    unsigned bit;
    unsigned verbs;
    const char* only;
    const char* text;
};
const OptionHelp kHelp[] = {
    {"IFACE", 0, 0, nullptr,
     "the interface of the segment (default: every\n"
     "Ethernet interface that is up, but loopback and\n"
     "the ports of a bridge or bond)"},
    {"MS", 0, 0, nullptr,
     "how long replies are awaited (default 1000; set\n"
     "and assign wait at least 3000 for the results);\n"
     "with --watch, the period"},
    {"", kOptJson, kList | kSet | kPlanetList | kPlanetSet, nullptr,
     "one JSON object per line, not tab-separated text"},
    {"", kOptCsv, kList | kPlanetList, nullptr, "RFC 4180 CSV with a header row, lines ending in LF"},
    {"", kOptWatch, kList, nullptr,
     "search every period and print a line when a camera\n"
     "appears (+), changes address (~) or misses two\n"
     "periods (-), until Ctrl-C"},
    {"A", kOptIp, kSet | kPlanetSet, "set", "set: the address"},
    {"M", kOptMask, kSet | kPlanetSet, "set", "set: the netmask"},
    {"G", kOptGw, kSet | kPlanetSet, "set", "set: the gateway"},
    {"D", kOptDns, kSet, "set", "set: the DNS server"},
    {"P", kOptPort, kSet, "set", "set: the HTTP port"},
    {"T", kOptTitle, kSet | kPlanetSet, "set", "set: the title"},
    {"USER", kOptUser, kSet | kAssign | kPlanetSet, "set or assign", "user name the camera checks"},
    {"PASS", kOptPassword, kSet | kAssign | kPlanetSet, "set or assign", "that user's password"},
    {"NEW", kOptNewPassword, kPlanetSet, "planet set", "planet set: the admin user's new password"},
    {"", kOptForce, kSet | kAssign, "set or assign",
     "set or assign an address that a camera outside\n"
     "the request holds"},
    {"FILE", kOptPlan, kAssign, "assign", "assign: the MAC,ADDRESS[,TITLE] lines to apply"},
    {"", kOptDryRun, kAssign, "assign", "assign: print the plan and send nothing"},
    {"", 0, 0, nullptr, "this text"},
};
static_assert(std::size(kHelp) + 1 == std::size(kOptions), "one help row per option");

struct VerbHelp {
    const char* verb;
    const char* text;
};
const VerbHelp kVerbs[] = {
    {"[MAC...]", "list the cameras that answer (only these, if given)"},
    {"set MAC", "set one camera's address, netmask, gateway, DNS\n"
                "server, HTTP port and title; the rest stay"},
    {"assign FIRST-LAST", "give each listed camera outside the range the next\n"
                          "free address in it, in MAC order; check by listing"},
    {"assign --plan FILE", "give each camera of FILE the address (and title)\n"
                           "of its line; check by listing"},
    {"planet [MAC...]", "list the cameras that answer the planet protocol"},
    {"planet set MAC", "set one planet camera's address, netmask, gateway,\n"
                       "title and admin password"},
};

const char kSynopsis[] =
    "usage: camfind [MAC...] [-i IFACE] [-t MS] [--json | --csv | --watch]\n"
    "       camfind set MAC [--ip A] [--mask M] [--gw G] [--dns D] [--port P]\n"
    "                   [--title T] -u USER -p PASS [--force] [-i IFACE] [-t MS]\n"
    "                   [--json]\n"
    "       camfind assign FIRST-LAST -u USER -p PASS [--dry-run] [-i IFACE]\n"
    "                   [-t MS]\n"
    "       camfind assign --plan FILE -u USER -p PASS [--force] [--dry-run]\n"
    "                   [-i IFACE] [-t MS]\n"
    "       camfind planet [MAC...] [-i IFACE] [-t MS] [--json | --csv]\n"
    "       camfind planet set MAC [--ip A] [--mask M] [--gw G] [--title T]\n"
    "                   [--new-password NEW] -p PASS [-u admin] [-i IFACE] [-t MS]\n"
    "                   [--json]\n"
    "\n"
    "Lists the cameras that answer a search within MS milliseconds, one line each\n"
    "sorted by MAC, or sets the address, netmask, gateway, DNS server, HTTP port\n"
    "and title of one camera or of a whole line of them. `planet` speaks the\n"
    "planet UDP protocol instead.\n";
const char kTrailer[] =
    "\n"
    "Raw sockets need root or CAP_NET_RAW. Exit status: 0 done (set: the camera\n"
    "accepted; assign: every camera took its address), 1 failed or refused,\n"
    "2 bad command line.\n";
// Where a row's text begins: after the longest option and its value.
constexpr int kHelpColumn = 26;

bool has_short(int val)
{
    return val != ':' && strchr(kShortOptions, val) != nullptr;
}

void help_row(const char* left, const char* text)
{
    printf("%-*s", kHelpColumn, left);
    for (const char* p = text; *p != '\0'; ++p) {
        putchar(*p);
        if (*p == '\n')
            printf("%*s", kHelpColumn, "");
    }
    putchar('\n');
}

void print_help()
{
    fputs(kSynopsis, stdout);
    puts("\nVerbs:");
    for (const VerbHelp& v : kVerbs) {
        char left[64];
        snprintf(left, sizeof left, "  %s", v.verb);
        help_row(left, v.text);
    }
    puts("\nOptions:");
    for (size_t i = 0; i < std::size(kHelp); ++i) {
        const option& o = kOptions[i];
        char left[64];
        int n = has_short(o.val) ? snprintf(left, sizeof left, "  -%c, ", o.val) : snprintf(left, sizeof left, "      ");
        snprintf(left + n, sizeof left - n, "--%s%s%s", o.name, kHelp[i].hint[0] ? " " : "", kHelp[i].hint);
        help_row(left, kHelp[i].text);
    }
    fputs(kTrailer, stdout);
}

int usage_error(const char* what, const char* value)
{
    error("%s%s", what, value);
    fprintf(stderr, "Try 'camfind -h'.\n");
    return kExitUsage;
}

// --- Options -----------------------------------------------------------

// The cameras a listing is narrowed to.
uint8_t g_filter[kMaxCameras][kMacLen];
bool g_filter_seen[kMaxCameras];
size_t g_filters;

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

// The words after the options: a verb and its arguments, or MACs to list.
int parse_words(char** rest, int n, Config* c)
{
    bool planet = n > 0 && strcmp(rest[0], "planet") == 0;
    if (planet) {
        ++rest;
        --n;
    }
    c->verb = planet ? kPlanetList : kList;
    if (n > 0 && strcmp(rest[0], "set") == 0) {
        c->verb = planet ? kPlanetSet : kSet;
        if (n < 2)
            return usage_error("set needs the camera's MAC", "");
        if (!parse_mac(rest[1], c->target))
            return usage_error("not a MAC (six hex pairs with ':'): ", rest[1]);
        if (n > 2)
            return usage_error("unexpected argument: ", rest[2]);
        return -1;
    }
    if (n > 0 && !planet && strcmp(rest[0], "assign") == 0) {
        c->verb = kAssign;
        if (n > 2)
            return usage_error("unexpected argument: ", rest[2]);
        if (n == 2 && !parse_range(rest[1], &c->first, &c->last))
            return usage_error("not an address range FIRST-LAST (FIRST not after LAST): ", rest[1]);
        if ((n == 2) == (c->plan != nullptr))
            return usage_error("assign needs FIRST-LAST or --plan FILE, one of them", "");
        return -1;
    }
    for (int i = 0; i < n; ++i) {
        if (g_filters == kMaxCameras)
            return usage_error("too many MACs to list: ", rest[i]);
        if (!parse_mac(rest[i], g_filter[g_filters++]))
            return usage_error("unexpected argument (no verb, no MAC): ", rest[i]);
    }
    return -1;
}

int parse_config(int argc, char** argv, Config* c)
{
    int opt;
    opterr = 0;
    while ((opt = getopt_long(argc, argv, kShortOptions, kOptions, nullptr)) != -1) {
        unsigned long v = 0;
        switch (opt) {
        case 'h':
            print_help();
            return 0;
        case 'i':
            c->iface = optarg;
            break;
        case 't':
            if (!parse_decimal(optarg, 1, kMaxWindowMs, &v))
                return usage_error("-t: not a number of milliseconds 1..600000: ", optarg);
            c->window_ms = static_cast<unsigned>(v);
            break;
        case 'j': c->format = Format::kJson; c->given |= kOptJson; break;
        case 'C': c->format = Format::kCsv; c->given |= kOptCsv; break;
        case 'w': c->given |= kOptWatch; break;
        case 'A': c->ip = optarg; c->given |= kOptIp; break;
        case 'N': c->mask = optarg; c->given |= kOptMask; break;
        case 'G': c->gw = optarg; c->given |= kOptGw; break;
        case 'D': c->dns = optarg; c->given |= kOptDns; break;
        case 'P': c->port = optarg; c->given |= kOptPort; break;
        case 'T': c->title = optarg; c->given |= kOptTitle; break;
        case 'u': c->user = optarg; c->given |= kOptUser; break;
        case 'p': c->password = optarg; c->given |= kOptPassword; break;
        case 'W': c->new_password = optarg; c->given |= kOptNewPassword; break;
        case 'F': c->given |= kOptForce; break;
        case 'L': c->plan = optarg; c->given |= kOptPlan; break;
        case 'R': c->given |= kOptDryRun; break;
        case ':':
            return usage_error("missing value of ", argv[optind - 1]);
        default:
            return usage_error("unknown option ", argv[optind - 1]);
        }
    }
    int status = parse_words(argv + optind, argc - optind, c);
    if (status >= 0)
        return status;
    bool listing = c->verb == kList || c->verb == kPlanetList;
    for (size_t i = 0; i < std::size(kHelp); ++i) {
        const OptionHelp& h = kHelp[i];
        if ((c->given & h.bit) == 0 || (h.verbs & c->verb) != 0)
            continue;
        char name[32];
        if (has_short(kOptions[i].val))
            snprintf(name, sizeof name, "-%c", kOptions[i].val);
        else
            snprintf(name, sizeof name, "--%s", kOptions[i].name);
        char only[64];
        snprintf(only, sizeof only, ": only with %s", h.only);
        return usage_error(name, listing && h.only ? only : ": not an option of this verb");
    }
    if ((c->given & kOptJson) && (c->given & kOptCsv))
        return usage_error("--json and --csv: one of them", "");
    if ((c->given & kOptWatch) && (c->given & (kOptJson | kOptCsv)))
        return usage_error("--watch prints a line per change, not with ", c->format == Format::kJson ? "--json" : "--csv");
    if (c->verb == kSet && (c->user == nullptr || c->password == nullptr))
        return usage_error("set needs -u USER and -p PASS", "");
    if (c->verb == kAssign && (c->user == nullptr || c->password == nullptr))
        return usage_error("assign needs -u USER and -p PASS", "");
    if (c->verb == kPlanetSet && c->password == nullptr)
        return usage_error("planet set needs -p PASS (of user admin)", "");
    return -1;  // go on
}

// --- Output ------------------------------------------------------------

const Column kCameraColumns[] = {
    {"mac", Kind::kText}, {"ipaddr", Kind::kText}, {"netmask", Kind::kText}, {"gateway", Kind::kText},
    {"dns", Kind::kText}, {"http_port", Kind::kNumber}, {"mode", Kind::kText}, {"title", Kind::kText},
    {"text1", Kind::kText}, {"text2", Kind::kText}, {"text3", Kind::kText}, {"model", Kind::kText},
    {"uptime", Kind::kJsonNumber}, {"cut", Kind::kJsonMark}, {"interface", Kind::kText},
    {"conflict", Kind::kFlag},
};
constexpr size_t kCameraCells = std::size(kCameraColumns);
// What set prints of a camera: the columns before the interface.
constexpr size_t kSetCells = kCameraCells - 2;
const Column kPlanetColumns[] = {
    {"mac", Kind::kText}, {"ipaddr", Kind::kText}, {"netmask", Kind::kText}, {"gateway", Kind::kText},
    {"model", Kind::kText}, {"text2", Kind::kText}, {"interface", Kind::kText}, {"conflict", Kind::kFlag},
};
constexpr size_t kPlanetCells = std::size(kPlanetColumns);

const char* mode_name(long mode)
{
    return mode < 0 ? nullptr : mode == 0 ? "static" : "dhcp";
}

// A camera's row: its columns' values, numbers written into the row.
struct CameraRow {
    const char* v[kCameraCells];
    char mac[18];
    char port[24];
    char uptime[24];
};

void camera_row(const uint8_t mac[kMacLen], const ReplyFields& f, const char* iface, bool conflict, CameraRow* r)
{
    format_mac(mac, r->mac);
    snprintf(r->port, sizeof r->port, "%ld", f.http_port);
    snprintf(r->uptime, sizeof r->uptime, "%ld", f.uptime);
    const char* v[] = {r->mac, f.ipaddr, f.netmask, f.gateway, f.dns1,
                       f.http_port < 0 ? nullptr : r->port, mode_name(f.mode), f.title, f.text1, f.text2,
                       f.text3, f.model, f.uptime < 0 ? nullptr : r->uptime, f.cut ? "" : nullptr, iface,
                       conflict ? "" : nullptr};
    static_assert(std::size(v) == kCameraCells, "one value per column");
    memcpy(r->v, v, sizeof v);
}

void print_result(Format format, const uint8_t mac[kMacLen], const PlanetResult& r)
{
    char m[18];
    format_mac(mac, m);
    const char* result = r.accepted ? "accepted" : "refused";
    if (format == Format::kJson) {
        printf("{\"result\":\"%s\",\"mac\":\"%s\",\"text\":", result, m);
        put_json_string(r.text);
        puts("}");
        return;
    }
    printf("%s\t%s\t", result, m);
    put_text(r.text);
    putchar('\n');
}

// --- What answered -----------------------------------------------------

// One entry per camera: a second answer (an announcement within the window,
// or the same camera seen on a second interface) is not listed again.
template <typename T>
struct Found {
    struct Entry {
        uint8_t mac[kMacLen];
        size_t link;
        T value;
    };
    Entry entry[kMaxCameras];
    size_t count;
    bool full;

    const Entry* find(const uint8_t mac[kMacLen]) const
    {
        for (size_t i = 0; i < count; ++i) {
            if (memcmp(entry[i].mac, mac, kMacLen) == 0)
                return &entry[i];
        }
        return nullptr;
    }

    bool add(const uint8_t mac[kMacLen], size_t link, const T& value)
    {
        if (find(mac) != nullptr)
            return false;
        if (count == kMaxCameras) {
            full = true;
            return false;
        }
        memcpy(entry[count].mac, mac, kMacLen);
        entry[count].link = link;
        entry[count].value = value;
        ++count;
        return true;
    }

    void clear()
    {
        count = 0;
        full = false;
    }

    void sort()
    {
        qsort(entry, count, sizeof entry[0], [](const void* a, const void* b) {
            return memcmp(a, b, kMacLen);
        });
    }
};

Found<Reply> g_cameras;
Found<Reply> g_check;
Found<PlanetInfoReply> g_planet;
Holder g_holders[kMaxCameras];

bool wanted(const uint8_t mac[kMacLen])
{
    for (size_t i = 0; i < g_filters; ++i) {
        if (memcmp(g_filter[i], mac, kMacLen) == 0) {
            g_filter_seen[i] = true;
            return true;
        }
    }
    return g_filters == 0;
}

int report_unseen()
{
    int status = 0;
    for (size_t i = 0; i < g_filters; ++i) {
        if (!g_filter_seen[i]) {
            char m[18];
            format_mac(g_filter[i], m);
            error("%s: no reply to the search", m);
            status = kExitFailed;
        }
    }
    return status;
}

// An address a camera can hold: neither 0.0.0.0 nor 255.255.255.255, which
// stand for none.
bool held_address(const uint8_t q[4], uint32_t* out)
{
    *out = quad_value(q);
    return *out != 0 && *out != 0xffffffffu;
}

bool held_text(const char* text, uint32_t* out)
{
    uint8_t q[4];
    return parse_quad(text, q) && held_address(q, out);
}

// Whether listed camera i holds address on link (and is not skip).
bool holds(size_t i, uint32_t address, size_t link)
{
    const Holder& h = g_holders[i];
    return h.has_address && h.address == address && h.link == link;
}

// "camfind: A is held by M1, M2 and M3", then after: the cameras of found
// holding address on link, but skip.
template <typename T>
void say_held(const Found<T>& found, uint32_t address, size_t link, const uint8_t* skip, const char* after)
{
    auto named = [&](size_t i) {
        return holds(i, address, link) && (skip == nullptr || memcmp(found.entry[i].mac, skip, kMacLen) != 0);
    };
    size_t total = 0, n = 0;
    for (size_t i = 0; i < found.count; ++i)
        total += named(i);
    uint8_t q[4];
    char a[kQuadTextSize];
    value_quad(address, q);
    format_quad(q, a);
    fprintf(stderr, "camfind: %s is held by ", a);
    for (size_t i = 0; i < found.count; ++i) {
        if (!named(i))
            continue;
        char m[18];
        format_mac(found.entry[i].mac, m);
        fprintf(stderr, "%s%s", n == 0 ? "" : n + 1 == total ? " and " : ", ", m);
        ++n;
    }
    fprintf(stderr, "%s\n", after);
}

// Each conflict of a listing once, at its first holder, when one of its
// holders is shown.
template <typename T>
void say_conflicts(const Found<T>& found, const bool* shown)
{
    for (size_t i = 0; i < found.count; ++i) {
        const Holder& h = g_holders[i];
        bool first = h.conflict, any_shown = false;
        for (size_t j = 0; j < found.count && first; ++j) {
            if (holds(j, h.address, h.link)) {
                first = j >= i;
                any_shown |= shown[j];
            }
        }
        if (first && any_shown)
            say_held(found, h.address, h.link, nullptr, "");
    }
}

// --- Raw-Ethernet verbs ------------------------------------------------

// A search reply meant for this host: to its address, or an announcement.
bool search_reply(const Link& link, const uint8_t* frame, size_t len, Reply* r)
{
    return parse_reply(frame, len, r) && r->code == kReplySearch &&
           (memcmp(frame, link.mac, kMacLen) == 0 || memcmp(frame, kBroadcast, kMacLen) == 0);
}

// Takes the search replies of ms into found, until done(entry) says enough.
template <typename Done>
bool collect(const Links& links, unsigned ms, Found<Reply>* found, Done done)
{
    return receive(links, ms, [&](size_t l, const uint8_t* frame, size_t len) {
        Reply r;
        return search_reply(links.link[l], frame, len, &r) && found->add(r.camera, l, r) &&
               done(found->entry[found->count - 1]);
    });
}

bool never(const Found<Reply>::Entry&)
{
    return false;
}

void not_understood(const uint8_t mac[kMacLen])
{
    char m[18];
    format_mac(mac, m);
    error("%s: reply not understood", m);
}

// Every listed camera's address into g_holders, and which of them conflict.
// A reply not understood holds none.
void find_conflicts(const Found<Reply>& found)
{
    for (size_t i = 0; i < found.count; ++i) {
        ReplyFields f;
        Holder& h = g_holders[i];
        h.link = found.entry[i].link;
        h.has_address = parse_reply_text(found.entry[i].value, &f) && held_text(f.ipaddr, &h.address);
    }
    mark_conflicts(g_holders, found.count);
}

int list_cameras(const Config& c)
{
    Links links;
    if (!open_links(c.iface, LinkKind::kRaw, &links) || !send_search(links, kBroadcast))
        return kExitFailed;
    bool ok = collect(links, c.window_ms, &g_cameras, never);
    g_cameras.sort();
    find_conflicts(g_cameras);
    int status = ok ? 0 : kExitFailed;
    static bool shown[kMaxCameras];
    print_header(c.format, kCameraColumns, kCameraCells);
    for (size_t i = 0; i < g_cameras.count; ++i) {
        const auto& e = g_cameras.entry[i];
        ReplyFields f;
        shown[i] = wanted(e.mac);
        if (!shown[i])
            continue;
        if (!parse_reply_text(e.value, &f)) {
            not_understood(e.mac);
            status = kExitFailed;
            continue;
        }
        CameraRow row;
        camera_row(e.mac, f, links.link[e.link].name, g_holders[i].conflict, &row);
        print_row(c.format, kCameraColumns, kCameraCells, row.v, nullptr);
    }
    say_conflicts(g_cameras, shown);
    if (g_cameras.full) {
        error("more than %zu cameras answered; the rest are not listed", kMaxCameras);
        status = kExitFailed;
    }
    return report_unseen() ? kExitFailed : status;
}

// One camera watched: its MAC and its state.
struct WatchEntry {
    uint8_t mac[kMacLen];
    bool seen;  // in this period
    Watched w;
};
WatchEntry g_watch[kMaxCameras];
size_t g_watching;

void watch_line(char sign, const uint8_t mac[kMacLen], const char* first, const char* second,
                const char* tail)
{
    char m[18];
    format_mac(mac, m);
    printf("%c %s ", sign, m);
    put_text(first);
    if (second != nullptr) {
        fputs(" -> ", stdout);
        put_text(second);
    }
    if (tail != nullptr) {
        putchar(' ');
        put_text(tail);
    }
    putchar('\n');
}

int watch_cameras(const Config& c)
{
    Links links;
    if (!open_links(c.iface, LinkKind::kRaw, &links))
        return kExitFailed;
    watch_signals();
    bool said_full = false;
    while (!g_stop) {
        g_cameras.clear();
        if (!send_search(links, kBroadcast) || !collect(links, c.window_ms, &g_cameras, never))
            return kExitFailed;
        // A period cut short says nothing of who left.
        if (g_stop)
            break;
        g_cameras.sort();
        for (size_t i = 0; i < g_cameras.count; ++i) {
            const auto& e = g_cameras.entry[i];
            if (!wanted(e.mac))
                continue;
            ReplyFields f;
            const char* address = parse_reply_text(e.value, &f) ? f.ipaddr : "?";
            WatchEntry* w = nullptr;
            for (size_t j = 0; j < g_watching && w == nullptr; ++j) {
                if (memcmp(g_watch[j].mac, e.mac, kMacLen) == 0)
                    w = &g_watch[j];
            }
            if (w == nullptr && g_watching == kMaxCameras) {
                if (!said_full)
                    error("more than %zu cameras answered; the rest are not watched", kMaxCameras);
                said_full = true;
                continue;
            }
            if (w == nullptr) {
                w = &g_watch[g_watching++];
                memset(w, 0, sizeof *w);
                memcpy(w->mac, e.mac, kMacLen);
            }
            w->seen = true;
            char old[kWatchAddressSize];
            WatchEvent ev = watch_step(&w->w, address, old);
            if (ev == WatchEvent::kCame)
                watch_line('+', e.mac, w->w.address, nullptr, links.link[e.link].name);
            else if (ev == WatchEvent::kMoved)
                watch_line('~', e.mac, old, w->w.address, nullptr);
        }
        for (size_t j = 0; j < g_watching; ++j) {
            WatchEntry& w = g_watch[j];
            if (!w.seen && watch_step(&w.w, nullptr, nullptr) == WatchEvent::kLeft)
                watch_line('-', w.mac, w.w.address, nullptr, nullptr);
            w.seen = false;
        }
        if (fflush(stdout) != 0)
            return kExitFailed;
    }
    return 0;
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

// What a modify request changes; null keeps the camera's value. Addresses
// in their plain form.
struct Changes {
    const char* ip;
    const char* mask;
    const char* gw;
    const char* dns;
    const char* port;
    const char* title;
    const char* user;
    const char* password;
};

// The camera's current value when none is given; for an address the
// camera's own rule would refuse, one that makes it keep what it has.
const char* address_or_current(const char* given, const char* current)
{
    uint8_t q[4];
    if (given != nullptr)
        return given;
    return parse_quad(current, q) ? current : kKeepAddress;
}

ModifyText modify_text(const ReplyFields& now, const Changes& ch, char* text, size_t size)
{
    char port[24];
    snprintf(port, sizeof port, "%ld", now.http_port);
    const char* fields[kModifyFields] = {
        address_or_current(ch.ip, now.ipaddr), ch.port ? ch.port : port,
        address_or_current(ch.mask, now.netmask), address_or_current(ch.gw, now.gateway),
        address_or_current(ch.dns, now.dns1), ch.title ? ch.title : now.title, ch.user, ch.password,
    };
    return build_modify_text(text, size, fields);
}

// A modify request that cannot carry its fields: said, and nothing sent.
// The camera's own title is the camera's fault, the rest the caller's.
int refuse_text(ModifyText check, bool title_given, const uint8_t* mac)
{
    static const char* const kFieldNames[] = {"address", "port", "netmask", "gateway", "DNS server",
                                              "title", "user", "password"};
    bool own = check.field == kFieldTitle && !title_given;
    char m[20] = "";
    if (own && mac != nullptr) {
        format_mac(mac, m);
        strcat(m, ": ");
    }
    error("%s%s%s %s; nothing was sent", m, own ? "the camera's " : "", kFieldNames[check.field],
          text_check_name(check.check));
    return own ? kExitFailed : kExitUsage;
}

bool send_modify(const Link& link, const uint8_t mac[kMacLen], const char* text)
{
    uint8_t frame[kFrameRoom];
    size_t n = build_modify_request(frame, sizeof frame, link.mac, mac, mac, text);
    return n != 0 && send_frame(link, frame, n, sizeof frame);
}

// A modify result for this host from a camera.
bool modify_reply(const Link& link, const uint8_t* frame, size_t len, Reply* r)
{
    return parse_reply(frame, len, r) && r->code == kReplyModify && memcmp(r->requester, link.mac, kMacLen) == 0;
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
    // A new address is weighed against every camera that answers, so the
    // search goes to all; otherwise to the camera alone.
    bool all = c.ip != nullptr && !(c.given & kOptForce);
    Links links;
    if (!open_links(c.iface, LinkKind::kRaw, &links) || !send_search(links, all ? kBroadcast : c.target))
        return kExitFailed;
    if (!collect(links, c.window_ms, &g_cameras, [&](const Found<Reply>::Entry& e) {
            return !all && memcmp(e.mac, c.target, kMacLen) == 0;
        }))
        return kExitFailed;
    g_cameras.sort();
    char m[18];
    format_mac(c.target, m);
    const Found<Reply>::Entry* found = g_cameras.find(c.target);
    if (found == nullptr) {
        error("%s: no reply to the search", m);
        return kExitFailed;
    }
    const Link& link = links.link[found->link];
    ReplyFields now;
    if (!parse_reply_text(found->value, &now)) {
        not_understood(c.target);
        return kExitFailed;
    }
    if (all) {
        find_conflicts(g_cameras);
        uint8_t mine[4];
        parse_quad(ip, mine);
        for (size_t i = 0; i < g_cameras.count; ++i) {
            if (holds(i, quad_value(mine), found->link) && memcmp(g_cameras.entry[i].mac, c.target, kMacLen) != 0) {
                say_held(g_cameras, quad_value(mine), found->link, c.target,
                         "; nothing was sent (--force sends it anyway)");
                return kExitFailed;
            }
        }
    }
    if (now.cut && (c.port == nullptr || c.title == nullptr)) {
        error("%s: the camera's reply was cut short; give --port and --title", m);
        return kExitFailed;
    }
    Changes ch = {c.ip ? ip : nullptr, c.mask ? mask : nullptr, c.gw ? gw : nullptr, c.dns ? dns : nullptr,
                  c.port ? port : nullptr, c.title, c.user, c.password};
    char text[kModifyFields * kFieldSize];
    ModifyText check = modify_text(now, ch, text, sizeof text);
    if (check.check != TextCheck::kOk)
        return refuse_text(check, c.title != nullptr, nullptr);
    if (!send_modify(link, c.target, text))
        return kExitFailed;
    Reply result;
    bool got = false;
    unsigned wait = c.window_ms > kResultWaitMs ? c.window_ms : kResultWaitMs;
    if (!receive(links, wait, [&](size_t l, const uint8_t* f, size_t len) {
            got = modify_reply(links.link[l], f, len, &result) && memcmp(result.camera, c.target, kMacLen) == 0;
            return got;
        }))
        return kExitFailed;
    if (!got) {
        error("%s: no result from the camera", m);
        return kExitFailed;
    }
    ReplyFields after;
    if (!parse_reply_text(result, &after)) {
        not_understood(c.target);
        return kExitFailed;
    }
    CameraRow row;
    camera_row(c.target, after, nullptr, false, &row);
    print_row(c.format, kCameraColumns, kSetCells, row.v, result.result == 1 ? "accepted" : "refused");
    return result.result == 1 ? 0 : kExitFailed;
}

// --- Assigning many ----------------------------------------------------

enum class Outcome { kPlanned, kKept, kNoAnswer, kOk, kRefused, kNotVerified };
const char* outcome_name(Outcome o)
{
    switch (o) {
    case Outcome::kPlanned: return "planned";
    case Outcome::kKept: return "kept";
    case Outcome::kNoAnswer: return "no answer";
    case Outcome::kOk: return "ok";
    case Outcome::kRefused: return "refused";
    default: return "not verified";
    }
}

// One camera of an assignment, sorted by MAC.
struct Assignment {
    uint8_t mac[kMacLen];
    const Found<Reply>::Entry* camera;  // null: it did not answer the listing
    uint32_t address;
    const char* title;  // null: it keeps its own
    Outcome outcome;
    int result;  // -1 none yet, else the camera's: 1 accepted, 0 refused
};
Assignment g_assign[kMaxCameras];
size_t g_assigned;
PlanLine g_plan[kMaxCameras];
unsigned g_plan_line[kMaxCameras];  // where each was in the file

// One line of f without its line feed; false at the end. A line too long
// for line, or holding a zero byte, comes back empty with *bad saying why.
bool read_line(FILE* f, char (&line)[kPlanLineSize], const char** bad)
{
    size_t len = 0;
    int ch;
    *bad = nullptr;
    while ((ch = getc(f)) != EOF && ch != '\n') {
        if (ch == '\0')
            *bad = "a zero byte in the line";
        else if (len + 1 == sizeof line)
            *bad = *bad ? *bad : "line too long";
        else
            line[len++] = static_cast<char>(ch);
    }
    line[*bad ? 0 : len] = '\0';
    return ch != EOF || len > 0 || *bad != nullptr;
}

// The plan file, whole, before anything goes out: a bad line, or a MAC or
// an address on two lines, is refused with its place.
int read_plan(const char* path)
{
    FILE* f = strcmp(path, "-") == 0 ? stdin : fopen(path, "r");
    if (f == nullptr) {
        error("%s: %s", path, strerror(errno));
        return kExitFailed;
    }
    char line[kPlanLineSize];
    const char* bad = nullptr;
    size_t planned = 0;
    int status = -1;
    for (unsigned number = 1; status < 0 && read_line(f, line, &bad); ++number) {
        PlanLine p;
        LineRead r = bad ? LineRead{LineKind::kBad, bad} : parse_plan_line(line, &p);
        if (r.kind == LineKind::kSkip)
            continue;
        bool same_mac = false;
        long earlier = r.kind == LineKind::kEntry ? plan_duplicate(g_plan, planned, p, &same_mac) : -1;
        if (r.kind == LineKind::kBad) {
            error("%s:%u: %s; nothing was sent", path, number, r.why);
            status = kExitUsage;
        } else if (earlier >= 0) {
            error("%s:%u: %s on line %u too; nothing was sent", path, number,
                  same_mac ? "the MAC is" : "the address is", g_plan_line[earlier]);
            status = kExitUsage;
        } else if (planned == kMaxCameras) {
            error("%s:%u: more than %zu cameras; nothing was sent", path, number, kMaxCameras);
            status = kExitUsage;
        } else {
            g_plan_line[planned] = number;
            g_plan[planned++] = p;
        }
    }
    if (status < 0 && ferror(f)) {
        error("%s: %s", path, strerror(errno));
        status = kExitFailed;
    }
    if (f != stdin)
        fclose(f);
    if (status >= 0)
        return status;
    for (size_t i = 0; i < planned; ++i) {
        Assignment& a = g_assign[g_assigned++];
        memcpy(a.mac, g_plan[i].mac, kMacLen);
        a.address = g_plan[i].address;
        a.title = g_plan[i].title[0] != '\0' ? g_plan[i].title : nullptr;
    }
    return -1;
}

int compare_mac(const void* a, const void* b)
{
    return memcmp(a, b, kMacLen);
}

Assignment* assignment_of(const uint8_t mac[kMacLen])
{
    return static_cast<Assignment*>(bsearch(mac, g_assign, g_assigned, sizeof g_assign[0], compare_mac));
}

void print_assignment(const Assignment& a)
{
    char m[18], to[kQuadTextSize];
    uint8_t q[4];
    format_mac(a.mac, m);
    value_quad(a.address, q);
    format_quad(q, to);
    ReplyFields f;
    printf("%s ", m);
    put_text(a.camera && parse_reply_text(a.camera->value, &f) ? f.ipaddr : "-");
    printf(" -> %s %s\n", to, outcome_name(a.outcome));
}

// The range's plan: the listed cameras in MAC order, each to the address
// plan_range gives it.
int plan_range_of(const Config& c)
{
    static RangeSlot slots[kMaxCameras];
    for (size_t i = 0; i < g_cameras.count; ++i) {
        ReplyFields f;
        slots[i].has_current = parse_reply_text(g_cameras.entry[i].value, &f) && held_text(f.ipaddr, &slots[i].current);
    }
    uint64_t free = 0;
    if (!plan_range(c.first, c.last, slots, g_cameras.count, &free)) {
        uint8_t q[4];
        char a[kQuadTextSize], b[kQuadTextSize];
        value_quad(c.first, q);
        format_quad(q, a);
        value_quad(c.last, q);
        format_quad(q, b);
        size_t moving = 0;
        for (size_t i = 0; i < g_cameras.count; ++i)
            moving += !slots[i].kept;
        error("%s-%s has %llu free addresses for %zu cameras; nothing was sent", a, b,
              static_cast<unsigned long long>(free), moving);
        return kExitFailed;
    }
    for (size_t i = 0; i < g_cameras.count; ++i) {
        Assignment& a = g_assign[g_assigned++];
        memcpy(a.mac, g_cameras.entry[i].mac, kMacLen);
        a.camera = &g_cameras.entry[i];
        a.address = slots[i].next;
        a.title = nullptr;
        a.outcome = slots[i].kept ? Outcome::kKept : Outcome::kPlanned;
    }
    return -1;
}

// The plan file's cameras against the listing: which answered, and no
// address held by a camera the plan leaves where it is.
int plan_file_of(const Config& c)
{
    qsort(g_assign, g_assigned, sizeof g_assign[0], compare_mac);
    for (size_t i = 0; i < g_assigned; ++i) {
        Assignment& a = g_assign[i];
        a.camera = g_cameras.find(a.mac);
        a.outcome = a.camera ? Outcome::kPlanned : Outcome::kNoAnswer;
    }
    if (c.given & kOptForce)
        return -1;
    find_conflicts(g_cameras);
    for (size_t i = 0; i < g_assigned; ++i) {
        const Assignment& a = g_assign[i];
        for (size_t j = 0; j < g_cameras.count && a.camera; ++j) {
            if (holds(j, a.address, a.camera->link) && assignment_of(g_cameras.entry[j].mac) == nullptr) {
                say_held(g_cameras, a.address, a.camera->link, nullptr,
                         ", not in the plan; nothing was sent (--force sends it anyway)");
                return kExitFailed;
            }
        }
    }
    return -1;
}

// Builds each request (to check it, or to send it through send).
template <typename Send>
int each_request(const Config& c, Send send)
{
    for (size_t i = 0; i < g_assigned; ++i) {
        Assignment& a = g_assign[i];
        if (a.outcome != Outcome::kPlanned)
            continue;
        ReplyFields now;
        if (!parse_reply_text(a.camera->value, &now)) {
            not_understood(a.mac);
            return kExitFailed;
        }
        char m[18];
        format_mac(a.mac, m);
        if (now.cut) {
            error("%s: the camera's reply was cut short; nothing was sent", m);
            return kExitFailed;
        }
        uint8_t q[4];
        char ip[kQuadTextSize];
        value_quad(a.address, q);
        format_quad(q, ip);
        Changes ch = {ip, nullptr, nullptr, nullptr, nullptr, a.title, c.user, c.password};
        char text[kModifyFields * kFieldSize];
        ModifyText check = modify_text(now, ch, text, sizeof text);
        if (check.check != TextCheck::kOk)
            return refuse_text(check, a.title != nullptr, a.mac);
        if (!send(a, text))
            return kExitFailed;
    }
    return -1;
}

// What the check listing shows of a camera the request went to.
Outcome verified(const Assignment& a)
{
    if (a.result == 0)
        return Outcome::kRefused;
    const Found<Reply>::Entry* e = g_check.find(a.mac);
    ReplyFields f;
    uint8_t q[4];
    if (e != nullptr && parse_reply_text(e->value, &f) && parse_quad(f.ipaddr, q) && quad_value(q) == a.address &&
        (a.title == nullptr || strcmp(a.title, f.title) == 0))
        return Outcome::kOk;
    return a.result < 0 ? Outcome::kNoAnswer : Outcome::kNotVerified;
}

int assign_cameras(const Config& c)
{
    int status = c.plan ? read_plan(c.plan) : -1;
    if (status >= 0)
        return status;
    Links links;
    if (!open_links(c.iface, LinkKind::kRaw, &links) || !send_search(links, kBroadcast) ||
        !collect(links, c.window_ms, &g_cameras, never))
        return kExitFailed;
    if (g_cameras.full) {
        error("more than %zu cameras answered; nothing was sent", kMaxCameras);
        return kExitFailed;
    }
    g_cameras.sort();
    status = c.plan ? plan_file_of(c) : plan_range_of(c);
    if (status < 0)
        status = each_request(c, [](const Assignment&, const char*) { return true; });
    if (status >= 0)
        return status;
    bool missing = false;
    for (size_t i = 0; i < g_assigned; ++i) {
        g_assign[i].result = -1;
        missing |= g_assign[i].outcome == Outcome::kNoAnswer;
        print_assignment(g_assign[i]);
    }
    if (c.given & kOptDryRun)
        return missing ? kExitFailed : 0;
    if (fflush(stdout) != 0)
        return kExitFailed;

    // Every request at once; the cameras write their stores in parallel.
    size_t sent = 0, results = 0;
    status = each_request(c, [&](const Assignment& a, const char* text) {
        ++sent;
        return send_modify(links.link[a.camera->link], a.mac, text);
    });
    if (status >= 0)
        return status;
    unsigned wait = c.window_ms > kResultWaitMs ? c.window_ms : kResultWaitMs;
    bool ok = sent == 0 || receive(links, wait, [&](size_t l, const uint8_t* f, size_t len) {
        Reply r;
        Assignment* a = modify_reply(links.link[l], f, len, &r) ? assignment_of(r.camera) : nullptr;
        if (a != nullptr && a->outcome == Outcome::kPlanned && a->result < 0) {
            a->result = r.result == 1 ? 1 : 0;
            ++results;
        }
        return results == sent;
    });
    // Then what each camera now answers to a search, once all have.
    size_t seen = 0;
    ok = ok && (sent == 0 || (send_search(links, kBroadcast) &&
                              collect(links, wait, &g_check, [&](const Found<Reply>::Entry& e) {
                                  Assignment* a = assignment_of(e.mac);
                                  seen += a != nullptr && a->outcome == Outcome::kPlanned;
                                  return seen == sent;
                              })));
    if (!ok)
        return kExitFailed;
    status = 0;
    for (size_t i = 0; i < g_assigned; ++i) {
        Assignment& a = g_assign[i];
        if (a.outcome == Outcome::kKept)
            continue;
        if (a.outcome == Outcome::kPlanned)
            a.outcome = verified(a);
        if (a.outcome != Outcome::kOk)
            status = kExitFailed;
        print_assignment(a);
    }
    return status;
}

// --- Planet verbs ------------------------------------------------------

// Asks every planet camera; with only, waits for that camera's reply alone.
bool planet_info(const Links& links, unsigned ms, const uint8_t* only, PlanetInfoReply* one, size_t* link,
                 bool* found)
{
    uint8_t req[kPlanetMinLen];
    size_t n = planet_build_info_request(req, sizeof req);
    for (size_t i = 0; i < links.count; ++i) {
        if (!planet_send(links.link[i], req, n))
            return false;
    }
    return receive(links, ms, [&](size_t l, const uint8_t* data, size_t len) {
        PlanetInfoReply r;
        if (!planet_parse_info_reply(data, len, &r))
            return false;
        if (only == nullptr) {
            g_planet.add(r.mac, l, r);
            return false;
        }
        if (memcmp(r.mac, only, kMacLen) != 0)
            return false;
        *one = r;
        *link = l;
        *found = true;
        return true;
    });
}

int list_planet(const Config& c)
{
    Links links;
    if (!open_links(c.iface, LinkKind::kPlanet, &links))
        return kExitFailed;
    bool ok = planet_info(links, c.window_ms, nullptr, nullptr, nullptr, nullptr);
    g_planet.sort();
    for (size_t i = 0; i < g_planet.count; ++i) {
        g_holders[i].link = g_planet.entry[i].link;
        g_holders[i].has_address = held_address(g_planet.entry[i].value.ipaddr, &g_holders[i].address);
    }
    mark_conflicts(g_holders, g_planet.count);
    static bool shown[kMaxCameras];
    print_header(c.format, kPlanetColumns, kPlanetCells);
    for (size_t i = 0; i < g_planet.count; ++i) {
        const PlanetInfoReply& r = g_planet.entry[i].value;
        shown[i] = wanted(r.mac);
        if (!shown[i])
            continue;
        char m[18], ip[kQuadTextSize], mask[kQuadTextSize], gw[kQuadTextSize];
        format_mac(r.mac, m);
        format_quad(r.ipaddr, ip);
        format_quad(r.netmask, mask);
        format_quad(r.gateway, gw);
        const char* v[] = {m, ip, mask, gw, r.model, r.text2, links.link[g_planet.entry[i].link].name,
                           g_holders[i].conflict ? "" : nullptr};
        static_assert(std::size(v) == kPlanetCells, "one value per column");
        print_row(c.format, kPlanetColumns, kPlanetCells, v, nullptr);
    }
    say_conflicts(g_planet, shown);
    int status = ok ? 0 : kExitFailed;
    if (g_planet.full) {
        error("more than %zu cameras answered; the rest are not listed", kMaxCameras);
        status = kExitFailed;
    }
    return report_unseen() ? kExitFailed : status;
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
    Links links;
    if (!open_links(c.iface, LinkKind::kPlanet, &links))
        return kExitFailed;
    PlanetInfoReply now;
    size_t link = 0;
    bool found = false;
    if (!planet_info(links, c.window_ms, c.target, &now, &link, &found))
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
    if (!planet_send(links.link[link], data, sizeof data))
        return kExitFailed;
    PlanetResult result;
    found = false;
    unsigned wait = c.window_ms > kResultWaitMs ? c.window_ms : kResultWaitMs;
    if (!receive(links, wait, [&](size_t, const uint8_t* d, size_t len) {
            found = planet_parse_modify_reply(d, len, &result) && memcmp(result.mac, c.target, kMacLen) == 0;
            return found;
        }))
        return kExitFailed;
    if (!found) {
        error("%s: no result from the camera", m);
        return kExitFailed;
    }
    print_result(c.format, c.target, result);
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
    case kList:
        status = (c.given & kOptWatch) ? watch_cameras(c) : list_cameras(c);
        break;
    case kSet:
        status = set_camera(c);
        break;
    case kAssign:
        status = assign_cameras(c);
        break;
    case kPlanetList:
        status = list_planet(c);
        break;
    case kPlanetSet:
        status = set_planet(c);
        break;
    }
    if (fflush(stdout) != 0) {
        error("standard output: %s", strerror(errno));
        return kExitFailed;
    }
    return status;
}
