// Signature verification against a recording host: what gets selected,
// which notices appear, and the order of the host calls.
#include <gtest/gtest.h>

#include <filesystem>

#include "digest/file_digest.h"
#include "signature/signature.h"
#include "tests/fake_host.h"
#include "tests/test_files.h"

struct VerifySignaturesTest : testing::Test {
    void SetUp() override {
        StartFakeHost();
        EnterScratchDirectory();
        AbortRequested = 0;
        std::filesystem::create_directory("sub");
        WriteBytes("a.txt", "alpha\n");
        WriteBytes("b.txt", "beta\n");
        Host.items = {MakeItem("..", true), MakeItem("sub", true), MakeItem("a.txt"),
                      MakeItem("b.txt")};
    }
    void TearDown() override {
        LeaveScratchDirectory();
    }
};

static const std::string A = DigestOf("alpha\n");
static const std::string B = DigestOf("beta\n");
static const std::string Wrong = DigestOf("something else");

static bool CompletionShown() {
    for (const HostCall &call : Host.calls)
        if (call.op == "ShowMessageBox" && call.number == 0x10000)
            return call.texts == std::vector<std::string>{"Title", "All match"} &&
                   call.buttons == 0;
    return false;
}

static std::vector<std::string> ErrorNames() {
    std::vector<std::string> names;
    for (const HostCall &call : Host.calls)
        if (call.op == "ShowMessageBox" && call.number == 3)
            names.push_back(call.texts.at(1));
    return names;
}

TEST_F(VerifySignaturesTest, MarksExactlyTheEntriesThatNoLongerMatch) {
    const struct {
        const char *what;
        std::string signatures;
        std::vector<std::string> selected;
        std::vector<std::string> errors;
    } cases[] = {
        {"all match", A + " *a.txt\n" + B + " *b.txt\n", {}, {}},
        {"one changed", A + " *a.txt\r\n" + Wrong + " *b.txt\r\n", {"b.txt"}, {}},
        {"parenthesised form",
         "MD5 (a.txt) = " + Wrong + "\nMD5 (b.txt) = " + B + "\n",
         {"a.txt"},
         {}},
        {"only comments and blank lines", "; x\n# " + Wrong + " *a.txt\n\n\r\n", {}, {}},
        {"empty file", "", {}, {}},
        {"unrecognised lines", " ;" + Wrong + "  a.txt\nMD5 (a.txt)= " + Wrong + "\n", {}, {}},
        {"upper-case digits never match",
         "D41D8CD98F00B204E9800998ECF8427E *a.txt\n",
         {"a.txt"},
         {}},
        {"short digest never matches", A.substr(0, 31) + " *a.txt\n", {"a.txt"}, {}},
        {"leading blank spoils the digest", " " + A + " *a.txt\n", {"a.txt"}, {}},
        {"a directory cannot be digested", Wrong + " *sub\n", {}, {"sub"}},
        {"a missing file is reported",
         Wrong + " *gone.txt\n" + Wrong + " *b.txt\n",
         {"b.txt"},
         {"gone.txt"}},
        {"a listed file on another path cannot be marked", Wrong + " *sub/../a.txt\n", {}, {}},
        {"listed twice, selected once", Wrong + " *a.txt\n" + Wrong + " *a.txt\n", {"a.txt"}, {}},
    };
    for (const auto &c : cases) {
        Host.calls.clear();
        WriteBytes("sigfile.md5", c.signatures);
        VerifySignatures("sigfile.md5");
        SCOPED_TRACE(c.what);
        EXPECT_EQ(SelectedNames(), c.selected);
        EXPECT_EQ(ErrorNames(), c.errors);
        EXPECT_EQ(CompletionShown(), c.selected.empty());
        EXPECT_EQ(CountCalls("SaveScreenImage"), CountCalls("RestoreScreenImage"));
    }
}

TEST_F(VerifySignaturesTest, StartsFromNoSelectionAndHandsTheArrayBack) {
    Host.items[3].Flags = ItemSelectedFlag;
    WriteBytes("sigfile.md5", A + " *a.txt\n");
    VerifySignatures("sigfile.md5");
    std::vector<std::string> ops;
    for (const HostCall &call : Host.calls)
        ops.push_back(call.op + " " + std::to_string(call.number));
    EXPECT_EQ(ops, (std::vector<std::string>{"PanelCommand 3", "PanelCommand 1",
                                             "SaveScreenImage 0", "ShowMessageBox 0",
                                             "RestoreScreenImage 1", "PanelCommand 10",
                                             "PanelCommand 5", "ShowMessageBox 65536"}));
    EXPECT_EQ(Host.calls[0].argument, nullptr);
    EXPECT_EQ(Host.calls[3].texts, (std::vector<std::string>{"Progress", "Verifying", "a.txt"}));
    EXPECT_TRUE(SelectedNames().empty());
}

TEST_F(VerifySignaturesTest, MissingSignatureFileLeavesThePanelAlone) {
    Host.items[2].Flags = ItemSelectedFlag;
    VerifySignatures("missing.md5");
    ASSERT_EQ(Host.calls.size(), 1u);
    EXPECT_EQ(ErrorNames(), (std::vector<std::string>{"missing.md5"}));
    EXPECT_EQ(SelectedNames(), (std::vector<std::string>{"a.txt"}));
}

// Where file names ignore case the file is found and differs; either way
// only an item of exactly that name could be marked.
TEST_F(VerifySignaturesTest, NameInOtherLetterCaseIsNeverMarked) {
    WriteBytes("sigfile.md5", Wrong + " *A.TXT\n");
    VerifySignatures("sigfile.md5");
    EXPECT_TRUE(SelectedNames().empty());
    EXPECT_TRUE(CompletionShown());
}
