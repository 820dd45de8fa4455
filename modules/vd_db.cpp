// vd_db.cpp — look into and change the camera's configuration databases:
// list tables, run a query, execute a statement or a file of statements.
#include <fcntl.h>
#include <getopt.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <iterator>

#include "db_files.h"
#include "module.h"
#include "osa.h"
#include "sqlite_access.h"

namespace {

constexpr uint8_t kDbId = 12;
constexpr char kTableListSql[] = "select name from sqlite_master where type='table' order by name;";
constexpr char kLockPath[] = "/tmp/db.fl";
constexpr size_t kResultSize = 2048;
constexpr int kCellSize = 256;
constexpr int kFileLineSize = 256;  // 255 characters, line feed included

struct Database {
    const char* name;
    const char* path;
};
const Database kDatabases[] = {
    {"vddb", "/mnt/nand/vddb.db"},
    {"oem", "/mnt/nand2/oem.db"},
};

struct DbState {
    const char* path;       // current database file, null until one is selected
    const char* lock_path;  // set with the database
    SqlConn* conn;          // null when not connected
};
DbState g_db{};
// Only ever taken for writing: one statement or query at a time.
pthread_rwlock_t g_db_lock = PTHREAD_RWLOCK_INITIALIZER;

constexpr char kShortOptions[] = "M:s:e:f:d:t";
const option kOptions[] = {
    {"module", required_argument, nullptr, 'M'},
    {"select", required_argument, nullptr, 's'},
    {"execute", required_argument, nullptr, 'e'},
    {"file", required_argument, nullptr, 'f'},
    {"database", required_argument, nullptr, 'd'},
    {"table", no_argument, nullptr, 't'},
    {nullptr, 0, nullptr, 0},
};
const OptionHelp kHelp[] = {
    {"module", "module name: db"},
    {"str", "Cmd inquiry string.for example -s \"select * from user;\""},
    {"str", "Cmd execute string"},
    {"file", "Filepath to execute"},
    {"str", "Set database [vddb, oem, sddb, log], default[vddb]"},
    {"", "List table name"},
};
static_assert(std::size(kHelp) + 1 == std::size(kOptions), "one help row per option");

void db_query(const char* sql);

const char* current_path()
{
    return g_db.path != nullptr ? g_db.path : "";
}

void db_select(const char* name)
{
    bool known = false;
    for (const Database& d : kDatabases) {
        if (strcmp(name, d.name) == 0) {
            g_db.path = d.path;
            g_db.lock_path = kLockPath;
            known = true;
        }
    }
    if (!known)
        print("Invalid Database '%s'! Optional: [vddb, oem, sddb, log] \n", name);
    print("Current Database File: [%s] \n", current_path());
}

void db_usage()
{
    module_usage_print(kDbId, kOptions, kHelp, std::size(kHelp));
    print("DB table list: \n");
    if (g_db.path == nullptr)
        db_select("vddb");
    db_query(kTableListSql);
}

void db_con_init()
{
    if (access(current_path(), F_OK) != 0) {
        ERR_PRINT("db=[%s] file not existed. \n", current_path());
        return;
    }
    if (g_db.conn != nullptr)
        return;
    if (sqlite_conn(current_path(), "", &g_db.conn) != 0) {
        g_db.conn = nullptr;
        ERR_PRINT("db init failed. \n");
        print("Current Database File: [%s] \n", current_path());
    }
}

bool is_db_init()
{
    if (g_db.conn != nullptr)
        return true;
    ERR_PRINT("db=[%s] not init. \n", current_path());
    return false;
}

void db_disconnect()
{
    if (g_db.conn != nullptr) {
        sqlite_disconn(g_db.conn);
        g_db.conn = nullptr;
    }
}

// The process lock, then the lock file shared with other processes, held
// for one scope and released in the same order. Without a lock file the
// work goes on unlocked.
class DbFileLock {
public:
    DbFileLock()
    {
        if (g_db.lock_path != nullptr)
            fd_.reset(open(g_db.lock_path, O_RDWR | O_CREAT | O_CLOEXEC, 0644));
        if (!fd_.valid())
            return;
        pthread_rwlock_wrlock(&g_db_lock);
        if (lockf(fd_.get(), F_LOCK, 0) != 0) {
            fd_.reset();
            pthread_rwlock_unlock(&g_db_lock);
        }
    }
    ~DbFileLock()
    {
        if (!fd_.valid())
            return;
        pthread_rwlock_unlock(&g_db_lock);
        lockf(fd_.get(), F_ULOCK, 0);
    }

private:
    UniqueFd fd_;
};

void db_execute_locked(const char* sql)
{
    const DbFileLock lock;
    sqlite_execute(g_db.conn, sql);
}

void db_execute(const char* sql)
{
    db_con_init();
    if (is_db_init())
        db_execute_locked(sql);
    print("End execute: '%s' \n", sql);
    db_disconnect();
}

void db_execute_file(const char* path)
{
    db_con_init();
    if (FILE* f = fopen(path, "re")) {
        char line[kFileLineSize];
        unsigned number = 0;
        while (fgets(line, sizeof line, f) != nullptr && line[0] != '\0') {
            ++number;
            size_t len = strlen(line);
            int next = len + 1 == sizeof line && line[len - 1] != '\n' ? getc(f) : EOF;
            if (next != EOF) {
                // A piece of a statement is not a statement: the whole line is refused.
                while (next != '\n' && next != EOF)
                    next = getc(f);
                ERR_PRINT("%s: line %u longer than %d characters, not executed\n", path, number,
                          kFileLineSize - 1);
                continue;
            }
            if (is_db_init())
                db_execute_locked(line);
        }
        fclose(f);
    }
    db_disconnect();
}

// The query result as printed: appends stop at its end, so a longer result
// is cut.
struct ResultText {
    char text[kResultSize];
    size_t len;

    void append(const char* fmt, ...) __attribute__((format(printf, 2, 3)))
    {
        if (len + 1 >= sizeof text)
            return;
        va_list ap;
        va_start(ap, fmt);
        int n = vsnprintf(text + len, sizeof text - len, fmt, ap);
        va_end(ap);
        if (n > 0)
            len += static_cast<size_t>(n) < sizeof text - len ? static_cast<size_t>(n)
                                                               : sizeof text - 1 - len;
    }
};
ResultText g_result;

void db_query(const char* sql)
{
    g_result.text[0] = '\0';
    g_result.len = 0;
    db_con_init();
    const bool connected = is_db_init();
    bool shown = false;
    if (connected) {
        const DbFileLock lock;
        SqlStmt* stmt = nullptr;
        int columns = 0;
        shown = sqlite_query_record(g_db.conn, sql, &stmt, &columns) == 0 && columns > 0;
        if (shown) {
            g_result.append("\n");
            for (int i = 0; i < columns; ++i) {
                const char* name = sqlite_query_column_name(g_db.conn, stmt, i);
                if (name != nullptr)
                    g_result.append("%-16s", name);
            }
            do {
                g_result.append("\n");
                for (int i = 0; i < columns; ++i) {
                    char cell[kCellSize] = "";
                    sqlite_query_column_text(stmt, i, cell, sizeof cell);
                    cell[sizeof cell - 1] = '\0';
                    g_result.append(i + 1 < columns ? "%-16s" : "%s", cell);
                }
            } while (sqlite_query_next(stmt) == 0);
            g_result.append("\n");
        }
        if (stmt != nullptr)
            sqlite_clear_stmt(stmt);
    }
    if (shown)
        print("Query Result: %s \n", g_result.text);
    else if (connected)
        print("[0 Items, No Match Records!] \n");
    db_disconnect();
    if (!shown)
        print("SQL: '%s' Failed!! \n", sql);
}

constexpr ErrorSite kSite{__FILE_NAME__, "db_init_param"};

// Each option acts at once, in command-line order.
int db_init_param(int argc, char** argv)
{
    int c;
    while (module_option(argc, argv, kShortOptions, kOptions, kSite, &c, "Unknow option. \n")) {
        switch (c) {
        case 'd':
            db_select(optarg);
            break;
        case 'e':
            db_execute(optarg);
            break;
        case 'f':
            db_execute_file(optarg);
            break;
        case 's':
            db_query(optarg);
            break;
        case 't':
            db_query(kTableListSql);
            break;
        }
    }
    return c;
}

int db_test_main(int argc, char** argv)
{
    db_files_prepare();
    db_select("vddb");
    if (db_init_param(argc, argv) != 0)
        db_usage();
    return 0;
}

}  // namespace

REGISTER_MODULE(db, kDbId, db_test_main, db_usage, nullptr, kShortOptions, kOptions)
