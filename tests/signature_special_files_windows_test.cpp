// Signature files that are no disk file: verifying from NUL or the console
// ends with one file error notice naming it, and reads nothing. The console
// gets Ctrl+Z and Enter queued first, so that a module that did read it
// would meet the end of its input instead of waiting for a user.
#include <gtest/gtest.h>
#include <windows.h>

#include <string.h>

#include <string>
#include <vector>

#include "jobs/jobs.h"
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
        // A bare name is exactly the file of that name, and there is none.
        EXPECT_EQ(Host.calls[0].texts,
                  std::vector<std::string>({"Error", name, "Not found", "Ok"}));
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

// Two files the code page lists by one name ("?.txt" for two letters it
// lacks): the host's short names tell them apart, and each is digested and
// written under its real name; without short names nothing does, and each
// item gets a file error notice rather than a guessed digest.
TEST(SignatureSpecialFiles, ItemsOfOneListedNameAreNeverGuessed) {
    EnterScratchDirectory();
    const wchar_t *names[] = {L"\x043f.txt", L"\x0440.txt"};
    const char *contents[] = {"pe", "er"};
    std::string shortNames[2];
    for (int i = 0; i < 2; i++) {
        FILE *stream = _wfopen(names[i], L"wb");
        ASSERT_NE(stream, nullptr);
        fputs(contents[i], stream);
        fclose(stream);
        WIN32_FIND_DATAW wideFound;
        HANDLE search = FindFirstFileW(names[i], &wideFound);
        ASSERT_NE(search, INVALID_HANDLE_VALUE);
        FindClose(search);
        char shortName[14] = "";
        WideCharToMultiByte(CP_ACP, 0, wideFound.cAlternateFileName, -1, shortName,
                            sizeof shortName, nullptr, nullptr);
        ASSERT_NE(shortName[0], 0);
        shortNames[i] = shortName;
    }
    for (bool withShortNames : {true, false}) {
        SCOPED_TRACE(withShortNames);
        StartFakeHost();
        AbortRequested = 0;
        Host.items = {MakeItem("..", true), MakeItem("?.txt"), MakeItem("?.txt")};
        for (int i = 0; i < 2 && withShortNames; i++)
            strcpy(Host.items[i + 1].ShortName, shortNames[i].c_str());
        Host.cursor = 0;
        DeleteFileA("sigfile.md5");
        CreateSignatures("sigfile.md5");
        // Written in UTF-8 behind a mark, as a name beyond the code page is;
        // without short names nothing is listed and no list is made.
        if (withShortNames) {
            std::string bytes = ReadBytes("sigfile.md5");
            EXPECT_EQ(bytes.substr(0, 3), "\xef\xbb\xbf");
            EXPECT_EQ(bytes.substr(bytes.find("\r\n") + 2), DigestOf("pe") + " *\xd0\xbf.txt\r\n" +
                                                                DigestOf("er") +
                                                                " *\xd1\x80.txt\r\n");
        } else {
            EXPECT_EQ(GetFileAttributesA("sigfile.md5"), INVALID_FILE_ATTRIBUTES);
        }
        int errors = 0;
        for (const HostCall &call : Host.calls)
            if (call.op == "ShowMessageBox" && call.number == 3) {
                errors++;
                EXPECT_EQ(call.texts[1], "?.txt");
            }
        EXPECT_EQ(errors, withShortNames ? 0 : 2);
    }
    LeaveScratchDirectory();
}
