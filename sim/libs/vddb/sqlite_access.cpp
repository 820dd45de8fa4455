// sqlite_access.cpp — stand-in for the camera's SQL access library: a thin
// layer over SQLite 3, one connection or statement per opaque handle.
#include <sqlite3.h>
#include <string.h>

#include "sqlite_access.h"
#include "vdsim.h"

namespace {

sqlite3* db_of(SqlConn* conn)
{
    return reinterpret_cast<sqlite3*>(conn);
}

sqlite3_stmt* stmt_of(SqlStmt* stmt)
{
    return reinterpret_cast<sqlite3_stmt*>(stmt);
}

}  // namespace

extern "C" {

int sqlite_conn(const char* path, const char* key, SqlConn** conn)
{
    vdsim::trace("sqlite_conn", {path, key});
    if (path == nullptr || conn == nullptr)
        return -1;
    *conn = nullptr;
    // The library opens existing databases only; making one is the factory's job.
    // No busy handler: a database another writer holds fails a statement at once.
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path, &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return -1;
    }
    *conn = reinterpret_cast<SqlConn*>(db);
    return 0;
}

int sqlite_disconn(SqlConn* conn)
{
    vdsim::trace("sqlite_disconn");
    return sqlite3_close(db_of(conn)) == SQLITE_OK ? 0 : -1;
}

int sqlite_execute(SqlConn* conn, const char* sql)
{
    vdsim::trace("sqlite_execute", {sql});
    if (conn == nullptr || sql == nullptr)
        return -1;
    char* error = nullptr;
    int rc = sqlite3_exec(db_of(conn), sql, nullptr, nullptr, &error);
    sqlite3_free(error);
    return rc == SQLITE_OK ? 0 : -1;
}

int sqlite_query_record(SqlConn* conn, const char* sql, SqlStmt** stmt, int* columns)
{
    vdsim::trace("sqlite_query_record", {sql});
    if (stmt == nullptr || columns == nullptr)
        return -1;
    *stmt = nullptr;
    *columns = 0;
    if (conn == nullptr || sql == nullptr)
        return -1;
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db_of(conn), sql, -1, &s, nullptr) != SQLITE_OK || s == nullptr) {
        sqlite3_finalize(s);
        return -1;
    }
    *stmt = reinterpret_cast<SqlStmt*>(s);
    if (sqlite3_step(s) != SQLITE_ROW)
        return -1;
    *columns = sqlite3_column_count(s);
    return 0;
}

const char* sqlite_query_column_name(SqlConn* conn, SqlStmt* stmt, int i)
{
    vdsim::trace("sqlite_query_column_name", {i});
    (void)conn;
    if (stmt == nullptr)
        return nullptr;
    return sqlite3_column_name(stmt_of(stmt), i);
}

int sqlite_query_column_text(SqlStmt* stmt, int i, char* buf, int size)
{
    vdsim::trace("sqlite_query_column_text", {i, size});
    if (stmt == nullptr || buf == nullptr || size <= 0)
        return -1;
    const unsigned char* text = sqlite3_column_text(stmt_of(stmt), i);
    int len = text != nullptr ? sqlite3_column_bytes(stmt_of(stmt), i) : 0;
    if (len > size - 1)
        len = size - 1;
    if (len > 0)
        memcpy(buf, text, static_cast<size_t>(len));
    buf[len] = '\0';
    return 0;
}

int sqlite_query_next(SqlStmt* stmt)
{
    vdsim::trace("sqlite_query_next");
    if (stmt == nullptr)
        return -1;
    return sqlite3_step(stmt_of(stmt)) == SQLITE_ROW ? 0 : -1;
}

int sqlite_clear_stmt(SqlStmt* stmt)
{
    vdsim::trace("sqlite_clear_stmt");
    return sqlite3_finalize(stmt_of(stmt)) == SQLITE_OK ? 0 : -1;
}

}  // extern "C"
