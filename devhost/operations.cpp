// The host operations handed to the module: each one is traced with the
// arguments as the module passed them, then does what the host does.
#include "devhost/operations.h"

#include <algorithm>
#include <ctype.h>
#include <stdlib.h>
#include <string.h>

#include "devhost/draw.h"
#include "devhost/platform.h"
#include "devhost/trace.h"

HostSession Session;

static const char EmptyText[] = "";
// More texts or dialog items than this are a module fault, not a request.
static const int32_t MaximumListed = 256;
static const int32_t NoChoice = -2;
static const int KeystrokeMilliseconds = 100;

static std::string PointerName(int32_t command, void *argument) {
    if (!argument)
        return "0";
    for (const void *info : Session.InfoRecords)
        if (info == argument)
            return "\"info\"";
    return command == PanelGetInfo ? "\"info\"" : "\"pointer\"";
}

static void Prompt(const std::string &text) {
    FILE *out = Session.Drawing ? Session.Drawing : stderr;
    fputs(text.c_str(), out);
    fflush(out);
}

static const char *SUMBREL_WINAPI HostFetchMessageText(int32_t moduleNumber, int32_t messageId) {
    if (Session.Trace) {
        JsonObject line = JsonStart("FetchMessageText");
        JsonAdd(line, "module", moduleNumber);
        JsonAdd(line, "id", messageId);
        TraceLine(JsonFinish(line));
    }
    if (messageId < 0 || (size_t)messageId >= Session.Messages.size())
        return EmptyText;
    return Session.Messages[messageId].c_str();
}

static int32_t SUMBREL_WINAPI HostShowMessageBox(int32_t moduleNumber, uint32_t flags,
                                                 const char *helpTopic, const char *const *texts,
                                                 int32_t textCount, int32_t buttonCount) {
    std::vector<const char *> given;
    for (int32_t i = 0; texts && i < textCount && i < MaximumListed; i++)
        given.push_back(texts[i]);
    if (Session.Trace) {
        JsonObject line = JsonStart("ShowMessageBox");
        JsonAdd(line, "module", moduleNumber);
        JsonAdd(line, "flags", flags);
        JsonAddRaw(line, "help", JsonText(helpTopic));
        JsonAddRaw(line, "texts", texts ? JsonTexts(given) : "null");
        JsonAdd(line, "count", textCount);
        JsonAdd(line, "buttons", buttonCount);
        TraceLine(JsonFinish(line));
    }

    // A notice without buttons is a progress notice: the module is about to
    // work on a file, the moment --keys-at aims at. Only the first over a
    // saved screen counts; the later ones redraw it as the file goes on. A
    // person takes longer to press a key than the module leaves between its
    // polls, so after typing the host lets that much time pass: the file
    // shown meets the keys at its first read.
    if (buttonCount == 0 && flags == 0) {
        bool redraw = !Session.NoticeAwaited;
        if (!redraw)
            Session.ProgressNotices++;
        Session.NoticeAwaited = false;
        if (Session.ProgressNotices == Session.KeysAtNotice && !Session.PendingKeys.empty() &&
            redraw == Session.KeysMidFile) {
            TypeKeys(Session.PendingKeys);
            Session.PendingKeys.clear();
            PauseMilliseconds(KeystrokeMilliseconds);
        }
    }

    if (!Session.Drawing && !Session.Interactive)
        return 0;
    std::vector<std::string> shown;
    for (const char *text : given)
        shown.push_back(text ? text : "");
    Draw(DrawNotice(shown, buttonCount, flags));
    if (Session.Interactive && !NoticeButtons(shown, buttonCount, flags).empty()) {
        std::string ignored;
        Prompt("(Enter) ");
        ReadUserLine(ignored);
    }
    return 0;
}

static void RereadPanel(bool keepSelection) {
    std::vector<PanelEntry> entries;
    if (!ListCurrentDirectory(entries)) {
        fprintf(stderr, "sumbrel-host: cannot re-read the panel's directory\n");
        return;
    }
    RefreshPanel(Session.ActivePanel, entries, keepSelection);
}

static int32_t SUMBREL_WINAPI HostPanelCommand(void *panel, int32_t command, void *argument) {
    if (Session.Trace) {
        JsonObject line = JsonStart("PanelCommand");
        JsonAdd(line, "panel", (int64_t)(intptr_t)panel);
        JsonAdd(line, "command", command);
        JsonAddRaw(line, "arg", PointerName(command, argument));
        TraceLine(JsonFinish(line));
    }

    if (panel != SUMBREL_ACTIVE_PANEL) {
        ReportProblem("PanelCommand " + std::to_string(command) + " for a panel that is not " +
                      "the active one (-1)");
        return 0;
    }
    switch (command) {
    case PanelGetInfo:
        if (!argument) {
            ReportProblem("PanelGetInfo without a record to fill");
            return 0;
        }
        Session.InfoRecords.push_back(argument);
        FillPanelInfo(Session.ActivePanel, static_cast<PanelInfoRecord *>(argument));
        return 1;
    case PanelRefresh:
        RereadPanel(argument != nullptr);
        return 1;
    case PanelRedraw:
        if (Session.Drawing)
            Draw(DrawPanel(Session.ActivePanel));
        return 1;
    case PanelApplySelection:
        if (!argument ||
            !ApplyPanelSelection(Session.ActivePanel, static_cast<PanelInfoRecord *>(argument))) {
            ReportProblem("PanelApplySelection with a record whose items the host did not "
                          "hand out");
            return 0;
        }
        return 1;
    default:
        return 0;
    }
}

static ScreenHandle SUMBREL_WINAPI HostSaveScreenImage(int32_t x1, int32_t y1, int32_t x2,
                                                       int32_t y2) {
    uintptr_t handle = SaveScreen(Session.Screens);
    Session.NoticeAwaited = true;
    if (Session.Trace) {
        JsonObject line = JsonStart("SaveScreenImage");
        JsonAdd(line, "x1", x1);
        JsonAdd(line, "y1", y1);
        JsonAdd(line, "x2", x2);
        JsonAdd(line, "y2", y2);
        JsonAdd(line, "handle", (int64_t)handle);
        TraceLine(JsonFinish(line));
    }
    return reinterpret_cast<ScreenHandle>(handle);
}

static void SUMBREL_WINAPI HostRestoreScreenImage(ScreenHandle screen) {
    uintptr_t handle = reinterpret_cast<uintptr_t>(screen);
    bool restored = RestoreScreen(Session.Screens, handle);
    Session.NoticeAwaited = true;
    if (Session.Trace) {
        JsonObject line = JsonStart("RestoreScreenImage");
        JsonAdd(line, "handle", (int64_t)handle);
        if (!restored)
            JsonAddRaw(line, "error", JsonString(Session.Screens.Problems.back()));
        TraceLine(JsonFinish(line));
    }
    if (!restored)
        fprintf(stderr, "sumbrel-host: %s\n", Session.Screens.Problems.back().c_str());
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

static int32_t SUMBREL_WINAPI HostRunDialog(int32_t moduleNumber, int32_t x1, int32_t y1,
                                            int32_t x2, int32_t y2, const char *helpTopic,
                                            DialogItemRecord *items, int32_t itemCount) {
    int32_t listed = items ? std::max<int32_t>(0, std::min(itemCount, MaximumListed)) : 0;
    JsonObject line = JsonStart("RunDialog");
    JsonAdd(line, "module", moduleNumber);
    JsonAdd(line, "x1", x1);
    JsonAdd(line, "y1", y1);
    JsonAdd(line, "x2", x2);
    JsonAdd(line, "y2", y2);
    JsonAddRaw(line, "help", JsonText(helpTopic));
    JsonAddRaw(line, "items", items ? JsonDialogItems(items, listed) : "null");
    JsonAdd(line, "count", itemCount);

    // A dialog placed at -1 is centred and x2, y2 are its size.
    int64_t width = x1 < 0 ? x2 : (int64_t)x2 - x1 + 1;
    int64_t height = y1 < 0 ? y2 : (int64_t)y2 - y1 + 1;
    DialogItemRecord *field = EditField(items, listed);
    if (Session.HasName && field)
        snprintf(field->Data, DialogItemDataSize, "%s", Session.Name.c_str());
    Draw(DrawDialog(items, listed, GridSide(width), GridSide(height)));

    int32_t result = DialogCancelled;
    if (Session.HasDialogAnswer)
        result = Session.DialogAnswer;
    else if (Session.Interactive)
        result = AskDialog(items, listed);
    JsonAdd(line, "result", result);
    TraceLine(JsonFinish(line));
    return result;
}

StartupRecord MakeStartupRecord(uint32_t size) {
    StartupRecord record;
    memset(&record, 0, sizeof record);
    record.Size = size;
    snprintf(record.HostModuleName, sizeof record.HostModuleName, "sumbrel-host");
    record.ModuleNumber = Session.ModuleNumber;
    record.RunDialog = HostRunDialog;
    record.ShowMessageBox = HostShowMessageBox;
    record.FetchMessageText = HostFetchMessageText;
    record.PanelCommand = HostPanelCommand;
    record.SaveScreenImage = HostSaveScreenImage;
    record.RestoreScreenImage = HostRestoreScreenImage;
    return record;
}

void TraceLine(const std::string &line) {
    if (!Session.Trace)
        return;
    fputs((line + "\n").c_str(), Session.Trace);
    // A module that crashes still leaves every call before the crash.
    fflush(Session.Trace);
}

void Draw(const std::string &text) {
    if (!Session.Drawing)
        return;
    fputs(text.c_str(), Session.Drawing);
    fflush(Session.Drawing);
}

void ReportProblem(const std::string &problem) {
    fprintf(stderr, "sumbrel-host: %s\n", problem.c_str());
    Session.Problems.push_back(problem);
}

std::string PluginInfoTraceLine(const PluginInfoRecord &before, const PluginInfoRecord &after) {
    JsonObject line = JsonStart("GetPluginInfo");
    if (memcmp(&before, &after, sizeof before) == 0) {
        JsonAddRaw(line, "untouched", "true");
        return JsonFinish(line);
    }
    JsonAdd(line, "size", after.Size);
    std::vector<const char *> menu;
    for (int32_t i = 0; after.MenuStrings && i < after.MenuStringCount && i < MaximumListed; i++)
        menu.push_back(after.MenuStrings[i]);
    JsonAddRaw(line, "menu", after.MenuStrings ? JsonTexts(menu) : "null");
    JsonAdd(line, "count", after.MenuStringCount);
    JsonAddRaw(line, "prefix", JsonText(after.CommandPrefix));
    return JsonFinish(line);
}
