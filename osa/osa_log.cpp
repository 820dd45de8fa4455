// osa_log.cpp — System V semaphore sets and the debug log that several
// processes of the camera append to.
#include "osa.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <unistd.h>

namespace {

constexpr unsigned kMaxSemCount = 32;

struct DebugLog {
    char path[128];
    int fd;
    int ready;
    int key;
    OsaIpcSem sem;
};
DebugLog g_log = {"/mnt/nand/debug.log", -1, 0, -1, {0, 0, 0, 0}};

union SemArg {
    int val;
    struct semid_ds* buf;
    unsigned short* array;
};

int sem_step(OsaIpcSem* sem, unsigned index, int delta, int wait)
{
    struct sembuf op;
    op.sem_num = static_cast<unsigned short>(index);
    op.sem_op = static_cast<short>(delta);
    op.sem_flg = static_cast<short>((sem->undo ? SEM_UNDO : 0) | (wait == 0 ? IPC_NOWAIT : 0));
    return semop(sem->semid, &op, 1) == 0 ? 0 : -1;
}

}  // namespace

int OSA_ipcMakeKey(const char* path, unsigned proj_id)
{
    key_t key = ftok(path, static_cast<int>(proj_id & 0xffu));
    return key == static_cast<key_t>(-1) ? -1 : static_cast<int>(key);
}

int OSA_ipcSemOpen(OsaIpcSem* sem, int key, unsigned count, unsigned init, unsigned max,
                   unsigned flags)
{
    sem->count = count;
    sem->maxval = max;
    sem->undo = (flags & OSA_IPC_UNDO) != 0;
    if ((flags & OSA_IPC_CREATE) == 0) {
        sem->semid = semget(key, 0, 0666);
        return sem->semid < 0 ? -1 : 0;
    }
    if (count > kMaxSemCount)
        return -1;
    sem->semid = semget(key, static_cast<int>(count), IPC_CREAT | IPC_EXCL | 0666);
    if (sem->semid < 0)
        return -1;
    SemArg arg;
    arg.val = static_cast<int>(init < max ? init : max);
    for (unsigned i = 0; i < count; ++i)
        semctl(sem->semid, static_cast<int>(i), SETVAL, arg);
    return 0;
}

int OSA_ipcSemWait(OsaIpcSem* sem, unsigned index, int wait)
{
    if (index > sem->count - 1) {
        errno = EINVAL;
        return -1;
    }
    return sem_step(sem, index, -1, wait);
}

int OSA_ipcSemPost(OsaIpcSem* sem, unsigned index, int wait)
{
    if (index > sem->count - 1)
        return -1;
    int value = semctl(sem->semid, static_cast<int>(index), GETVAL);
    // The ceiling keeps a lock made with maximum 1 from being opened twice.
    if (value >= 0 && static_cast<unsigned>(value) >= sem->maxval)
        return 0;
    return sem_step(sem, index, +1, wait);
}

int OSA_ipcSemGetVal(OsaIpcSem* sem, unsigned index)
{
    if (index > sem->count - 1)
        return -1;
    return semctl(sem->semid, static_cast<int>(index), GETVAL);
}

int OSA_logInit()
{
    if (g_log.ready)
        return 0;
    g_log.key = OSA_ipcMakeKey("/mnt/nand/", 115);
    if (g_log.key == -1) {
        ERR_PRINT("OSA_ipcMakeKey() \n");
        return -1;
    }
    // With undo, a writer killed between wait and post cannot block every
    // later writer.
    if (OSA_ipcSemOpen(&g_log.sem, g_log.key, 1, 1, 1, OSA_IPC_CREATE | OSA_IPC_UNDO) != 0 &&
        OSA_ipcSemOpen(&g_log.sem, g_log.key, 1, 0, 1, OSA_IPC_ATTACH | OSA_IPC_UNDO) != 0) {
        ERR_PRINT("OSA_ipcSemOpen() \n");
        return -1;
    }
    g_log.ready = 1;
    return 0;
}

int OSA_log(const void* data, unsigned len)
{
    if (!g_log.ready && OSA_logInit() != 0) {
        ERR_PRINT("Faild init semphare \n");
        return -1;
    }
    if (g_log.fd == -1) {
        g_log.fd = open(g_log.path, O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (g_log.fd == -1) {
            perror("open log:");
            ERR_PRINT("Faild to open log: %s \n", g_log.path);
            return -1;
        }
    }
    // A signal ends the wait early: wait again. Writing or posting without
    // the lock would let two writers in and open the lock under its holder.
    int waited;
    do {
        waited = OSA_ipcSemWait(&g_log.sem, 0, 1);
    } while (waited != 0 && errno == EINTR);
    if (waited != 0) {
        ERR_PRINT("OSA_ipcSemWait(): %s \n", strerror(errno));
        return -1;
    }
    int result = 0;
    if (write(g_log.fd, data, len) <= 0) {
        perror("write log");
        result = -1;
    } else {
        fsync(g_log.fd);
    }
    OSA_ipcSemPost(&g_log.sem, 0, 1);
    return result;
}

void OSA_logClose()
{
    if (g_log.fd != -1)
        close(g_log.fd);
    g_log.fd = -1;
}
