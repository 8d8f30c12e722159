// Signature files that are no regular file: a FIFO with nobody at the other
// end and a device that never ends. Each job must come back with one file
// error notice naming the signature file instead of blocking the host; a job
// that has not ended after a few seconds counts as hung.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "jobs/jobs.h"
#include "tests/fake_host.h"
#include "tests/test_files.h"

static const int HungResult = -1;

// Runs the job in a child process, which reports how many file error notices
// named the signature file; HungResult if it had not ended in time.
static int FileErrorsNaming(void (*job)(const char *), const char *name) {
    fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
        StartFakeHost();
        Host.items = {MakeItem("a.txt")};
        Host.cursor = 0;
        AbortRequested = 0;
        job(name);
        int errors = 0;
        for (const HostCall &call : Host.calls)
            errors += call.op == "ShowMessageBox" && call.number == 3 && call.texts.size() == 4 &&
                      call.texts[1] == name;
        _exit(errors);
    }
    for (int tenths = 0; tenths < 100; tenths++) {
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
        usleep(100000);
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    return HungResult;
}

TEST(SignatureSpecialFiles, JobsEndWithOneNoticeInsteadOfBlocking) {
    EnterScratchDirectory();
    WriteBytes("a.txt", "alpha\n");
    ASSERT_EQ(mkfifo("lonely.fifo", 0600), 0);
    struct Case {
        const char *what;
        void (*job)(const char *);
        const char *name;
    };
    const Case cases[] = {
        {"verify from a FIFO without a writer", VerifySignatures, "lonely.fifo"},
        {"create into a FIFO without a reader", CreateSignatures, "lonely.fifo"},
        {"verify from an endless device", VerifySignatures, "/dev/zero"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(FileErrorsNaming(c.job, c.name), 1) << c.what;
    LeaveScratchDirectory();
}
