// The development host's hooks: each host operation the module calls is
// traced with the arguments as the module passed them, and the keys meant
// for the Nth progress notice are typed when it shows.
#include "devhost/operations.h"

#include <string.h>

#include "devhost/loader_and_console.h"

HostSession Session;

static const int KeystrokeMilliseconds = 100;

static std::string PointerName(int32_t command, void *argument) {
    if (!argument)
        return "0";
    for (const void *info : Session.InfoRecords)
        if (info == argument)
            return "\"info\"";
    return command == PanelGetInfo ? "\"info\"" : "\"pointer\"";
}

static void TraceFetchMessageText(int32_t module, int32_t messageId, bool) {
    if (!Session.Trace)
        return;
    JsonObject line = JsonStart("FetchMessageText");
    JsonAdd(line, "module", module);
    JsonAdd(line, "id", messageId);
    TraceLine(JsonFinish(line));
}

static void TraceShowMessageBox(const NoticeCall &call, bool) {
    if (Session.Trace) {
        JsonObject line = JsonStart("ShowMessageBox");
        JsonAdd(line, "module", call.Module);
        JsonAdd(line, "flags", call.Flags);
        JsonAddRaw(line, "help", JsonText(call.Help));
        JsonAddRaw(line, "texts", call.Texts ? JsonTexts(call.Listed) : "null");
        JsonAdd(line, "count", call.TextCount);
        JsonAdd(line, "buttons", call.Buttons);
        TraceLine(JsonFinish(line));
    }
    // A notice without buttons is a progress notice: the module is about to
    // work on a file, the moment --keys-at aims at. Only the first over a
    // saved screen counts; the later ones redraw it as the file goes on. A
    // person takes longer to press a key than the module leaves between its
    // polls, so after typing the host lets that much time pass: the file
    // shown meets the keys at its first read.
    if (call.Buttons == 0 && call.Flags == ProgressNoticeFlags) {
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
}

static void TracePanelCommand(void *panel, int32_t command, void *argument, bool kept) {
    if (Session.Trace) {
        JsonObject line = JsonStart("PanelCommand");
        JsonAdd(line, "panel", (int64_t)(intptr_t)panel);
        JsonAdd(line, "command", command);
        JsonAddRaw(line, "arg", PointerName(command, argument));
        TraceLine(JsonFinish(line));
    }
    if (kept && command == PanelGetInfo)
        Session.InfoRecords.push_back(argument);
}

static void TraceSaveScreenImage(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uintptr_t handle) {
    Session.NoticeAwaited = true;
    if (!Session.Trace)
        return;
    JsonObject line = JsonStart("SaveScreenImage");
    JsonAdd(line, "x1", x1);
    JsonAdd(line, "y1", y1);
    JsonAdd(line, "x2", x2);
    JsonAdd(line, "y2", y2);
    JsonAdd(line, "handle", (int64_t)handle);
    TraceLine(JsonFinish(line));
}

static void TraceRestoreScreenImage(uintptr_t handle, bool restored) {
    Session.NoticeAwaited = true;
    if (!Session.Trace)
        return;
    JsonObject line = JsonStart("RestoreScreenImage");
    JsonAdd(line, "handle", (int64_t)handle);
    if (!restored)
        JsonAddRaw(line, "error", JsonString(Side.Screens.Problems.back()));
    TraceLine(JsonFinish(line));
}

// The items as the module passed them, before the host fills in the field.
static void TraceRunDialog(const DialogCall &call, bool) {
    JsonObject &line = Session.DialogLine;
    line = JsonStart("RunDialog");
    JsonAdd(line, "module", call.Module);
    JsonAdd(line, "x1", call.X1);
    JsonAdd(line, "y1", call.Y1);
    JsonAdd(line, "x2", call.X2);
    JsonAdd(line, "y2", call.Y2);
    JsonAddRaw(line, "help", JsonText(call.Help));
    JsonAddRaw(line, "items", call.Items ? JsonDialogItems(call.Items, call.Listed) : "null");
    JsonAdd(line, "count", call.ItemCount);
}

static void TraceDialogClosed(const DialogCall &, int32_t result) {
    JsonAdd(Session.DialogLine, "result", result);
    TraceLine(JsonFinish(Session.DialogLine));
}

static void TraceHelpOpened(const char *topic) {
    JsonObject line = JsonStart("Help");
    JsonAddRaw(line, "topic", JsonText(topic));
    TraceLine(JsonFinish(line));
}

void StartSessionHooks() {
    Side.Hooks.HelpOpened = TraceHelpOpened;
    Side.Hooks.FetchMessageText = TraceFetchMessageText;
    Side.Hooks.ShowMessageBox = TraceShowMessageBox;
    Side.Hooks.PanelCommand = TracePanelCommand;
    Side.Hooks.SaveScreenImage = TraceSaveScreenImage;
    Side.Hooks.RestoreScreenImage = TraceRestoreScreenImage;
    Side.Hooks.RunDialog = TraceRunDialog;
    Side.Hooks.DialogClosed = TraceDialogClosed;
}

void TraceLine(const std::string &line) {
    if (!Session.Trace)
        return;
    fputs((line + "\n").c_str(), Session.Trace);
    // A module that crashes still leaves every call before the crash.
    fflush(Session.Trace);
}

std::string PluginInfoTraceLine(const PluginInfoRecord &before, const PluginInfoRecord &after) {
    JsonObject line = JsonStart("GetPluginInfo");
    if (memcmp(&before, &after, sizeof before) == 0) {
        JsonAddRaw(line, "untouched", "true");
        return JsonFinish(line);
    }
    JsonAdd(line, "size", after.Size);
    std::vector<const char *> menu;
    for (int32_t i = 0; after.MenuStrings && i < after.MenuStringCount && i < HostListLimit; i++)
        menu.push_back(after.MenuStrings[i]);
    JsonAddRaw(line, "menu", after.MenuStrings ? JsonTexts(menu) : "null");
    JsonAdd(line, "count", after.MenuStringCount);
    JsonAddRaw(line, "prefix", JsonText(after.CommandPrefix));
    return JsonFinish(line);
}
