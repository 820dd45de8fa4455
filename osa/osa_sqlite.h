// osa_sqlite.h — one SQLite database shared by threads and processes: the
// connection with an in-process reader-writer lock and a lock file.
#pragma once

#include <pthread.h>

struct sqlite3;

// Set db to null, lockPath and lockFd to -1 before the first open.
struct OSA_Sqlite3Hndl {
    sqlite3* db;
    const char* lockPath;  // null: no lock across processes
    int lockFd;
    pthread_rwlock_t lock;
    bool lockReady;  // lock initialised by open, destroyed by close
};

// The row callback of sqlite3_exec: argument, column count, values, names.
typedef int (*OSA_Sqlite3Callback)(void* arg, int columns, char** values, char** names);

// One command: open, lock, run (once or more), unlock, close.
int OSA_sqlite3Open(OSA_Sqlite3Hndl* h, const char* name);
int OSA_sqlite3Lock(OSA_Sqlite3Hndl* h, int mode);  // 'r' read, anything else write
int OSA_sqlite3UnLock(OSA_Sqlite3Hndl* h);
int OSA_sqlite3RunCmdAndCallback(OSA_Sqlite3Hndl* h, const char* sql, OSA_Sqlite3Callback callback,
                                 void* arg);
int OSA_sqlite3Close(OSA_Sqlite3Hndl* h);
