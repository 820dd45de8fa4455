// link.cpp — camfind's sockets: which interfaces it searches on, one raw or
// UDP socket each, and the frames and datagrams it sends out of them.
#include "camfind.h"

#include <arpa/inet.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/ethernet.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

using namespace discovery;

namespace camfind {

namespace {

// A whole segment answers one broadcast at once; the kernel caps a plain
// SO_RCVBUF at rmem_max, which root may pass with SO_RCVBUFFORCE.
constexpr int kReceiveBuffer = 4 << 20;

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

// The names of the Ethernet interfaces that are up and are no other's port,
// in the kernel's order, from one netlink dump of the links.
bool up_interfaces(Links* links, bool* more)
{
    UniqueFd nl(socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (!nl.valid())
        return socket_failed("netlink socket");
    struct {
        nlmsghdr h;
        ifinfomsg i;
    } req{};
    req.h.nlmsg_len = sizeof req;
    req.h.nlmsg_type = RTM_GETLINK;
    req.h.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    req.h.nlmsg_seq = 1;
    req.i.ifi_family = AF_UNSPEC;
    if (send(nl.get(), &req, sizeof req, 0) < 0)
        return socket_failed("netlink request");
    // A dump comes in parts of at most 32 KiB.
    alignas(nlmsghdr) static char buf[32768];
    for (;;) {
        ssize_t got = recv(nl.get(), buf, sizeof buf, 0);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return socket_failed("netlink reply");
        }
        unsigned left = static_cast<unsigned>(got);
        for (auto* h = reinterpret_cast<nlmsghdr*>(buf); NLMSG_OK(h, left); h = NLMSG_NEXT(h, left)) {
            if (h->nlmsg_type == NLMSG_DONE)
                return true;
            if (h->nlmsg_type == NLMSG_ERROR) {
                errno = -static_cast<const nlmsgerr*>(NLMSG_DATA(h))->error;
                return socket_failed("netlink reply");
            }
            if (h->nlmsg_type != RTM_NEWLINK)
                continue;
            auto* ifi = static_cast<const ifinfomsg*>(NLMSG_DATA(h));
            if (ifi->ifi_type != ARPHRD_ETHER || !(ifi->ifi_flags & IFF_UP) || (ifi->ifi_flags & IFF_LOOPBACK))
                continue;
            const char* name = nullptr;
            bool port = false;
            int room = static_cast<int>(IFLA_PAYLOAD(h));
            for (auto* a = IFLA_RTA(ifi); RTA_OK(a, room); a = RTA_NEXT(a, room)) {
                if (a->rta_type == IFLA_IFNAME && RTA_PAYLOAD(a) <= IF_NAMESIZE &&
                    memchr(RTA_DATA(a), '\0', RTA_PAYLOAD(a)) != nullptr)
                    name = static_cast<const char*>(RTA_DATA(a));
                if (a->rta_type == IFLA_MASTER && RTA_PAYLOAD(a) >= sizeof(uint32_t))
                    port = *static_cast<const uint32_t*>(RTA_DATA(a)) != 0;
            }
            if (name == nullptr || port)
                continue;
            if (links->count == kMaxLinks) {
                *more = true;
                continue;
            }
            Link& l = links->link[links->count++];
            snprintf(l.name, sizeof l.name, "%s", name);
            l.ifindex = ifi->ifi_index;
        }
    }
}

// A packet socket that takes only the search EtherType, and only on its
// interface: made without a protocol and bound after, so nothing of another
// interface is queued in between.
bool open_raw(Link* link)
{
    link->sock.reset(socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, 0));
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
    snprintf(ifr.ifr_name, sizeof ifr.ifr_name, "%s", link->name);
    if (ioctl(link->sock.get(), SIOCGIFHWADDR, &ifr) != 0)
        return socket_failed("SIOCGIFHWADDR");
    memcpy(link->mac, ifr.ifr_hwaddr.sa_data, kMacLen);
    return true;
}

// Planet replies are broadcast: each socket takes those of its own
// interface, and its requests go out there.
bool open_planet(Link* link)
{
    link->sock.reset(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!link->sock.valid())
        return socket_failed("socket");
    int fd = link->sock.get();
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one) != 0)
        return socket_failed("SO_BROADCAST");
    if (setsockopt(fd, SOL_SOCKET, SO_BINDTODEVICE, link->name, static_cast<socklen_t>(strlen(link->name))) != 0)
        return socket_failed("SO_BINDTODEVICE", "binding to an interface needs root or CAP_NET_RAW");
    size_receive_buffer(fd);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(kPlanetReplyPort);
    at.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
        error("bind to UDP port %u: %s", kPlanetReplyPort, strerror(errno));
        return false;
    }
    return true;
}

void on_stop(int)
{
    g_stop = 1;
}

sigset_t g_unblocked;

}  // namespace

volatile sig_atomic_t g_stop = 0;
const sigset_t* g_wait_mask = nullptr;

long long now_ms()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

bool open_links(const char* iface, LinkKind kind, Links* links)
{
    links->count = 0;
    if (iface != nullptr) {
        unsigned index = if_nametoindex(iface);
        if (index == 0 || strlen(iface) >= IF_NAMESIZE) {
            error("no interface %s", iface);
            return false;
        }
        Link& l = links->link[links->count++];
        snprintf(l.name, sizeof l.name, "%s", iface);
        l.ifindex = static_cast<int>(index);
    } else {
        bool more = false;
        if (!up_interfaces(links, &more))
            return false;
        if (links->count == 0) {
            error("no Ethernet interface is up; name one with -i");
            return false;
        }
        if (more)
            error("more than %zu interfaces are up; searching %s to %s only", kMaxLinks, links->link[0].name,
                  links->link[kMaxLinks - 1].name);
    }
    for (size_t i = 0; i < links->count; ++i) {
        if (!(kind == LinkKind::kRaw ? open_raw(&links->link[i]) : open_planet(&links->link[i])))
            return false;
    }
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
        error("send on %s: %s", link.name, strerror(errno));
        return false;
    }
    return true;
}

bool send_search(const Links& links, const uint8_t dst[kMacLen])
{
    for (size_t i = 0; i < links.count; ++i) {
        uint8_t frame[kMinFrame];
        size_t n = build_search_request(frame, sizeof frame, links.link[i].mac, dst);
        if (!send_frame(links.link[i], frame, n, sizeof frame))
            return false;
    }
    return true;
}

bool planet_send(const Link& link, const uint8_t* data, size_t len)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kPlanetPort);
    to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    if (sendto(link.sock.get(), data, len, 0, reinterpret_cast<sockaddr*>(&to), sizeof to) < 0) {
        error("send to UDP port %u: %s", kPlanetPort, strerror(errno));
        return false;
    }
    return true;
}

// The signals are held but while a wait runs, so that a stop cannot fall
// between the check of g_stop and the wait, nor cut a line being written.
void watch_signals()
{
    struct sigaction sa {};
    sa.sa_handler = on_stop;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigset_t held;
    sigemptyset(&held);
    sigaddset(&held, SIGINT);
    sigaddset(&held, SIGTERM);
    sigprocmask(SIG_BLOCK, &held, &g_unblocked);
    sigdelset(&g_unblocked, SIGINT);
    sigdelset(&g_unblocked, SIGTERM);
    g_wait_mask = &g_unblocked;
}

}  // namespace camfind
