// The host's operations handed to the module: each checks the call against
// the host's contract, lets the program's hook see it, then does what the
// host does.
#include "devhost/simulated_host.h"

#include <algorithm>
#include <ctype.h>
#include <string.h>

#include "devhost/draw.h"
#include "devhost/loader_and_console.h"

SimulatedHost Side;

static const int32_t NoChoice = -2;

static void Prompt(const std::string &text) {
    FILE *out = Side.Drawing ? Side.Drawing : stderr;
    fputs(text.c_str(), out);
    fflush(out);
}

static bool OwnModule(int32_t module, const char *operation) {
    if (module == Side.ModuleNumber)
        return true;
    ReportProblem(std::string(operation) + " for module " + std::to_string(module) +
                  ", not this one (" + std::to_string(Side.ModuleNumber) + ")");
    return false;
}

bool KnownHelpTopic(const char *topic) {
    if (!topic)
        return false;
    return Side.HelpTopics.empty() || std::find(Side.HelpTopics.begin(), Side.HelpTopics.end(),
                                                topic) != Side.HelpTopics.end();
}

// Every notice and dialog names the topic of the help that explains it.
static bool HelpTopicKept(const char *operation, const char *topic) {
    if (KnownHelpTopic(topic))
        return true;
    ReportProblem(std::string(operation) +
                  (topic ? " with the help topic " + std::string(topic) + ", which the help lacks"
                         : " without a help topic"));
    return false;
}

void OpenHelp(const char *topic) {
    if (Side.Hooks.HelpOpened)
        Side.Hooks.HelpOpened(topic);
    Draw(std::string("Help: ") + (topic ? topic : "(none)") + "\n");
}

static const int32_t HelpKey = -3;

// A key typed on a notice of this many buttons: a button's index,
// DialogCancelled, HelpKey, or NoChoice for a key that means nothing there.
static int32_t NoticeAnswer(const std::string &typed, size_t buttons) {
    if (typed.empty() || typed == "enter")
        return 0;
    if (typed == "esc" || typed == "\x1b")
        return DialogCancelled;
    if (typed == "f1")
        return HelpKey;
    for (size_t i = 0; i < buttons; i++)
        if (typed == std::to_string(i))
            return (int32_t)i;
    return NoChoice;
}

// The answer the next of the given keys makes, after any F1 among them.
static bool AnswerFromKeys(const char *topic, size_t buttons, int32_t &answer) {
    while (Side.NoticeKeysTaken < Side.NoticeKeys.size()) {
        answer = NoticeAnswer(Side.NoticeKeys[Side.NoticeKeysTaken++], buttons);
        if (answer == HelpKey)
            OpenHelp(topic);
        else if (answer != NoChoice)
            return true;
    }
    return false;
}

static const char *SUMBREL_WINAPI HostFetchMessageText(int32_t module, int32_t messageId) {
    bool kept = OwnModule(module, "FetchMessageText");
    if (Side.Hooks.FetchMessageText)
        Side.Hooks.FetchMessageText(module, messageId, kept);
    if (!kept || messageId < 0 || (size_t)messageId >= Side.Messages.size())
        return Side.UnknownText;
    return Side.Messages[messageId].c_str();
}

static int32_t SUMBREL_WINAPI HostShowMessageBox(int32_t module, uint32_t flags,
                                                 const char *helpTopic, const char *const *texts,
                                                 int32_t textCount, int32_t buttonCount) {
    NoticeCall call = {module, flags, helpTopic, texts, textCount, buttonCount, {}};
    for (int32_t i = 0; texts && i < textCount && i < HostListLimit; i++)
        call.Listed.push_back(texts[i]);
    bool kept = OwnModule(module, "ShowMessageBox") && HelpTopicKept("ShowMessageBox", helpTopic);
    if (Side.Hooks.ShowMessageBox)
        Side.Hooks.ShowMessageBox(call, kept);

    std::vector<std::string> shown;
    for (const char *text : call.Listed)
        shown.push_back(text ? text : "");
    size_t buttons = NoticeButtons(shown, buttonCount, flags).size();
    if (Side.Drawing || Side.Interactive)
        Draw(DrawNotice(shown, buttonCount, flags));
    if (buttons == 0)
        return 0;
    int32_t answer;
    if (AnswerFromKeys(helpTopic, buttons, answer))
        return answer;
    // A host's notice that waits for a key answers -1 when it is Escape.
    if (Side.EscapeNotices)
        return DialogCancelled;
    while (Side.Interactive) {
        std::string typed;
        Prompt("(Enter, esc, f1 or a button's number from 0) ");
        if (!ReadUserLine(typed))
            return 0;
        int32_t chosen = NoticeAnswer(typed, buttons);
        if (chosen == HelpKey)
            OpenHelp(helpTopic);
        else if (chosen != NoChoice)
            return chosen;
    }
    return 0;
}

static void RefreshActivePanel(bool keepSelection) {
    Panel &panel = Side.ActivePanel;
    if (!Side.RereadsDirectory) {
        if (!keepSelection)
            for (PanelItemRecord &item : panel.Items)
                SetSelected(item, false);
        return;
    }
    // The directory as last listed is the best guess of its size now.
    std::vector<PanelEntry> entries;
    entries.reserve(panel.Items.size() + 1);
    if (!ListCurrentDirectory(entries)) {
        fprintf(stderr, "sumbrel-host: cannot re-read the panel's directory\n");
        return;
    }
    RefreshPanel(panel, entries, keepSelection);
}

// What is wrong with a panel command before the host acts, empty if nothing.
static std::string PanelCommandProblem(void *panel, int32_t command, void *argument) {
    if (panel != SUMBREL_ACTIVE_PANEL)
        return "PanelCommand " + std::to_string(command) +
               " for a panel that is not the active one (-1)";
    if (command == PanelGetInfo && !argument)
        return "PanelGetInfo without a record to fill";
    if (command == PanelApplySelection &&
        (!argument || !HandedOutItems(Side.ActivePanel, static_cast<PanelInfoRecord *>(argument))))
        return "PanelApplySelection with a record whose items the host did not hand out";
    return std::string();
}

static int32_t SUMBREL_WINAPI HostPanelCommand(void *panel, int32_t command, void *argument) {
    std::string problem = PanelCommandProblem(panel, command, argument);
    if (Side.Hooks.PanelCommand)
        Side.Hooks.PanelCommand(panel, command, argument, problem.empty());
    if (!problem.empty()) {
        ReportProblem(problem);
        return 0;
    }
    switch (command) {
    case PanelGetInfo:
        FillPanelInfo(Side.ActivePanel, static_cast<PanelInfoRecord *>(argument));
        return 1;
    case PanelRefresh:
        RefreshActivePanel(argument != nullptr);
        return 1;
    case PanelRedraw:
        if (Side.Drawing)
            Draw(DrawPanel(Side.ActivePanel));
        return 1;
    case PanelApplySelection:
        ApplyPanelSelection(Side.ActivePanel, static_cast<PanelInfoRecord *>(argument));
        return 1;
    default:
        return 0;
    }
}

static ScreenHandle SUMBREL_WINAPI HostSaveScreenImage(int32_t x1, int32_t y1, int32_t x2,
                                                       int32_t y2) {
    uintptr_t handle = SaveScreen(Side.Screens);
    if (Side.Hooks.SaveScreenImage)
        Side.Hooks.SaveScreenImage(x1, y1, x2, y2, handle);
    return reinterpret_cast<ScreenHandle>(handle);
}

static void SUMBREL_WINAPI HostRestoreScreenImage(ScreenHandle screen) {
    uintptr_t handle = reinterpret_cast<uintptr_t>(screen);
    bool restored = RestoreScreen(Side.Screens, handle);
    if (Side.Hooks.RestoreScreenImage)
        Side.Hooks.RestoreScreenImage(handle, restored);
    if (!restored && Side.ProblemStream)
        fprintf(Side.ProblemStream, "sumbrel-host: %s\n", Side.Screens.Problems.back().c_str());
}

// A dialog side as the drawing takes it, whatever the module passed.
static int32_t GridSide(int64_t side) {
    return (int32_t)std::max<int64_t>(0, std::min<int64_t>(side, 1000));
}

static DialogItemRecord *EditField(DialogItemRecord *items, int32_t count) {
    for (int32_t i = 0; i < count; i++)
        if (items[i].Type == DialogEditItem)
            return &items[i];
    return nullptr;
}

static char Hotkey(const DialogItemRecord &item) {
    const char *mark = (const char *)memchr(item.Data, '&', DialogItemDataSize);
    return mark && mark + 1 < item.Data + DialogItemDataSize ? mark[1] : 0;
}

int32_t DialogChoice(const DialogItemRecord *items, int32_t count, const std::string &typed) {
    if (typed == "\x1b" || typed == "esc" || typed == "cancel")
        return DialogCancelled;
    for (int32_t i = 0; i < count; i++) {
        if (items[i].Type != DialogButtonItem)
            continue;
        // Enter alone takes the default button.
        if (typed.empty()) {
            if (items[i].DefaultButton)
                return i;
            continue;
        }
        char key = Hotkey(items[i]);
        if (typed.size() == 1 && key &&
            tolower((unsigned char)typed[0]) == tolower((unsigned char)key))
            return i;
        if (typed == std::to_string(i))
            return i;
    }
    return typed.empty() ? DialogCancelled : NoChoice;
}

// Asks for the field's text and a button; the end of input cancels.
static int32_t AskDialog(DialogItemRecord *items, int32_t count) {
    std::string typed;
    DialogItemRecord *field = EditField(items, count);
    if (field) {
        Prompt("Text of the field [" + DialogItemText(*field) + "]: ");
        if (!ReadUserLine(typed))
            return DialogCancelled;
        if (!typed.empty())
            snprintf(field->Data, DialogItemDataSize, "%s", typed.c_str());
    }
    std::string choices;
    for (int32_t i = 0; i < count; i++) {
        if (items[i].Type != DialogButtonItem)
            continue;
        char key = (char)toupper((unsigned char)Hotkey(items[i]));
        choices += (choices.empty() ? "" : ", ") + (key ? std::string(1, key) + " " : "") +
                   ButtonLabel(DialogItemText(items[i])) +
                   (items[i].DefaultButton ? " (Enter)" : "") + " (" + std::to_string(i) + ")";
    }
    while (true) {
        Prompt("Button: " + choices + ", esc to cancel: ");
        if (!ReadUserLine(typed))
            return DialogCancelled;
        int32_t choice = DialogChoice(items, count, typed);
        if (choice != NoChoice)
            return choice;
    }
}

static int32_t SUMBREL_WINAPI HostRunDialog(int32_t module, int32_t x1, int32_t y1, int32_t x2,
                                            int32_t y2, const char *helpTopic,
                                            DialogItemRecord *items, int32_t itemCount) {
    int32_t listed = items ? std::max<int32_t>(0, std::min(itemCount, HostListLimit)) : 0;
    DialogCall call = {module, x1, y1, x2, y2, helpTopic, items, itemCount, listed};
    bool kept = OwnModule(module, "RunDialog") && HelpTopicKept("RunDialog", helpTopic);
    if (Side.Hooks.RunDialog)
        Side.Hooks.RunDialog(call, kept);

    int64_t width = x1 <= DialogCentred ? x2 : (int64_t)x2 - x1 + 1;
    int64_t height = y1 <= DialogCentred ? y2 : (int64_t)y2 - y1 + 1;
    DialogItemRecord *field = EditField(items, listed);
    if (Side.HasDialogName && field)
        snprintf(field->Data, DialogItemDataSize, "%s", Side.DialogName.c_str());
    if (Side.Drawing)
        Draw(DrawDialog(items, listed, GridSide(width), GridSide(height)));

    int32_t result =
        Side.Interactive && !Side.HasDialogAnswer ? AskDialog(items, listed) : Side.DialogAnswer;
    if (Side.Hooks.DialogClosed)
        Side.Hooks.DialogClosed(call, result);
    return result;
}

StartupRecord HostStartupRecord(uint32_t size) {
    StartupRecord record;
    memset(&record, 0, sizeof record);
    record.Size = size;
    snprintf(record.HostModuleName, sizeof record.HostModuleName, "sumbrel-host");
    record.ModuleNumber = Side.ModuleNumber;
    record.RunDialog = HostRunDialog;
    record.ShowMessageBox = HostShowMessageBox;
    record.FetchMessageText = HostFetchMessageText;
    record.PanelCommand = HostPanelCommand;
    record.SaveScreenImage = HostSaveScreenImage;
    record.RestoreScreenImage = HostRestoreScreenImage;
    return record;
}

void ReportProblem(const std::string &problem) {
    if (Side.ProblemStream)
        fprintf(Side.ProblemStream, "sumbrel-host: %s\n", problem.c_str());
    Side.Problems.push_back(problem);
}

void Draw(const std::string &text) {
    if (!Side.Drawing)
        return;
    fputs(text.c_str(), Side.Drawing);
    fflush(Side.Drawing);
}

size_t CloseSimulatedHost() {
    size_t problemsBefore = Side.Screens.Problems.size();
    size_t unrestored = CloseScreenLedger(Side.Screens);
    for (size_t i = problemsBefore; Side.ProblemStream && i < Side.Screens.Problems.size(); i++)
        fprintf(Side.ProblemStream, "sumbrel-host: %s\n", Side.Screens.Problems[i].c_str());
    return unrestored;
}

bool HostContractKept() {
    return Side.Problems.empty() && Side.Screens.Problems.empty();
}
