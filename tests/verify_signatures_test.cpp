// Signature verification against a recording host, for what the development
// host cannot show: a panel listing one name twice, the full report's
// refusals and memory running out. The rest is checked end to end
// (tests/e2e/module_test.py).
#include <gtest/gtest.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <direct.h>
#endif

#include <algorithm>

#include "jobs/full_report.h"
#include "jobs/jobs.h"
#include "platform/system_calls.h"
#include "tests/fake_host.h"
#include "tests/test_files.h"

struct VerifySignaturesTest : testing::Test {
    void SetUp() override {
        StartFakeHost();
        EnterScratchDirectory();
        AbortRequested = 0;
        WriteBytes("a.txt", "alpha\n");
        Host.items = {MakeItem("..", true), MakeItem("a.txt"), MakeItem("a.txt")};
    }
    void TearDown() override {
        LeaveScratchDirectory();
    }
};

static const std::string Wrong = DigestOf("something else");

// Two items of one name (a host may list them): the first one wins.
TEST_F(VerifySignaturesTest, FirstItemOfTheNameIsMarked) {
    WriteBytes("sigfile.md5", Wrong + " *a.txt\n");
    VerifySignatures("sigfile.md5");
    EXPECT_EQ(Host.items[1].Flags & ItemSelectedFlag, ItemSelectedFlag);
    EXPECT_EQ(Host.items[2].Flags & ItemSelectedFlag, 0u);
}

// The full report: the closing notice offers it when it cannot name every
// failure, and its second button writes every one, in list order and in
// md5sum -c's words, beside the list, over an earlier report only.
TEST_F(VerifySignaturesTest, FullReportHoldsEveryFailureInListOrder) {
    static const char Mark[] = "; Sumbrel report of sigfile.md5\n";
    const std::string right = DigestOf("alpha\n");
    // Entries: b.txt changed (not on the panel: named), gone.txt missing,
    // a.txt matching, folder a folder.
    const std::string list = Wrong + " *b.txt\n" + right + " *gone.txt\n" + right + " *a.txt\n" +
                             "; a comment between entries\n" + right + " *folder\n";
    const std::string report =
        std::string(Mark) + "b.txt: FAILED\n" + "gone.txt: FAILED open or read (Not found)\n" +
        "folder: FAILED open or read (Not a file)\n" + "Checked: 4\nChanged: 1\nUnread: 2\n";
    const std::string listAtIt = right + " *a.txt\n", markedList = Mark + listAtIt;
    const std::string earlier = "; Sumbrel report of x.md5\r\nold: FAILED\r\n", empty,
                      notes = "my notes\n";
    const struct {
        const char *what;
        const std::string *before; // at the report's name; null: nothing
        std::vector<std::string> keys;
        const std::string *after; // the report's name holds; null: nothing
        const char *notice;       // the first line of the notice after the closing one
    } cases[] = {
        {"asked for", nullptr, {"enter", "enter", "1"}, &report, "Written to:"},
        {"over an earlier report", &earlier, {"enter", "enter", "1"}, &report, "Written to:"},
        {"over an empty file", &empty, {"enter", "enter", "1"}, &report, "Written to:"},
        {"over a data file", &notes, {"enter", "enter", "1"}, &notes, "Refused:"},
        {"over a signature list", &listAtIt, {"enter", "enter", "1"}, &listAtIt, "Refused:"},
        {"over a report holding an entry",
         &markedList,
         {"enter", "enter", "1"},
         &markedList,
         "Refused:"},
        {"OK on the closing notice", nullptr, {"enter", "enter", "enter"}, nullptr, nullptr},
        {"Escape on the closing notice", nullptr, {"enter", "enter", "esc"}, nullptr, nullptr},
    };
    for (const auto &c : cases) {
        SetUp();
#ifdef _WIN32
        ASSERT_EQ(_mkdir("folder"), 0);
#else
        ASSERT_EQ(mkdir("folder", 0755), 0);
#endif
        WriteBytes("b.txt", "beta\n");
        WriteBytes("sigfile.md5", list);
        if (c.before)
            WriteBytes("sigfile.md5.report.txt", *c.before);
        Side.NoticeKeys = c.keys;
        VerifySignatures("sigfile.md5");

        std::vector<std::vector<std::string>> offers = NoticesShown(ReportOfferNoticeFlags);
        ASSERT_EQ(offers.size(), 1u) << c.what;
        EXPECT_EQ(offers[0][1], "Elsewhere:") << c.what;
        EXPECT_EQ(offers[0].back(), "Report") << c.what;
        std::vector<std::vector<std::string>> after = NoticesShown(ClosingNoticeFlags);
        if (c.notice) {
            ASSERT_EQ(after.size(), 1u) << c.what;
            EXPECT_EQ(after[0][1], c.notice) << c.what;
            EXPECT_EQ(after[0][2], "sigfile.md5.report.txt") << c.what;
        } else {
            EXPECT_TRUE(after.empty()) << c.what;
        }
        std::string expected = c.after ? *c.after : "";
        std::string written = ReadBytes("sigfile.md5.report.txt");
        written.erase(std::remove(written.begin(), written.end(), '\r'), written.end());
        expected.erase(std::remove(expected.begin(), expected.end(), '\r'), expected.end());
        EXPECT_EQ(written, expected) << c.what;
        EXPECT_EQ(Host.items[1].Flags & ItemSelectedFlag, 0u) << c.what;
        TearDown();
    }
}

// A run whose closing notice names every failure offers no report.
TEST_F(VerifySignaturesTest, ClosingNoticeThatNamesEveryFailureOffersNoReport) {
    WriteBytes("b.txt", "beta\n");
    WriteBytes("sigfile.md5", Wrong + " *b.txt\n" + Wrong + " *a.txt\n");
    Side.NoticeKeys = {"1"};
    VerifySignatures("sigfile.md5");
    EXPECT_TRUE(NoticesShown(ReportOfferNoticeFlags).empty());
    std::vector<std::vector<std::string>> shown = NoticesShown(ClosingNoticeFlags);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], (std::vector<std::string>{"Progress", "Elsewhere:", "b.txt"}));
    EXPECT_EQ(ReadBytes("sigfile.md5.report.txt"), "");
}

// Memory that runs out while failures are noted: the records kept stay in
// order, and the report counts the ones it lacks.
TEST(FailureLog, MemoryRunningOutIsCountedNotHidden) {
    static int allowed;
    const struct {
        int reallocations; // that succeed
        uint32_t failures, kept, lost;
    } cases[] = {
        {100, 1000, 1000, 0}, {0, 3, 0, 3}, {1, 300, 256, 44}, // the first block holds 256
    };
    SystemCalls saved = System;
    for (const auto &c : cases) {
        allowed = c.reallocations;
        System.reallocate = [](void *block, size_t size) {
            return allowed-- > 0 ? RealSystemCalls.reallocate(block, size) : nullptr;
        };
        FailureLog log = {};
        for (uint32_t i = 0; i < c.failures; i++)
            NoteFailure(&log, 2 * i, FailureChanged);
        EXPECT_EQ(log.count, c.kept);
        EXPECT_EQ(log.lost, c.lost);
        for (uint32_t i = 0; i < log.count; i++)
            ASSERT_EQ(log.records[i].entry, 2 * i);
        FreeFailureLog(&log);
    }
    System = saved;
}
