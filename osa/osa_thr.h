// osa_thr.h — thread creation with real-time FIFO scheduling, thread names.
#pragma once

#include <pthread.h>

// A joinable thread with SCHED_FIFO at the given priority (clamped to the
// FIFO range) and stack size (0 = the system's default).
int OSA_thrCreate(pthread_t* handle, void* (*entry)(void*), unsigned priority,
                  unsigned stack_size, void* arg);
// Names the calling thread "NAME(TID)"; the kernel keeps 15 characters.
int OSA_thrSetName(const char* name);
[[noreturn]] void OSA_thrQuit(void* value);

// The middle of the SCHED_FIFO priority range.
unsigned osa_thr_mid_priority();
// The priority OSA_thrCreate sets: below the minimum gives the minimum,
// above the maximum the maximum, compared unsigned.
unsigned osa_thr_clamp_priority(unsigned priority, int min, int max);
