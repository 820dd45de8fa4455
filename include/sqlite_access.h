/* sqlite_access.h — the camera's SQL access library (in libvddb.so). */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

typedef struct SqlConn SqlConn; /* one open database */
typedef struct SqlStmt SqlStmt; /* one running query */

/* Opens the database file at path; key is its password, "" for none.
 * 0 and *conn set, or non-zero. */
int sqlite_conn(const char* path, const char* key, SqlConn** conn);
int sqlite_disconn(SqlConn* conn);
/* Runs the statements of sql; 0 or non-zero. */
int sqlite_execute(SqlConn* conn, const char* sql);
/* Starts a query: 0 with *stmt on its first row and *columns set, non-zero
 * when it yields no row or fails (*stmt may still need clearing). */
int sqlite_query_record(SqlConn* conn, const char* sql, SqlStmt** stmt, int* columns);
/* Name of column i (from 0), or NULL. */
const char* sqlite_query_column_name(SqlConn* conn, SqlStmt* stmt, int i);
/* The current row's column i as a terminated text in buf (size bytes, cut to
 * fit); 0 or non-zero. */
int sqlite_query_column_text(SqlStmt* stmt, int i, char* buf, int size);
/* 0 when a further row became current. */
int sqlite_query_next(SqlStmt* stmt);
int sqlite_clear_stmt(SqlStmt* stmt);

#ifdef __cplusplus
}
#endif
