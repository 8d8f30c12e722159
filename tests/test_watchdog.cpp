// Every unit test has a time limit of its own. A test that hangs (a wake-up
// lost, a read that never returns) is named and the program ends at once,
// rather than the whole binary running into ctest's limit without a word on
// which test it was in. SUMBREL_TEST_SECONDS sets the limit (120 s unless
// set; valgrind, for one, needs more).
#include <gtest/gtest.h>

#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

long LimitSeconds() {
    const char *text = getenv("SUMBREL_TEST_SECONDS");
    long seconds = text ? strtol(text, nullptr, 10) : 0;
    return seconds > 0 ? seconds : 120;
}

// The watch thread sleeps until the running test's deadline; a test that
// ends first moves it on (a new generation), so only a test still running
// at its own deadline ends the program. The thread is detached and waited
// for by a flag, and its lock and condition are never destroyed: a test
// that forks a child which then exits has, in the child, no watch thread to
// join and a condition whose waiter never leaves.
struct WatchState {
    std::mutex Lock;
    std::condition_variable Changed;
    std::string Running;
    Clock::time_point Deadline;
    unsigned Generation = 0;
    bool ProgramEnded = false;
    bool WatcherEnded = false;
    long Seconds = LimitSeconds();
};

WatchState *const Watched = new WatchState;

struct Watchdog : testing::EmptyTestEventListener {
    WatchState &State = *Watched;
    std::mutex &Lock = State.Lock;
    std::condition_variable &Changed = State.Changed;
    std::string &Running = State.Running;
    Clock::time_point &Deadline = State.Deadline;
    unsigned &Generation = State.Generation;
    bool &ProgramEnded = State.ProgramEnded;
    bool &WatcherEnded = State.WatcherEnded;
    long &Seconds = State.Seconds;

    static void *Watch(void *state) {
        return static_cast<Watchdog *>(state)->Watch(), nullptr;
    }

    void Watch() {
        std::unique_lock<std::mutex> held(Lock);
        while (!ProgramEnded) {
            if (Running.empty()) {
                Changed.wait(held);
                continue;
            }
            unsigned generation = Generation;
            if (Changed.wait_until(held, Deadline) == std::cv_status::no_timeout ||
                generation != Generation || Running.empty())
                continue;
            fflush(stdout);
            fprintf(stderr, "\n[ TIMEOUT  ] %s still running after %ld s: ended here\n",
                    Running.c_str(), Seconds);
            fflush(stderr);
            _Exit(124);
        }
        WatcherEnded = true;
        Changed.notify_all();
    }

    // A thread of the system's own, with nothing of the program's on the heap
    // that only the thread knows of: a forked child, where the thread is
    // gone, leaks nothing (valgrind follows such children).
    void OnTestProgramStart(const testing::UnitTest &) override {
        pthread_t thread;
        if (pthread_create(&thread, nullptr, Watch, this) == 0)
            pthread_detach(thread);
        else
            WatcherEnded = true;
    }
    void OnTestStart(const testing::TestInfo &test) override {
        std::lock_guard<std::mutex> held(Lock);
        Running = std::string(test.test_suite_name()) + "." + test.name();
        Deadline = Clock::now() + std::chrono::seconds(Seconds);
        Generation++;
        Changed.notify_all();
    }
    void OnTestEnd(const testing::TestInfo &) override {
        std::lock_guard<std::mutex> held(Lock);
        Running.clear();
        Generation++;
        Changed.notify_all();
    }
    void OnTestProgramEnd(const testing::UnitTest &) override {
        std::unique_lock<std::mutex> held(Lock);
        ProgramEnded = true;
        Changed.notify_all();
        Changed.wait(held, [this] { return WatcherEnded; });
    }
};

// Linked into each test program beside gtest_main, which parses the command
// line after this has put the watchdog among the listeners.
const bool Installed = [] {
    testing::UnitTest::GetInstance()->listeners().Append(new Watchdog);
    return true;
}();

} // namespace
