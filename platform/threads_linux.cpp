// Linux: the worker threads of a run, their lock and wake-ups, the
// processors they may use, and whether a folder's disk is a spinning one.
#include <pthread.h>
#include <sched.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>

#include "platform/platform.h"

struct WorkLock {
    pthread_mutex_t mutex;
    pthread_cond_t changed; // on the monotonic clock: a changed date never stretches a wait
};

WorkLock *CreateWorkLock(uint32_t) {
    WorkLock *lock = static_cast<WorkLock *>(malloc(sizeof(WorkLock)));
    if (!lock)
        return nullptr;
    pthread_condattr_t attributes;
    pthread_condattr_init(&attributes);
    pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    bool made = pthread_mutex_init(&lock->mutex, nullptr) == 0;
    if (made && pthread_cond_init(&lock->changed, &attributes) != 0) {
        pthread_mutex_destroy(&lock->mutex);
        made = false;
    }
    pthread_condattr_destroy(&attributes);
    if (!made) {
        free(lock);
        return nullptr;
    }
    return lock;
}

void FreeWorkLock(WorkLock *lock) {
    pthread_cond_destroy(&lock->changed);
    pthread_mutex_destroy(&lock->mutex);
    free(lock);
}

void TakeWorkLock(WorkLock *lock) {
    pthread_mutex_lock(&lock->mutex);
}

void ReleaseWorkLock(WorkLock *lock) {
    pthread_mutex_unlock(&lock->mutex);
}

void WaitForWake(WorkLock *lock, uint32_t, uint32_t timeoutMicroseconds) {
    struct timespec until;
    clock_gettime(CLOCK_MONOTONIC, &until);
    uint64_t nanoseconds = (uint64_t)until.tv_nsec + (uint64_t)timeoutMicroseconds * 1000;
    until.tv_sec += (time_t)(nanoseconds / 1000000000);
    until.tv_nsec = (long)(nanoseconds % 1000000000);
    pthread_cond_timedwait(&lock->changed, &lock->mutex, &until);
}

void WakeAll(WorkLock *lock) {
    pthread_cond_broadcast(&lock->changed);
}

struct WorkerThread {
    pthread_t thread;
    void (*entry)(void *);
    void *argument;
};

static void *RunWorker(void *started) {
    WorkerThread *worker = static_cast<WorkerThread *>(started);
    worker->entry(worker->argument);
    return nullptr;
}

WorkerThread *StartWorkerThread(void (*entry)(void *), void *argument) {
    WorkerThread *worker = static_cast<WorkerThread *>(malloc(sizeof(WorkerThread)));
    if (!worker)
        return nullptr;
    worker->entry = entry;
    worker->argument = argument;
    if (pthread_create(&worker->thread, nullptr, RunWorker, worker) != 0) {
        free(worker);
        return nullptr;
    }
    return worker;
}

void JoinWorkerThread(WorkerThread *worker) {
    pthread_join(worker->thread, nullptr);
    free(worker);
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
