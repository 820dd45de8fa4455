// osa_sqlite_lib.cpp — SQLite, loaded when the first database opens.
//
// Most runs of debug touch no database; linked at start-up, the library
// would be mapped and relocated on every run all the same. These definitions
// stand for the library's calls and forward to it. The stand-in libraries of
// the simulated camera use the same file for the same reason.
#include <dlfcn.h>
#include <pthread.h>
#include <sqlite3.h>

namespace {

struct SqliteCalls {
    decltype(&sqlite3_open) open;
    decltype(&sqlite3_open_v2) open_v2;
    decltype(&sqlite3_close) close;
    decltype(&sqlite3_errmsg) errmsg;
    decltype(&sqlite3_exec) exec;
    decltype(&sqlite3_free) free;
    decltype(&sqlite3_busy_handler) busy_handler;
    decltype(&sqlite3_busy_timeout) busy_timeout;
    decltype(&sqlite3_prepare_v2) prepare_v2;
    decltype(&sqlite3_step) step;
    decltype(&sqlite3_reset) reset;
    decltype(&sqlite3_finalize) finalize;
    decltype(&sqlite3_clear_bindings) clear_bindings;
    decltype(&sqlite3_bind_int) bind_int;
    decltype(&sqlite3_bind_text) bind_text;
    decltype(&sqlite3_bind_blob) bind_blob;
    decltype(&sqlite3_column_count) column_count;
    decltype(&sqlite3_column_name) column_name;
    decltype(&sqlite3_column_text) column_text;
    decltype(&sqlite3_column_blob) column_blob;
    decltype(&sqlite3_column_bytes) column_bytes;
    decltype(&sqlite3_column_int) column_int;
};
SqliteCalls g_calls;
bool g_loaded;
pthread_once_t g_once = PTHREAD_ONCE_INIT;

template <typename F>
bool bind(void* lib, const char* name, F* out)
{
    *out = reinterpret_cast<F>(dlsym(lib, name));
    return *out != nullptr;
}

void load()
{
    void* lib = dlopen(DEBUG_SQLITE_SONAME, RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr)
        return;
    SqliteCalls& c = g_calls;
    g_loaded = bind(lib, "sqlite3_open", &c.open) && bind(lib, "sqlite3_open_v2", &c.open_v2) &&
               bind(lib, "sqlite3_close", &c.close) && bind(lib, "sqlite3_errmsg", &c.errmsg) &&
               bind(lib, "sqlite3_exec", &c.exec) && bind(lib, "sqlite3_free", &c.free) &&
               bind(lib, "sqlite3_busy_handler", &c.busy_handler) &&
               bind(lib, "sqlite3_busy_timeout", &c.busy_timeout) &&
               bind(lib, "sqlite3_prepare_v2", &c.prepare_v2) && bind(lib, "sqlite3_step", &c.step) &&
               bind(lib, "sqlite3_reset", &c.reset) && bind(lib, "sqlite3_finalize", &c.finalize) &&
               bind(lib, "sqlite3_clear_bindings", &c.clear_bindings) &&
               bind(lib, "sqlite3_bind_int", &c.bind_int) && bind(lib, "sqlite3_bind_text", &c.bind_text) &&
               bind(lib, "sqlite3_bind_blob", &c.bind_blob) &&
               bind(lib, "sqlite3_column_count", &c.column_count) &&
               bind(lib, "sqlite3_column_name", &c.column_name) &&
               bind(lib, "sqlite3_column_text", &c.column_text) &&
               bind(lib, "sqlite3_column_blob", &c.column_blob) &&
               bind(lib, "sqlite3_column_bytes", &c.column_bytes) &&
               bind(lib, "sqlite3_column_int", &c.column_int);
}

// Every call but the opening ones takes a handle that an open gave, so the
// library is there; an open without the library fails as a missing file.
const SqliteCalls& calls()
{
    pthread_once(&g_once, load);
    return g_calls;
}

bool loaded()
{
    calls();
    return g_loaded;
}

}  // namespace

extern "C" {

int sqlite3_open(const char* name, sqlite3** db)
{
    if (loaded())
        return calls().open(name, db);
    *db = nullptr;
    return SQLITE_CANTOPEN;
}

int sqlite3_open_v2(const char* name, sqlite3** db, int flags, const char* vfs)
{
    if (loaded())
        return calls().open_v2(name, db, flags, vfs);
    *db = nullptr;
    return SQLITE_CANTOPEN;
}

int sqlite3_close(sqlite3* db) { return db == nullptr ? SQLITE_OK : calls().close(db); }
const char* sqlite3_errmsg(sqlite3* db) { return loaded() ? calls().errmsg(db) : "cannot load SQLite"; }
void sqlite3_free(void* p) { if (p != nullptr) calls().free(p); }

int sqlite3_exec(sqlite3* db, const char* sql, int (*callback)(void*, int, char**, char**), void* arg,
                 char** error)
{
    return calls().exec(db, sql, callback, arg, error);
}

int sqlite3_busy_handler(sqlite3* db, int (*handler)(void*, int), void* arg)
{
    return calls().busy_handler(db, handler, arg);
}

int sqlite3_busy_timeout(sqlite3* db, int ms) { return calls().busy_timeout(db, ms); }

int sqlite3_prepare_v2(sqlite3* db, const char* sql, int bytes, sqlite3_stmt** stmt, const char** tail)
{
    return calls().prepare_v2(db, sql, bytes, stmt, tail);
}

int sqlite3_step(sqlite3_stmt* s) { return calls().step(s); }
int sqlite3_reset(sqlite3_stmt* s) { return calls().reset(s); }
int sqlite3_finalize(sqlite3_stmt* s) { return s == nullptr ? SQLITE_OK : calls().finalize(s); }
int sqlite3_clear_bindings(sqlite3_stmt* s) { return calls().clear_bindings(s); }
int sqlite3_bind_int(sqlite3_stmt* s, int i, int v) { return calls().bind_int(s, i, v); }

int sqlite3_bind_text(sqlite3_stmt* s, int i, const char* v, int n, void (*destroy)(void*))
{
    return calls().bind_text(s, i, v, n, destroy);
}

int sqlite3_bind_blob(sqlite3_stmt* s, int i, const void* v, int n, void (*destroy)(void*))
{
    return calls().bind_blob(s, i, v, n, destroy);
}

int sqlite3_column_count(sqlite3_stmt* s) { return calls().column_count(s); }
const char* sqlite3_column_name(sqlite3_stmt* s, int i) { return calls().column_name(s, i); }
const unsigned char* sqlite3_column_text(sqlite3_stmt* s, int i) { return calls().column_text(s, i); }
const void* sqlite3_column_blob(sqlite3_stmt* s, int i) { return calls().column_blob(s, i); }
int sqlite3_column_bytes(sqlite3_stmt* s, int i) { return calls().column_bytes(s, i); }
int sqlite3_column_int(sqlite3_stmt* s, int i) { return calls().column_int(s, i); }

}  // extern "C"
