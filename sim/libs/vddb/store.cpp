// store.cpp — stand-in for the camera's configuration store: the records are
// rows of the camera's SQLite databases, so the db module shows what was
// stored. One connection per database stays open with its statements
// prepared; one mutex serialises every call, since the listener, timer and
// planet threads share the store. Each write is a single statement and so
// one transaction: a kill never leaves half a record. Writes of several
// records (a modify's port, title and network) stay separate transactions:
// the calls carry no mark of where a group begins or ends, and each must say
// when it returns whether its record was kept.
#include <pthread.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <string.h>

#include "owners.h"
#include "vddb.h"
#include "vdsim.h"

namespace {

constexpr char kMainPath[] = "/mnt/nand/vddb.db";
constexpr char kOemPath[] = "/mnt/nand2/oem.db";
constexpr int kBusyMs = 2000;  // another process (the db module) may hold the lock
constexpr int kMaxUsers = 256;
// Privilege of a user who may do nothing: NULL, a value that is no whole
// number of 0..255, or a user who cannot be checked whole reads as this.
constexpr uint8_t kNoPrivilege = 255;

enum Statement {
    kGetNetwork,
    kSetNetwork,
    kGetDevice,
    kSetTitle,
    kGetPort,
    kSetPort,
    kGetUsers,
    kSetUser,
    kGetOem,
    kStatements
};

struct StatementText {
    bool oem;
    const char* sql;
};
const StatementText kSql[kStatements] = {
    {false, "SELECT mode, hostname, ipaddr, netmask, gateway, dns1, dns2 FROM network WHERE iface = ?"},
    {false, "INSERT OR REPLACE INTO network(iface, mode, hostname, ipaddr, netmask, gateway, dns1, dns2)"
            " VALUES(?, ?, ?, ?, ?, ?, ?, ?)"},
    {false, "SELECT title, text1, text2, text3 FROM device WHERE id = 0"},
    // A missing row is made, so a write that returns 0 was always kept.
    {false, "INSERT INTO device(id, title) VALUES(0, ?) ON CONFLICT(id) DO UPDATE SET title = excluded.title"},
    {false, "SELECT http FROM port WHERE id = 0"},
    {false, "INSERT INTO port(id, http) VALUES(0, ?) ON CONFLICT(id) DO UPDATE SET http = excluded.http"},
    // Read as an int, NULL would be 0, the administrator; 256 would wrap to 0.
    {false, "SELECT name, password,"
            " CASE WHEN typeof(privilege) = 'integer' AND privilege BETWEEN 0 AND 255 THEN privilege"
            " ELSE 255 END, permission FROM user ORDER BY rowid"},
    {false, "INSERT OR REPLACE INTO user(name, password, privilege, permission) VALUES(?, ?, ?, ?)"},
    {true, "SELECT model, oem_index FROM oem WHERE id = 0"},
};

pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;
sqlite3* g_main = nullptr;
sqlite3* g_oem = nullptr;
sqlite3_stmt* g_stmt[kStatements];

sqlite3* open_db(const char* path)
{
    sqlite3* db = nullptr;
    // Never creates a database: a missing one is an error, not an empty store.
    if (sqlite3_open_v2(path, &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, kBusyMs);
    return db;
}

void close_all()
{
    for (sqlite3_stmt*& s : g_stmt) {
        sqlite3_finalize(s);
        s = nullptr;
    }
    sqlite3_close(g_main);
    sqlite3_close(g_oem);
    g_main = g_oem = nullptr;
}

bool open_all()
{
    if (g_main == nullptr)
        g_main = open_db(kMainPath);
    if (g_oem == nullptr)
        g_oem = open_db(kOemPath);
    return g_main != nullptr && g_oem != nullptr;
}

// The prepared statement, reset and unbound; null when its database is
// missing or lacks the table.
sqlite3_stmt* statement(Statement which)
{
    open_all();
    sqlite3_stmt*& s = g_stmt[which];
    if (s == nullptr) {
        sqlite3* db = kSql[which].oem ? g_oem : g_main;
        if (db == nullptr || sqlite3_prepare_v2(db, kSql[which].sql, -1, &s, nullptr) != SQLITE_OK) {
            s = nullptr;
            return nullptr;
        }
    }
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
    return s;
}

// Ends the statement's transaction at once, so no lock outlives the call.
int finish(sqlite3_stmt* s, int rc)
{
    sqlite3_reset(s);
    return rc;
}

void column_text(sqlite3_stmt* s, int col, char* out, size_t size)
{
    const unsigned char* text = sqlite3_column_text(s, col);
    int n = sqlite3_column_bytes(s, col);
    size_t len = text == nullptr ? 0 : static_cast<size_t>(n);
    if (len > size - 1)
        len = size - 1;
    if (len > 0)
        memcpy(out, text, len);
    out[len] = '\0';
}

// Whether a column's text fits a field of size bytes whole: not NULL, with
// room for its NUL and none inside. A cut password would accept its prefix.
bool column_fits(sqlite3_stmt* s, int col, size_t size)
{
    const unsigned char* text = sqlite3_column_text(s, col);
    size_t len = static_cast<size_t>(sqlite3_column_bytes(s, col));
    return text != nullptr && len < size && memchr(text, '\0', len) == nullptr;
}

void bind_field(sqlite3_stmt* s, int index, const char* field, size_t size)
{
    sqlite3_bind_text(s, index, field, static_cast<int>(strnlen(field, size)), SQLITE_TRANSIENT);
}

// Says why a write to the statement's database failed, from what its
// connection last reported.
void report_unsaved(Statement which)
{
    sqlite3* db = kSql[which].oem ? g_oem : g_main;
    vdsim::report_unsaved(kSql[which].oem ? kOemPath : kMainPath,
                          db != nullptr ? sqlite3_errmsg(db) : "unable to open database file");
}

// The prepared statement of a write; null, after saying why, when its
// database or table cannot be had.
sqlite3_stmt* write_statement(Statement which)
{
    sqlite3_stmt* s = statement(which);
    if (s == nullptr)
        report_unsaved(which);
    return s;
}

int run_write(Statement which, sqlite3_stmt* s)
{
    if (sqlite3_step(s) == SQLITE_DONE)
        return finish(s, 0);
    report_unsaved(which);
    return finish(s, -1);
}

}  // namespace

extern "C" {

int db_init(void)
{
    vdsim::trace("db_init");
    MutexGuard lock(&g_lock);
    return open_all() ? 0 : -1;
}

int db_uninit(int flush)
{
    vdsim::trace("db_uninit", {flush});
    MutexGuard lock(&g_lock);
    close_all();
    return 0;
}

int db_get_network(NetworkRecord* r)
{
    vdsim::trace("db_get_network", {static_cast<int>(r->iface)});
    MutexGuard lock(&g_lock);
    sqlite3_stmt* s = statement(kGetNetwork);
    if (s == nullptr)
        return -1;
    sqlite3_bind_int(s, 1, r->iface);
    if (sqlite3_step(s) != SQLITE_ROW)
        return finish(s, -1);
    r->mode = static_cast<uint8_t>(sqlite3_column_int(s, 0));
    column_text(s, 1, r->hostname, sizeof r->hostname);
    column_text(s, 2, r->ipaddr, sizeof r->ipaddr);
    column_text(s, 3, r->netmask, sizeof r->netmask);
    column_text(s, 4, r->gateway, sizeof r->gateway);
    column_text(s, 5, r->dns1, sizeof r->dns1);
    column_text(s, 6, r->dns2, sizeof r->dns2);
    return finish(s, 0);
}

int db_set_network(const NetworkRecord* r)
{
    using vdsim::TraceArg;
    vdsim::trace("db_set_network",
                 {TraceArg::record({{"iface", static_cast<int>(r->iface)},
                                    {"mode", static_cast<int>(r->mode)},
                                    {"hostname", TraceArg::field_text(r->hostname, sizeof r->hostname)},
                                    {"ipaddr", TraceArg::field_text(r->ipaddr, sizeof r->ipaddr)},
                                    {"netmask", TraceArg::field_text(r->netmask, sizeof r->netmask)},
                                    {"gateway", TraceArg::field_text(r->gateway, sizeof r->gateway)},
                                    {"dns1", TraceArg::field_text(r->dns1, sizeof r->dns1)},
                                    {"dns2", TraceArg::field_text(r->dns2, sizeof r->dns2)}})});
    MutexGuard lock(&g_lock);
    sqlite3_stmt* s = write_statement(kSetNetwork);
    if (s == nullptr)
        return -1;
    sqlite3_bind_int(s, 1, r->iface);
    sqlite3_bind_int(s, 2, r->mode);
    bind_field(s, 3, r->hostname, sizeof r->hostname);
    bind_field(s, 4, r->ipaddr, sizeof r->ipaddr);
    bind_field(s, 5, r->netmask, sizeof r->netmask);
    bind_field(s, 6, r->gateway, sizeof r->gateway);
    bind_field(s, 7, r->dns1, sizeof r->dns1);
    bind_field(s, 8, r->dns2, sizeof r->dns2);
    return run_write(kSetNetwork, s);
}

int db_get_device(DeviceRecord* r)
{
    vdsim::trace("db_get_device");
    MutexGuard lock(&g_lock);
    sqlite3_stmt* s = statement(kGetDevice);
    if (s == nullptr)
        return -1;
    if (sqlite3_step(s) != SQLITE_ROW)
        return finish(s, -1);
    column_text(s, 0, r->title, sizeof r->title);
    column_text(s, 1, r->text1, sizeof r->text1);
    column_text(s, 2, r->text2, sizeof r->text2);
    column_text(s, 3, r->text3, sizeof r->text3);
    return finish(s, 0);
}

int db_set_device_title(const char* title)
{
    vdsim::trace("db_set_device_title", {title});
    if (title == nullptr)
        return -1;
    MutexGuard lock(&g_lock);
    sqlite3_stmt* s = write_statement(kSetTitle);
    if (s == nullptr)
        return -1;
    bind_field(s, 1, title, sizeof DeviceRecord{}.title - 1);
    return run_write(kSetTitle, s);
}

int oem_get_device(OemDeviceRecord* r)
{
    vdsim::trace("oem_get_device");
    MutexGuard lock(&g_lock);
    sqlite3_stmt* s = statement(kGetOem);
    if (s == nullptr)
        return -1;
    if (sqlite3_step(s) != SQLITE_ROW)
        return finish(s, -1);
    column_text(s, 0, r->model, sizeof r->model);
    return finish(s, 0);
}

int oem_get_index(void)
{
    vdsim::trace("oem_get_index");
    MutexGuard lock(&g_lock);
    sqlite3_stmt* s = statement(kGetOem);
    if (s == nullptr)
        return -1;
    if (sqlite3_step(s) != SQLITE_ROW)
        return finish(s, -1);
    return finish(s, sqlite3_column_int(s, 1));
}

int db_get_port(PortRecord* r)
{
    vdsim::trace("db_get_port");
    MutexGuard lock(&g_lock);
    sqlite3_stmt* s = statement(kGetPort);
    if (s == nullptr)
        return -1;
    if (sqlite3_step(s) != SQLITE_ROW)
        return finish(s, -1);
    r->http = sqlite3_column_int(s, 0);
    return finish(s, 0);
}

int db_set_port_http(int port)
{
    vdsim::trace("db_set_port_http", {port});
    MutexGuard lock(&g_lock);
    sqlite3_stmt* s = write_statement(kSetPort);
    if (s == nullptr)
        return -1;
    sqlite3_bind_int(s, 1, port);
    return run_write(kSetPort, s);
}

int db_get_users(UserRecord** list, int* count)
{
    vdsim::trace("db_get_users");
    *list = nullptr;
    *count = 0;
    MutexGuard lock(&g_lock);
    sqlite3_stmt* s = statement(kGetUsers);
    if (s == nullptr)
        return -1;
    UserRecord* users = nullptr;
    int n = 0;
    int rc = SQLITE_DONE;
    while (n < kMaxUsers && (rc = sqlite3_step(s)) == SQLITE_ROW) {
        void* grown = realloc(users, sizeof(UserRecord) * static_cast<size_t>(n + 1));
        if (grown == nullptr)
            break;
        users = static_cast<UserRecord*>(grown);
        UserRecord* u = &users[n++];
        memset(u, 0, sizeof *u);
        bool whole = column_fits(s, 0, sizeof u->name) && column_fits(s, 1, sizeof u->password);
        column_text(s, 0, u->name, sizeof u->name);
        if (whole)
            column_text(s, 1, u->password, sizeof u->password);
        u->privilege = whole ? static_cast<uint8_t>(sqlite3_column_int(s, 2)) : kNoPrivilege;
        const void* blob = sqlite3_column_blob(s, 3);
        size_t len = static_cast<size_t>(sqlite3_column_bytes(s, 3));
        if (blob != nullptr)
            memcpy(u->permission, blob, len < sizeof u->permission ? len : sizeof u->permission);
    }
    // Part of the list is no list: a user left out could not log in.
    if (n < kMaxUsers && rc != SQLITE_DONE) {
        free(users);
        return finish(s, -1);
    }
    *list = users;
    *count = n;
    return finish(s, 0);
}

int db_set_user(const UserRecord* r)
{
    using vdsim::TraceArg;
    vdsim::trace("db_set_user",
                 {TraceArg::record({{"name", TraceArg::field_text(r->name, sizeof r->name)},
                                    {"password", TraceArg::field_text(r->password, sizeof r->password)},
                                    {"privilege", static_cast<int>(r->privilege)},
                                    {"permission", TraceArg::bytes(r->permission, sizeof r->permission)}})});
    // A name or password that fills its field has no end here and would read
    // back cut: refused rather than stored as a text no one could give.
    if (strnlen(r->name, sizeof r->name) == sizeof r->name ||
        strnlen(r->password, sizeof r->password) == sizeof r->password) {
        vdsim::report_unsaved(kMainPath, "user name or password fills its field");
        return -1;
    }
    MutexGuard lock(&g_lock);
    sqlite3_stmt* s = write_statement(kSetUser);
    if (s == nullptr)
        return -1;
    bind_field(s, 1, r->name, sizeof r->name);
    bind_field(s, 2, r->password, sizeof r->password);
    sqlite3_bind_int(s, 3, r->privilege);
    sqlite3_bind_blob(s, 4, r->permission, sizeof r->permission, SQLITE_TRANSIENT);
    return run_write(kSetUser, s);
}

// Administrators may use every module, operators the first half, others none.
int update_user_module_permission_by_privilege(int module, int privilege, void* area)
{
    vdsim::trace("update_user_module_permission_by_privilege", {module, privilege});
    if (area == nullptr)
        return -1;
    uint8_t* p = static_cast<uint8_t*>(area);
    constexpr size_t kModules = sizeof UserRecord{}.permission;
    for (size_t i = 0; i < kModules; ++i) {
        if (module >= 0 && static_cast<size_t>(module) != i)
            continue;
        p[i] = privilege == 0 || (privilege == 1 && i < kModules / 2) ? 1 : 0;
    }
    return 0;
}

}  // extern "C"
