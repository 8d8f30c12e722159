// Registration: the disable rule, the published menu entry and prefix, and
// the file error notice, every notice's help topic, and the progress line
// of a long file.
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <string>

#include "devhost/loader_and_console.h"
#include "devhost/messages.h"
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
        EXPECT_EQ(PluginDisabled(), c.disabled) << c.size;
    }
    StartFakeHost();
    EXPECT_EQ(PluginDisabled(), 0) << "a later large enough record enables it again";
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
        const char *topic; // F1 on the notice opens it
    } cases[] = {{ProblemUntold, {}, "FileError"},
                 {ProblemNotFound, {"Not found"}, "NotFound"},
                 {ProblemCannotRead, {"Cannot read"}, "CannotRead"},
                 {ProblemNotAFile, {"Not a file"}, "NotAFile"},
                 {ProblemNotReached, {"Elsewhere"}, "NotReached"},
                 {ProblemNotWritten, {"Not written"}, "NotWritten"},
                 {ProblemNoMemory, {"No memory"}, "FileError"},
                 {ProblemNameTooLong, {"Too long"}, "FileError"},
                 {ProblemBeyondCodePage, {"Code page"}, "FileError"},
                 {ProblemTwoFilesFit, {"Two files"}, "FileError"}};
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
            EXPECT_EQ(call.help, c.topic);
        }
}

// Every message a notice starts with (a file error notice: its reason
// line) names the help topic that explains that notice, and the help of
// every language holds it; no other message names one. A new text fails
// the size check until it is put in this table.
TEST(Registration, EveryNoticeNamesAHelpTopicOfEveryLanguage) {
    const struct {
        int32_t id;
        const char *topic; // null: no notice starts with it
    } cases[] = {
        {MessageTitle, nullptr},
        {MessageFileNameLabel, nullptr},
        {MessageVerifyButton, nullptr},
        {MessageCreateButton, nullptr},
        {MessageOkButton, nullptr},
        {MessageCloseButton, nullptr},
        {MessageFileErrorTitle, "FileError"},
        {MessageProgressTitle, nullptr},
        {MessageCreatingLine, "Progress"},
        {MessageVerifyingLine, "Progress"},
        {MessageAllMatch, "AllMatch"},
        {MessageChangedOffPanel, "ClosingNotice"},
        {MessageMoreNotNamed, nullptr},
        {MessageUnreadCount, "ClosingNotice"},
        {MessageNoEntries, "NoEntries"},
        {MessageNotReached, "ClosingNotice"},
        {MessageNothingListed, "NothingListed"},
        {MessageTargetIsListed, "NotAList"},
        {MessageOldListKept, "OldListKept"},
        {MessageReasonNotFound, "NotFound"},
        {MessageReasonCannotRead, "CannotRead"},
        {MessageReasonNotAFile, "NotAFile"},
        {MessageReasonNotReached, "NotReached"},
        {MessageReasonNotWritten, "NotWritten"},
        {MessageFilesChecked, nullptr},
        {MessageRunDone, nullptr},
        {MessageDigestAssumed, "ClosingNotice"},
        {MessageNameListFor, nullptr},
        {MessageReasonNoMemory, "FileError"},
        {MessageReasonNameTooLong, "FileError"},
        {MessageReasonBeyondCodePage, "FileError"},
        {MessageReasonTwoFilesFit, "FileError"},
        {MessageStoppedNothingListed, "Escape"},
        {MessageReportButton, nullptr},
        {MessageReportWritten, "FullReport"},
        {MessageReportRefused, "ReportRefused"},
        {MessageChangedCount, nullptr},
        {MessageReportIncomplete, nullptr},
        {MessageMebibytes, nullptr},
    };
    static_assert(sizeof cases / sizeof cases[0] == MessageCount, "every text in the table");
    std::vector<std::string> languages[2];
    ASSERT_TRUE(LoadHelpTopics(ProgramFolder() + "/SumbrelEng.hlf", languages[0]));
    ASSERT_TRUE(LoadHelpTopics(ProgramFolder() + "/SumbrelRus.hlf", languages[1]));
    for (int32_t id = 0; id < MessageCount; id++) {
        EXPECT_EQ(cases[id].id, id);
        const char *topic = NoticeHelpTopic(id);
        EXPECT_STREQ(topic, cases[id].topic) << id;
        for (const std::vector<std::string> &topics : languages) {
            if (topic) {
                EXPECT_NE(std::find(topics.begin(), topics.end(), topic), topics.end()) << topic;
            }
        }
    }
    // Every reason a file error notice gives picks a topic.
    for (int problem = ProblemUntold; problem <= ProblemTwoFilesFit; problem++)
        EXPECT_NE(NoticeHelpTopic(ProblemMessage((FileProblem)problem)), nullptr) << problem;
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
