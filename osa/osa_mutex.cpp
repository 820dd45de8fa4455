// osa_mutex.cpp — thin POSIX mutex wrappers with a fixed error report.
#include "osa.h"

int OSA_mutexCreate(pthread_mutex_t* m)
{
    pthread_mutexattr_t attr;
    int status = pthread_mutexattr_init(&attr);
    status |= pthread_mutex_init(m, &attr);
    if (status != 0) {
        ERR_PRINT("OSA_mutexCreate() = %d \r\n", status);
    }
    pthread_mutexattr_destroy(&attr);
    return status;
}

int OSA_mutexAcquire(pthread_mutex_t* m)
{
    return pthread_mutex_lock(m);
}

int OSA_mutexRelease(pthread_mutex_t* m)
{
    return pthread_mutex_unlock(m);
}

int OSA_mutexDestroy(pthread_mutex_t* m)
{
    pthread_mutex_destroy(m);
    return 0;
}
