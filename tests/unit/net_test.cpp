// Dotted-quad validation, routing-table lines, the DHCP command and thread
// priorities.
#include <gtest/gtest.h>
#include <net/route.h>
#include <stdio.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "osa_net.h"
#include "osa_thr.h"

namespace {

TEST(CheckIPAddr, AcceptsExactlyFourDecimalNumbersUpTo255)
{
    const struct {
        const char* text;
        int valid;
    } cases[] = {
        {"192.0.2.1", 1},       {"01.002.3.4", 1},      {"0.0.0.0", 1},
        {"255.255.255.255", 1}, {" 1. 2.+3.4", 1},      {"1.2.3.-0", 1},
        {"192.0.2.1 ", 0},      {"192.0.2", 0},         {"192.0.2.256", 0},
        {"1.2.3.-4", 0},        {"1,2,3,4", 0},         {"1.2.3.4.5", 0},
        {"1..2.3", 0},          {"", 0},                {"1.2.3.", 0},
        {"1.2.3.+", 0},         {"1 .2.3.4", 0},        {"a.b.c.d", 0},
        {"1.2.3.4294967297", 0}, {"1.2.3.-4294967295", 0},
        {"1.2.3.99999999999999999999999", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CheckIPAddr(c.text), c.valid) << c.text;
    EXPECT_EQ(CheckIPAddr(nullptr), 0);
}

TEST(NetParseQuad, LeadingZerosAreDecimal)
{
    uint8_t q[4] = {};
    ASSERT_TRUE(net_parse_quad("010.0.02.09", q));
    EXPECT_EQ(q[0], 10);
    EXPECT_EQ(q[1], 0);
    EXPECT_EQ(q[2], 2);
    EXPECT_EQ(q[3], 9);
}

TEST(RouteLine, ReadsNameAddressesAndFlags)
{
    RouteLine r{};
    ASSERT_TRUE(net_parse_route_line(
        "eth0\t00000000\t010200C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\n", &r));
    EXPECT_STREQ(r.ifname, "eth0");
    EXPECT_EQ(r.destination, 0u);
    EXPECT_EQ(r.flags, 3u);
    const uint8_t* gw = reinterpret_cast<const uint8_t*>(&r.gateway);
    EXPECT_EQ(std::to_string(gw[0]) + "." + std::to_string(gw[1]) + "." + std::to_string(gw[2]) +
                  "." + std::to_string(gw[3]),
              "192.0.2.1");  // on a little-endian PC, as the kernel prints it
    EXPECT_TRUE(net_is_gateway_route(r, "eth0"));
    EXPECT_FALSE(net_is_gateway_route(r, "eth"));
    EXPECT_FALSE(net_is_gateway_route(r, "eth00"));
    r.flags = RTF_UP;
    EXPECT_FALSE(net_is_gateway_route(r, "eth0"));
    r.flags = RTF_GATEWAY;
    EXPECT_FALSE(net_is_gateway_route(r, "eth0"));

    // A name the kernel could not have printed never overruns the field.
    EXPECT_FALSE(net_parse_route_line("abcdefghijklmnopqrst\t00000000\t00000000\t0001\t0\n", &r));
    EXPECT_FALSE(net_parse_route_line("Iface\tDestination\tGateway \tFlags\n", &r));
    EXPECT_FALSE(net_parse_route_line("", &r));
}

TEST(DhcpCommand, QuotesTheHostNameAndAlwaysClosesTheQuotes)
{
    const struct {
        std::string host;
        std::string command;
    } cases[] = {
        {"ipcam", "dhcpcd eth0 -t 30 -h 'ipcam' > /dev/null"},
        {"", "dhcpcd eth0 -t 30 -h '' > /dev/null"},
        {"a'; reboot; '", "dhcpcd eth0 -t 30 -h 'a'\\''; reboot; '\\''' > /dev/null"},
        {"$(id)`x`", "dhcpcd eth0 -t 30 -h '$(id)`x`' > /dev/null"},
        // 127 characters at most: the name is cut, the quote and redirect stay.
        {std::string(127, 'h'), "dhcpcd eth0 -t 30 -h '" + std::string(92, 'h') + "' > /dev/null"},
        // A quote that no longer fits whole is dropped whole.
        {std::string(90, 'h') + "'x", "dhcpcd eth0 -t 30 -h '" + std::string(90, 'h') + "' > /dev/null"},
    };
    for (const auto& c : cases) {
        char cmd[128];
        memset(cmd, 'z', sizeof cmd);
        net_dhcp_command(cmd, sizeof cmd, "eth0", c.host.c_str());
        EXPECT_EQ(std::string(cmd), c.command) << c.host;
        EXPECT_LE(strlen(cmd), 127u);
    }
}

TEST(DhcpCommand, OldClientCountsUntilItHasEnded)
{
    const struct {
        const char* stat;
        bool live;
    } cases[] = {
        {"412 (dhcpcd) S 1 412 412 0 -1 4194624", true},
        {"412 (dhcpcd) D 1", true},  // still ending: it may hold its pid file yet
        {"412 (dhcpcd) Z 1", false},  // what a zombie held is let go
        {"412 (dhcpcd) X 1", false},
        {"412 (dhcpcd-run) S 1", false},
        {"412 (dhcp) S 1", false},
        {"412 (sh) S 1 dhcpcd", false},
        {"412 (x) (dhcpcd) S 1", false},
        {"412 (dhcpcd)", false},
        {"garbage", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(net_stat_is_live(c.stat, "dhcpcd"), c.live) << c.stat;
    EXPECT_TRUE(net_stat_is_live("9 (a) b) R 1", "a) b"));  // the name ends at the last ')'
}

TEST(NetErrors, EachErrorLineEndsTheLine)
{
    // An interface that does not exist: every request fails, nothing changes.
    const struct {
        int (*call)();
        const char* line;
    } cases[] = {
        {[] { char b[16]; return net_get_ifaddr("nosuch9", b, sizeof b); }, "): net_get_ifaddr: ioctl SIOCGIFADDR\n"},
        {[] { return net_set_ifaddr("nosuch9", "192.0.2.1"); }, "): net_set_ifaddr: ioctl SIOCSIFADDR\n"},
        {[] { return net_set_netmask("nosuch9", "255.255.255.0"); }, "): net_set_netmask: ioctl SIOCSIFNETMASK\n"},
    };
    for (const auto& c : cases) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(c.call(), -1);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(c.line), std::string::npos) << err;
    }
}

TEST(DhcpCommand, WaitReturnsOnceTheOldClientHasEnded)
{
    // The child takes the name at the fork, so it is never seen without it.
    char own[16] = {};
    prctl(PR_GET_NAME, own, 0, 0, 0);
    prctl(PR_SET_NAME, "ending-client", 0, 0, 0);
    pid_t child = fork();
    if (child == 0) {
        usleep(200 * 1000);
        _exit(0);
    }
    prctl(PR_SET_NAME, own, 0, 0, 0);
    ASSERT_GT(child, 0);
    EXPECT_TRUE(net_wait_ended("ending-client", 10 * 1000));
    // Not yet reaped: a zombie, which holds nothing any more.
    char path[64], stat[256] = {};
    snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(child));
    FILE* f = fopen(path, "r");
    ASSERT_NE(f, nullptr);
    ASSERT_NE(fgets(stat, sizeof stat, f), nullptr);
    fclose(f);
    EXPECT_NE(strstr(stat, ") Z "), nullptr) << stat;
    waitpid(child, nullptr, 0);
    EXPECT_TRUE(net_wait_ended("ending-client", 0));
}

TEST(ThreadPriority, ClampedToTheFifoRange)
{
    EXPECT_EQ(osa_thr_clamp_priority(0, 1, 99), 1u);
    EXPECT_EQ(osa_thr_clamp_priority(100, 1, 99), 99u);
    EXPECT_EQ(osa_thr_clamp_priority(0xffffffffu, 1, 99), 99u);
    EXPECT_EQ(osa_thr_clamp_priority(50, 1, 99), 50u);
    EXPECT_EQ(osa_thr_mid_priority(), 50u);  // Linux: 1..99
}

}  // namespace
