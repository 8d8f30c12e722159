// OpenPlugin: the command-line path, the main dialog's records and what each
// dialog result starts.
#include <gtest/gtest.h>
#include <string.h>

#include "digest/file_digest.h"
#include "tests/fake_host.h"
#include "tests/test_files.h"

struct MainDialogTest : testing::Test {
    void SetUp() override {
        StartFakeHost();
        EnterScratchDirectory();
        WriteBytes("a.txt", "alpha\n");
        Host.items = {MakeItem("..", true), MakeItem("a.txt")};
    }
    void TearDown() override {
        LeaveScratchDirectory();
    }
};

static const DialogItemRecord *DialogShown() {
    for (const HostCall &call : Host.calls)
        if (call.op == "RunDialog")
            return static_cast<const DialogItemRecord *>(call.argument);
    return nullptr;
}

TEST_F(MainDialogTest, DialogOffersTheDefaultNameAndVerifyAsDefaultButton) {
    EXPECT_EQ(OpenPlugin(1, 0), SUMBREL_NO_PANEL);
    ASSERT_EQ(CountCalls("RunDialog"), 1) << "wrong arguments to RunDialog";
    const DialogItemRecord *items = DialogShown();
    const struct {
        int32_t type, x1, y1, x2, y2, flags, defaultButton;
        const char *data;
    } expected[] = {
        {3, 3, 1, 62, 6, 0, 0, "Title"},
        {0, 5, 2, 0, 0, 0x400, 0, "Label"},
        {4, 5, 3, 60, 0, 0x240000, 0, "sigfile.md5"},
        {0, 5, 4, 0, 0, 0x10200, 0, ""},
        {7, 0, 5, 0, 0, 0x4000, 1, "Verify"},
        {7, 0, 5, 0, 0, 0x4000, 0, "Create"},
        {7, 0, 5, 0, 0, 0x4000, 0, "Close"},
    };
    for (int i = 0; i < 7; i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(items[i].Type, expected[i].type);
        EXPECT_EQ(items[i].X1, expected[i].x1);
        EXPECT_EQ(items[i].Y1, expected[i].y1);
        EXPECT_EQ(items[i].X2, expected[i].x2);
        EXPECT_EQ(items[i].Y2, expected[i].y2);
        EXPECT_EQ(items[i].Focus, 0);
        EXPECT_EQ(items[i].Flags, (uint32_t)expected[i].flags);
        EXPECT_EQ(items[i].DefaultButton, expected[i].defaultButton);
        EXPECT_STREQ(items[i].Data, expected[i].data);
    }
    EXPECT_STREQ(items[2].History, "Sumbrel");
}

TEST_F(MainDialogTest, DialogResultChoosesTheJob) {
    const struct {
        int32_t result;
        bool verified, created;
    } cases[] = {{4, true, false},   {5, false, true},  {6, false, false},
                 {-1, false, false}, {3, false, false}, {100, false, false}};
    for (const auto &c : cases) {
        Host.calls.clear();
        Host.dialogResult = c.result;
        remove("sigfile.md5");
        WriteBytes("check.md5", "");
        Host.setDialogName = true;
        Host.dialogName = c.verified ? "check.md5" : "sigfile.md5";
        EXPECT_EQ(OpenPlugin(0, 0), SUMBREL_NO_PANEL);
        SCOPED_TRACE(c.result);
        // Verification begins with a refresh that drops the selection;
        // creation writes the named file.
        bool refreshedFirst = Host.calls.size() > 1 && Host.calls[1].op == "PanelCommand" &&
                              Host.calls[1].number == PanelRefresh;
        EXPECT_EQ(refreshedFirst, c.verified);
        EXPECT_EQ(!ReadBytes("sigfile.md5").empty(), c.created);
    }
}

TEST_F(MainDialogTest, CommandLineVerifiesAtOnceWithoutTheDialog) {
    WriteBytes("sigfile.md5", DigestOf("changed") + " *a.txt\n");
    EXPECT_EQ(OpenPlugin(OpenFromCommandLine, reinterpret_cast<intptr_t>("sigfile.md5")),
              SUMBREL_NO_PANEL);
    EXPECT_EQ(CountCalls("RunDialog"), 0);
    EXPECT_EQ(SelectedNames(), (std::vector<std::string>{"a.txt"}));
}

// The module stays loaded between jobs: an Escape that stopped one job must
// not stop the next before its first file.
TEST_F(MainDialogTest, JobAfterAnEscapedOneRunsWhole) {
    AbortRequested = 1; // as a job stopped by Escape leaves it
    Host.dialogResult = MainDialogCreateButton;
    EXPECT_EQ(OpenPlugin(0, 0), SUMBREL_NO_PANEL);
    std::string written = ReadBytes("sigfile.md5");
    EXPECT_NE(written.find(DigestOf("alpha\n") + " *a.txt\r\n"), std::string::npos) << written;
}

TEST_F(MainDialogTest, DisabledModuleDoesNothing) {
    StartupRecord record = FakeStartupRecord(StartupRecordMinimumSize - 1);
    SetStartupInfo(&record);
    AbortRequested = 1;
    for (int32_t openFrom : {OpenFromCommandLine, 1}) {
        EXPECT_EQ(OpenPlugin(openFrom, reinterpret_cast<intptr_t>("sigfile.md5")),
                  SUMBREL_NO_PANEL);
        EXPECT_TRUE(Host.calls.empty());
        EXPECT_EQ(AbortRequested, 1);
    }
}

TEST(BuildDialogItems, DataBelow2000IsAMessageNumberAboveItATextPointer) {
    StartFakeHost();
    static const char longText[] =
        "0123456789012345678901234567890123456789012345678901234567890123456789";
    char overlong[700];
    memset(overlong, 'x', sizeof overlong - 1);
    overlong[sizeof overlong - 1] = 0;
    DialogItemTemplate templates[4] = {};
    templates[0].Data = 10;
    templates[1].Data = 1999; // the fake host has no such text
    templates[2].Data = reinterpret_cast<uintptr_t>(longText);
    templates[3].Data = reinterpret_cast<uintptr_t>(overlong);
    templates[3].Type = 255;
    templates[3].Selected = -5;
    DialogItemRecord records[4];
    memset(records, 0x77, sizeof records);
    BuildDialogItems(templates, records, 4);
    EXPECT_STREQ(records[0].Data, "All match");
    EXPECT_STREQ(records[1].Data, "BAD");
    EXPECT_STREQ(records[2].Data, longText);
    EXPECT_EQ(strlen(records[3].Data), 511u) << "cut to the field";
    EXPECT_EQ(records[3].Type, 255) << "widened, not sign-extended";
    EXPECT_EQ(records[3].Selected, -5);
}
