// osa_net.cpp — IPv4 configuration of a network interface through socket
// ioctls, the kernel's routing table text and the DHCP client.
#include "osa_net.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <errno.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "discovery.h"
#include "osa.h"

namespace {

constexpr int kRouteLineSize = 130;

// The address a text stands for, with leading zeros read as decimal;
// 0.0.0.0 for a text that is no dotted quad.
in_addr quad_address(const char* text)
{
    uint8_t q[4] = {};
    in_addr a{};
    if (net_parse_quad(text, q))
        memcpy(&a.s_addr, q, 4);
    return a;
}

// An address in network byte order as a dotted quad, cut to size.
void format_address(char* buf, int size, uint32_t addr)
{
    char text[discovery::kQuadTextSize];
    discovery::format_quad(reinterpret_cast<const uint8_t*>(&addr), text);
    snprintf(buf, static_cast<size_t>(size), "%s", text);
}

void fill_ifreq(ifreq* ifr, const char* ifname)
{
    memset(ifr, 0, sizeof *ifr);
    strncpy(ifr->ifr_name, ifname, sizeof ifr->ifr_name);
}

int get_address(const char* ifname, char* buf, int size, unsigned long request,
                const char* what)
{
    const UniqueFd s(socket(AF_INET, SOCK_DGRAM, 0));
    if (!s.valid()) {
        perror("socket error");
        ERR_PRINT("socket error\n");
        return -1;
    }
    ifreq ifr;
    fill_ifreq(&ifr, ifname);
    if (ioctl(s.get(), request, &ifr) < 0) {
        perror(what);
        ERR_PRINT("%s\n", what);
        return -1;
    }
    if (buf != nullptr && size > 0)
        format_address(buf, size, reinterpret_cast<sockaddr_in*>(&ifr.ifr_addr)->sin_addr.s_addr);
    return 0;
}

int set_address(const char* ifname, const char* text, unsigned long request, const char* what)
{
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    const UniqueFd s(socket(AF_INET, SOCK_DGRAM, 0));
    if (!s.valid()) {
        perror("socket error");
        ERR_PRINT("socket error\n");
        return -1;
    }
    sin.sin_addr = quad_address(text);
    ifreq ifr;
    fill_ifreq(&ifr, ifname);
    memcpy(&ifr.ifr_addr, &sin, sizeof sin);
    if (ioctl(s.get(), request, &ifr) < 0) {
        perror(what);
        ERR_PRINT("%s\n", what);
        return -1;
    }
    return 0;
}

void default_route(rtentry* rt, uint32_t gw)
{
    memset(rt, 0, sizeof *rt);
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    memcpy(&rt->rt_dst, &sin, sizeof sin);
    memcpy(&rt->rt_genmask, &sin, sizeof sin);
    sin.sin_addr.s_addr = gw;
    memcpy(&rt->rt_gateway, &sin, sizeof sin);
    rt->rt_flags = RTF_UP | RTF_GATEWAY;
}

// The routing table text with its header read; null after saying why not.
FILE* open_route_table(const ErrorSite& site)
{
    FILE* f = fopen("/proc/net/route", "re");
    if (f == nullptr) {
        perror("fopen /proc/net/route");
        SITE_ERR(site, "fopen /proc/net/route\n");
        print("INET (IPv4) not configured in this system.\n");
        return nullptr;
    }
    char header[kRouteLineSize];  // the first line names the columns
    if (fgets(header, sizeof header, f) == nullptr)
        header[0] = '\0';  // an empty table: no route follows
    return f;
}

// The next gateway route of ifname in the table; false at its end.
bool next_gateway_route(FILE* f, const char* ifname, RouteLine* r)
{
    char line[kRouteLineSize];
    while (fgets(line, sizeof line, f) != nullptr) {
        if (net_parse_route_line(line, r) && net_is_gateway_route(*r, ifname))
            return true;
    }
    return false;
}

// A change of the default route: the request and the lines that report it.
struct RouteChange {
    unsigned long request;
    ErrorSite site;
    const char* what;
};
constexpr RouteChange kDelRoute{SIOCDELRT, {__FILE_NAME__, "net_del_gateway"},
                                "net_del_gateway: ioctl SIOCDELRT"};
constexpr RouteChange kAddRoute{SIOCADDRT, {__FILE_NAME__, "net_add_gateway"},
                                "net_add_gateway: ioctl SIOCADDRT"};

int change_default_route(const RouteChange& change, uint32_t gw)
{
    rtentry rt;
    default_route(&rt, gw);
    const UniqueFd s(socket(AF_INET, SOCK_DGRAM, 0));
    if (!s.valid()) {
        perror("socket error");
        SITE_ERR(change.site, "socket error\n");
        return -1;
    }
    if (ioctl(s.get(), change.request, &rt) < 0) {
        perror(change.what);
        SITE_ERR(change.site, "%s\n", change.what);
        return -1;
    }
    return 0;
}

}  // namespace

// The camera and the tools that talk to it share one address rule.
bool net_parse_quad(const char* text, uint8_t out[4])
{
    return discovery::parse_quad(text, out);
}

extern "C" int CheckIPAddr(const char* text)
{
    uint8_t q[4];
    return net_parse_quad(text, q) ? 1 : 0;
}

int net_get_ifaddr(const char* ifname, char* buf, int size)
{
    return get_address(ifname, buf, size, SIOCGIFADDR, "net_get_ifaddr: ioctl SIOCGIFADDR");
}

int net_get_netmask(const char* ifname, char* buf, int size)
{
    return get_address(ifname, buf, size, SIOCGIFNETMASK, "net_get_netmask: ioctl SIOCGIFNETMASK");
}

int net_set_ifaddr(const char* ifname, const char* text)
{
    return set_address(ifname, text, SIOCSIFADDR, "net_set_ifaddr: ioctl SIOCSIFADDR");
}

int net_set_netmask(const char* ifname, const char* text)
{
    return set_address(ifname, text, SIOCSIFNETMASK, "net_set_netmask: ioctl SIOCSIFNETMASK");
}

bool net_parse_route_line(const char* line, RouteLine* out)
{
    char name[16] = {};
    unsigned long dst = 0, gw = 0;
    unsigned flags = 0;
    if (sscanf(line, "%15s\t%08lX\t%08lX\t%8X\t", name, &dst, &gw, &flags) != 4)
        return false;
    memcpy(out->ifname, name, sizeof name);
    out->destination = static_cast<uint32_t>(dst);
    out->gateway = static_cast<uint32_t>(gw);
    out->flags = flags;
    return true;
}

bool net_is_gateway_route(const RouteLine& r, const char* ifname)
{
    return (r.flags & (RTF_UP | RTF_GATEWAY)) == (RTF_UP | RTF_GATEWAY) &&
           strcmp(r.ifname, ifname) == 0;
}

int net_get_gateway(const char* ifname, char* buf, int size)
{
    RouteLine r;
    bool found = false;
    if (FILE* f = open_route_table({__FILE_NAME__, __func__})) {
        found = next_gateway_route(f, ifname, &r);
        fclose(f);
    }
    if (!found) {
        snprintf(buf, static_cast<size_t>(size), "0.0.0.0");
        return -1;
    }
    format_address(buf, size, r.gateway);
    return 0;
}

void net_del_gateway(uint32_t gw)
{
    change_default_route(kDelRoute, gw);
}

int net_add_gateway(uint32_t gw)
{
    return change_default_route(kAddRoute, gw);
}

int net_set_gateway(const char* ifname, const char* text)
{
    FILE* f = open_route_table({__FILE_NAME__, __func__});
    if (f == nullptr)
        return -1;
    // Every deletion asks for the default destination, whatever the line's.
    RouteLine r;
    while (next_gateway_route(f, ifname, &r))
        net_del_gateway(r.gateway);
    fclose(f);
    return net_add_gateway(quad_address(text).s_addr);
}

void net_dhcp_command(char* out, size_t size, const char* ifname, const char* hostname)
{
    // The host name goes between single quotes, each quote in it as '\'';
    // a cut drops whole characters so the quotes always close.
    char head[64];
    snprintf(head, sizeof head, "%s %s -t 30 -h '", "dhcpcd", ifname);
    static const char kTail[] = "' > /dev/null";
    if (size < sizeof head + sizeof kTail) {
        if (size > 0)
            out[0] = '\0';
        return;
    }
    size_t len = strlen(head);
    memcpy(out, head, len);
    size_t room = size - 1 - (sizeof kTail - 1);
    for (const char* p = hostname; *p != '\0'; ++p) {
        const char* piece = *p == '\'' ? "'\\''" : nullptr;
        size_t n = piece ? 4 : 1;
        if (len + n > room)
            break;
        if (piece)
            memcpy(out + len, piece, n);
        else
            out[len] = *p;
        len += n;
    }
    if (len + sizeof kTail - 1 <= size - 1) {
        memcpy(out + len, kTail, sizeof kTail - 1);
        len += sizeof kTail - 1;
    }
    out[len] = '\0';
}

bool net_stat_is_live(const char* stat, const char* name)
{
    // "PID (COMM) STATE ...": the name may hold blanks and parentheses, so it
    // ends at the last ')'.
    const char* open = strchr(stat, '(');
    const char* close = strrchr(stat, ')');
    if (open == nullptr || close == nullptr || close < open || close[1] != ' ')
        return false;
    size_t len = static_cast<size_t>(close - open - 1);
    char state = close[2];
    return len == strlen(name) && strncmp(open + 1, name, len) == 0 && state != '\0' && state != 'Z' &&
           state != 'X';
}

namespace {

// Whether any process called name still lives.
bool process_lives(const char* name)
{
    DIR* proc = opendir("/proc");
    if (proc == nullptr)
        return false;
    bool found = false;
    while (!found) {
        const dirent* e = readdir(proc);
        if (e == nullptr)
            break;
        if (e->d_name[0] < '1' || e->d_name[0] > '9')
            continue;
        char path[sizeof "/proc//stat" + sizeof e->d_name];
        snprintf(path, sizeof path, "/proc/%s/stat", e->d_name);
        FILE* f = fopen(path, "re");
        if (f == nullptr)
            continue;  // it ended meanwhile
        char line[256];
        found = fgets(line, sizeof line, f) != nullptr && net_stat_is_live(line, name);
        fclose(f);
    }
    closedir(proc);
    return found;
}

constexpr unsigned kPollMs = 10;
constexpr unsigned kClientEndMs = 5000;

}  // namespace

bool net_wait_ended(const char* name, unsigned ms)
{
    for (unsigned waited = 0; process_lives(name); waited += kPollMs) {
        if (waited >= ms)
            return false;
        OSA_sleepMilli(kPollMs);
    }
    return true;
}

void net_clear_ifaddr(const char* ifname)
{
    const UniqueFd s(socket(AF_INET, SOCK_DGRAM, 0));
    if (!s.valid())
        return;
    // Each request removes the interface's first address; a few addresses at
    // most are expected, and the bound keeps a refusing kernel from looping.
    for (int i = 0; i < 64; ++i) {
        ifreq ifr;
        fill_ifreq(&ifr, ifname);
        if (ioctl(s.get(), SIOCGIFADDR, &ifr) < 0)
            return;
        sockaddr_in none{};
        none.sin_family = AF_INET;
        memcpy(&ifr.ifr_addr, &none, sizeof none);
        if (ioctl(s.get(), SIOCSIFADDR, &ifr) < 0)
            return;
    }
}

int net_set_dhcp(const char* ifname, const char* hostname)
{
    int ignored = system("killall -2 dhcpcd");
    ignored = system("killall -9 dhcpcd");
    (void)ignored;
    // A killed client holds its pid file until it has ended, and a new one
    // that finds it held refuses to start, leaving the camera without one.
    // One stuck past the bound is left to the new one's own check.
    net_wait_ended("dhcpcd", kClientEndMs);
    // A static address would stay the interface's first beside the lease.
    net_clear_ifaddr(ifname);
    char cmd[128] = {};
    net_dhcp_command(cmd, sizeof cmd, ifname, hostname);
    print("dhcp:%s", cmd);
    return system(cmd);
}
