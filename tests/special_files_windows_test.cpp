// Names that open but are no disk file are refused at once, and so is a
// file another handle holds without sharing.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "digest/file_digest.h"
#include "digest/md5.h"
#include "tests/fake_host.h"

static const char FileName[] = "digest-test.bin";
static const char PipeName[] = "\\\\.\\pipe\\sumbrel-digest-test";

static void ExpectRefused(const char *name) {
    StartFakeHost();
    char text[DigestTextSize] = "untouched";
    AbortRequested = 5;
    EXPECT_EQ(FileDigest(name, text, sizeof text), -1) << name;
    EXPECT_STREQ(text, "untouched") << name;
    EXPECT_EQ(AbortRequested, 5) << name;
    ASSERT_EQ(CountCalls("ShowMessageBox"), 1) << name;
    EXPECT_EQ(Host.calls[0].texts[1], name);
}

TEST(SpecialFiles, DevicesPipesAndDirectoriesAreRefusedWithoutBlocking) {
    HANDLE pipe =
        CreateNamedPipeA(PipeName, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 4096, 4096, 0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    // CON waits for console input and a pipe for its server; NUL has no end
    // worth digesting.
    for (const char *name : {"CON", "NUL", "nul", "CONIN$", PipeName, ".", "C:\\"})
        ExpectRefused(name);
    CloseHandle(pipe);
}

TEST(SpecialFiles, FileHeldWithoutSharingIsRefused) {
    HANDLE other = CreateFileA(FileName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    ExpectRefused(FileName);
    CloseHandle(other);
    DeleteFileA(FileName);
}

TEST(SpecialFiles, FileHeldForWritingWithSharingIsRead) {
    HANDLE other = CreateFileA(FileName, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(other, "abc", 3, &written, nullptr));
    StartFakeHost();
    char text[DigestTextSize];
    EXPECT_EQ(FileDigest(FileName, text, sizeof text), 0);
    EXPECT_STREQ(text, "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(CountCalls("ShowMessageBox"), 0);
    CloseHandle(other);
    DeleteFileA(FileName);
}

// A bare name is opened exactly, trailing dot and all, in a directory as
// deep as the current directory may be without long paths. (Wine takes a
// longer current directory but fails at exit when a process had one.)
TEST(SpecialFiles, BareNameIsExactInADeepDirectory) {
    wchar_t start[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, start), 0u);
    std::wstring deep = std::wstring(L"\\\\?\\") + start;
    std::vector<std::wstring> made;
    while (deep.size() + 40 < MAX_PATH) {
        deep += L"\\" + std::wstring(30, L'd');
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr) ||
                    GetLastError() == ERROR_ALREADY_EXISTS);
        made.push_back(deep);
    }
    ASSERT_TRUE(SetCurrentDirectoryW(deep.c_str()));
    for (const wchar_t *name : {L"trail.", L"trail"}) {
        HANDLE file = CreateFileW((deep + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(file, "abc", name[5] ? 3 : 0, &written, nullptr);
        CloseHandle(file);
    }
    StartFakeHost();
    char text[DigestTextSize];
    EXPECT_EQ(FileDigest("trail.", text, sizeof text), 0);
    EXPECT_STREQ(text, "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(FileDigest("trail", text, sizeof text), 0);
    EXPECT_STREQ(text, "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(CountCalls("ShowMessageBox"), 0);
    SetCurrentDirectoryW(start);
    DeleteFileW((deep + L"\\trail.").c_str());
    DeleteFileW((deep + L"\\trail").c_str());
    for (auto it = made.rbegin(); it != made.rend(); ++it)
        RemoveDirectoryW(it->c_str());
}
