// Names that open but are no regular file are refused at once, and a read
// failure is reported once.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <string>

#include "jobs/file_digest.h"
#include "digest/md5.h"
#include "tests/fake_host.h"
#include "tests/test_files.h"

static const char FifoName[] = "digest-test.fifo";

static void ExpectRefused(const char *name) {
    StartFakeHost();
    ForgetConsoleInput();
    StartEscapeWatch();
    char text[DigestTextSize] = "untouched";
    AbortRequested = 5;
    EXPECT_EQ(FileDigest(name, text, sizeof text), -1) << name;
    EXPECT_STREQ(text, "untouched") << name;
    ASSERT_EQ(CountCalls("ShowMessageBox"), 1) << name;
    EXPECT_EQ(Host.calls[0].texts[1], name);
}

TEST(SpecialFiles, DevicesFifosAndDirectoriesAreRefusedWithoutBlocking) {
    EnterScratchDirectory();
    ASSERT_EQ(mkfifo(FifoName, 0600), 0) << strerror(errno);
    // A FIFO with no writer blocks a plain open; /dev/zero never ends.
    for (const char *name : {FifoName, "/dev/zero", "/dev/null", "/dev/tty", "/"}) {
        ExpectRefused(name);
        EXPECT_EQ(AbortRequested, 5) << name;
    }
    LeaveScratchDirectory();
}

TEST(SpecialFiles, ReadFailureIsReportedOnceAfterItsPoll) {
    // A regular file whose first read fails: nothing is mapped at address 0.
    ExpectRefused("/proc/self/mem");
    EXPECT_EQ(AbortRequested, 0);
}
