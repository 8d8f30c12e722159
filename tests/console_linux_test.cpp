// The Escape poll on a real pseudo-terminal standing in for standard input:
// how bytes become keys, what a poll removes, and FileDigest cancelled by a
// key that is already waiting.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <string>

#include "digest/md5.h"
#include "host/host.h"
#include "jobs/escape.h"
#include "signature/format.h"
#include "signature/list_reader.h"
#include "tests/fake_host.h"
#include "tests/test_files.h"

static const char FileName[] = "digest-console.bin";
static const char EmptyDigest[] = "d41d8cd98f00b204e9800998ecf8427e";

class TerminalPoll : public ::testing::Test {
  protected:
    void SetUp() override {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(grantpt(master), 0);
        ASSERT_EQ(unlockpt(master), 0);
        slave = open(ptsname(master), O_RDWR | O_NOCTTY);
        ASSERT_GE(slave, 0);
        // Keys arrive byte by byte, as a full-screen host reads them.
        termios mode;
        ASSERT_EQ(tcgetattr(slave, &mode), 0);
        cfmakeraw(&mode);
        ASSERT_EQ(tcsetattr(slave, TCSANOW, &mode), 0);
        savedInput = dup(STDIN_FILENO);
        ASSERT_EQ(dup2(slave, STDIN_FILENO), STDIN_FILENO);
        ForgetConsoleInput();
        StartEscapeWatch();
        StartFakeHost();
    }
    void TearDown() override {
        if (savedInput >= 0) {
            dup2(savedInput, STDIN_FILENO);
            close(savedInput);
        }
        ForgetConsoleInput();
        close(slave);
        close(master);
        remove(FileName);
    }

    // Types bytes and waits until the terminal has them all (the pty hands
    // them over asynchronously).
    void Type(const std::string &bytes) {
        int before = Waiting();
        ASSERT_EQ(write(master, bytes.data(), bytes.size()), (ssize_t)bytes.size());
        for (int tries = 0; Waiting() < before + (int)bytes.size(); tries++) {
            ASSERT_LT(tries, 5000) << "the terminal never received the bytes";
            usleep(1000);
        }
    }
    // Bytes the terminal holds that the module has not read.
    int Waiting() {
        int count = -1;
        ioctl(slave, FIONREAD, &count);
        return count;
    }

    int master = -1;
    int slave = -1;
    int savedInput = -1;
};

struct KeyCase {
    const char *bytes;
    int pressed;
};

TEST_F(TerminalPoll, OnlyTheEscapeKeyCounts) {
    static const KeyCase cases[] = {
        {"", 0},
        {"\x1b", 1},
        {"\x1b\x1b", 1},
        {"x", 0},
        {"hello\r", 0},
        {"\x1b[A", 0},     // cursor up
        {"\x1bOP", 0},     // F1
        {"\x1b[1;5A", 0},  // ctrl+up, with parameters
        {"\x1b[15~", 0},   // F5
        {"\x1bx", 0},      // alt+x
        {"\x1b[A\x1b", 1}, // a sequence, then Escape
        {"ab\x1b", 1},     // keys, then Escape
        {"\x1b[A"
         "cd\x1b[B",
         0},
    };
    for (const KeyCase &key : cases) {
        ForgetConsoleInput();
        tcflush(slave, TCIFLUSH);
        Type(key.bytes);
        EXPECT_EQ(EscapePressed(EscapeVirtualKey), key.pressed)
            << testing::PrintToString(key.bytes);
        // A found Escape stays at the head, so the next poll finds it again.
        EXPECT_EQ(EscapePressed(EscapeVirtualKey), key.pressed)
            << testing::PrintToString(key.bytes);
        EXPECT_EQ(Waiting(), 0);
    }
}

TEST_F(TerminalPoll, SequenceSplitAcrossPollsIsNotEscape) {
    Type("\x1b[");
    EXPECT_EQ(EscapePressed(EscapeVirtualKey), 0);
    Type("1;5");
    EXPECT_EQ(EscapePressed(EscapeVirtualKey), 0);
    Type("A");
    EXPECT_EQ(EscapePressed(EscapeVirtualKey), 0);
    Type("\x1b");
    EXPECT_EQ(EscapePressed(EscapeVirtualKey), 1);
}

TEST_F(TerminalPoll, SequenceBytesAreNoKeysOfTheirOwn) {
    // F1, cursor up and ctrl+up end in letters that are not typed keys.
    Type("\x1bOP\x1b[A\x1b[1;5D");
    for (uint16_t key : {'P', 'A', '1', '5', 'D'})
        EXPECT_EQ(EscapePressed(key), 0) << (char)key;
    // Alt+x is neither Escape nor x.
    Type("\x1bx");
    EXPECT_EQ(EscapePressed('X'), 0);
    Type("x");
    EXPECT_EQ(EscapePressed('X'), 1);
}

TEST_F(TerminalPoll, KeysAheadOfEscapeGoAndItStays) {
    Type("ab\x1b");
    EXPECT_EQ(EscapePressed(EscapeVirtualKey), 1);
    // What is typed behind the Escape does not hide it.
    Type("cd");
    EXPECT_EQ(EscapePressed(EscapeVirtualKey), 1);
    // The keys ahead were removed: 'A' is no longer waiting, 'C' and 'D' are.
    EXPECT_EQ(EscapePressed('A'), 0);
    EXPECT_EQ(EscapePressed('D'), 1);
    // The Escape and 'C' were ahead of 'D' and went with that poll.
    EXPECT_EQ(EscapePressed(EscapeVirtualKey), 0);
}

TEST_F(TerminalPoll, OtherKeysAreNotRemoved) {
    Type("xy");
    EXPECT_EQ(EscapePressed(EscapeVirtualKey), 0);
    EXPECT_EQ(EscapePressed(EscapeVirtualKey), 0);
    EXPECT_EQ(EscapePressed('X'), 1);
    EXPECT_EQ(EscapePressed('Y'), 1);
}

TEST_F(TerminalPoll, InputThatIsNoTerminalHasNothingWaiting) {
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    ASSERT_EQ(write(pipeEnds[1], "\x1b", 1), 1);
    ASSERT_EQ(dup2(pipeEnds[0], STDIN_FILENO), STDIN_FILENO);
    ForgetConsoleInput();
    EXPECT_EQ(EscapePressed(EscapeVirtualKey), 0);
    int left = 0;
    ioctl(pipeEnds[0], FIONREAD, &left);
    EXPECT_EQ(left, 1) << "the poll read from a pipe";
    close(pipeEnds[0]);
    close(pipeEnds[1]);
}

static std::string Pattern(size_t length) {
    std::string bytes(length, 0);
    for (size_t i = 0; i < length; i++)
        bytes[i] = (char)(i * 13 + (i >> 9));
    return bytes;
}

TEST_F(TerminalPoll, WaitingEscapeCancelsBeforeAnyRead) {
    WriteBytes(FileName, Pattern(5000));
    Type("q\x1b");
    // The second job finds the same Escape: the module never takes it.
    for (int run = 0; run < 2; run++) {
        char text[DigestTextSize];
        StartEscapeWatch();
        AbortRequested = 0;
        EXPECT_TRUE(ReadFileDigest(FileName, text, sizeof text));
        EXPECT_STREQ(text, EmptyDigest);
        EXPECT_EQ(AbortRequested, 1);
    }
    EXPECT_TRUE(Host.calls.empty());
}

// A list that is one endless line (a disk image verified by mistake) is
// stopped by an Escape as a file is, in each encoding's reader: the rest of
// the line is not read first.
TEST_F(TerminalPoll, WaitingEscapeStopsAnEndlessListLine) {
    const size_t Size = 16 << 20;
    const std::string marks[] = {"", "\xff\xfe", "\xfe\xff"};
    for (const std::string &mark : marks) {
        WriteBytes(FileName, mark + std::string(Size, 'A') + "\nnext\n");
        Type("\x1b");
        StartEscapeWatch();
        AbortRequested = 0;
        FILE *stream = fopen(FileName, "rb");
        ASSERT_TRUE(stream);
        ListReader list;
        StartList(&list, stream, PollEscapeWhenDue);
        char line[SignatureLineSize];
        ReadListLine(&list, line, sizeof line);
        EXPECT_EQ(AbortRequested, 1) << mark.size();
        EXPECT_LT((size_t)ftell(stream), Size / 2) << mark.size();
        CloseList(&list);
        ForgetConsoleInput();
        tcflush(slave, TCIFLUSH);
    }
}

TEST_F(TerminalPoll, OtherKeysDoNotCancel) {
    std::string bytes = Pattern(5000);
    WriteBytes(FileName, bytes);
    Type("q\x1b[A");
    char text[DigestTextSize];
    AbortRequested = 1;
    EXPECT_TRUE(ReadFileDigest(FileName, text, sizeof text));
    EXPECT_EQ(text, DigestOf(bytes));
    EXPECT_EQ(AbortRequested, 0);
}

// A poll that finds a full queue without Escape drops it and the next poll
// reads on, so a flood of ordinary keys is read a fixed amount per poll. That
// makes the polls of a run countable: they follow the clock, not the files.
TEST_F(TerminalPoll, PollsFollowTheClock) {
    Type(std::string(1000, 'x'));
    EXPECT_EQ(EscapePressed(EscapeVirtualKey), 0);
    int perPoll = 1000 - Waiting();
    ASSERT_GT(perPoll, 1);
    ASSERT_LT(perPoll * 8, 1000);

    ForgetConsoleInput();
    tcflush(slave, TCIFLUSH);
    Type(std::string(1000, 'x'));
    WriteBytes(FileName, Pattern(5000));
    uint64_t start = MonotonicMicroseconds();
    for (int file = 0; file < 40; file++) {
        char text[DigestTextSize];
        EXPECT_TRUE(ReadFileDigest(FileName, text, sizeof text));
    }
    uint64_t took = MonotonicMicroseconds() - start;
    int polls = (1000 - Waiting()) / perPoll;
    EXPECT_GE(polls, 1) << "the first file of a job is polled";
    // A few milliseconds at least lie between polls, whatever the files.
    EXPECT_LE((uint64_t)polls, 1 + took / 5000) << took << " us";
    EXPECT_EQ(AbortRequested, 0);
}

struct TypeLater {
    int master;
    uint64_t typedAt;
};

static void *TypeEscapeLater(void *argument) {
    TypeLater *typist = static_cast<TypeLater *>(argument);
    usleep(200 * 1000);
    typist->typedAt = MonotonicMicroseconds();
    if (write(typist->master, "\x1b", 1) != 1)
        typist->typedAt = 0;
    return nullptr;
}

// A 2 GiB file takes seconds to digest; an Escape typed while it is read
// stops it long before that. (The bound is loose: machines are shared.)
TEST_F(TerminalPoll, EscapeTypedWhileAFileIsReadStopsIt) {
    FILE *file = fopen(FileName, "wb");
    ASSERT_TRUE(file);
    ASSERT_EQ(ftruncate(fileno(file), (off_t)2 << 30), 0);
    fclose(file);
    TypeLater typist = {master, 0};
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, nullptr, TypeEscapeLater, &typist), 0);
    char text[DigestTextSize];
    EXPECT_TRUE(ReadFileDigest(FileName, text, sizeof text));
    uint64_t stopped = MonotonicMicroseconds();
    pthread_join(thread, nullptr);
    ASSERT_NE(typist.typedAt, 0u);
    EXPECT_EQ(AbortRequested, 1);
    EXPECT_LT(stopped - typist.typedAt, 1000u * 1000) << "microseconds from Escape to the stop";
    EXPECT_TRUE(Host.calls.empty());
}
