// The Escape poll on the real console input, filled with WriteConsoleInputA:
// what counts as Escape, what a poll removes and what it leaves to the host.
#include <gtest/gtest.h>
#include <stdio.h>
#include <windows.h>

#include <string>
#include <vector>

#include "digest/md5.h"
#include "host/host.h"
#include "jobs/escape.h"
#include "tests/fake_host.h"
#include "tests/test_files.h"

static const char FileName[] = "digest-console.bin";
static const char EmptyDigest[] = "d41d8cd98f00b204e9800998ecf8427e";

// The console also gets input of its own (the terminal under it sends an
// end-of-file key at some point), so the events a test writes carry a mark
// and only marked events are checked.
static const WORD Mark = 0x5a5a;

static INPUT_RECORD Key(WORD virtualKey, BOOL down) {
    INPUT_RECORD record = {};
    record.EventType = KEY_EVENT;
    record.Event.KeyEvent.bKeyDown = down;
    record.Event.KeyEvent.wRepeatCount = 1;
    record.Event.KeyEvent.wVirtualKeyCode = virtualKey;
    record.Event.KeyEvent.wVirtualScanCode = Mark;
    record.Event.KeyEvent.uChar.AsciiChar = virtualKey == VK_ESCAPE ? 27 : (char)virtualKey;
    return record;
}

// A mouse event whose bytes, read as a key event, would be an Escape down.
static INPUT_RECORD EscapeLookalike() {
    INPUT_RECORD record = {};
    record.EventType = MOUSE_EVENT;
    record.Event.MouseEvent.dwMousePosition.X = 1;
    record.Event.MouseEvent.dwMousePosition.Y = (SHORT)Mark;
    record.Event.MouseEvent.dwButtonState = (DWORD)VK_ESCAPE << 16;
    return record;
}

class ConsolePoll : public ::testing::Test {
  protected:
    void SetUp() override {
        input = GetStdHandle(STD_INPUT_HANDLE);
        DWORD count;
        ASSERT_TRUE(GetNumberOfConsoleInputEvents(input, &count))
            << "no console input; run under tests/wine-run";
        ASSERT_TRUE(FlushConsoleInputBuffer(input));
        StartEscapeWatch();
        StartFakeHost();
    }
    void TearDown() override {
        FlushConsoleInputBuffer(input);
        remove(FileName);
    }

    void Queue(const std::vector<INPUT_RECORD> &records) {
        if (records.empty())
            return;
        DWORD written = 0;
        ASSERT_TRUE(WriteConsoleInputA(input, records.data(), (DWORD)records.size(), &written));
        ASSERT_EQ(written, records.size());
    }
    // The test's own events still in the queue, in queue order.
    std::vector<INPUT_RECORD> Waiting() {
        DWORD count = 0;
        GetNumberOfConsoleInputEvents(input, &count);
        std::vector<INPUT_RECORD> records(count + 1), ours;
        DWORD copied = 0;
        if (count > 0)
            PeekConsoleInputA(input, records.data(), count + 1, &copied);
        for (DWORD i = 0; i < copied; i++) {
            const INPUT_RECORD &record = records[i];
            if (record.EventType == MOUSE_EVENT
                    ? (WORD)record.Event.MouseEvent.dwMousePosition.Y == Mark
                    : record.EventType == KEY_EVENT &&
                          record.Event.KeyEvent.wVirtualScanCode == Mark)
                ours.push_back(record);
        }
        return ours;
    }

    HANDLE input = nullptr;
};

static bool Same(const INPUT_RECORD &a, const INPUT_RECORD &b) {
    if (a.EventType != b.EventType)
        return false;
    if (a.EventType != KEY_EVENT)
        return true;
    return !a.Event.KeyEvent.bKeyDown == !b.Event.KeyEvent.bKeyDown &&
           a.Event.KeyEvent.wVirtualKeyCode == b.Event.KeyEvent.wVirtualKeyCode;
}

struct PollCase {
    const char *what;
    std::vector<INPUT_RECORD> queued;
    int pressed;
    size_t removed; // events taken from the head
};

TEST_F(ConsolePoll, FindsAnEscapeDownAndRemovesOnlyWhatIsAheadOfIt) {
    const INPUT_RECORD escDown = Key(VK_ESCAPE, TRUE), escUp = Key(VK_ESCAPE, FALSE);
    const INPUT_RECORD aDown = Key('A', TRUE), aUp = Key('A', FALSE), b = Key('B', TRUE);
    const std::vector<PollCase> cases = {
        {"empty queue", {}, 0, 0},
        {"escape at the head", {escDown, escUp}, 1, 0},
        {"escape behind keys", {aDown, aUp, b, escDown, escUp, b}, 1, 3},
        {"escape up only", {escUp}, 0, 0},
        {"other keys only", {aDown, aUp, b}, 0, 0},
        {"lookalike mouse event", {EscapeLookalike(), b}, 0, 0},
        {"escape up, then down", {escUp, aDown, escDown}, 1, 2},
        {"two escapes", {b, escDown, b, escDown}, 1, 1},
    };
    for (const PollCase &poll : cases) {
        ASSERT_TRUE(FlushConsoleInputBuffer(input));
        Queue(poll.queued);
        ASSERT_EQ(Waiting().size(), poll.queued.size()) << poll.what;
        EXPECT_EQ(EscapePressed(VK_ESCAPE), poll.pressed) << poll.what;
        std::vector<INPUT_RECORD> left = Waiting();
        ASSERT_EQ(left.size(), poll.queued.size() - poll.removed) << poll.what;
        for (size_t i = 0; i < left.size(); i++)
            EXPECT_TRUE(Same(left[i], poll.queued[poll.removed + i])) << poll.what << " " << i;
        // The Escape left at the head is found again and costs nothing more.
        if (poll.pressed) {
            EXPECT_EQ(EscapePressed(VK_ESCAPE), 1) << poll.what;
            EXPECT_EQ(Waiting().size(), left.size()) << poll.what;
        }
    }
}

TEST_F(ConsolePoll, NoConsoleMeansNoEscape) {
    HANDLE file = CreateFileA(FileName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    Queue({Key(VK_ESCAPE, TRUE)});
    ASSERT_TRUE(SetStdHandle(STD_INPUT_HANDLE, file));
    EXPECT_EQ(EscapePressed(VK_ESCAPE), 0);
    SetStdHandle(STD_INPUT_HANDLE, input);
    CloseHandle(file);
    EXPECT_EQ(Waiting().size(), 1u);
}

static std::string Pattern(size_t length) {
    std::string bytes(length, 0);
    for (size_t i = 0; i < length; i++)
        bytes[i] = (char)(i * 13 + (i >> 9));
    return bytes;
}

TEST_F(ConsolePoll, WaitingEscapeCancelsBeforeAnyRead) {
    WriteBytes(FileName, Pattern(5000));
    Queue({Key('Q', TRUE), Key('Q', FALSE), Key(VK_ESCAPE, TRUE)});
    // The second job finds the same Escape: the module never takes it.
    for (int run = 0; run < 2; run++) {
        char text[DigestTextSize];
        StartEscapeWatch();
        AbortRequested = 0;
        EXPECT_TRUE(ReadFileDigest(FileName, text, sizeof text));
        EXPECT_STREQ(text, EmptyDigest);
        EXPECT_EQ(AbortRequested, 1);
        ASSERT_EQ(Waiting().size(), 1u);
        EXPECT_TRUE(Same(Waiting()[0], Key(VK_ESCAPE, TRUE)));
    }
    EXPECT_TRUE(Host.calls.empty());
}

TEST_F(ConsolePoll, OtherKeysDoNotCancel) {
    std::string bytes = Pattern(5000);
    WriteBytes(FileName, bytes);
    Queue({Key('Q', TRUE), Key(VK_ESCAPE, FALSE), EscapeLookalike()});
    char text[DigestTextSize];
    AbortRequested = 1;
    EXPECT_TRUE(ReadFileDigest(FileName, text, sizeof text));
    EXPECT_EQ(text, DigestOf(bytes));
    EXPECT_EQ(AbortRequested, 0);
    EXPECT_EQ(Waiting().size(), 3u);
}

struct TypeLater {
    HANDLE input;
    uint64_t typedAt;
};

static DWORD WINAPI TypeEscapeLater(void *argument) {
    TypeLater *typist = static_cast<TypeLater *>(argument);
    Sleep(200);
    INPUT_RECORD escape = Key(VK_ESCAPE, TRUE);
    DWORD written = 0;
    typist->typedAt = MonotonicMicroseconds();
    if (!WriteConsoleInputA(typist->input, &escape, 1, &written) || written != 1)
        typist->typedAt = 0;
    return 0;
}

// A 2 GiB file takes seconds to digest; an Escape typed while it is read
// stops it long before that, and stays queued for the host. (The bound is
// loose: machines are shared.)
TEST_F(ConsolePoll, EscapeTypedWhileAFileIsReadStopsIt) {
    HANDLE file = CreateFileA(FileName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD returned = 0;
    DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    LARGE_INTEGER size;
    size.QuadPart = 2ll << 30;
    ASSERT_TRUE(SetFilePointerEx(file, size, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(file));
    CloseHandle(file);

    TypeLater typist = {input, 0};
    HANDLE thread = CreateThread(nullptr, 0, TypeEscapeLater, &typist, 0, nullptr);
    ASSERT_TRUE(thread);
    char text[DigestTextSize];
    EXPECT_TRUE(ReadFileDigest(FileName, text, sizeof text));
    uint64_t stopped = MonotonicMicroseconds();
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    ASSERT_NE(typist.typedAt, 0u);
    EXPECT_EQ(AbortRequested, 1);
    EXPECT_LT(stopped - typist.typedAt, 1000u * 1000) << "microseconds from Escape to the stop";
    EXPECT_EQ(Waiting().size(), 1u);
    EXPECT_TRUE(Host.calls.empty());
}
