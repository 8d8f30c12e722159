// Linux: the worker threads of a run, their lock and wake-ups, the
// processors they may use, and whether a folder's disk is a spinning one.
#include <dlfcn.h>
#include <pthread.h>
#include <sched.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>

#include <atomic>

#include "platform/platform.h"

// A waiter's condition and whether it waits and was woken, which only the
// lock's holder reads or changes.
struct Waiter {
    pthread_cond_t wake; // on the monotonic clock: a changed date never stretches a wait
    bool waiting;
    bool woken;
};

struct WorkLock {
    pthread_mutex_t mutex;
    uint32_t waiters;
    Waiter waiter[1]; // one per waiter; more follow
};

static void FreeWaiters(WorkLock *lock) {
    for (uint32_t i = 0; i < lock->waiters; i++)
        pthread_cond_destroy(&lock->waiter[i].wake);
}

WorkLock *CreateWorkLock(uint32_t waiters) {
    if (waiters == 0)
        return nullptr;
    size_t size = sizeof(WorkLock) + (waiters - 1) * sizeof(Waiter);
    WorkLock *lock = static_cast<WorkLock *>(malloc(size));
    if (!lock)
        return nullptr;
    if (pthread_mutex_init(&lock->mutex, nullptr) != 0) {
        free(lock);
        return nullptr;
    }
    pthread_condattr_t attributes;
    pthread_condattr_init(&attributes);
    pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    for (lock->waiters = 0; lock->waiters < waiters; lock->waiters++) {
        Waiter *waiter = &lock->waiter[lock->waiters];
        waiter->waiting = waiter->woken = false;
        if (pthread_cond_init(&waiter->wake, &attributes) != 0)
            break;
    }
    pthread_condattr_destroy(&attributes);
    if (lock->waiters < waiters) {
        FreeWaiters(lock);
        pthread_mutex_destroy(&lock->mutex);
        free(lock);
        return nullptr;
    }
    return lock;
}

void FreeWorkLock(WorkLock *lock) {
    FreeWaiters(lock);
    pthread_mutex_destroy(&lock->mutex);
    free(lock);
}

void TakeWorkLock(WorkLock *lock) {
    pthread_mutex_lock(&lock->mutex);
}

void ReleaseWorkLock(WorkLock *lock) {
    pthread_mutex_unlock(&lock->mutex);
}

static struct timespec MonotonicIn(uint32_t microseconds) {
    struct timespec until;
    clock_gettime(CLOCK_MONOTONIC, &until);
    uint64_t nanoseconds = (uint64_t)until.tv_nsec + (uint64_t)microseconds * 1000;
    until.tv_sec += (time_t)(nanoseconds / 1000000000);
    until.tv_nsec = (long)(nanoseconds % 1000000000);
    return until;
}

void WaitForWake(WorkLock *lock, uint32_t waiter, uint32_t timeoutMicroseconds) {
    struct timespec until = MonotonicIn(timeoutMicroseconds);
    Waiter *self = &lock->waiter[waiter];
    self->waiting = true;
    self->woken = false;
    while (!self->woken && pthread_cond_timedwait(&self->wake, &lock->mutex, &until) == 0) {
    }
    self->waiting = false;
}

void Wake(WorkLock *lock, uint32_t waiter) {
    Waiter *other = &lock->waiter[waiter];
    if (other->waiting && !other->woken) {
        other->woken = true;
        pthread_cond_signal(&other->wake);
    }
}

void WakeAll(WorkLock *lock) {
    for (uint32_t i = 0; i < lock->waiters; i++)
        Wake(lock, i);
}

// A worker runs until it ends; one left running by EndWorkerThread frees
// itself, so whichever side comes second decides, by one exchange.
enum WorkerStage { WorkerRunning, WorkerEnded, WorkerLeft };

struct WorkerThread {
    pthread_t thread;
    void (*entry)(void *);
    void *argument;
    std::atomic<int> stage;
};

// The process's count of workers left to end on their own, which the next
// run waits for, and of the cancellations sent to blocked calls, which the
// faults' hung reads watch for.
struct WorkerCounts {
    std::atomic<uint32_t> LeftRunning, Cancellations;
};
static WorkerCounts Workers;

static void *RunWorker(void *started) {
    WorkerThread *worker = static_cast<WorkerThread *>(started);
    worker->entry(worker->argument);
    int running = WorkerRunning;
    if (!worker->stage.compare_exchange_strong(running, WorkerEnded)) {
        free(worker);
        Workers.LeftRunning.fetch_sub(1);
    }
    return nullptr;
}

WorkerThread *StartWorkerThread(void (*entry)(void *), void *argument) {
    WorkerThread *worker = static_cast<WorkerThread *>(malloc(sizeof(WorkerThread)));
    if (!worker)
        return nullptr;
    worker->entry = entry;
    worker->argument = argument;
    worker->stage.store(WorkerRunning);
    if (pthread_create(&worker->thread, nullptr, RunWorker, worker) != 0) {
        free(worker);
        return nullptr;
    }
    return worker;
}

// A thread left running executes the module's code until it ends: the
// module is marked never to be unloaded, as far as the loader lets it.
static void KeepModuleLoaded() {
    Dl_info info;
    if (dladdr(reinterpret_cast<void *>(RunWorker), &info) && info.dli_fname)
        dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

static struct timespec RealtimeIn(uint32_t microseconds) {
    struct timespec until;
    clock_gettime(CLOCK_REALTIME, &until);
    uint64_t nanoseconds = (uint64_t)until.tv_nsec + (uint64_t)microseconds * 1000;
    until.tv_sec += (time_t)(nanoseconds / 1000000000);
    until.tv_nsec = (long)(nanoseconds % 1000000000);
    return until;
}

// How often a blocked call is cancelled again: a cancellation that comes
// just before the call is blocked in is lost.
static const uint32_t CancelInterval = 5 * 1000;

bool EndWorkerThread(WorkerThread *worker, uint32_t timeoutMicroseconds) {
    for (uint32_t waited = 0;; waited += CancelInterval) {
        Workers.Cancellations.fetch_add(1);
        struct timespec until = RealtimeIn(CancelInterval);
        if (pthread_timedjoin_np(worker->thread, nullptr, &until) == 0) {
            free(worker);
            return true;
        }
        if (waited >= timeoutMicroseconds)
            break;
    }
    KeepModuleLoaded();
    Workers.LeftRunning.fetch_add(1);
    int running = WorkerRunning;
    if (worker->stage.compare_exchange_strong(running, WorkerLeft)) {
        pthread_detach(worker->thread);
        return false;
    }
    // It ended just now.
    Workers.LeftRunning.fetch_sub(1);
    pthread_join(worker->thread, nullptr);
    free(worker);
    return true;
}

uint32_t WorkersLeftRunning() {
    return Workers.LeftRunning.load();
}

uint32_t CancellationsSent() {
    return Workers.Cancellations.load();
}

void PauseMicroseconds(uint32_t microseconds) {
    struct timespec pause = {(time_t)(microseconds / 1000000),
                             (long)(microseconds % 1000000) * 1000};
    nanosleep(&pause, nullptr);
}

uint32_t ProcessorCount() {
    cpu_set_t allowed;
    if (sched_getaffinity(0, sizeof allowed, &allowed) != 0)
        return 1;
    int count = CPU_COUNT(&allowed);
    return count > 0 ? (uint32_t)count : 1;
}

// The kernel tells per block device; a partition's answer is its disk's,
// one folder up. Folders on no block device (tmpfs, a network share) seek
// for free as far as the run can tell.
bool DiskSeeksSlowly(const char *folder) {
    struct stat status;
    if (stat(folder, &status) != 0)
        return false;
    const char *ups[] = {"", "../"};
    for (const char *up : ups) {
        char path[96];
        snprintf(path, sizeof path, "/sys/dev/block/%u:%u/%squeue/rotational", major(status.st_dev),
                 minor(status.st_dev), up);
        FILE *answer = fopen(path, "re");
        if (!answer)
            continue;
        int rotational = fgetc(answer);
        fclose(answer);
        return rotational == '1';
    }
    return false;
}
