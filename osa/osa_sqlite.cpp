// osa_sqlite.cpp — SQLite connection with an in-process reader-writer lock
// and a lock file that excludes other processes.
#include "osa_sqlite.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <stdio.h>
#include <unistd.h>

#include "osa.h"

int OSA_sqlite3Open(OSA_Sqlite3Hndl* h, const char* name)
{
    if (h == nullptr || name == nullptr) {
        ERR_PRINT("Invalid dbName or hndl !\n");
        return -1;
    }
    // Checked first: an open handle's lock may be held, and its lock file is
    // in use; neither is touched again.
    if (h->db != nullptr) {
        ERR_PRINT("dbHandle != NULL, may be has been opened \n");
        return -1;
    }
    if (!h->lockReady) {
        if (pthread_rwlock_init(&h->lock, nullptr) != 0) {
            perror("pthread_rwlock_init: ");
            ERR_PRINT("Create rwlock failed. \n");
            return -1;
        }
        h->lockReady = true;
    }
    if (h->lockPath == nullptr) {
        h->lockFd = -1;
    } else if (h->lockFd == -1) {
        h->lockFd = open(h->lockPath, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (h->lockFd < 0) {
            h->lockFd = -1;
            ERR_PRINT("Open %s failed!\n", h->lockPath);
            return -1;
        }
    }
    if (sqlite3_open(name, &h->db) != SQLITE_OK) {
        sqlite3_close(h->db);
        h->db = nullptr;
        ERR_PRINT("sqlite3_open %s faild! \n", name);
        return -1;
    }
    // A database another connection holds makes a statement fail at once.
    sqlite3_busy_handler(h->db, nullptr, nullptr);
    return 0;
}

int OSA_sqlite3Lock(OSA_Sqlite3Hndl* h, int mode)
{
    if (h == nullptr) {
        ERR_PRINT("Invalid hndl!\n");
        return -1;
    }
    if (h->lockReady) {
        if (mode == 'r')
            pthread_rwlock_rdlock(&h->lock);
        else
            pthread_rwlock_wrlock(&h->lock);
    }
    // One holder at a time across processes, readers too.
    if (h->lockFd != -1)
        lockf(h->lockFd, F_LOCK, 0);
    return 0;
}

int OSA_sqlite3UnLock(OSA_Sqlite3Hndl* h)
{
    if (h == nullptr) {
        ERR_PRINT("Invalid hndl!\n");
        return -1;
    }
    if (h->lockReady)
        pthread_rwlock_unlock(&h->lock);
    if (h->lockFd != -1)
        lockf(h->lockFd, F_ULOCK, 0);
    return 0;
}

int OSA_sqlite3RunCmdAndCallback(OSA_Sqlite3Hndl* h, const char* sql, OSA_Sqlite3Callback callback,
                                 void* arg)
{
    if (h == nullptr || h->db == nullptr || sql == nullptr) {
        ERR_PRINT("SQL exec cmd and callback error, invalid argument\n");
        return -1;
    }
    char* error = nullptr;
    if (sqlite3_exec(h->db, sql, callback, arg, &error) == SQLITE_OK)
        return 0;
    ERR_PRINT("SQL execute %s faild. \n", sql);
    ERR_PRINT("SQL error:%s\n", error != nullptr ? error : sqlite3_errmsg(h->db));
    sqlite3_free(error);
    return -1;
}

int OSA_sqlite3Close(OSA_Sqlite3Hndl* h)
{
    if (h == nullptr)
        return 0;
    if (h->db != nullptr) {
        sqlite3_close(h->db);
        h->db = nullptr;
    }
    if (h->lockReady) {
        pthread_rwlock_destroy(&h->lock);
        h->lockReady = false;
    }
    if (h->lockFd != -1) {
        close(h->lockFd);
        h->lockFd = -1;
    }
    return 0;
}
