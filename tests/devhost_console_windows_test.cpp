// The development host's console on Windows (under Wine): keys typed ahead
// as key-down events in the console input, and the module's input mode.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "devhost/keys.h"
#include "devhost/loader_and_console.h"

TEST(DevhostConsole, TypedKeysWaitInTheConsoleInputAsKeyDowns) {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD count;
    ASSERT_TRUE(GetNumberOfConsoleInputEvents(input, &count))
        << "no console input; run under tests/wine-run";
    FlushConsoleInputBuffer(input);
    std::vector<KeyPress> keys;
    std::string bad, error;
    ASSERT_TRUE(ParseKeyList("a,esc,up,enter,Q", keys, bad));
    ASSERT_TRUE(StartKeyInput(keys, error)) << error;

    const struct {
        WORD virtualKey;
        char character;
        DWORD controls;
    } expected[] = {{'A', 'a', 0},
                    {VK_ESCAPE, 27, 0},
                    {VK_UP, 0, ENHANCED_KEY},
                    {VK_RETURN, '\r', 0},
                    {'Q', 'Q', SHIFT_PRESSED}};
    INPUT_RECORD records[64];
    DWORD read = 0;
    ASSERT_TRUE(GetNumberOfConsoleInputEvents(input, &count));
    ASSERT_GE(count, 5u);
    ASSERT_TRUE(ReadConsoleInputA(input, records, count < 64 ? count : 64, &read));
    // The terminal under the console may add input of its own; only the
    // written keys are looked at, in order.
    size_t next = 0;
    for (DWORD i = 0; i < read && next < 5; i++) {
        const KEY_EVENT_RECORD &key = records[i].Event.KeyEvent;
        if (records[i].EventType != KEY_EVENT || key.wVirtualKeyCode != expected[next].virtualKey)
            continue;
        EXPECT_TRUE(key.bKeyDown) << next;
        EXPECT_EQ(key.uChar.AsciiChar, expected[next].character) << next;
        EXPECT_EQ(key.dwControlKeyState, expected[next].controls) << next;
        EXPECT_EQ(key.wRepeatCount, 1) << next;
        next++;
    }
    EXPECT_EQ(next, 5u) << "every key arrived, in order";
    StopKeyInput();
}

TEST(DevhostConsole, LineModeIsOffWhileTheModuleRunsThenRestored) {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD before, during, after;
    ASSERT_TRUE(GetConsoleMode(input, &before)) << "no console input; run under tests/wine-run";
    EnterModuleInputMode();
    ASSERT_TRUE(GetConsoleMode(input, &during));
    EXPECT_EQ(during & (ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT), 0u);
    LeaveModuleInputMode();
    ASSERT_TRUE(GetConsoleMode(input, &after));
    EXPECT_EQ(after, before);
}
