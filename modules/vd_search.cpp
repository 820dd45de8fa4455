// vd_search.cpp — discovery responder: applies the stored wired settings to
// eth0, answers search and modify requests of a configuration tool in raw
// Ethernet frames, announces the camera every 30 seconds and, on OEM index
// 12, serves the planet UDP protocol. The rules of a modify request are pure
// functions (vd_search.h); one Responder owns the capture, the threads and
// their wake-up, and stop() is the one way they end.
#include "vd_search.h"

#include <arpa/inet.h>
#include <errno.h>
#include <getopt.h>
#include <net/if.h>
#include <netinet/in.h>
#include <pcap/pcap.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <utility>

#include "module.h"
#include "osa.h"
#include "osa_net.h"
#include "osa_thr.h"
#include "vdcommon.h"

using namespace discovery;

// --- The rules ----------------------------------------------------------

namespace {

// A stored text field, which the store may fill without a terminator, equal
// to the whole of text.
bool same_field(const char* stored, size_t size, const char* text)
{
    size_t n = strnlen(stored, size);
    return n == strlen(text) && memcmp(stored, text, n) == 0;
}

bool same_settings(const NetworkRecord& a, const NetworkRecord& b)
{
    return a.mode == b.mode && strncmp(a.ipaddr, b.ipaddr, sizeof a.ipaddr) == 0 &&
           strncmp(a.netmask, b.netmask, sizeof a.netmask) == 0 &&
           strncmp(a.gateway, b.gateway, sizeof a.gateway) == 0 &&
           strncmp(a.dns1, b.dns1, sizeof a.dns1) == 0;
}

// A record's text field as a terminated text (the store may fill it whole).
template <size_t N>
const char* field(char (&f)[N])
{
    f[N - 1] = '\0';
    return f;
}

// A text that is no dotted quad leaves the field as it was, and so does one
// too long for it (blanks and leading zeros): cut, it would be none.
template <size_t N>
void take_address(char (&f)[N], const char* text)
{
    if (CheckIPAddr(text) && strlen(text) < N)
        copy_bounded(f, N, text);
}

}  // namespace

bool user_may_modify(const UserRecord* users, int count, const char* name, const char* password)
{
    for (int i = 0; users != nullptr && i < count; ++i) {
        const UserRecord& u = users[i];
        if (same_field(u.name, sizeof u.name, name) && same_field(u.password, sizeof u.password, password) &&
            u.privilege <= 1)
            return true;
    }
    return false;
}

ModifyOutcome apply_modify(const RequestFields& f, const ModifyRecords& records)
{
    ModifyOutcome o{};
    o.result = -1;
    const char* user = f.field[kFieldUser];
    const char* password = f.field[kFieldPassword];
    if (user[0] == '\0' || password[0] == '\0' ||
        !user_may_modify(records.users, records.user_count, user, password))
        return o;
    o.network = records.network;
    // The request has no mode field: the user name's decimal value (0 for
    // every name that does not begin with digits) sets it.
    o.network.mode = static_cast<uint8_t>(strtol(user, nullptr, 10));
    take_address(o.network.ipaddr, f.field[kFieldIp]);
    take_address(o.network.netmask, f.field[kFieldNetmask]);
    take_address(o.network.gateway, f.field[kFieldGateway]);
    take_address(o.network.dns1, f.field[kFieldDns]);
    o.http_port = request_port(f.field[kFieldPort]);
    if (f.field[kFieldTitle][0] != '\0')
        o.title = f.field[kFieldTitle];
    o.result = same_settings(o.network, records.network) ? 0 : 1;
    return o;
}

PlanetOutcome apply_planet_modify(const PlanetModify& m, const ModifyRecords& records)
{
    PlanetOutcome o{};
    if (!user_may_modify(records.users, records.user_count, "admin", m.current))
        return o;
    o.accepted = true;
    o.network = records.network;
    o.network.mode = 0;
    take_address(o.network.ipaddr, m.ipaddr);
    take_address(o.network.netmask, m.netmask);
    take_address(o.network.gateway, m.gateway);
    copy_bounded(o.network.dns1, sizeof o.network.dns1, field(o.network.gateway));
    copy_bounded(o.title, sizeof o.title, m.title);
    if (m.fresh[0] != '\0' && strcmp(m.fresh, m.current) != 0)
        o.password = m.fresh;
    return o;
}

// --- The responder ------------------------------------------------------

namespace {

constexpr uint8_t kSearchId = 13;
constexpr int kPlanetOemIndex = 12;
constexpr unsigned kAnnouncePeriod = 30;  // seconds
constexpr unsigned kPlanetPauseMs = 1000;
// The wireless interface is not served: it has no address to be named by.
constexpr uint8_t kNoAddress[kMacLen] = {};
// A request that is read whole is at most 32 fields of 127 characters; the
// console shows no more of a text than that.
constexpr size_t kShownText = kFieldSlots * kFieldSize;
constexpr size_t kEscapedRoom = 4;  // a control byte shows as \xNN

constexpr char kShortOptions[] = "M:";
const option kOptions[] = {
    {"module", required_argument, nullptr, 'M'},
    {nullptr, 0, nullptr, 0},
};

// A joinable thread, joined once.
struct Thread {
    pthread_t id{};
    bool started = false;

    bool start(void* (*entry)(void*), void* arg, unsigned priority)
    {
        started = OSA_thrCreate(&id, entry, priority, 0, arg) == 0;
        return started;
    }
    void join()
    {
        if (started)
            pthread_join(id, nullptr);
        started = false;
    }
};

// A capture handle with its filter program, closed with its owner.
struct Capture {
    pcap_t* handle = nullptr;
    bpf_program program{};
    bool filtered = false;

    Capture() = default;
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;
    ~Capture() { reset(); }
    void reset()
    {
        if (filtered)
            pcap_freecode(&program);
        if (handle != nullptr)
            pcap_close(handle);
        handle = nullptr;
        filtered = false;
    }
    void swap(Capture& other)
    {
        std::swap(handle, other.handle);
        std::swap(program, other.program);
        std::swap(filtered, other.filtered);
    }
};

// Everything the running module holds. The threads share the store (which
// is safe to call from several threads) and this object; the capture is
// closed only once they have all ended.
struct Responder {
    uint8_t mac[kMacLen] = {};  // eth0's, read once at start; zeros when unknown
    bool mac_known = false;
    UniqueFd wake;  // an eventfd, readable from the moment of stop() on
    // Guards the capture's hand-over from the listener, its sends (listener
    // and timer) and its break.
    pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
    bool stopping = false;
    Capture capture;
    Thread listener, timer, planet;

    Responder() = default;
    Responder(const Responder&) = delete;
    Responder& operator=(const Responder&) = delete;
    ~Responder() { stop(); }

    // Waits until the deadline on the monotonic clock; false once stopping.
    bool wait_until(const timespec& deadline) const
    {
        for (;;) {
            timespec now;
            clock_gettime(CLOCK_MONOTONIC, &now);
            long long left_ns = (deadline.tv_sec - now.tv_sec) * 1000000000LL + (deadline.tv_nsec - now.tv_nsec);
            if (left_ns <= 0)
                return true;
            pollfd p = {wake.get(), POLLIN, 0};
            int n = poll(&p, 1, static_cast<int>((left_ns + 999999) / 1000000));
            if (n > 0 || (n < 0 && errno != EINTR))
                return false;
        }
    }
    bool pause(unsigned ms) const
    {
        timespec deadline;
        clock_gettime(CLOCK_MONOTONIC, &deadline);
        deadline.tv_sec += ms / 1000;
        deadline.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
        if (deadline.tv_nsec >= 1000000000L) {
            deadline.tv_sec += 1;
            deadline.tv_nsec -= 1000000000L;
        }
        return wait_until(deadline);
    }
    bool capture_open()
    {
        MutexGuard g(&lock);
        return capture.handle != nullptr;
    }
    int send(const uint8_t* frame, int len)
    {
        MutexGuard g(&lock);
        return capture.handle == nullptr ? -1 : pcap_sendpacket(capture.handle, frame, len);
    }
    // Wakes every thread, waits for each to end, then closes what they used.
    // Safe to call again, and at any point of a start.
    void stop()
    {
        {
            MutexGuard g(&lock);
            stopping = true;
            if (capture.handle != nullptr)
                pcap_breakloop(capture.handle);
        }
        if (wake.valid()) {
            uint64_t one = 1;
            ssize_t n = write(wake.get(), &one, sizeof one);
            (void)n;  // a counter that cannot take more is readable already
        }
        listener.join();
        timer.join();
        planet.join();
        capture.reset();
    }
};

int get_mac(const char* ifname, unsigned char mac[6])
{
    UniqueFd fd(socket(AF_INET, SOCK_STREAM, 0));
    if (!fd.valid()) {
        perror("create socket fail\n");
        return -1;
    }
    ifreq ifr;
    memset(&ifr, 0, sizeof ifr);
    strncpy(ifr.ifr_name, ifname, 15);
    if (ioctl(fd.get(), SIOCGIFHWADDR, &ifr) == 0) {
        memcpy(mac, ifr.ifr_hwaddr.sa_data, 6);
        return 0;
    }
    ERR_PRINT("mac ioctl error(%s). \n", ifname);
    return -1;
}

int get_uptime()
{
    FILE* f = fopen("/proc/uptime", "re");
    if (f == nullptr)
        return 0;
    char line[128] = {};
    if (fgets(line, sizeof line, f) == nullptr)
        line[0] = '\0';
    fclose(f);
    return static_cast<int>(strtol(line, nullptr, 10));
}

// The users as the store lists them, handed back when their owner goes.
struct Users {
    UserRecord* list = nullptr;
    int count = 0;
    Users() { db_get_users(&list, &count); }
    ~Users()
    {
        if (list != nullptr)
            __vd_free(list, __FILE__, __LINE__);
    }
    Users(const Users&) = delete;
    Users& operator=(const Users&) = delete;
};

NetworkRecord read_network(int selector)
{
    NetworkRecord rec;
    memset(&rec, 0, sizeof rec);
    rec.iface = static_cast<uint8_t>(selector);
    db_get_network(&rec);
    return rec;
}

struct NetworkSettings {
    char hostname[128];
    uint8_t mode;
    char ipaddr[64];
    char netmask[64];
    char gateway[64];
    char dns1[64];
    char dns2[64];
};

int network_apply(const NetworkSettings* s)
{
    if (s->mode != 0) {
        net_set_dhcp("eth0", s->hostname);
        return 0;
    }
    // An address or netmask that was no dotted quad is left as eth0 has it,
    // rather than taking the camera off the network with 0.0.0.0.
    if (s->ipaddr[0] != '\0')
        net_set_ifaddr("eth0", s->ipaddr);
    if (s->netmask[0] != '\0')
        net_set_netmask("eth0", s->netmask);
    net_set_gateway("eth0", s->gateway);
    return 0;
}

int network_init()
{
    NetworkRecord rec = read_network(VDDB_IFACE_WIRED);
    NetworkSettings s;
    memset(&s, 0, sizeof s);
    copy_bounded(s.hostname, sizeof s.hostname, field(rec.hostname));
    s.mode = rec.mode;
    struct {
        char* dst;
        const char* src;
    } texts[] = {{s.ipaddr, field(rec.ipaddr)}, {s.netmask, field(rec.netmask)},
                 {s.gateway, field(rec.gateway)}, {s.dns1, field(rec.dns1)},
                 {s.dns2, field(rec.dns2)}};
    for (const auto& t : texts) {
        if (CheckIPAddr(t.src))
            copy_bounded(t.dst, 64, t.src);
    }
    network_apply(&s);
    return 0;
}

// The reply's description; live addresses of eth0 in a search reply when the
// stored mode is DHCP, else the stored ones.
struct ReplyRecords {
    DeviceRecord dev;
    OemDeviceRecord oem;
    NetworkRecord net;
    PortRecord port;
    char ipaddr[64], netmask[64], gateway[64];
};

ReplyInfo read_reply_info(bool live, ReplyRecords* r)
{
    memset(r, 0, sizeof *r);
    r->net.iface = VDDB_IFACE_WIRED;
    db_get_device(&r->dev);
    oem_get_device(&r->oem);
    db_get_network(&r->net);
    db_get_port(&r->port);
    if (live && r->net.mode != 0) {
        net_get_ifaddr("eth0", r->ipaddr, sizeof r->ipaddr);
        net_get_netmask("eth0", r->netmask, sizeof r->netmask);
        net_get_gateway("eth0", r->gateway, sizeof r->gateway);
    } else {
        copy_bounded(r->ipaddr, sizeof r->ipaddr, field(r->net.ipaddr));
        copy_bounded(r->netmask, sizeof r->netmask, field(r->net.netmask));
        copy_bounded(r->gateway, sizeof r->gateway, field(r->net.gateway));
    }
    const char* text1 = field(r->dev.text1);
    const char* model = field(r->oem.model);
    return ReplyInfo{r->ipaddr, r->port.http, r->netmask, r->gateway, field(r->net.dns1),
                     text1, field(r->dev.text2), field(r->dev.text3), field(r->dev.title),
                     model[0] != '\0' ? model : text1, get_uptime(), r->net.mode};
}

void search_response(Responder* r, const unsigned char destination[6])
{
    ReplyRecords records;
    ReplyInfo info = read_reply_info(true, &records);
    uint8_t frame[kReplyLen];
    build_search_reply(frame, destination, r->mac, info);
    if (r->send(frame, sizeof frame) != 0)
        ERR_PRINT("Send Packet Failed. \n");
}

void modify_reponse(Responder* r, const unsigned char requester[6], int result)
{
    ReplyRecords records;
    ReplyInfo info = read_reply_info(false, &records);
    uint8_t frame[kReplyLen];
    build_modify_reply(frame, requester, r->mac, result, info);
    if (r->send(frame, sizeof frame) != 0)
        ERR_PRINT("Send Packet Failed. \n");
}

// -1 refused, 0 accepted with the network record unchanged, 1 stored. The
// whole request is weighed before the first write, and the network record,
// which moves the camera, is written last.
int modify_device(const char* text, size_t len, int selector)
{
    RequestFields f;
    split_request(text, len, &f);
    char shown[kFieldDns + 1][kEscapedRoom * kFieldSize];
    for (size_t i = kFieldIp; i <= kFieldDns; ++i)
        escape_controls(shown[i], sizeof shown[i], f.field[i], kFieldSize);
    print("===Modify Device==IP:%s HttpPort:%s Netmask:%s Gateway:%s Dns:%s== \n", shown[kFieldIp],
          shown[kFieldPort], shown[kFieldNetmask], shown[kFieldGateway], shown[kFieldDns]);
    Users users;
    ModifyOutcome o = apply_modify(f, {read_network(selector), users.list, users.count});
    if (o.result < 0)
        return -1;
    db_set_port_http(o.http_port);
    if (o.title != nullptr)
        db_set_device_title(o.title);
    if (o.result == 1)
        db_set_network(&o.network);
    return o.result;
}

void search_packet_handler(u_char* user, const pcap_pkthdr* header, const u_char* bytes)
{
    Responder* r = reinterpret_cast<Responder*>(user);
    FrameRequest req;
    FrameKind kind = parse_frame(bytes, header->caplen, r->mac, kNoAddress, &req);
    if (kind == FrameKind::kSearch) {
        search_response(r, req.requester);
        return;
    }
    if (kind != FrameKind::kModify)
        return;
    char shown[kEscapedRoom * kShownText + 1];
    escape_controls(shown, sizeof shown, req.text, req.text_len < kShownText ? req.text_len : kShownText);
    print("Modify Device:%s \n", shown);
    int rc = modify_device(req.text, req.text_len, req.selector);
    modify_reponse(r, req.requester, rc >= 0 ? 1 : 0);
    if (rc == 1)
        print("modify device info. \n");
    // A refused request changed nothing; applying the settings again would
    // restart the DHCP client for anyone who sends a wrong password.
    if (rc >= 0)
        network_init();
}

// Requests are small frames: 448 KiB holds about 220 of them, a few tens of
// milliseconds at 10,000 a second, and keeps the responder under 6 MiB.
constexpr int kCaptureBuffer = 448 * 1024;

// Opens the capture as pcap_open_live would, but in immediate mode: the
// kernel's ring otherwise holds a lone frame until a block fills, and a
// search on a quiet link would go unanswered.
pcap_t* open_capture(const char* device, char* errbuf)
{
    pcap_t* p = pcap_create(device, errbuf);
    if (p == nullptr)
        return nullptr;
    pcap_set_snaplen(p, 65535);
    pcap_set_promisc(p, 1);
    pcap_set_immediate_mode(p, 1);
    // The kernel ring is mapped into the process and every page of it ends up
    // resident; the library's 2 MiB default is far more than requests need.
    pcap_set_buffer_size(p, kCaptureBuffer);
    int status = pcap_activate(p);
    if (status < 0) {
        // The texts pcap_open_live gives, cut to the library's buffer.
        char text[2 * PCAP_ERRBUF_SIZE];
        if (status == PCAP_ERROR)
            snprintf(text, sizeof text, "%s: %s", device, pcap_geterr(p));
        else if (status == PCAP_ERROR_NO_SUCH_DEVICE || status == PCAP_ERROR_PERM_DENIED ||
                 status == PCAP_ERROR_PROMISC_PERM_DENIED)
            snprintf(text, sizeof text, "%s: %s (%s)", device, pcap_statustostr(status),
                     pcap_geterr(p));
        else
            snprintf(text, sizeof text, "%s: %s", device, pcap_statustostr(status));
        copy_bounded(errbuf, PCAP_ERRBUF_SIZE, text);
        pcap_close(p);
        return nullptr;
    }
    return p;
}

void* search_listen(void* arg)
{
    Responder* r = static_cast<Responder*>(arg);
    char name[32];
    snprintf(name, sizeof name, "search_%s", "eth");
    OSA_thrSetName(name);
    const char* device = "eth0";
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    Capture c;
    c.handle = open_capture(device, errbuf);
    if (c.handle == nullptr) {
        ERR_PRINT("error: pcap_open_live(): %s\n", errbuf);
        return nullptr;
    }
    if (pcap_compile(c.handle, &c.program, "ether proto 0x0809", 1, 0) != 0) {
        ERR_PRINT("error: pcap_compile(): %s\n", pcap_geterr(c.handle));
        return nullptr;
    }
    c.filtered = true;
    if (pcap_setfilter(c.handle, &c.program) != 0) {
        ERR_PRINT("error: pcap_setfilter(): %s\n", pcap_geterr(c.handle));
        return nullptr;
    }
    pcap_t* handle = c.handle;
    {
        MutexGuard g(&r->lock);
        if (r->stopping)
            return nullptr;  // a stop that came first could not break it
        r->capture.swap(c);
    }
    pcap_loop(handle, -1, search_packet_handler, reinterpret_cast<u_char*>(r));
    return nullptr;
}

void* search_timer_task(void* arg)
{
    Responder* r = static_cast<Responder*>(arg);
    OSA_thrSetName("search_timer");
    // Seconds counted from the start on the monotonic clock: an announcement
    // that takes a while does not push the next one.
    timespec tick;
    clock_gettime(CLOCK_MONOTONIC, &tick);
    for (unsigned counter = 1;;) {
        tick.tv_sec += 1;
        if (!r->wait_until(tick))
            break;
        ++counter;
        if (counter % kAnnouncePeriod == 0 && r->capture_open())
            search_response(r, kBroadcast);
    }
    return nullptr;
}

// A fresh UDP socket allowed to broadcast, or -1.
int planet_reply_socket()
{
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) {
        perror("planet resp socket");
        return -1;
    }
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    return fd;
}

void planet_send(int fd, const uint8_t* data, size_t len)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kPlanetReplyPort);
    to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    if (sendto(fd, data, len, 0, reinterpret_cast<sockaddr*>(&to), sizeof to) < 0)
        perror("planet sendto resp failed");
}

// An address as the planet protocol carries it: network byte order, the
// decimal meaning of a dotted quad, otherwise what inet_addr makes of it.
uint32_t planet_address(const char* text)
{
    uint8_t q[4];
    uint32_t a;
    if (!net_parse_quad(text, q))
        return inet_addr(text);
    memcpy(&a, q, 4);
    return a;
}

void planet_search_resp(const Responder* r)
{
    UniqueFd fd(planet_reply_socket());
    if (!fd.valid())
        return;
    if (!r->mac_known) {
        print("Planet Get MAC Fail. \n");
        return;
    }
    DeviceRecord dev;
    OemDeviceRecord oem;
    memset(&dev, 0, sizeof dev);
    memset(&oem, 0, sizeof oem);
    db_get_device(&dev);
    oem_get_device(&oem);
    NetworkRecord net = read_network(VDDB_IFACE_WIRED);
    PlanetInfo info;
    memcpy(info.mac, r->mac, kMacLen);
    info.ipaddr = planet_address(field(net.ipaddr));
    info.netmask = planet_address(field(net.netmask));
    info.gateway = planet_address(field(net.gateway));
    info.model = field(oem.model)[0] != '\0' ? oem.model : field(dev.text1);
    info.text2 = reinterpret_cast<const uint8_t*>(dev.text2);
    uint8_t reply[kPlanetInfoReplyLen];
    planet_build_info_reply(reply, info);
    planet_send(fd.get(), reply, sizeof reply);
}

void planet_modify_resp(const Responder* r, const char* text)
{
    UniqueFd fd(planet_reply_socket());
    if (!fd.valid())
        return;
    if (!r->mac_known) {
        ERR_PRINT("Planet Get MAC Fail.\n");
        return;
    }
    uint8_t reply[kPlanetModifyReplyLen];
    planet_build_modify_reply(reply, r->mac, text);
    planet_send(fd.get(), reply, sizeof reply);
}

bool is_mac_match(const Responder* r, const uint8_t* packet)
{
    if (!r->mac_known) {
        ERR_PRINT("Planet Get MAC Fail.\n");
        return false;
    }
    return is_station(r->mac) && memcmp(packet + planet::kMac.at, r->mac, kMacLen) == 0;
}

int planet_modify_device(const unsigned char* packet)
{
    PlanetModify m;
    planet_parse_modify(packet, &m);
    if (m.checksum != m.checksum_received)
        print("planet modify device.chk_sum:%d!=%d. \n", m.checksum, m.checksum_received);
    Users users;
    PlanetOutcome o = apply_planet_modify(m, {read_network(VDDB_IFACE_WIRED), users.list, users.count});
    if (!o.accepted) {
        char shown[kEscapedRoom * kPlanetPasswordLen + 1];
        escape_controls(shown, sizeof shown, m.current, sizeof m.current);
        print("planet modify device.password:%s is wrong. \n", shown);
        return -1;
    }
    db_set_network(&o.network);
    if (o.title[0] != '\0') {
        vd_string_strip(o.title, 10);
        vd_string_strip(o.title, 13);
        db_set_device_title(o.title);
    }
    if (o.password != nullptr) {
        UserRecord user;
        memset(&user, 0, sizeof user);
        copy_bounded(user.name, sizeof user.name, "admin");
        copy_bounded(user.password, sizeof user.password, o.password);
        user.privilege = 0;
        update_user_module_permission_by_privilege(-1, 0, user.permission);
        db_set_user(&user);
    }
    return 0;
}

void* planet_socket_thread(void* arg)
{
    const Responder* r = static_cast<const Responder*>(arg);
    OSA_thrSetName("UDPPThread");
    UniqueFd fd(socket(AF_INET, SOCK_DGRAM, 0));
    if (!fd.valid()) {
        perror("planet socket");
        return nullptr;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(kPlanetPort);
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        perror("planet bind");
        return nullptr;
    }
    for (;;) {
        pollfd p[2] = {{fd.get(), POLLIN, 0}, {r->wake.get(), POLLIN, 0}};
        int ready = poll(p, 2, -1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready > 0 && p[1].revents != 0)
            break;  // stopping
        // Cleared every time: nothing of an earlier datagram is ever read.
        uint8_t buf[kPlanetMaxDatagram + 1] = {};
        ssize_t n = ready < 0 ? -1 : recvfrom(fd.get(), buf, kPlanetMaxDatagram, MSG_DONTWAIT, nullptr, nullptr);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            continue;
        if (n < 0) {
            perror("planet recv failed");
            break;
        }
        bool handled = false;
        PlanetKind kind = planet_classify(buf, static_cast<size_t>(n));
        if (kind == PlanetKind::kInfo) {
            planet_search_resp(r);
            handled = true;
        } else if (kind == PlanetKind::kModify && is_mac_match(r, buf)) {
            if (planet_modify_device(buf) != 0) {
                ERR_PRINT("planet modify failed.\n");
                planet_modify_resp(r, "Failed.");
            } else {
                planet_modify_resp(r, "Successfully.");
            }
            handled = true;
        }
        // At most one request a second; the rest wait in the socket. What is
        // not ours is dropped at once, so that it cannot hold a request up.
        if (handled && !r->pause(kPlanetPauseMs))
            break;
    }
    return nullptr;
}

// Threads never take the termination signals: they reach the main thread,
// whose sleep they cut short.
struct BlockSignals {
    sigset_t old;
    BlockSignals()
    {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGQUIT);
        sigaddset(&set, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &set, &old);
    }
    ~BlockSignals() { pthread_sigmask(SIG_SETMASK, &old, nullptr); }
    BlockSignals(const BlockSignals&) = delete;
    BlockSignals& operator=(const BlockSignals&) = delete;
};

// A failed start stops the threads that did start: none outlives the module.
int vd_search_init(Responder* r)
{
    r->mac_known = get_mac("eth0", r->mac) == 0;
    r->wake.reset(eventfd(0, EFD_CLOEXEC));
    if (!r->wake.valid()) {
        perror("eventfd");
        return -1;
    }
    unsigned priority = osa_thr_mid_priority();
    BlockSignals blocked;
    if (!r->listener.start(search_listen, r, priority)) {
        r->stop();
        ERR_PRINT("Create search task failed. \n");
        return -1;
    }
    if (!r->timer.start(search_timer_task, r, priority)) {
        r->stop();
        ERR_PRINT("Create search timer task failed. \n");
        return -1;
    }
    if (oem_get_index() == kPlanetOemIndex && !r->planet.start(planet_socket_thread, r, priority)) {
        r->stop();
        ERR_PRINT("Create planet task failed. \n");
        return -1;
    }
    return 0;
}

int search_run()
{
    if (db_init() != 0) {
        ERR_PRINT("Faild to init db! \n");
        return -1;
    }
    int result = 0;
    if (network_init() < 0) {
        ERR_PRINT("Faild to init network! \n");
        result = -1;
    } else {
        Responder r;
        if (vd_search_init(&r) < 0) {
            ERR_PRINT("Faild to init search! \n");
            result = -1;
        } else {
            while (!g_quit)
                OSA_sleepMilli(1000);
        }
        r.stop();
    }
    db_uninit(1);
    return result;
}

void search_usage()
{
    print("debug -M search \n");
}

// The module has no options of its own.
int search_test_main(int, char**)
{
    return search_run();
}

}  // namespace

REGISTER_MODULE(search, kSearchId, search_test_main, search_usage, nullptr, kShortOptions, kOptions)
