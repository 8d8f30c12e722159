// The development host's own rules: panel order, what a refresh keeps, how a
// selection comes back, the screen image check, the trace's JSON, key names
// and the dialog's answers.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "devhost/draw.h"
#include "devhost/keys.h"
#include "devhost/messages.h"
#include "devhost/operations.h"
#include "devhost/panel.h"
#include "devhost/screens.h"
#include "devhost/trace.h"

static PanelEntry File(const char *name) {
    return PanelEntry{name, 0x20, 0, ""};
}

static PanelEntry Directory(const char *name) {
    return PanelEntry{name, DirectoryAttribute, 0, ""};
}

static std::vector<std::string> Names(const Panel &panel) {
    std::vector<std::string> names;
    for (const PanelItemRecord &item : panel.Items)
        names.push_back(item.Name);
    return names;
}

static Panel PanelOf(const std::vector<PanelEntry> &entries,
                     const std::vector<std::string> &selected = {}) {
    Panel panel;
    SetPanelEntries(panel, entries);
    for (const std::string &name : selected)
        SetSelected(panel.Items[FindPanelItem(panel, name)], true);
    return panel;
}

TEST(DevhostPanel, ParentFirstThenDirectoriesThenFilesInByteOrder) {
    Panel panel = PanelOf({File("b.txt"), Directory("sub"), File("\xe9t\xe9"), File("a.txt"),
                           Directory("Zed"), File("B.txt"), File(".hidden"), File("a"),
                           Directory("."), Directory("..")});
    EXPECT_EQ(Names(panel), (std::vector<std::string>{"..", "Zed", "sub", ".hidden", "B.txt", "a",
                                                      "a.txt", "b.txt", "\xe9t\xe9"}));
    const bool directory[] = {true, true, true, false, false, false, false, false, false};
    for (size_t i = 0; i < panel.Items.size(); i++)
        EXPECT_EQ((panel.Items[i].Attributes & DirectoryAttribute) != 0, directory[i]) << i;
    EXPECT_EQ(panel.Cursor, 0);
    EXPECT_TRUE(SelectedNames(panel).empty());
}

TEST(DevhostPanel, RefreshKeepsSelectionByNameOnlyWhenAsked) {
    const struct {
        bool keep;
        std::vector<std::string> selectedBefore;
        std::vector<std::string> selectedAfter;
    } cases[] = {
        {true, {"a", "c"}, {"a"}},        // c vanished
        {true, {"..", "b"}, {"..", "b"}}, // kept in panel order
        {true, {}, {}},                   //
        {false, {"a", "b", "c"}, {}},     //
    };
    for (const auto &c : cases) {
        Panel panel = PanelOf({File("a"), File("b"), File("c")}, c.selectedBefore);
        // A new file appears ahead of the others; new items come unselected.
        RefreshPanel(panel, {File("a"), File("b"), File("0new"), Directory("d")}, c.keep);
        EXPECT_EQ(Names(panel), (std::vector<std::string>{"..", "d", "0new", "a", "b"}));
        EXPECT_EQ(SelectedNames(panel), c.selectedAfter) << c.keep;
    }
}

TEST(DevhostPanel, RefreshKeepsTheCursorOnItsName) {
    const struct {
        const char *cursor;
        const char *after;
    } cases[] = {{"b", "b"}, {"c", ".."}, {"..", ".."}};
    for (const auto &c : cases) {
        Panel panel = PanelOf({File("b"), File("c")});
        panel.Cursor = FindPanelItem(panel, c.cursor);
        RefreshPanel(panel, {File("a"), File("b")}, true);
        EXPECT_EQ(panel.Items[panel.Cursor].Name, std::string(c.after)) << c.cursor;
    }
}

TEST(DevhostPanel, SelectionComesBackFromAHandedOutArrayOnly) {
    Panel panel = PanelOf({File("a"), File("b"), File("c")}, {"a"});
    panel.Cursor = 2;
    PanelInfoRecord info;
    FillPanelInfo(panel, &info);
    ASSERT_EQ(info.ItemCount, 4);
    EXPECT_EQ(info.CurrentItem, 2);
    EXPECT_STREQ(info.Items[1].Name, "a");
    EXPECT_TRUE(IsSelected(info.Items[1]));
    EXPECT_NE(info.Items, panel.Items.data()) << "the module works on a copy until it applies";

    SetSelected(info.Items[1], false);
    SetSelected(info.Items[3], true);
    EXPECT_EQ(SelectedNames(panel), (std::vector<std::string>{"a"}));
    ASSERT_TRUE(ApplyPanelSelection(panel, &info));
    EXPECT_EQ(SelectedNames(panel), (std::vector<std::string>{"c"}));

    PanelInfoRecord foreign = info;
    std::vector<PanelItemRecord> copy(info.Items, info.Items + info.ItemCount);
    foreign.Items = copy.data();
    SetSelected(copy[2], true);
    EXPECT_FALSE(ApplyPanelSelection(panel, &foreign));
    PanelInfoRecord shortened = info;
    shortened.ItemCount = 2;
    EXPECT_FALSE(ApplyPanelSelection(panel, &shortened));
    EXPECT_EQ(SelectedNames(panel), (std::vector<std::string>{"c"}))
        << "refused calls change nothing";
}

TEST(DevhostPanel, OlderArrayStillAppliesByNameAfterARefresh) {
    Panel panel = PanelOf({File("a"), File("b")});
    PanelInfoRecord info;
    FillPanelInfo(panel, &info);
    SetSelected(info.Items[1], true); // a
    SetSelected(info.Items[2], true); // b
    RefreshPanel(panel, {File("b"), File("c")}, false);
    ASSERT_TRUE(ApplyPanelSelection(panel, &info));
    EXPECT_EQ(SelectedNames(panel), (std::vector<std::string>{"b"}));
}

TEST(DevhostScreens, EveryHandleMustComeBackExactlyOnce) {
    // 'S' saves (handles count from 1), a digit restores that handle.
    const struct {
        const char *calls;
        size_t problems;
        size_t unrestored;
    } cases[] = {
        {"", 0, 0},   {"S1", 0, 0}, {"SS21", 0, 0}, {"SS1", 1, 1}, {"S11", 1, 0},
        {"S2", 2, 1}, {"3", 1, 0},  {"S1S2", 0, 0}, {"SSS", 3, 3}, {"S0", 2, 1},
    };
    for (const auto &c : cases) {
        ScreenLedger ledger = ScreenLedger();
        std::vector<uintptr_t> handles;
        for (const char *call = c.calls; *call; call++) {
            if (*call == 'S')
                handles.push_back(SaveScreen(ledger));
            else
                RestoreScreen(ledger, (uintptr_t)(*call - '0'));
        }
        for (size_t i = 0; i < handles.size(); i++)
            EXPECT_EQ(handles[i], i + 1) << c.calls << ": fresh, never 0, never reused";
        EXPECT_EQ(CloseScreenLedger(ledger), c.unrestored) << c.calls;
        EXPECT_EQ(ledger.Problems.size(), c.problems) << c.calls;
    }
}

TEST(DevhostScreens, ProblemsSayWhatWentWrong) {
    ScreenLedger ledger = ScreenLedger();
    uintptr_t first = SaveScreen(ledger);
    SaveScreen(ledger);
    EXPECT_TRUE(RestoreScreen(ledger, first));
    EXPECT_FALSE(RestoreScreen(ledger, first));
    EXPECT_FALSE(RestoreScreen(ledger, 77));
    CloseScreenLedger(ledger);
    EXPECT_EQ(ledger.Problems, (std::vector<std::string>{"screen image 1 restored twice",
                                                         "screen image 77 restored but never saved",
                                                         "screen image 2 never restored"}));
}

TEST(DevhostTrace, TextsAreEscapedByteForByte) {
    const struct {
        std::string bytes;
        const char *json;
    } cases[] = {
        {"", "\"\""},
        {"plain.txt", "\"plain.txt\""},
        {"q\"b\\s/", "\"q\\\"b\\\\s/\""},
        {"\n\r\t", "\"\\n\\r\\t\""},
        {std::string("\x01\x1f\x7f", 3), "\"\\u0001\\u001f\x7f\""},
        {std::string("a\0b", 3), "\"a\\u0000b\""},
        {"\xc3\xa9t\xc3\xa9", "\"\xc3\xa9t\xc3\xa9\""}, // valid UTF-8 stays
        {"\xe2\x82\xac \xf0\x9f\x98\x80", "\"\xe2\x82\xac \xf0\x9f\x98\x80\""},
        {"\xe9t\xe9", "\"\\u00e9t\\u00e9\""},                     // Latin-1 bytes
        {"\x80", "\"\\u0080\""},                                  // lone continuation
        {"\xc3", "\"\\u00c3\""},                                  // cut short at the end
        {"\xe2\x82x", "\"\\u00e2\\u0082x\""},                     // cut short mid-text
        {"\xc0\xaf", "\"\\u00c0\\u00af\""},                       // overlong slash
        {"\xe0\x80\xaf", "\"\\u00e0\\u0080\\u00af\""},            // overlong, 3 bytes
        {"\xed\xa0\x80", "\"\\u00ed\\u00a0\\u0080\""},            // surrogate
        {"\xf4\x90\x80\x80", "\"\\u00f4\\u0090\\u0080\\u0080\""}, // above U+10FFFF
        {"\xff\xfe", "\"\\u00ff\\u00fe\""},
        {"\x8f\xe0\xa5\xe1\xa2\xa0",
         "\"\\u008f\\u00e0\\u00a5\xe1\xa2\xa0\""}, // CP866, partly UTF-8
    };
    for (const auto &c : cases)
        EXPECT_EQ(JsonString(c.bytes), c.json) << testing::PrintToString(c.bytes);
    EXPECT_EQ(JsonText(nullptr), "null");
    EXPECT_EQ(JsonTexts({"a", nullptr, "\xff"}), "[\"a\",null,\"\\u00ff\"]");
}

TEST(DevhostTrace, EndLineHasExactlyItsFields) {
    EXPECT_EQ(JsonEndLine(-1, {"a.txt", "b \"x\""}, 2, {}, 1, -2),
              "{\"op\":\"end\",\"result\":-1,\"selected\":[\"a.txt\",\"b \\\"x\\\"\"],"
              "\"unrestored\":2,\"threads_left\":1,\"handles_left\":-2}");
    EXPECT_EQ(JsonEndLine(0, {}, 0), "{\"op\":\"end\",\"result\":0,\"selected\":[],"
                                     "\"unrestored\":0,\"threads_left\":0,\"handles_left\":0}");
}

TEST(DevhostTrace, DialogItemsShowHistoryOfEditFieldsAndBoundedData) {
    DialogItemRecord items[2];
    memset(items, 0, sizeof items);
    items[0].Type = 4;
    items[0].X1 = 5;
    items[0].History = "Sumbrel";
    items[0].Flags = 0x240000;
    snprintf(items[0].Data, sizeof items[0].Data, "sig\xff.md5");
    items[1].Type = 7;
    items[1].Selected = 3;
    items[1].DefaultButton = 1;
    memset(items[1].Data, 'x', sizeof items[1].Data); // no NUL at all
    std::string json = JsonDialogItems(items, 2);
    EXPECT_EQ(json.substr(1, json.find("},")),
              "{\"type\":4,\"x1\":5,\"y1\":0,\"x2\":0,\"y2\":0,\"focus\":0,\"history\":\"Sumbrel\","
              "\"flags\":2359296,\"default\":0,\"data\":\"sig\\u00ff.md5\"}");
    EXPECT_NE(json.find("\"selected\":3,\"flags\":0,\"default\":1,\"data\":\"" +
                        std::string(DialogItemDataSize, 'x') + "\"}]"),
              std::string::npos);
}

TEST(DevhostTrace, PluginInfoLineTellsAnUntouchedRecordApart) {
    PluginInfoRecord before;
    memset(&before, 0, sizeof before);
    PluginInfoRecord after = before;
    EXPECT_EQ(PluginInfoTraceLine(before, after), "{\"op\":\"GetPluginInfo\",\"untouched\":true}");
    static const char *const menu[] = {"MD5 \xe9"};
    after.Size = 44;
    after.MenuStrings = menu;
    after.MenuStringCount = 1;
    after.CommandPrefix = "md5";
    EXPECT_EQ(PluginInfoTraceLine(before, after),
              "{\"op\":\"GetPluginInfo\",\"size\":44,\"menu\":[\"MD5 \\u00e9\"],\"count\":1,"
              "\"prefix\":\"md5\"}");
}

TEST(DevhostKeys, NamesBecomeVirtualKeysAndTerminalBytes) {
    std::vector<KeyPress> keys;
    std::string bad;
    ASSERT_TRUE(ParseKeyList("esc,a,B,enter,up,down,right,LEFT,7,space", keys, bad));
    const struct {
        uint16_t virtualKey;
        char character;
        const char *bytes;
    } expected[] = {{27, 27, "\x1b"},    {'A', 'a', "a"},     {'B', 'B', "B"},
                    {13, '\r', "\r"},    {0x26, 0, "\x1b[A"}, {0x28, 0, "\x1b[B"},
                    {0x27, 0, "\x1b[C"}, {0x25, 0, "\x1b[D"}, {'7', '7', "7"},
                    {' ', ' ', " "}};
    ASSERT_EQ(keys.size(), sizeof expected / sizeof expected[0]);
    for (size_t i = 0; i < keys.size(); i++) {
        EXPECT_EQ(keys[i].VirtualKey, expected[i].virtualKey) << i;
        EXPECT_EQ(keys[i].Character, expected[i].character) << i;
        EXPECT_EQ(keys[i].TerminalBytes, expected[i].bytes) << i;
        EXPECT_EQ(keys[i].Extended,
                  expected[i].virtualKey >= 0x25 && expected[i].virtualKey <= 0x28)
            << i;
    }
}

TEST(DevhostKeys, UnknownOrEmptyNamesAreRefused) {
    const struct {
        const char *list;
        const char *bad;
    } cases[] = {{"", ""},     {"a,,b", ""}, {"a,", ""},      {"esc,f1", "f1"},
                 {"ab", "ab"}, {"-", "-"},   {"\xe9", "\xe9"}};
    for (const auto &c : cases) {
        std::vector<KeyPress> keys;
        std::string bad = "unset";
        EXPECT_FALSE(ParseKeyList(c.list, keys, bad)) << c.list;
        EXPECT_EQ(bad, c.bad) << c.list;
    }
}

TEST(DevhostMessages, NthQuotedLineIsTextN) {
    std::vector<std::string> texts = ParseMessageFile(
        ".Language=English,English\r\n\r\n\"Title\"\r\n\"say \"hi\"\"\n\"\"\n  \"indented\"\n"
        "\"\xe9\"");
    EXPECT_EQ(texts, (std::vector<std::string>{"Title", "say \"hi\"", "", "\xe9"}));
}

TEST(DevhostDialog, TypedChoicesPickButtonsByHotkeyIndexOrDefault) {
    DialogItemRecord items[7];
    memset(items, 0, sizeof items);
    items[2].Type = DialogEditItem;
    const char *labels[] = {"&Verify", "&Create", "C&lose"};
    for (int i = 0; i < 3; i++) {
        items[4 + i].Type = DialogButtonItem;
        snprintf(items[4 + i].Data, sizeof items[4 + i].Data, "%s", labels[i]);
    }
    items[4].DefaultButton = 1;
    const struct {
        const char *typed;
        int32_t choice;
    } cases[] = {{"", 4},   {"v", 4},  {"V", 4},      {"c", 5},     {"l", 6},
                 {"6", 6},  {"5", 5},  {"esc", -1},   {"\x1b", -1}, {"cancel", -1},
                 {"x", -2}, {"2", -2}, {"verify", -2}};
    for (const auto &c : cases)
        EXPECT_EQ(DialogChoice(items, 7, c.typed), c.choice) << c.typed;
    items[4].DefaultButton = 0;
    EXPECT_EQ(DialogChoice(items, 7, ""), -1) << "no default button: Enter cancels";
}

TEST(DevhostDraw, NoticesGetTheButtonsTheyAskFor) {
    const struct {
        std::vector<std::string> texts;
        int32_t buttons;
        uint32_t flags;
        std::vector<std::string> labels;
    } cases[] = {
        {{"Progress", "Creating", "a.txt"}, 0, 0, {}},
        {{"File error", "a.txt", "&OK"}, 1, 3, {"OK"}},
        {{"Title", "All match"}, 0, 0x10000, {"OK"}},
        {{"Title", "Yes", "No"}, 2, 0, {"Yes", "No"}},
        {{"Title"}, 5, 0, {}}, // the title is never a button
    };
    for (const auto &c : cases) {
        EXPECT_EQ(NoticeButtons(c.texts, c.buttons, c.flags), c.labels) << c.texts[0];
        std::string box = DrawNotice(c.texts, c.buttons, c.flags);
        EXPECT_NE(box.find(c.texts[0]), std::string::npos);
        for (const std::string &label : c.labels)
            EXPECT_NE(box.find("[ " + label + " ]"), std::string::npos) << box;
    }
}

TEST(DevhostDraw, DialogShowsFieldTextAndMarksTheDefaultButton) {
    DialogItemRecord items[4];
    memset(items, 0, sizeof items);
    items[0] = DialogItemRecord{DialogFrameItem, 3, 1, 40, 4, 0, {0}, 0, 0, "Title"};
    items[1] = DialogItemRecord{DialogEditItem, 5, 2, 30, 0, 0, {0}, 0, 0, "sigfile.md5"};
    items[2] = DialogItemRecord{DialogButtonItem, 0, 3, 0, 0, 0, {0}, 0, 1, "&Verify"};
    items[3] = DialogItemRecord{DialogButtonItem, 0, 3, 0, 0, 0, {0}, 0, 0, "&Create"};
    std::string drawn = DrawDialog(items, 4, 44, 6);
    std::vector<std::string> rows;
    for (size_t start = 0, end; (end = drawn.find('\n', start)) != std::string::npos;
         start = end + 1)
        rows.push_back(drawn.substr(start, end - start));
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_NE(rows[1].find(" Title "), std::string::npos);
    EXPECT_EQ(rows[2].substr(5, 26), "sigfile.md5_______________");
    EXPECT_NE(rows[3].find("{ Verify } [ Create ]"), std::string::npos);
}

// The host's operations as every host built on them answers: each breach of
// the contract is noted once with what was wrong, a sound call notes nothing.
TEST(SimulatedHost, OperationsNoteEachBreachOfTheContract) {
    static PanelInfoRecord info, copied;
    static std::vector<PanelItemRecord> copy;
    static const char *const texts[] = {"Title", "line"};
    const struct {
        const char *what;
        void (*call)(const StartupRecord &host);
        const char *problem; // empty: none
    } cases[] = {
        {"own texts", [](const StartupRecord &h) { h.FetchMessageText(h.ModuleNumber, 0); }, ""},
        {"another module's text",
         [](const StartupRecord &h) { h.FetchMessageText(h.ModuleNumber + 1, 0); },
         "FetchMessageText for module 8, not this one (7)"},
        {"notice with a topic of the help",
         [](const StartupRecord &h) {
             h.ShowMessageBox(h.ModuleNumber, 0, "Contents", texts, 2, 0);
         },
         ""},
        {"notice without a help topic",
         [](const StartupRecord &h) { h.ShowMessageBox(h.ModuleNumber, 0, nullptr, texts, 2, 0); },
         "ShowMessageBox without a help topic"},
        {"notice with a topic the help lacks",
         [](const StartupRecord &h) {
             h.ShowMessageBox(h.ModuleNumber, 0, "Elsewhere", texts, 2, 0);
         },
         "ShowMessageBox with the help topic Elsewhere, which the help lacks"},
        {"dialog with a topic the help lacks",
         [](const StartupRecord &h) {
             h.RunDialog(h.ModuleNumber, -1, -1, 66, 8, "contents", nullptr, 0);
         },
         "RunDialog with the help topic contents, which the help lacks"},
        {"another panel",
         [](const StartupRecord &h) { h.PanelCommand(nullptr, PanelRedraw, nullptr); },
         "PanelCommand 5 for a panel that is not the active one (-1)"},
        {"no record to fill",
         [](const StartupRecord &h) {
             h.PanelCommand(SUMBREL_ACTIVE_PANEL, PanelGetInfo, nullptr);
         },
         "PanelGetInfo without a record to fill"},
        {"selection handed back",
         [](const StartupRecord &h) {
             h.PanelCommand(SUMBREL_ACTIVE_PANEL, PanelGetInfo, &info);
             h.PanelCommand(SUMBREL_ACTIVE_PANEL, PanelApplySelection, &info);
         },
         ""},
        {"selection from a copy",
         [](const StartupRecord &h) {
             h.PanelCommand(SUMBREL_ACTIVE_PANEL, PanelGetInfo, &info);
             copy.assign(info.Items, info.Items + info.ItemCount);
             copied = info;
             copied.Items = copy.data();
             h.PanelCommand(SUMBREL_ACTIVE_PANEL, PanelApplySelection, &copied);
         },
         "PanelApplySelection with a record whose items the host did not hand out"},
        {"dialog of another module",
         [](const StartupRecord &h) { h.RunDialog(3, -1, -1, 66, 8, "Contents", nullptr, 0); },
         "RunDialog for module 3, not this one (7)"},
    };
    for (const auto &c : cases) {
        Side = SimulatedHost();
        Side.ModuleNumber = 7;
        Side.HelpTopics = {"Contents", "NotFound"};
        SetPanelEntries(Side.ActivePanel, {File("a")});
        c.call(HostStartupRecord(sizeof(StartupRecord)));
        EXPECT_EQ(Side.Problems,
                  *c.problem ? std::vector<std::string>{c.problem} : std::vector<std::string>())
            << c.what;
        EXPECT_EQ(HostContractKept(), !*c.problem) << c.what;
    }
}

// Keys on a notice that waits: Enter and a button's number choose, Escape
// answers -1, F1 opens the notice's own topic and the notice waits on.
TEST(SimulatedHost, NoticeKeysAnswerAndF1OpensTheNoticesTopic) {
    static std::vector<std::string> opened;
    static const char *const texts[] = {"Title", "line", "OK", "Report"};
    const struct {
        std::vector<std::string> keys;
        int32_t answer;
        size_t helps;
    } cases[] = {
        {{"enter"}, 0, 0},
        {{"1"}, 1, 0},
        {{"esc"}, DialogCancelled, 0},
        {{"f1", "f1", "1"}, 1, 2},
        {{"5", "enter"}, 0, 0}, // a button the notice lacks means nothing
        {{}, 0, 0},             // no keys left: the first button, as in a batch run
    };
    for (const auto &c : cases) {
        Side = SimulatedHost();
        Side.ModuleNumber = 7;
        Side.HelpTopics = {"Contents", "NotFound"};
        Side.NoticeKeys = c.keys;
        Side.Hooks.HelpOpened = [](const char *topic) { opened.push_back(topic); };
        opened.clear();
        StartupRecord host = HostStartupRecord(sizeof(StartupRecord));
        EXPECT_EQ(host.ShowMessageBox(7, 0, "NotFound", texts, 4, 2), c.answer) << c.keys.size();
        EXPECT_EQ(opened, std::vector<std::string>(c.helps, "NotFound")) << c.keys.size();
        EXPECT_TRUE(HostContractKept());
    }
}

// What a module changes in the items it was given reaches the panel only
// when it applies them; a refresh without a listing keeps the items.
TEST(SimulatedHost, PanelTakesTheSelectionOnlyWhenApplied) {
    Side = SimulatedHost();
    SetPanelEntries(Side.ActivePanel, {File("a"), File("b")});
    StartupRecord host = HostStartupRecord(sizeof(StartupRecord));
    PanelInfoRecord info;
    host.PanelCommand(SUMBREL_ACTIVE_PANEL, PanelGetInfo, &info);
    SetSelected(info.Items[1], true);
    EXPECT_TRUE(SelectedNames(Side.ActivePanel).empty());
    host.PanelCommand(SUMBREL_ACTIVE_PANEL, PanelApplySelection, &info);
    EXPECT_EQ(SelectedNames(Side.ActivePanel), (std::vector<std::string>{"a"}));
    host.PanelCommand(SUMBREL_ACTIVE_PANEL, PanelRefresh, &info);
    EXPECT_EQ(SelectedNames(Side.ActivePanel), (std::vector<std::string>{"a"}));
    host.PanelCommand(SUMBREL_ACTIVE_PANEL, PanelRefresh, nullptr);
    EXPECT_TRUE(SelectedNames(Side.ActivePanel).empty());
    EXPECT_EQ(Side.ActivePanel.Items.size(), 3u);
    EXPECT_TRUE(HostContractKept());
}
