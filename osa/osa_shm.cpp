// osa_shm.cpp — one-way commands posted into System V shared-memory blocks
// that other processes of the camera read.
#include <stdio.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include "osa.h"

int OSA_shmPost(int key, const void* record, size_t size)
{
    int id = shmget(key, size, IPC_CREAT | 0666);
    if (id < 0) {
        print("faild to get shm id==%d\n", id);
        return -1;
    }
    void* at = shmat(id, nullptr, 0);
    if (at == reinterpret_cast<void*>(-1)) {
        perror("shmat");
        return -1;
    }
    memcpy(at, record, size);
    if (shmdt(at) != 0) {
        perror("detach error");
        return -1;
    }
    return 0;
}
