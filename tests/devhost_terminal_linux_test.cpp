// The development host's terminal on Linux: keys typed ahead through a
// pseudo-terminal of its own, and the module's input mode, which must be
// undone however the run ends.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "devhost/keys.h"
#include "devhost/loader_and_console.h"

// Waits until the terminal on fd holds at least count unread bytes; the
// pseudo-terminal hands them over asynchronously.
static int WaitForBytes(int fd, int count) {
    int available = 0;
    for (int tries = 0; tries < 5000; tries++) {
        if (ioctl(fd, FIONREAD, &available) == 0 && available >= count)
            break;
        usleep(1000);
    }
    return available;
}

TEST(DevhostTerminal, TypedKeysWaitOnAPseudoTerminalStandingInForInput) {
    struct stat before;
    bool hadInput = fstat(STDIN_FILENO, &before) == 0;
    std::vector<KeyPress> keys;
    std::string bad, error;
    ASSERT_TRUE(ParseKeyList("a,esc,up,enter,Q", keys, bad));
    ASSERT_TRUE(StartKeyInput(keys, error)) << error;

    EXPECT_EQ(isatty(STDIN_FILENO), 1);
    termios mode;
    ASSERT_EQ(tcgetattr(STDIN_FILENO, &mode), 0);
    EXPECT_EQ(mode.c_lflag & (ICANON | ECHO), 0u) << "keys must be readable without a line end";
    const std::string expected = "a\x1b\x1b[A\rQ";
    EXPECT_EQ(WaitForBytes(STDIN_FILENO, (int)expected.size()), (int)expected.size());
    char bytes[32];
    ssize_t got = read(STDIN_FILENO, bytes, sizeof bytes);
    EXPECT_EQ(std::string(bytes, got > 0 ? (size_t)got : 0), expected);
    StopKeyInput();

    struct stat after;
    if (hadInput) {
        ASSERT_EQ(fstat(STDIN_FILENO, &after), 0);
        EXPECT_EQ(after.st_dev, before.st_dev);
        EXPECT_EQ(after.st_ino, before.st_ino) << "standard input is the one it was";
    } else {
        EXPECT_NE(fstat(STDIN_FILENO, &after), 0);
    }
}

// A terminal of the test's own as standard input, as a user's would be.
class DevhostModuleMode : public ::testing::Test {
  protected:
    void SetUp() override {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(grantpt(master), 0);
        ASSERT_EQ(unlockpt(master), 0);
        slave = open(ptsname(master), O_RDWR | O_NOCTTY);
        ASSERT_GE(slave, 0);
        ASSERT_EQ(tcgetattr(slave, &original), 0);
        ASSERT_NE(original.c_lflag & ICANON, 0u);
        savedInput = dup(STDIN_FILENO);
        ASSERT_EQ(dup2(slave, STDIN_FILENO), STDIN_FILENO);
    }
    void TearDown() override {
        LeaveModuleInputMode();
        if (savedInput >= 0) {
            dup2(savedInput, STDIN_FILENO);
            close(savedInput);
        }
        close(slave);
        close(master);
    }
    tcflag_t LocalFlags() {
        termios mode;
        tcgetattr(slave, &mode);
        return mode.c_lflag;
    }

    int master = -1;
    int slave = -1;
    int savedInput = -1;
    termios original;
};

TEST_F(DevhostModuleMode, NonCanonicalWhileTheModuleRunsThenRestored) {
    EnterModuleInputMode();
    EXPECT_EQ(LocalFlags() & (ICANON | ECHO), 0u);
    EXPECT_NE(LocalFlags() & ISIG, 0u) << "Ctrl-C still ends the host";
    LeaveModuleInputMode();
    EXPECT_EQ(LocalFlags(), original.c_lflag);
}

TEST_F(DevhostModuleMode, AskingTheUserUsesTheOrdinaryModeAndReturnsToTheModules) {
    EnterModuleInputMode();
    ASSERT_EQ(write(master, "v\r\nrest", 7), 7);
    WaitForBytes(slave, 3);
    std::string line;
    ASSERT_TRUE(ReadUserLine(line));
    EXPECT_EQ(line, "v");
    EXPECT_EQ(LocalFlags() & (ICANON | ECHO), 0u);
}

TEST_F(DevhostModuleMode, EveryWayOutRestoresTheTerminal) {
    // 0: the process exits without leaving the mode; others: that signal.
    for (int ending : {0, SIGTERM, SIGINT, SIGHUP}) {
        ASSERT_EQ(tcsetattr(slave, TCSANOW, &original), 0);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            EnterModuleInputMode();
            if (tcgetattr(STDIN_FILENO, &original) != 0 || (original.c_lflag & ICANON))
                _exit(9);
            if (ending == 0)
                exit(0);
            raise(ending);
            _exit(8);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        if (ending == 0) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        } else {
            EXPECT_TRUE(WIFSIGNALED(status)) << ending;
            EXPECT_EQ(WTERMSIG(status), ending) << "the signal still ends the process";
        }
        EXPECT_EQ(LocalFlags(), original.c_lflag) << ending;
    }
}
