// Windows: the worker threads of a run, their lock and wake-ups, the
// processors they may use, and whether a folder's disk is a spinning one.
// Only calls every Windows the host runs on has: a critical section and
// an event per waiter stand in for a condition variable. Under Wine every
// event call is a round trip to its server, so a wake-up goes only to the
// threads that wait, and only once the section is let go: a section held
// over a round trip keeps every other thread spinning on it.
#include <stdlib.h>
#include <windows.h>
#include <winioctl.h>

#include <atomic>

#include "platform/platform.h"

// A waiter's event and whether it waits, which only the lock's holder
// reads or changes.
struct Waiter {
    HANDLE wake; // auto-reset
    bool waiting;
};

struct WorkLock {
    CRITICAL_SECTION section;
    uint32_t waiters;
    uint32_t toWake; // a bit per waiter woken while the section was held
    // Threads that let go of the section and are still setting events: the
    // lock's last holder may free it meanwhile, and waits for them.
    volatile LONG setting;
    Waiter waiter[1]; // one per waiter; more follow
};

// The most waiters: one bit each in toWake.
static const uint32_t MostWaiters = 32;

WorkLock *CreateWorkLock(uint32_t waiters) {
    if (waiters == 0 || waiters > MostWaiters)
        return nullptr;
    size_t size = sizeof(WorkLock) + (waiters - 1) * sizeof(Waiter);
    WorkLock *lock = static_cast<WorkLock *>(malloc(size));
    if (!lock)
        return nullptr;
    lock->waiters = 0;
    lock->toWake = 0;
    lock->setting = 0;
    for (; lock->waiters < waiters; lock->waiters++) {
        lock->waiter[lock->waiters].waiting = false;
        lock->waiter[lock->waiters].wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (!lock->waiter[lock->waiters].wake) {
            for (uint32_t i = 0; i < lock->waiters; i++)
                CloseHandle(lock->waiter[i].wake);
            free(lock);
            return nullptr;
        }
    }
    // Held only for a few counts: a waiter spins rather than sleeps.
    InitializeCriticalSectionAndSpinCount(&lock->section, 4000);
    return lock;
}

void FreeWorkLock(WorkLock *lock) {
    while (InterlockedCompareExchange(&lock->setting, 0, 0) != 0)
        Sleep(0);
    DeleteCriticalSection(&lock->section);
    for (uint32_t i = 0; i < lock->waiters; i++)
        CloseHandle(lock->waiter[i].wake);
    free(lock);
}

void TakeWorkLock(WorkLock *lock) {
    EnterCriticalSection(&lock->section);
}

// Lets go of the section, then wakes whom WakeAll named while it was held.
// A wake-up set late at worst ends a later wait early, which every waiter
// takes as it takes a timeout: it looks again.
static void LeaveAndWake(WorkLock *lock) {
    uint32_t toWake = lock->toWake;
    lock->toWake = 0;
    if (toWake == 0) {
        LeaveCriticalSection(&lock->section);
        return;
    }
    InterlockedIncrement(&lock->setting);
    LeaveCriticalSection(&lock->section);
    for (uint32_t i = 0; toWake != 0; i++, toWake >>= 1)
        if (toWake & 1)
            SetEvent(lock->waiter[i].wake);
    InterlockedDecrement(&lock->setting);
}

void ReleaseWorkLock(WorkLock *lock) {
    LeaveAndWake(lock);
}

// The waiter says it waits before it lets go of the lock, and a wake-up
// that comes before its wait stays in its event, so none is lost.
void WaitForWake(WorkLock *lock, uint32_t waiter, uint32_t timeoutMicroseconds) {
    DWORD milliseconds = (timeoutMicroseconds + 999) / 1000;
    lock->waiter[waiter].waiting = true;
    LeaveAndWake(lock);
    WaitForSingleObject(lock->waiter[waiter].wake, milliseconds);
    EnterCriticalSection(&lock->section);
    lock->waiter[waiter].waiting = false;
}

void Wake(WorkLock *lock, uint32_t waiter) {
    if (lock->waiter[waiter].waiting) {
        lock->waiter[waiter].waiting = false;
        lock->toWake |= 1u << waiter;
    }
}

void WakeAll(WorkLock *lock) {
    for (uint32_t i = 0; i < lock->waiters; i++)
        Wake(lock, i);
}

// A worker runs until it ends; one left running by EndWorkerThread frees
// itself and gives back the module reference it was left with, so
// whichever side comes second decides, by one exchange.
enum WorkerStage { WorkerRunning, WorkerEnded, WorkerLeft };

struct WorkerThread {
    HANDLE thread;
    void (*entry)(void *);
    void *argument;
    HMODULE module; // held for a worker left running
    std::atomic<int> stage;
};

// The process's count of workers left to end on their own, which the next
// run waits for, and of the cancellations sent to blocked calls, which the
// faults' hung reads watch for.
struct WorkerCounts {
    std::atomic<uint32_t> LeftRunning, Cancellations;
};
static WorkerCounts Workers;

static DWORD WINAPI RunWorker(void *started) {
    WorkerThread *worker = static_cast<WorkerThread *>(started);
    worker->entry(worker->argument);
    int running = WorkerRunning;
    if (worker->stage.compare_exchange_strong(running, WorkerEnded))
        return 0;
    HMODULE module = worker->module;
    free(worker);
    Workers.LeftRunning.fetch_sub(1);
    // The module may be unloaded the moment its reference is given back:
    // the thread ends in the same call, outside it.
    if (module)
        FreeLibraryAndExitThread(module, 0);
    return 0;
}

WorkerThread *StartWorkerThread(void (*entry)(void *), void *argument) {
    WorkerThread *worker = static_cast<WorkerThread *>(malloc(sizeof(WorkerThread)));
    if (!worker)
        return nullptr;
    worker->entry = entry;
    worker->argument = argument;
    worker->module = nullptr;
    worker->stage.store(WorkerRunning);
    // A small stack: a worker keeps no buffers of its own there.
    worker->thread = CreateThread(nullptr, 64 * 1024, RunWorker, worker,
                                  STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!worker->thread) {
        free(worker);
        return nullptr;
    }
    return worker;
}

// CancelSynchronousIo came with Vista: looked up, not imported, so that
// the module still loads where it is missing.
typedef BOOL(WINAPI *CancelCall)(HANDLE);

static CancelCall CancelSynchronousIoCall() {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    return kernel ? reinterpret_cast<CancelCall>(
                        reinterpret_cast<void *>(GetProcAddress(kernel, "CancelSynchronousIo")))
                  : nullptr;
}

// How often a blocked call is cancelled again: a cancellation that comes
// just before the call is blocked in is lost.
static const DWORD CancelInterval = 5;

bool EndWorkerThread(WorkerThread *worker, uint32_t timeoutMicroseconds) {
    CancelCall cancel = CancelSynchronousIoCall();
    DWORD timeout = (timeoutMicroseconds + 999) / 1000;
    for (DWORD waited = 0;; waited += CancelInterval) {
        Workers.Cancellations.fetch_add(1);
        if (cancel)
            cancel(worker->thread);
        if (WaitForSingleObject(worker->thread, CancelInterval) == WAIT_OBJECT_0) {
            CloseHandle(worker->thread);
            free(worker);
            return true;
        }
        if (waited >= timeout)
            break;
    }
    // The thread holds the module loaded from here on, by a reference of
    // its own that it gives back as it ends.
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCWSTR>(reinterpret_cast<void *>(RunWorker)), &module);
    worker->module = module;
    Workers.LeftRunning.fetch_add(1);
    HANDLE thread = worker->thread;
    int running = WorkerRunning;
    if (worker->stage.compare_exchange_strong(running, WorkerLeft)) {
        CloseHandle(thread);
        return false;
    }
    // It ended just now.
    Workers.LeftRunning.fetch_sub(1);
    if (module)
        FreeLibrary(module);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
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
    Sleep((microseconds + 999) / 1000);
}

uint32_t ProcessorCount() {
    DWORD_PTR process, system;
    if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system))
        return 1;
    uint32_t count = 0;
    for (; process; process &= process - 1)
        count++;
    return count > 0 ? count : 1;
}

// The volume tells whether it incurs a seek penalty; asking needs no access
// to its data. A volume that does not answer (a network share, Wine's
// folders) is taken as one that seeks for free.
bool DiskSeeksSlowly(const char *folder) {
    char root[MAX_PATH];
    if (!GetVolumePathNameA(folder, root, sizeof root) || root[0] == '\\')
        return false;
    char volume[] = "\\\\.\\X:";
    volume[4] = root[0];
    HANDLE device = CreateFileA(volume, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE)
        return false;
    STORAGE_PROPERTY_QUERY query = {};
    query.PropertyId = StorageDeviceSeekPenaltyProperty;
    query.QueryType = PropertyStandardQuery;
    DEVICE_SEEK_PENALTY_DESCRIPTOR answer = {};
    DWORD returned = 0;
    bool asked = DeviceIoControl(device, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query,
                                 &answer, sizeof answer, &returned, nullptr) &&
                 returned >= sizeof answer;
    CloseHandle(device);
    return asked && answer.IncursSeekPenalty;
}
