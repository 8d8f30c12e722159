// The benchmarks' clock on Linux: the thread's processor time, to the
// nanosecond as the scheduler accounts it.
#include <time.h>

#include "bench/bench.h"

double ThreadSeconds() {
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return (double)now.tv_sec + (double)now.tv_nsec * 1e-9;
}
