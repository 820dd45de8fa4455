// The responder's rules: what a modify request changes, raw and planet.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "vd_search.h"

using namespace discovery;

namespace {

UserRecord user(const char* name, const std::string& password, uint8_t privilege)
{
    UserRecord u;
    memset(&u, 0, sizeof u);
    strncpy(u.name, name, sizeof u.name - 1);
    memcpy(u.password, password.data(), password.size() < sizeof u.password ? password.size() : sizeof u.password);
    u.privilege = privilege;
    return u;
}

// The factory users, a user whose name is a mode, and one whose stored
// password fills its field without a terminator.
const std::string kFull(sizeof UserRecord{}.password, 'p');
const UserRecord kUsers[] = {user("admin", "admin", 0), user("operator", "operator", 1),
                             user("guest", "guest", 2), user("1", "one", 1), user("full", kFull, 0)};

struct Net {
    int mode;
    const char *ipaddr, *netmask, *gateway, *dns1;
};
const Net kStored = {0, "192.0.2.10", "255.255.255.0", "192.0.2.1", "192.0.2.1"};

NetworkRecord record(const Net& n)
{
    NetworkRecord r;
    memset(&r, 0, sizeof r);
    r.mode = static_cast<uint8_t>(n.mode);
    strcpy(r.hostname, "ipcam");
    strcpy(r.ipaddr, n.ipaddr);
    strcpy(r.netmask, n.netmask);
    strcpy(r.gateway, n.gateway);
    strcpy(r.dns1, n.dns1);
    return r;
}

void expect_network(const NetworkRecord& got, const Net& want, const std::string& what)
{
    EXPECT_EQ(got.mode, want.mode) << what;
    EXPECT_STREQ(got.ipaddr, want.ipaddr) << what;
    EXPECT_STREQ(got.netmask, want.netmask) << what;
    EXPECT_STREQ(got.gateway, want.gateway) << what;
    EXPECT_STREQ(got.dns1, want.dns1) << what;
    EXPECT_STREQ(got.hostname, "ipcam") << what;
}

TEST(SearchRules, ModifyRequest)
{
    const std::string full = "192.0.2.10;80;255.255.255.0;192.0.2.1;192.0.2.1;IPCAM;full;" + kFull;
    const std::string long_mask = std::string(50, '0') + "255.255.0.0";  // 61 characters
    const struct {
        std::string text;
        int result;  // -1 refused: nothing is written and nothing applied
        int port;
        const char* title;
        Net network;  // as stored after the request
    } cases[] = {
        {"192.0.2.20;8080;255.255.255.0;192.0.2.1;192.0.2.1;Lobby;admin;admin", 1, 8080, "Lobby",
         {0, "192.0.2.20", "255.255.255.0", "192.0.2.1", "192.0.2.1"}},
        {"192.0.2.10;80;255.255.255.0;192.0.2.1;192.0.2.1;IPCAM;operator;operator", 0, 80, "IPCAM", kStored},
        // Refused: a wrong password, its prefix, more than it, another case,
        // privilege 2, a missing password (an empty title moves the user up).
        {"192.0.2.20;8080;255.255.255.0;192.0.2.1;192.0.2.1;Lobby;admin;nimda", -1, 0, nullptr, kStored},
        {"192.0.2.20;8080;255.255.255.0;192.0.2.1;192.0.2.1;Lobby;admin;adm", -1, 0, nullptr, kStored},
        {"192.0.2.20;8080;255.255.255.0;192.0.2.1;192.0.2.1;Lobby;admin;admin2", -1, 0, nullptr, kStored},
        {"192.0.2.20;8080;255.255.255.0;192.0.2.1;192.0.2.1;Lobby;Admin;admin", -1, 0, nullptr, kStored},
        {"192.0.2.20;8080;255.255.255.0;192.0.2.1;192.0.2.1;Lobby;guest;guest", -1, 0, nullptr, kStored},
        {"192.0.2.20;8080;255.255.255.0;192.0.2.1;192.0.2.1;;admin;admin", -1, 0, nullptr, kStored},
        {full.substr(0, full.size() - 1), -1, 0, nullptr, kStored},
        {full, 0, 80, "IPCAM", kStored},
        // Each address alone is a change of the record.
        {"192.0.2.10;80;255.255.0.0;192.0.2.1;192.0.2.1;IPCAM;admin;admin", 1, 80, "IPCAM",
         {0, "192.0.2.10", "255.255.0.0", "192.0.2.1", "192.0.2.1"}},
        {"192.0.2.10;80;255.255.255.0;192.0.2.254;192.0.2.1;IPCAM;admin;admin", 1, 80, "IPCAM",
         {0, "192.0.2.10", "255.255.255.0", "192.0.2.254", "192.0.2.1"}},
        {"192.0.2.10;80;255.255.255.0;192.0.2.1;198.51.100.53;IPCAM;admin;admin", 1, 80, "IPCAM",
         {0, "192.0.2.10", "255.255.255.0", "192.0.2.1", "198.51.100.53"}},
        // The user name's number is the mode.
        {"192.0.2.10;80;255.255.255.0;192.0.2.1;192.0.2.1;IPCAM;1;one", 1, 80, "IPCAM",
         {1, "192.0.2.10", "255.255.255.0", "192.0.2.1", "192.0.2.1"}},
        // Port clamped; what is no dotted quad keeps the stored value.
        {"1.2.3;70000;255.255.255.256;x;1,2,3,4;IPCAM;admin;admin", 0, 65535, "IPCAM", kStored},
        {"192.0.2.10;-5;;;255.255.255.0;192.0.2.1;192.0.2.1;T;admin;admin;x", 0, 1, "T", kStored},
        // A dotted quad too long for the field would be stored cut, as none.
        {"192.0.2.10;80;" + std::string(60, '0') + "255.255.255.0;192.0.2.1;192.0.2.1;T;admin;admin", 0, 80, "T",
         kStored},
        {"192.0.2.10;80;" + long_mask + ";192.0.2.1;192.0.2.1;T;admin;admin", 1, 80, "T",
         {0, "192.0.2.10", long_mask.c_str(), "192.0.2.1", "192.0.2.1"}},
    };
    for (const auto& c : cases) {
        RequestFields f;
        split_request(c.text.data(), c.text.size(), &f);
        ModifyOutcome o = apply_modify(f, {record(kStored), kUsers, 5});
        EXPECT_EQ(o.result, c.result) << c.text;
        if (c.result < 0)
            continue;
        EXPECT_EQ(o.http_port, c.port) << c.text;
        EXPECT_STREQ(o.title, c.title) << c.text;
        expect_network(o.network, c.network, c.text);
    }
    RequestFields f;
    const char untitled[] = "192.0.2.10;80;255.255.255.0;192.0.2.1;192.0.2.1";
    split_request(untitled, sizeof untitled - 1, &f);
    strcpy(f.field[kFieldUser], "admin");  // fields 5 and 7 present, the title empty
    strcpy(f.field[kFieldPassword], "admin");
    ModifyOutcome o = apply_modify(f, {record(kStored), kUsers, 5});
    EXPECT_EQ(o.result, 0);
    EXPECT_EQ(o.title, nullptr);  // an empty title keeps the stored one
    EXPECT_EQ(apply_modify(f, {record(kStored), nullptr, 0}).result, -1);  // no users at all
}

TEST(SearchRules, PlanetModifyRequest)
{
    const Net dhcp = {1, "192.0.2.10", "255.255.255.0", "192.0.2.1", "198.51.100.53"};
    const struct {
        const char* current;
        const char* fresh;
        const char* ipaddr;
        const char* title;
        bool accepted;
        const char* password;  // the admin's new one, or null
        Net network;
    } cases[] = {
        // Static mode, the addresses given, the gateway as DNS server.
        {"admin", "", "192.0.2.30", "Hall\r\n", true, nullptr,
         {0, "192.0.2.30", "255.255.0.0", "192.0.2.254", "192.0.2.254"}},
        {"admin", "admin", "192.0.2.30", "", true, nullptr,
         {0, "192.0.2.30", "255.255.0.0", "192.0.2.254", "192.0.2.254"}},
        {"admin", "0123456789abcdef", "1.2.3", "", true, "0123456789abcdef",
         {0, "192.0.2.10", "255.255.0.0", "192.0.2.254", "192.0.2.254"}},
        {"adm", "", "192.0.2.30", "", false, nullptr, dhcp},
        {"admin2", "", "192.0.2.30", "", false, nullptr, dhcp},
        {"", "", "192.0.2.30", "", false, nullptr, dhcp},
    };
    for (const auto& c : cases) {
        PlanetModify m;
        memset(&m, 0, sizeof m);
        strcpy(m.current, c.current);
        strcpy(m.fresh, c.fresh);
        strcpy(m.ipaddr, c.ipaddr);
        strcpy(m.netmask, "255.255.0.0");
        strcpy(m.gateway, "192.0.2.254");
        strcpy(m.title, c.title);
        std::string what = std::string(c.current) + "/" + c.fresh;
        PlanetOutcome o = apply_planet_modify(m, {record(dhcp), kUsers, 5});
        EXPECT_EQ(o.accepted, c.accepted) << what;
        if (!c.accepted)
            continue;
        EXPECT_STREQ(o.password, c.password) << what;
        EXPECT_STREQ(o.title, c.title) << what;
        expect_network(o.network, c.network, what);
    }
}

}  // namespace
