// Registration: the disable rule, the published menu entry and prefix, and
// the file error notice, and the progress line of a long file.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "jobs/notices.h"
#include "tests/fake_host.h"

TEST(Registration, StartupRecordBelowTheMinimumDisablesTheModule) {
    const struct {
        uint32_t size;
        int disabled;
    } cases[] = {{0, 1},
                 {StartupRecordMinimumSize - 1, 1},
                 {StartupRecordMinimumSize, 0},
                 {StartupRecordMinimumSize + 1000, 0},
                 {0x80000000u, 0}};
    for (const auto &c : cases) {
        StartupRecord record = FakeStartupRecord(c.size);
        SetStartupInfo(&record);
        EXPECT_EQ(PluginDisabled, c.disabled) << c.size;
    }
    StartFakeHost();
    EXPECT_EQ(PluginDisabled, 0) << "a later large enough record enables it again";
}

TEST(Registration, ShortRecordIsCopiedOnlyAsFarAsItGoes) {
    StartFakeHost();
    StartupRecord record = FakeStartupRecord(8);
    record.ModuleNumber = 999;
    memset(record.HostModuleName, 'z', sizeof record.HostModuleName);
    SetStartupInfo(&record);
    EXPECT_EQ(HostServices.Size, 8u);
    EXPECT_EQ(HostServices.HostModuleName[3], 'z');
    EXPECT_NE(HostServices.HostModuleName[4], 'z');
    EXPECT_NE(HostServices.ModuleNumber, 999);
}

TEST(Registration, DisabledModuleLeavesThePluginInfoUntouched) {
    StartupRecord record = FakeStartupRecord(StartupRecordMinimumSize - 1);
    SetStartupInfo(&record);
    PluginInfoRecord info;
    memset(&info, 0xa5, sizeof info);
    PluginInfoRecord before = info;
    GetPluginInfo(&info);
    EXPECT_EQ(0, memcmp(&info, &before, sizeof info));
}

TEST(Registration, PublishesOneMenuEntryAndThePrefix) {
    StartFakeHost();
    PluginInfoRecord info;
    memset(&info, 0x5a, sizeof info);
    GetPluginInfo(&info);
    EXPECT_EQ(info.Size, 44);
    ASSERT_EQ(info.MenuStringCount, 1);
    EXPECT_STREQ(info.MenuStrings[0], "Title");
    EXPECT_STREQ(info.CommandPrefix, "md5");
    EXPECT_EQ(info.HostFlags, 0x5a5a5a5au) << "fields the module does not own stay";
    EXPECT_EQ(info.HostConfigCount, 0x5a5a5a5a);
}

TEST(Registration, FileErrorNoticeNamesTheFileAndWhyWithOneButton) {
    const struct {
        FileProblem problem;
        std::vector<std::string> why;
    } cases[] = {{ProblemUntold, {}},
                 {ProblemNotFound, {"Not found"}},
                 {ProblemCannotRead, {"Cannot read"}},
                 {ProblemNotAFile, {"Not a file"}},
                 {ProblemNotReached, {"Elsewhere"}},
                 {ProblemNotWritten, {"Not written"}},
                 {ProblemNoMemory, {"No memory"}},
                 {ProblemNameTooLong, {"Too long"}},
                 {ProblemBeyondCodePage, {"Code page"}},
                 {ProblemTwoFilesFit, {"Two files"}}};
    for (const auto &c : cases)
        for (const char *name : {"missing.txt", ""}) {
            StartFakeHost();
            ReportFileError(name, c.problem);
            ASSERT_EQ(Host.calls.size(), 1u);
            const HostCall &call = Host.calls[0];
            EXPECT_EQ(call.op, "ShowMessageBox");
            EXPECT_EQ(call.number, 3);
            std::vector<std::string> texts = {"Error", name};
            texts.insert(texts.end(), c.why.begin(), c.why.end());
            texts.push_back("Ok");
            EXPECT_EQ(call.texts, texts);
            EXPECT_EQ(call.buttons, 1);
        }
}

TEST(Registration, ProgressLineIsABarAndThePercentage) {
    const std::string none(40, '.'), full(40, '#');
    const struct {
        uint64_t done, total;
        std::string line;
    } cases[] = {
        {0, 1000, none + "   0%"},
        {999, 1000, std::string(39, '#') + "." + "  99%"},
        {1000, 1000, full + " 100%"},
        {1500, 1000, full + " 100%"}, // a file that grew while it was read
        {0, 0, full + " 100%"},
        {3ull << 32, 6ull << 32, std::string(20, '#') + std::string(20, '.') + "  50%"},
    };
    for (const auto &c : cases) {
        char line[64];
        FormatProgressLine(c.done, c.total, line, sizeof line);
        EXPECT_EQ(line, c.line) << c.done << " of " << c.total;
    }
}
