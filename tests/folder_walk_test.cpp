// The walk through a folder and all below it, over trees made in the test's
// scratch folder: the order, names beyond ASCII and beyond the code page,
// deep paths, links, unreadable folders, the signature file, and Escape.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "jobs/file_digest.h"
#include "jobs/folder_walk.h"
#include "tests/test_files.h"

#ifdef _WIN32
#include <windows.h>

// Made through the "\\?\" form, which takes any depth and any letter.
static std::wstring ExactPath(const std::string &utf8) {
    wchar_t name[2048], folder[2048];
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, name, 2048);
    GetCurrentDirectoryW(2048, folder);
    std::wstring path = std::wstring(L"\\\\?\\") + folder + L"\\" + name;
    for (wchar_t &c : path)
        c = c == L'/' ? L'\\' : c;
    return path;
}
static void MakeFolder(const std::string &path) {
    ASSERT_TRUE(CreateDirectoryW(ExactPath(path).c_str(), nullptr)) << path;
}
static void MakeFile(const std::string &path) {
    HANDLE file = CreateFileW(ExactPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    CloseHandle(file);
}
// A name the code page holds comes in it, any other in UTF-8.
static std::string Listed(const std::string &utf8) {
    wchar_t wide[2048];
    char narrow[4096];
    BOOL lacking = FALSE;
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, wide, 2048);
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, narrow, 4096, nullptr, &lacking);
    return lacking ? utf8 + " [utf-8]" : narrow;
}
#else
#include <sys/stat.h>
#include <unistd.h>

static void MakeFolder(const std::string &path) {
    ASSERT_EQ(mkdir(path.c_str(), 0755), 0) << path;
    chmod(path.c_str(), 0755);
}
static void MakeFile(const std::string &path) {
    WriteBytes(path, path);
    chmod(path.c_str(), 0644);
}
static std::string Listed(const std::string &utf8) {
    return utf8;
}
#endif

// The walk's steps, one a line; every file listed is digested by its name.
static std::string Walk(const char *start, const FileIdentity *skipped = nullptr,
                        int (*poll)() = nullptr) {
    FolderWalk walk;
    EXPECT_TRUE(StartFolderWalk(&walk, start, NameInCodePage, poll, skipped, skipped ? 1 : 0));
    std::string steps;
    for (WalkStep step = NextWalkStep(&walk); step.kind != WalkEnd; step = NextWalkStep(&walk)) {
        steps += std::string(step.name) + (step.encoding == NameInUtf8 ? " [utf-8]" : "");
        char text[LongestDigestTextSize];
        FileProblem problem = ProblemUntold;
        if (step.kind == WalkFolderUnread)
            steps += " [unread " + std::to_string(step.problem) + "]";
        else if (!FileDigest(step.name, step.encoding, AlgorithmMd5, DigestTextLength(AlgorithmMd5),
                             text, sizeof text, &problem, nullptr))
            steps += " [not opened]";
        steps += "\n";
    }
    EndFolderWalk(&walk);
    return steps;
}

TEST(FolderWalk, ListsTheTreeInNameOrderPassingOverLinksToFoldersAndTheSignatureFile) {
    std::string scratch = EnterScratchDirectory();
    for (const char *folder : {"tree", "tree/a", "tree/a/deep", "tree/empty"})
        MakeFolder(folder);
    for (const char *file : {"tree/a.txt", "tree/a-b.txt", "tree/B.txt", "tree/a/deep/x.txt",
                             "tree/sig.md5", "tree/\xc3\xa9.txt"})
        MakeFile(file);
        // A second name of the signature file, in a folder below, is the same
        // file: the listing tells it by its identity.
#ifdef _WIN32
    ASSERT_TRUE(CreateHardLinkA("tree\\a\\same-sig", "tree\\sig.md5", nullptr));
#else
    ASSERT_EQ(link("tree/sig.md5", "tree/a/same-sig"), 0);
#endif
    // A folder "a" comes before "a-b.txt", the whole path notwithstanding.
    std::string expected = "tree/B.txt\ntree/a/deep/x.txt\ntree/a-b.txt\ntree/a.txt\n";
#ifdef _WIN32
    // A path past 260 characters to a name that keeps its trailing dot only
    // when opened exactly; a folder beyond the code page, which puts every
    // name below it in UTF-8, the code page's "\xe9" too.
    std::string deep = "tree";
    for (char letter : {'d', 'e', 'f'})
        MakeFolder(deep += "/" + std::string(100, letter));
    MakeFolder("tree/\xd0\xbf");
    MakeFile(deep + "/f.");
    MakeFile("tree/\xd0\xbf/\xc3\xa9.txt");
    expected += Listed(deep + "/f.") + "\n" + Listed("tree/\xd0\xbf/\xc3\xa9.txt") + "\n";
#else
    chmod(scratch.c_str(), 0755);
    const char *links[][2] = {{"a.txt", "tree/to-a.txt"},   {"..", "tree/a/up"},
                              {"a/deep", "tree/to-deep"},   {"sig.md5", "tree/to-sig"},
                              {"nowhere", "tree/dangling"}, {"tree", "tree-link"}};
    for (const auto &link : links)
        ASSERT_EQ(symlink(link[0], link[1]), 0) << link[1];
    ASSERT_EQ(mkfifo("tree/fifo", 0644), 0);
    MakeFolder("tree/locked");
    MakeFile("tree/locked/inside.txt");
    chmod("tree/locked", 0);
    // Root reads any folder: the walk runs as nobody, who is refused.
    bool refused = geteuid() != 0 || seteuid(65534) == 0;
    expected += refused ? "tree/locked [unread 2]\n" : "tree/locked/inside.txt\n";
    expected += "tree/to-a.txt\n";
#endif
    expected += Listed("tree/\xc3\xa9.txt") + "\n";
    FileIdentity signature;
    ASSERT_TRUE(FileIdentityOf("tree/sig.md5", NameInCodePage, &signature));
    EXPECT_EQ(Walk("tree", &signature), expected);
    EXPECT_NE(Walk("tree").find("tree/sig.md5\n"), std::string::npos);
#ifndef _WIN32
    EXPECT_EQ(seteuid(getuid()), 0);
    chmod("tree/locked", 0755);
    // A start that is a link or a file is no folder to walk.
    EXPECT_EQ(Walk("tree-link") + Walk("tree/a.txt"), "");
#endif
    EXPECT_EQ(Walk("missing"), "missing [unread 1]\n");
    LeaveScratchDirectory();
}

static int PollsMade, StopAtPoll;
static int CountingPoll() {
    return ++PollsMade >= StopAtPoll;
}

// Escape while a large folder is listed and sorted stops the walk before
// any of its files, and no poll follows the one that said stop.
TEST(FolderWalk, PollStopsTheWalkWhereverItComesBeforeTheFirstFile) {
    EnterScratchDirectory();
    const int Files = 1000;
    MakeFolder("big");
    for (int i = 0; i < Files; i++)
        MakeFile("big/" + std::to_string(i * 7919 % Files));
    PollsMade = 0;
    StopAtPoll = 1 << 30;
    FolderWalk walk;
    ASSERT_TRUE(StartFolderWalk(&walk, "big", NameInCodePage, CountingPoll, nullptr, 0));
    EXPECT_STREQ(NextWalkStep(&walk).name, "big/0");
    EndFolderWalk(&walk);
    int pollsBeforeFirstFile = PollsMade;
    // The listing asks all along, not once a folder.
    EXPECT_GE(pollsBeforeFirstFile, Files / 100);
    for (StopAtPoll = 1; StopAtPoll <= pollsBeforeFirstFile; StopAtPoll++) {
        PollsMade = 0;
        EXPECT_EQ(Walk("big", nullptr, CountingPoll), "");
        EXPECT_EQ(PollsMade, StopAtPoll);
    }
    LeaveScratchDirectory();
}

// Creation's new list, written while the walk goes on, is passed over too.
TEST(FolderWalk, TheNewListIsNotListedInItself) {
    EnterScratchDirectory();
    MakeFolder("tree");
    MakeFile("tree/a.txt");
    SignatureOutput output;
    FileIdentity newList;
    ASSERT_TRUE(StartSignatureOutput(&output, "tree/sig.md5"));
    EXPECT_TRUE(NewFileIdentity(&output, &newList));
    EXPECT_EQ(Walk("tree", &newList), "tree/a.txt\n");
    FinishSignatureOutput(&output, false);
    LeaveScratchDirectory();
}
