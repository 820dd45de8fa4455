// The configuration store stand-in: records round-trip through the camera's
// databases, and concurrent callers never see half of another's write.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <string.h>

#include <atomic>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "vdcommon.h"
#include "vddb.h"

namespace {

constexpr char kMainDb[] = "/mnt/nand/vddb.db";

// Runs SQL on the database as another program (the db module) would.
void sql(const char* text)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(kMainDb, &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, text, nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
}

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
    // Failed calls and torn records are counted apart: a busy database and a
    // missing lock are different faults. Without the lock, threads that share
    // a prepared statement reset or rebind it under each other; cheap reads
    // in several threads make that likely in every run.
    constexpr int kWriters = 2, kReaders = 4, kWrites = 100, kReads = 5000;
    std::atomic<int> failed{0};
    std::atomic<int> torn{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kWriters + kReaders; ++t) {
        threads.emplace_back([t, &failed, &torn] {
            for (int i = 0; i < (t < kWriters ? kWrites : kReads); ++i) {
                std::string token = std::to_string(t) + "." + std::to_string(i);
                if (t < kWriters) {
                    NetworkRecord w{};
                    fill(w.ipaddr, sizeof w.ipaddr, token);
                    fill(w.netmask, sizeof w.netmask, token);
                    fill(w.gateway, sizeof w.gateway, token);
                    failed += db_set_network(&w) != 0;
                    failed += db_set_port_http(1000 + t) != 0;
                } else {
                    NetworkRecord r{};
                    PortRecord p{};
                    failed += db_get_network(&r) != 0;
                    failed += db_get_port(&p) != 0;
                    torn += strcmp(r.ipaddr, r.netmask) != 0 || strcmp(r.ipaddr, r.gateway) != 0;
                }
            }
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(failed.load(), 0);
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

// Only a user whose privilege is a whole 0 or 1 may change settings; a
// user whose name or password the record cannot hold whole may do nothing,
// since its cut password would be a prefix of the real one.
TEST(Store, UsersWithoutAWholePrivilegeOrPasswordMayDoNothing)
{
    const std::string p63(63, 'p');
    const std::string p64(64, 'p');
    sql(("INSERT INTO user(name, password, privilege) VALUES"
         "('null', 'pw', NULL), ('wrap', 'pw', 256), ('minus', 'pw', -256), ('half', 'pw', 0.5),"
         "('word', 'pw', 'admin'), ('op', 'pw', '1'), ('nopw', NULL, 0), ('nul', CAST(X'700070' AS TEXT), 0),"
         "('fits', '" + p63 + "', 0), ('long', '" + p64 + "', 0)").c_str());
    const struct {
        const char* name;
        const char* password;
        int privilege;
    } want[] = {
        {"null", "pw", 255}, {"wrap", "pw", 255}, {"minus", "pw", 255}, {"half", "pw", 255},
        {"word", "pw", 255}, {"op", "pw", 1},     {"nopw", "", 255},    {"nul", "", 255},
        {"fits", p63.c_str(), 0}, {"long", "", 255},
    };
    ASSERT_EQ(db_init(), 0);
    UserRecord* users = nullptr;
    int count = 0;
    ASSERT_EQ(db_get_users(&users, &count), 0);
    ASSERT_EQ(count, 3 + static_cast<int>(std::size(want)));
    for (size_t i = 0; i < std::size(want); ++i) {
        const UserRecord& u = users[3 + i];
        EXPECT_STREQ(u.name, want[i].name);
        EXPECT_STREQ(u.password, want[i].password) << want[i].name;
        EXPECT_EQ(static_cast<int>(u.privilege), want[i].privilege) << want[i].name;
    }
    __vd_free(users, __FILE__, __LINE__);

    // What would read back cut is not stored.
    UserRecord full{};
    fill(full.name, sizeof full.name, "full");
    fill(full.password, sizeof full.password, p64);
    EXPECT_EQ(db_set_user(&full), -1);
    fill(full.name, sizeof full.name, std::string(128, 'n'));
    fill(full.password, sizeof full.password, "pw");
    EXPECT_EQ(db_set_user(&full), -1);
    ASSERT_EQ(db_get_users(&users, &count), 0);
    EXPECT_EQ(count, 3 + static_cast<int>(std::size(want)));
    __vd_free(users, __FILE__, __LINE__);
    db_uninit(1);
}

// A write that returns 0 was kept, even where its row had been deleted.
TEST(Store, WritesMakeAMissingRow)
{
    sql("DELETE FROM port; DELETE FROM device");
    ASSERT_EQ(db_init(), 0);
    EXPECT_EQ(db_set_port_http(8080), 0);
    EXPECT_EQ(db_set_device_title("Lobby"), 0);
    PortRecord p{};
    EXPECT_EQ(db_get_port(&p), 0);
    EXPECT_EQ(p.http, 8080);
    DeviceRecord d{};
    EXPECT_EQ(db_get_device(&d), 0);
    EXPECT_STREQ(d.title, "Lobby");
    db_uninit(1);
}

// A user list that cannot be read is a failure, not an empty list.
TEST(Store, UsersOfADatabaseHeldByAnotherWriterFail)
{
    ASSERT_EQ(db_init(), 0);
    UserRecord* users = nullptr;
    int count = -1;
    ASSERT_EQ(db_get_users(&users, &count), 0);  // its statement ready, so the read itself meets the lock
    __vd_free(users, __FILE__, __LINE__);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open_v2(kMainDb, &other, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(db_get_users(&users, &count), -1);
    EXPECT_EQ(users, nullptr);
    EXPECT_EQ(count, 0);
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    db_uninit(1);
}

}  // namespace
