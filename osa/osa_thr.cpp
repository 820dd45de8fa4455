// osa_thr.cpp — thread creation with real-time FIFO scheduling, thread names.
#include "osa_thr.h"

#include <sched.h>
#include <stdio.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "osa.h"

unsigned osa_thr_clamp_priority(unsigned priority, int min, int max)
{
    if (priority > static_cast<unsigned>(max))
        return static_cast<unsigned>(max);
    if (priority < static_cast<unsigned>(min))
        return static_cast<unsigned>(min);
    return priority;
}

unsigned osa_thr_mid_priority()
{
    int min = sched_get_priority_min(SCHED_FIFO);
    int max = sched_get_priority_max(SCHED_FIFO);
    return static_cast<unsigned>(min + (max - min) / 2);
}

int OSA_thrCreate(pthread_t* handle, void* (*entry)(void*), unsigned priority,
                  unsigned stack_size, void* arg)
{
    pthread_attr_t attr;
    int status = pthread_attr_init(&attr);
    if (status != 0) {
        ERR_PRINT("OSA_thrCreate() - Could not initialize thread attributes\n");
        return status;
    }
    if (stack_size != 0)
        status |= pthread_attr_setstacksize(&attr, stack_size);
    status |= pthread_attr_setinheritsched(&attr, PTHREAD_EXPLICIT_SCHED);
    status |= pthread_attr_setschedpolicy(&attr, SCHED_FIFO);
    sched_param param{};
    param.sched_priority = static_cast<int>(osa_thr_clamp_priority(
        priority, sched_get_priority_min(SCHED_FIFO), sched_get_priority_max(SCHED_FIFO)));
    status |= pthread_attr_setschedparam(&attr, &param);
    if (status != 0) {
        ERR_PRINT("OSA_thrCreate() - Could not initialize thread attributes\n");
    } else {
        status = pthread_create(handle, &attr, entry, arg);
        if (status != 0)
            ERR_PRINT("OSA_thrCreate() - Could not create thread [%d]\n", status);
    }
    pthread_attr_destroy(&attr);
    return status;
}

int OSA_thrSetName(const char* name)
{
    if (name == nullptr)
        return -1;
    char text[128] = {};
    snprintf(text, sizeof text, "%s(%ld)", name, static_cast<long>(syscall(SYS_gettid)));
    prctl(PR_SET_NAME, text, 0, 0, 0);
    return 0;
}

void OSA_thrQuit(void* value)
{
    pthread_exit(value);
}
