// Names that open but are no disk file are refused at once, and so is a
// file another handle holds without sharing.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "digest/md5.h"
#include "host/host.h"
#include "jobs/escape.h"
#include "tests/fake_host.h"
#include "tests/test_files.h"

static const char FileName[] = "digest-test.bin";
static const char PipeName[] = "\\\\.\\pipe\\sumbrel-digest-test";

static void ExpectRefused(const char *name, FileProblem why) {
    StartFakeHost();
    char text[DigestTextSize] = "untouched";
    AbortRequested = 5;
    FileProblem problem = ProblemUntold;
    EXPECT_FALSE(ReadFileDigest(name, text, sizeof text, &problem)) << name;
    EXPECT_EQ(problem, why) << name;
    EXPECT_STREQ(text, "untouched") << name;
    EXPECT_EQ(AbortRequested, 5) << name;
    EXPECT_TRUE(Host.calls.empty()) << name;
}

TEST(SpecialFiles, DevicesPipesAndDirectoriesAreRefusedWithoutBlocking) {
    HANDLE pipe =
        CreateNamedPipeA(PipeName, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 4096, 4096, 0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    // CON waits for console input and a pipe for its server; NUL has no end
    // worth digesting. A bare name is a panel item's, opened exactly as
    // spelled: no device answers to it, and no file does.
    for (const char *name : {"CON", "NUL", "nul", "CONIN$"})
        ExpectRefused(name, ProblemNotFound);
    for (const char *name : {PipeName, ".", "C:\\"})
        ExpectRefused(name, ProblemNotAFile);
    CloseHandle(pipe);
}

TEST(SpecialFiles, FileHeldWithoutSharingIsRefused) {
    HANDLE other = CreateFileA(FileName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    ExpectRefused(FileName, ProblemCannotRead);
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
    EXPECT_TRUE(ReadFileDigest(FileName, text, sizeof text));
    EXPECT_STREQ(text, "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_TRUE(Host.calls.empty());
    CloseHandle(other);
    DeleteFileA(FileName);
}
