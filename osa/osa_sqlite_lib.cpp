// osa_sqlite_lib.cpp — SQLite, loaded when the first database opens.
//
// Most runs of debug touch no database; linked at start-up, the library
// would be mapped and relocated on every run all the same. These definitions
// stand for the library's calls and forward to it. The stand-in libraries of
// the simulated camera use the same file for the same reason.
#include <pthread.h>
#include <sqlite3.h>

#include <iterator>

#include "osa_dl.h"

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

const DlCall kCalls[] = {
    dl_call("sqlite3_open", &g_calls.open),
    dl_call("sqlite3_open_v2", &g_calls.open_v2),
    dl_call("sqlite3_close", &g_calls.close),
    dl_call("sqlite3_errmsg", &g_calls.errmsg),
    dl_call("sqlite3_exec", &g_calls.exec),
    dl_call("sqlite3_free", &g_calls.free),
    dl_call("sqlite3_busy_handler", &g_calls.busy_handler),
    dl_call("sqlite3_busy_timeout", &g_calls.busy_timeout),
    dl_call("sqlite3_prepare_v2", &g_calls.prepare_v2),
    dl_call("sqlite3_step", &g_calls.step),
    dl_call("sqlite3_reset", &g_calls.reset),
    dl_call("sqlite3_finalize", &g_calls.finalize),
    dl_call("sqlite3_clear_bindings", &g_calls.clear_bindings),
    dl_call("sqlite3_bind_int", &g_calls.bind_int),
    dl_call("sqlite3_bind_text", &g_calls.bind_text),
    dl_call("sqlite3_bind_blob", &g_calls.bind_blob),
    dl_call("sqlite3_column_count", &g_calls.column_count),
    dl_call("sqlite3_column_name", &g_calls.column_name),
    dl_call("sqlite3_column_text", &g_calls.column_text),
    dl_call("sqlite3_column_blob", &g_calls.column_blob),
    dl_call("sqlite3_column_bytes", &g_calls.column_bytes),
    dl_call("sqlite3_column_int", &g_calls.column_int),
};

void load()
{
    g_loaded = dl_load(DEBUG_SQLITE_SONAME, kCalls, std::size(kCalls), nullptr, 0);
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
