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
        WriteBytes("sub/c.txt", "gamma\n");
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
// SHA-1 and SHA-256 of a.txt, as sha1sum and sha256sum give them.
static const std::string A1 = "d046cd9b7ffb7661e449683313d41f6fc33e3130";
static const std::string A256 = "b6a98d9ce9a2d9149288fa3df42d377c3e42737afdcdaf714e33c0a100b51060";
static const std::string Wrong1 = "6c007a14875d53d9bf0ef5a6fc0257c817f0fb83";

static const std::vector<std::string> NoEntry = {"No entry in", "sigfile.md5"};

// The body lines of the closing notice, empty when there is none.
static std::vector<std::string> ClosingLines() {
    for (const HostCall &call : Host.calls)
        if (call.op == "ShowMessageBox" && call.number == 0x10001) {
            EXPECT_EQ(call.buttons, 0);
            EXPECT_EQ(call.texts.at(0), "Title");
            return std::vector<std::string>(call.texts.begin() + 1, call.texts.end());
        }
    return {};
}

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
        std::vector<std::string> closing = {};
    } cases[] = {
        {"all match", A + " *a.txt\n" + B + " *b.txt\n", {}, {}},
        {"one changed", A + " *a.txt\r\n" + Wrong + " *b.txt\r\n", {"b.txt"}, {}},
        {"parenthesised form",
         "MD5 (a.txt) = " + Wrong + "\nMD5 (b.txt) = " + B + "\n",
         {"a.txt"},
         {}},
        {"only comments and blank lines", "; x\n# " + Wrong + " *a.txt\n\n\r\n", {}, {}, NoEntry},
        {"empty file", "", {}, {}, NoEntry},
        {"unrecognised lines",
         " ;" + Wrong + "  a.txt\nMD5 (a.txt)= " + Wrong + "\n",
         {},
         {},
         NoEntry},
        {"capital digits a-f match", "9F9F90DBE3E5EE1218C86B8839DB1995 *a.txt\n", {}, {}},
        {"a short digest is no entry", A.substr(0, 31) + " *a.txt\n", {}, {}, NoEntry},
        {"digits past the digest make no entry", A + "00ff *a.txt\n", {}, {}, NoEntry},
        {"prose with an asterisk is no entry", "See *notes\n" + A + " *a.txt\n", {}, {}},
        {"SHA-1 and SHA-256 by their length", A1 + " *a.txt\n" + A256 + "  a.txt\n", {}, {}},
        {"a changed file in a SHA-1 list",
         Wrong1 + "  a.txt\nSHA256 (b.txt) = " + A256 + "\n",
         {"a.txt", "b.txt"},
         {}},
        {"a mixed list", "SHA1 (a.txt) = " + A1 + "\n" + Wrong + " *b.txt\n", {"b.txt"}, {}},
        {"an MD5 digest under a SHA1 tag is no entry",
         "SHA1 (a.txt) = " + Wrong + "\n",
         {},
         {},
         NoEntry},
        {"blanks before the digest are skipped", " \t" + A + " *a.txt\n", {}, {}},
        {"a directory cannot be digested", Wrong + " *sub\n", {}, {"sub"}, {"Unread: 1"}},
        {"missing, changed here and elsewhere",
         Wrong + " *gone.txt\n" + Wrong + " *b.txt\n" + Wrong + " *sub/c.txt\n",
         {"b.txt"},
         {"gone.txt"},
         {"Elsewhere:", "sub/c.txt", "Unread: 1"}},
        {"listed twice, selected once", Wrong + " *a.txt\n" + Wrong + " *a.txt\n", {"a.txt"}, {}},
    };
    for (const auto &c : cases) {
        Host.calls.clear();
        WriteBytes("sigfile.md5", c.signatures);
        VerifySignatures("sigfile.md5");
        SCOPED_TRACE(c.what);
        EXPECT_EQ(SelectedNames(), c.selected);
        EXPECT_EQ(ErrorNames(), c.errors);
        EXPECT_EQ(ClosingLines(), c.closing);
        EXPECT_EQ(CompletionShown(), c.selected.empty() && c.errors.empty() && c.closing.empty());
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

// Where file names ignore case the panel's own file is found and marked;
// elsewhere "A.TXT" is another file, here a missing one.
TEST_F(VerifySignaturesTest, NameInOtherLetterCaseMarksThePanelsFileOnlyIfItIsThatFile) {
    bool caseBlind = std::filesystem::exists("A.TXT");
    WriteBytes("sigfile.md5", Wrong + " *A.TXT\n");
    VerifySignatures("sigfile.md5");
    EXPECT_EQ(SelectedNames().size() + ErrorNames().size(), 1u);
    EXPECT_EQ(SelectedNames().size(), caseBlind ? 1u : 0u);
    EXPECT_FALSE(CompletionShown());
}

// Two items of one name (a host may list them): the first one wins.
TEST_F(VerifySignaturesTest, FirstItemOfTheNameIsMarked) {
    Host.items.push_back(MakeItem("a.txt"));
    WriteBytes("sigfile.md5", Wrong + " *a.txt\n");
    VerifySignatures("sigfile.md5");
    EXPECT_EQ(Host.items[2].Flags & ItemSelectedFlag, ItemSelectedFlag);
    EXPECT_EQ(Host.items[4].Flags & ItemSelectedFlag, 0u);
}
