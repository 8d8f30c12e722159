// Signature files that are no disk file: verifying from NUL or the console
// ends with one file error notice naming it, and reads nothing. The console
// gets Ctrl+Z and Enter queued first, so that a module that did read it
// would meet the end of its input instead of waiting for a user.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "digest/file_digest.h"
#include "signature/signature.h"
#include "tests/fake_host.h"
#include "tests/test_files.h"

static INPUT_RECORD Key(WORD virtualKey, char character) {
    INPUT_RECORD record = {};
    record.EventType = KEY_EVENT;
    record.Event.KeyEvent.bKeyDown = TRUE;
    record.Event.KeyEvent.wRepeatCount = 1;
    record.Event.KeyEvent.wVirtualKeyCode = virtualKey;
    record.Event.KeyEvent.uChar.AsciiChar = character;
    return record;
}

TEST(SignatureSpecialFiles, DevicesAreRefusedAsSignatureFiles) {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    for (const char *name : {"NUL", "nul", "CON", "CONIN$"}) {
        FlushConsoleInputBuffer(input);
        INPUT_RECORD endOfInput[] = {Key('Z', 0x1a), Key(VK_RETURN, '\r')};
        DWORD written = 0;
        WriteConsoleInputA(input, endOfInput, 2, &written);
        StartFakeHost();
        AbortRequested = 0;
        VerifySignatures(name);
        // The file error notice alone: no panel command, no completion.
        ASSERT_EQ(Host.calls.size(), 1u) << name;
        EXPECT_EQ(Host.calls[0].op, "ShowMessageBox") << name;
        EXPECT_EQ(Host.calls[0].number, 3) << name;
        EXPECT_EQ(Host.calls[0].texts, std::vector<std::string>({"Error", name, "Ok"}));
    }
    FlushConsoleInputBuffer(input);
}

// "a.txt." is a file of its own when listed bare: its change selects the
// panel's "a.txt" only if that is the very file, which here it is not.
TEST(SignatureSpecialFiles, TrailingDotNameIsNotTheFileWithout) {
    std::string directory = EnterScratchDirectory();
    WriteBytes("a.txt", "alpha\n");
    std::string dotted = "\\\\?\\" + directory + "\\a.txt.";
    HANDLE file = CreateFileA(dotted.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    WriteBytes("sigfile.md5", DigestOf("alpha\n") + " *a.txt.\n");
    StartFakeHost();
    Host.items = {MakeItem("a.txt")};
    AbortRequested = 0;
    VerifySignatures("sigfile.md5");
    EXPECT_TRUE(SelectedNames().empty());
    DeleteFileA(dotted.c_str());
    LeaveScratchDirectory();
}
