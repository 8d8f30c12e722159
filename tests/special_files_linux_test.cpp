// Names that open but are no regular file are refused at once, and a read
// failure is told as one.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "digest/md5.h"
#include "host/host.h"
#include "jobs/escape.h"
#include "tests/fake_host.h"
#include "tests/test_files.h"

static const char FifoName[] = "digest-test.fifo";

static void ExpectRefused(const char *name, FileProblem why) {
    StartFakeHost();
    ForgetConsoleInput();
    StartEscapeWatch();
    char text[DigestTextSize] = "untouched";
    AbortRequested = 5;
    FileProblem problem = ProblemUntold;
    EXPECT_FALSE(ReadFileDigest(name, text, sizeof text, &problem)) << name;
    EXPECT_EQ(problem, why) << name;
    EXPECT_STREQ(text, "untouched") << name;
    EXPECT_TRUE(Host.calls.empty()) << name;
}

TEST(SpecialFiles, DevicesFifosAndDirectoriesAreRefusedWithoutBlocking) {
    EnterScratchDirectory();
    ASSERT_EQ(mkfifo(FifoName, 0600), 0) << strerror(errno);
    // A FIFO with no writer blocks a plain open; a zero device never ends.
    // The devices are reached through links made here, never by their own
    // names, so that nothing outside this folder is named by the test.
    const char *devices[][2] = {{"/dev/zero", "zero-link"},
                                {"/dev/null", "null-link"},
                                {"/dev/tty", "tty-link"},
                                {"/", "root-link"}};
    for (const auto &device : devices)
        ASSERT_EQ(symlink(device[0], device[1]), 0) << strerror(errno);
    for (const char *name : {FifoName, "zero-link", "null-link", "tty-link", "root-link"}) {
        ExpectRefused(name, ProblemNotAFile);
        EXPECT_EQ(AbortRequested, 5) << name;
    }
    LeaveScratchDirectory();
}

TEST(SpecialFiles, ReadFailureIsToldAfterItsPoll) {
    // A regular file whose first read fails: nothing is mapped at address 0.
    ExpectRefused("/proc/self/mem", ProblemCannotRead);
    EXPECT_EQ(AbortRequested, 0);
}
