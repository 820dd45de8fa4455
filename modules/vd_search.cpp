// vd_search.cpp — discovery responder: applies the stored wired settings to
// eth0, answers search and modify requests of a configuration tool in raw
// Ethernet frames, announces the camera every 30 seconds and, on OEM index
// 12, serves the planet UDP protocol.
#include <arpa/inet.h>
#include <errno.h>
#include <getopt.h>
#include <net/if.h>
#include <netinet/in.h>
#include <pcap/pcap.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

#include "discovery.h"
#include "module.h"
#include "osa.h"
#include "osa_net.h"
#include "osa_thr.h"
#include "vdcommon.h"
#include "vddb.h"

using namespace discovery;

namespace {

constexpr uint8_t kSearchId = 13;
constexpr int kPlanetOemIndex = 12;
constexpr unsigned kAnnouncePeriod = 30;  // seconds

struct SearchContext {
    pthread_t thread;
    int interface;  // selector of every NetworkRecord read for it
    uint8_t mac[kMacLen];
    std::atomic<pcap_t*> capture;
};

struct NetworkSettings {
    char hostname[128];
    uint8_t mode;
    char ipaddr[64];
    char netmask[64];
    char gateway[64];
    char dns1[64];
    char dns2[64];
};

std::atomic<int> g_running{0};
SearchContext g_ctx;
int g_oem_index;
pthread_t g_timer;
pthread_t g_planet;
bool g_listener_started, g_timer_started, g_planet_started;
// Guards the capture handle's sends, its break and its end, and the planet
// socket's shutdown and close, so no thread acts on a handle being closed.
pthread_mutex_t g_capture_lock = PTHREAD_MUTEX_INITIALIZER;
int g_planet_fd = -1;
// Wakes the timer and planet threads out of their one-second waits at stop.
pthread_mutex_t g_wait_lock = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t g_wake;
bool g_wake_ready;

constexpr char kShortOptions[] = "M:";
const option kOptions[] = {
    {"module", required_argument, nullptr, 'M'},
    {nullptr, 0, nullptr, 0},
};

struct Guard {
    pthread_mutex_t* m;
    explicit Guard(pthread_mutex_t* mutex) : m(mutex) { pthread_mutex_lock(m); }
    ~Guard() { pthread_mutex_unlock(m); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
};

// Sleeps up to ms unless the module stops; returns whether it still runs.
bool wait_running(unsigned ms)
{
    timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += ms / 1000;
    deadline.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    Guard g(&g_wait_lock);
    while (g_running.load()) {
        if (pthread_cond_timedwait(&g_wake, &g_wait_lock, &deadline) == ETIMEDOUT)
            break;
    }
    return g_running.load() != 0;
}

void wake_waiters()
{
    Guard g(&g_wait_lock);
    pthread_cond_broadcast(&g_wake);
}

// A record's text field as a terminated text (the store may fill it whole).
template <size_t N>
const char* field(char (&f)[N])
{
    f[N - 1] = '\0';
    return f;
}

int send_frame(SearchContext* ctx, const uint8_t* frame, int len)
{
    Guard g(&g_capture_lock);
    pcap_t* capture = ctx->capture.load();
    return capture == nullptr ? -1 : pcap_sendpacket(capture, frame, len);
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

int get_mac(const char* ifname, unsigned char mac[6])
{
    if (strcmp(ifname, "wlan0") == 0) {
        memset(mac, 0, 6);
        return -1;
    }
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        perror("create socket fail\n");
        return -1;
    }
    ifreq ifr;
    memset(&ifr, 0, sizeof ifr);
    strncpy(ifr.ifr_name, ifname, 15);
    if (ioctl(fd, SIOCGIFHWADDR, &ifr) == 0) {
        memcpy(mac, ifr.ifr_hwaddr.sa_data, 6);
        close(fd);
        return 0;
    }
    close(fd);
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

// 0 when a user of that name and password may change settings (privilege 0 or 1).
int check_user_password(const char* name, const char* password)
{
    UserRecord* list = nullptr;
    int count = 0;
    db_get_users(&list, &count);
    int result = -1;
    for (int i = 0; list != nullptr && i < count && result != 0; ++i) {
        const UserRecord& u = list[i];
        if (strnlen(u.name, sizeof u.name) == strlen(name) &&
            strncmp(u.name, name, sizeof u.name) == 0 &&
            strnlen(u.password, sizeof u.password) == strlen(password) &&
            strncmp(u.password, password, sizeof u.password) == 0 && u.privilege <= 1)
            result = 0;
    }
    if (list != nullptr)
        __vd_free(list, __FILE__, __LINE__);
    return result;
}

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
    NetworkRecord rec;
    memset(&rec, 0, sizeof rec);
    rec.iface = VDDB_IFACE_WIRED;
    db_get_network(&rec);
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

ReplyInfo read_reply_info(SearchContext* ctx, bool live, ReplyRecords* r)
{
    memset(r, 0, sizeof *r);
    r->net.iface = static_cast<uint8_t>(ctx->interface);
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

void search_response(SearchContext* ctx, const unsigned char destination[6])
{
    if (ctx == nullptr)
        return;
    ReplyRecords records;
    ReplyInfo info = read_reply_info(ctx, true, &records);
    uint8_t frame[kReplyLen];
    build_search_reply(frame, destination, ctx->mac, info);
    if (send_frame(ctx, frame, sizeof frame) != 0)
        ERR_PRINT("Send Packet Failed. \n");
}

void modify_reponse(SearchContext* ctx, const unsigned char requester[6], int result)
{
    ReplyRecords records;
    ReplyInfo info = read_reply_info(ctx, false, &records);
    uint8_t frame[kReplyLen];
    build_modify_reply(frame, requester, ctx->mac, result, info);
    if (send_frame(ctx, frame, sizeof frame) != 0)
        ERR_PRINT("Send Packet Failed. \n");
}

bool same_text(const char* a, const char* b, size_t size)
{
    return strncmp(a, b, size) == 0;
}

// -1 refused, 0 accepted with the network record unchanged, 1 stored.
int modify_device(const char* text, size_t len, int selector)
{
    RequestFields f;
    split_request(text, len, &f);
    print("===Modify Device==IP:%s HttpPort:%s Netmask:%s Gateway:%s Dns:%s== \n",
          f.field[kFieldIp], f.field[kFieldPort], f.field[kFieldNetmask], f.field[kFieldGateway],
          f.field[kFieldDns]);
    const char* user = f.field[kFieldUser];
    const char* password = f.field[kFieldPassword];
    if (user[0] == '\0' || password[0] == '\0' || check_user_password(user, password) != 0)
        return -1;
    NetworkRecord rec;
    memset(&rec, 0, sizeof rec);
    rec.iface = static_cast<uint8_t>(selector);
    db_get_network(&rec);
    // The request has no mode field: the user name's decimal value (0 for
    // every name that does not begin with digits) sets it.
    rec.mode = static_cast<uint8_t>(strtol(user, nullptr, 10));
    if (CheckIPAddr(f.field[kFieldIp]))
        copy_bounded(rec.ipaddr, sizeof rec.ipaddr, f.field[kFieldIp]);
    db_set_port_http(request_port(f.field[kFieldPort]));
    if (CheckIPAddr(f.field[kFieldNetmask]))
        copy_bounded(rec.netmask, sizeof rec.netmask, f.field[kFieldNetmask]);
    if (CheckIPAddr(f.field[kFieldGateway]))
        copy_bounded(rec.gateway, sizeof rec.gateway, f.field[kFieldGateway]);
    if (CheckIPAddr(f.field[kFieldDns]))
        copy_bounded(rec.dns1, sizeof rec.dns1, f.field[kFieldDns]);
    if (f.field[kFieldTitle][0] != '\0')
        db_set_device_title(f.field[kFieldTitle]);
    NetworkRecord stored;
    memset(&stored, 0, sizeof stored);
    stored.iface = static_cast<uint8_t>(selector);
    db_get_network(&stored);
    if (rec.mode == stored.mode && same_text(rec.ipaddr, stored.ipaddr, sizeof rec.ipaddr) &&
        same_text(rec.netmask, stored.netmask, sizeof rec.netmask) &&
        same_text(rec.gateway, stored.gateway, sizeof rec.gateway) &&
        same_text(rec.dns1, stored.dns1, sizeof rec.dns1))
        return 0;
    db_set_network(&rec);
    return 1;
}

void search_packet_handler(u_char* user, const pcap_pkthdr* header, const u_char* bytes)
{
    SearchContext* ctx = reinterpret_cast<SearchContext*>(user);
    if (header->caplen <= kHeaderLen)
        return;
    uint8_t eth[kMacLen] = {};
    uint8_t wlan[kMacLen] = {};
    get_mac("eth0", eth);
    get_mac("wlan0", wlan);
    FrameRequest req;
    FrameKind kind = parse_frame(bytes, header->caplen, eth, wlan, &req);
    if (kind == FrameKind::kSearch) {
        search_response(ctx, req.requester);
        return;
    }
    if (kind != FrameKind::kModify)
        return;
    print("Modify Device:%.*s \n", static_cast<int>(req.text_len), req.text);
    int rc = modify_device(req.text, req.text_len, req.selector);
    modify_reponse(ctx, req.requester, rc >= 0 ? 1 : 0);
    if (rc == 1)
        print("modify device info. \n");
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
    SearchContext* ctx = static_cast<SearchContext*>(arg);
    char name[32];
    snprintf(name, sizeof name, "search_%s", "eth");
    OSA_thrSetName(name);
    const char* device = "eth0";
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    pcap_t* handle = open_capture(device, errbuf);
    if (handle == nullptr) {
        ERR_PRINT("error: pcap_open_live(): %s\n", errbuf);
        return nullptr;
    }
    bpf_program program;
    if (pcap_compile(handle, &program, "ether proto 0x0809", 1, 0) != 0) {
        copy_bounded(errbuf, sizeof errbuf, pcap_geterr(handle));
        pcap_close(handle);
        ERR_PRINT("error: pcap_compile(): %s\n", errbuf);
        return nullptr;
    }
    if (pcap_setfilter(handle, &program) != 0) {
        copy_bounded(errbuf, sizeof errbuf, pcap_geterr(handle));
        pcap_freecode(&program);
        pcap_close(handle);
        ERR_PRINT("error: pcap_setfilter(): %s\n", errbuf);
        return nullptr;
    }
    ctx->capture.store(handle);
    // A stop that came before the handle was stored could not break it.
    if (g_running.load())
        pcap_loop(handle, -1, search_packet_handler, reinterpret_cast<u_char*>(ctx));
    {
        Guard g(&g_capture_lock);
        ctx->capture.store(nullptr);
    }
    pcap_freecode(&program);
    pcap_close(handle);
    return nullptr;
}

void* search_timer_task(void*)
{
    OSA_thrSetName("search_timer");
    unsigned counter = 1;
    while (g_running.load()) {
        if (!wait_running(1000))
            break;
        ++counter;
        if (counter % kAnnouncePeriod == 0 && g_ctx.capture.load() != nullptr)
            search_response(&g_ctx, kBroadcast);
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

void planet_search_resp()
{
    int fd = planet_reply_socket();
    if (fd < 0)
        return;
    uint8_t mac[kMacLen];
    if (get_mac("eth0", mac) != 0) {
        print("Planet Get MAC Fail. \n");
        close(fd);
        return;
    }
    DeviceRecord dev;
    OemDeviceRecord oem;
    NetworkRecord net;
    memset(&dev, 0, sizeof dev);
    memset(&oem, 0, sizeof oem);
    memset(&net, 0, sizeof net);
    db_get_device(&dev);
    oem_get_device(&oem);
    net.iface = VDDB_IFACE_WIRED;
    db_get_network(&net);
    PlanetInfo info;
    memcpy(info.mac, mac, kMacLen);
    info.ipaddr = planet_address(field(net.ipaddr));
    info.netmask = planet_address(field(net.netmask));
    info.gateway = planet_address(field(net.gateway));
    info.model = field(oem.model)[0] != '\0' ? oem.model : field(dev.text1);
    info.text2 = reinterpret_cast<const uint8_t*>(dev.text2);
    uint8_t reply[kPlanetInfoReplyLen];
    planet_build_info_reply(reply, info);
    planet_send(fd, reply, sizeof reply);
    close(fd);
}

void planet_modify_resp(const char* text)
{
    int fd = planet_reply_socket();
    if (fd < 0)
        return;
    uint8_t mac[kMacLen];
    if (get_mac("eth0", mac) != 0) {
        ERR_PRINT("Planet Get MAC Fail.\n");
        close(fd);
        return;
    }
    uint8_t reply[kPlanetModifyReplyLen];
    planet_build_modify_reply(reply, mac, text);
    planet_send(fd, reply, sizeof reply);
    close(fd);
}

bool is_mac_match(const uint8_t* packet)
{
    uint8_t mac[kMacLen];
    if (get_mac("eth0", mac) != 0) {
        ERR_PRINT("Planet Get MAC Fail.\n");
        return false;
    }
    return memcmp(packet + 10, mac, kMacLen) == 0;
}

int planet_modify_device(const unsigned char* packet)
{
    PlanetModify m;
    planet_parse_modify(packet, &m);
    if (m.checksum != m.checksum_received)
        print("planet modify device.chk_sum:%d!=%d. \n", m.checksum, m.checksum_received);
    if (check_user_password("admin", m.current) != 0) {
        print("planet modify device.password:%s is wrong. \n", m.current);
        return -1;
    }
    NetworkRecord rec;
    memset(&rec, 0, sizeof rec);
    rec.iface = VDDB_IFACE_WIRED;
    db_get_network(&rec);
    rec.mode = 0;
    if (CheckIPAddr(m.ipaddr))
        copy_bounded(rec.ipaddr, sizeof rec.ipaddr, m.ipaddr);
    if (CheckIPAddr(m.netmask))
        copy_bounded(rec.netmask, sizeof rec.netmask, m.netmask);
    if (CheckIPAddr(m.gateway))
        copy_bounded(rec.gateway, sizeof rec.gateway, m.gateway);
    copy_bounded(rec.dns1, sizeof rec.dns1, field(rec.gateway));
    db_set_network(&rec);
    if (m.title[0] != '\0') {
        char title[32];
        copy_bounded(title, sizeof title, m.title);
        vd_string_strip(title, 10);
        vd_string_strip(title, 13);
        db_set_device_title(title);
    }
    if (m.fresh[0] == '\0' || strcmp(m.fresh, m.current) == 0)
        return 0;
    UserRecord user;
    memset(&user, 0, sizeof user);
    copy_bounded(user.name, sizeof user.name, "admin");
    copy_bounded(user.password, sizeof user.password, m.fresh);
    user.privilege = 0;
    update_user_module_permission_by_privilege(-1, 0, user.permission);
    db_set_user(&user);
    return 0;
}

void* planet_socket_thread(void*)
{
    OSA_thrSetName("UDPPThread");
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) {
        perror("planet socket");
        return nullptr;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(kPlanetPort);
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        perror("planet bind");
        close(fd);
        return nullptr;
    }
    {
        Guard g(&g_capture_lock);
        g_planet_fd = fd;
    }
    while (g_running.load()) {
        // Cleared every time: nothing of an earlier datagram is ever read.
        uint8_t buf[kPlanetMaxDatagram + 1];
        memset(buf, 0, sizeof buf);
        ssize_t n = recvfrom(fd, buf, kPlanetMaxDatagram, 0, nullptr, nullptr);
        if (n < 0) {
            perror("planet recv failed");
            break;
        }
        if (!g_running.load())
            break;  // woken by the stop's shutdown
        buf[n] = 0;
        PlanetKind kind = planet_classify(buf, static_cast<size_t>(n));
        if (kind == PlanetKind::kInfo) {
            planet_search_resp();
        } else if (kind == PlanetKind::kModify && is_mac_match(buf)) {
            if (planet_modify_device(buf) != 0) {
                ERR_PRINT("planet modify failed.\n");
                planet_modify_resp("Failed.");
            } else {
                planet_modify_resp("Successfully.");
            }
        }
        // At most one datagram a second; the rest wait in the socket.
        wait_running(1000);
    }
    {
        Guard g(&g_capture_lock);
        g_planet_fd = -1;
    }
    close(fd);
    return nullptr;
}

// Wakes every thread that started and waits for it to end.
void end_threads(bool pause)
{
    wake_waiters();
    if (pause)
        OSA_sleepMilli(200);
    {
        Guard g(&g_capture_lock);
        pcap_t* capture = g_ctx.capture.load();
        if (capture != nullptr)
            pcap_breakloop(capture);
    }
    if (pause)
        OSA_sleepMilli(100);
    if (g_planet_started) {
        {
            Guard g(&g_capture_lock);
            if (g_planet_fd >= 0)
                shutdown(g_planet_fd, SHUT_RDWR);
        }
        if (pause)
            OSA_sleepMilli(100);
    }
    if (g_timer_started)
        pthread_join(g_timer, nullptr);
    if (g_listener_started)
        pthread_join(g_ctx.thread, nullptr);
    if (g_planet_started)
        pthread_join(g_planet, nullptr);
    g_timer_started = g_listener_started = g_planet_started = false;
}

int search_stop()
{
    if (!g_running.load())
        return 0;
    g_running.store(0);
    end_threads(true);
    return 0;
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

void init_wake()
{
    if (g_wake_ready)
        return;
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_init(&g_wake, &attr);
    pthread_condattr_destroy(&attr);
    g_wake_ready = true;
}

// A failed start ends the threads that did start: none may outlive the module.
int start_failed()
{
    g_running.store(0);
    end_threads(false);
    return -1;
}

int vd_search_init()
{
    if (g_running.load())
        return 1;
    init_wake();
    g_ctx.thread = pthread_t{};
    g_ctx.interface = VDDB_IFACE_WIRED;
    memset(g_ctx.mac, 0, sizeof g_ctx.mac);
    g_ctx.capture.store(nullptr);
    g_running.store(1);
    get_mac("eth0", g_ctx.mac);
    unsigned priority = osa_thr_mid_priority();
    BlockSignals blocked;
    if (OSA_thrCreate(&g_ctx.thread, search_listen, priority, 0, &g_ctx) != 0) {
        start_failed();
        ERR_PRINT("Create search task failed. \n");
        return -1;
    }
    g_listener_started = true;
    if (OSA_thrCreate(&g_timer, search_timer_task, priority, 0, nullptr) != 0) {
        start_failed();
        ERR_PRINT("Create search timer task failed. \n");
        return -1;
    }
    g_timer_started = true;
    g_oem_index = oem_get_index();
    if (g_oem_index == kPlanetOemIndex) {
        if (OSA_thrCreate(&g_planet, planet_socket_thread, priority, 0, nullptr) != 0) {
            start_failed();
            ERR_PRINT("Create planet task failed. \n");
            return -1;
        }
        g_planet_started = true;
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
    } else if (vd_search_init() < 0) {
        ERR_PRINT("Faild to init search! \n");
        result = -1;
    } else {
        while (!g_quit)
            OSA_sleepMilli(1000);
        search_stop();
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
