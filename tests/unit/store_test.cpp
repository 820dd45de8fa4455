// The configuration store stand-in: records round-trip through the camera's
// databases, and concurrent callers never see half of another's write.
#include <gtest/gtest.h>
#include <string.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "vdcommon.h"
#include "vddb.h"

namespace {

void fill(char* field, size_t size, const std::string& text)
{
    memset(field, 0, size);
    memcpy(field, text.data(), std::min(size, text.size()));
}

TEST(Store, NetworkRecordRoundTripsWithFieldsCutToTheirSize)
{
    ASSERT_EQ(db_init(), 0);
    NetworkRecord w{};
    w.iface = 1;
    w.mode = 1;
    fill(w.hostname, sizeof w.hostname, "cam'; DROP TABLE user; --");
    fill(w.ipaddr, sizeof w.ipaddr, std::string(64, '7'));  // no terminator
    fill(w.gateway, sizeof w.gateway, "198.51.100.1");
    ASSERT_EQ(db_set_network(&w), 0);
    NetworkRecord r{};
    r.iface = 1;
    ASSERT_EQ(db_get_network(&r), 0);
    EXPECT_EQ(r.mode, 1);
    EXPECT_STREQ(r.hostname, "cam'; DROP TABLE user; --");
    EXPECT_EQ(std::string(r.ipaddr), std::string(63, '7'));
    EXPECT_STREQ(r.gateway, "198.51.100.1");
    EXPECT_STREQ(r.netmask, "");

    UserRecord* users = nullptr;
    int count = 0;
    ASSERT_EQ(db_get_users(&users, &count), 0);
    ASSERT_EQ(count, 3);
    EXPECT_STREQ(users[0].name, "admin");
    EXPECT_STREQ(users[2].password, "guest");
    EXPECT_EQ(users[2].privilege, 2);
    __vd_free(users, __FILE__, __LINE__);
    db_uninit(1);
}

TEST(Store, ConcurrentWritersAndReadersSeeWholeRecords)
{
    ASSERT_EQ(db_init(), 0);
    // A record whose fields agree before any thread starts: a reader that
    // runs ahead of both writers must not take the factory record for torn.
    NetworkRecord first{};
    fill(first.ipaddr, sizeof first.ipaddr, "start");
    fill(first.netmask, sizeof first.netmask, "start");
    fill(first.gateway, sizeof first.gateway, "start");
    ASSERT_EQ(db_set_network(&first), 0);
    std::atomic<int> torn{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &torn] {
            for (int i = 0; i < 150; ++i) {
                std::string token = std::to_string(t) + "." + std::to_string(i);
                if (t < 2) {
                    NetworkRecord w{};
                    fill(w.ipaddr, sizeof w.ipaddr, token);
                    fill(w.netmask, sizeof w.netmask, token);
                    fill(w.gateway, sizeof w.gateway, token);
                    if (db_set_network(&w) != 0)
                        ++torn;
                    db_set_port_http(1000 + t);
                } else {
                    NetworkRecord r{};
                    PortRecord p{};
                    if (db_get_network(&r) != 0 || db_get_port(&p) != 0)
                        ++torn;
                    if (strcmp(r.ipaddr, r.netmask) != 0 || strcmp(r.ipaddr, r.gateway) != 0)
                        ++torn;
                }
            }
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(torn.load(), 0);
    db_uninit(1);
}

TEST(Store, OemIndexAndPermissions)
{
    EXPECT_EQ(oem_get_index(), 0);
    uint8_t area[262];
    memset(area, 9, sizeof area);
    update_user_module_permission_by_privilege(-1, 1, area);
    EXPECT_EQ(area[0], 1);
    EXPECT_EQ(area[261], 0);
    update_user_module_permission_by_privilege(-1, 0, area);
    EXPECT_EQ(area[261], 1);
}

}  // namespace
