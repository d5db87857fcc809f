// Clocks shared by the benchmarks: the steady clock (CLOCK_MONOTONIC, the
// same in every thread and process of the machine) and the CPU time of the
// calling thread.
#ifndef BENCHCLOCK_H
#define BENCHCLOCK_H

#include <QtCore/QtGlobal>

#include <time.h>

inline qint64 steadyNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// User and system time of the calling thread, in nanoseconds.
inline qint64 threadCpuNs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

#endif // BENCHCLOCK_H
