// Names that open but are no disk file are refused at once, and so is a
// file another handle holds without sharing.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "jobs/file_digest.h"
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
