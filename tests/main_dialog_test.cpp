// OpenPlugin across jobs in one loaded module, and the dialog's items as
// built from message numbers and texts. What the dialog shows and what its
// answers start is checked end to end (tests/e2e/module_test.py).
#include <gtest/gtest.h>
#include <string.h>

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

// The module stays loaded between jobs: an Escape that stopped one job must
// not stop the next before its first file.
TEST_F(MainDialogTest, JobAfterAnEscapedOneRunsWhole) {
    AbortRequested = 1; // as a job stopped by Escape leaves it
    Host.dialogResult = MainDialogCreateButton;
    EXPECT_EQ(OpenPlugin(0, 0), SUMBREL_NO_PANEL);
    std::string written = ReadBytes("sigfile.md5");
    EXPECT_NE(written.find(DigestOf("alpha\n") + " *a.txt\r\n"), std::string::npos) << written;
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
