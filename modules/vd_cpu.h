// vd_cpu.h — the load arithmetic of the cpu module, pure so that it can be
// checked without a kernel.
#pragma once

#include <stddef.h>
#include <stdint.h>

// The kernel's aggregate time counters of one sample, as the monitor keeps them.
struct CpuCounters {
    uint64_t user_nice;   // user + nice
    uint64_t nice;
    uint64_t system_all;  // system + irq + softirq
    uint64_t idle;
    uint64_t iowait;
    uint64_t irq;
    uint64_t softirq;
    uint64_t steal;
    uint64_t total;       // every counter above that is a kind of time, once
    uint64_t process;     // utime + stime + cutime + cstime of this process
};

// Load of one interval, in percent.
struct CpuFigures {
    double cpu;
    double sys;
    double user;
    double wait;
    double steal;
};

// Fills the system-wide counters from the text of /proc/stat (its aggregate
// "cpu" line); false when there is no such line with eight counters.
bool cpu_parse_stat(const char* text, CpuCounters* out);
// Fields 14 to 17 of /proc/self/stat, summed; false when fewer than four.
bool cpu_parse_self_stat(const char* text, uint64_t* process);
// A record that is still all zero marks the baseline sample.
bool cpu_counters_zero(const CpuCounters& c);
// The load between two samples. Differences are taken modulo 2^64, so a
// counter that wrapped still gives the right interval. An interval in which
// no time passed leaves the figures as they were.
CpuFigures cpu_figures(const CpuCounters& prev, const CpuCounters& cur, const CpuFigures& last);
