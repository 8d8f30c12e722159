// The recording host: hooks on the host's side that note each call.
#include "tests/fake_host.h"

#include "devhost/loader_and_console.h"
#include "devhost/messages.h"

#include <stdio.h>
#include <string.h>

#include "jobs/escape.h"

FakeHost Host;

static const int32_t FakeModuleNumber = 42;
static const char *const FakeTexts[MessageCount] = {
    "Title",       "Label",           "Verify",       "Create",      "Ok",
    "Close",       "Error",           "Progress",     "Creating",    "Verifying",
    "All match",   "Elsewhere:",      "More:",        "Unread:",     "No entry in",
    "Not read:",   "Nothing listed:", "Not written:", "Kept:",       "Not found",
    "Cannot read", "Not a file",      "Elsewhere",    "Not written", "Checked:",
    "Done:",       "Read as:",        "Other:",       "No memory",   "Too long",
    "Code page",   "Two files",       "Stopped:",     "Report",      "Written to:",
    "Refused:",    "Changed:",        "Lacking:",     "MiB"};

static void Note(const char *op, int32_t number, void *argument = nullptr) {
    HostCall call;
    call.op = op;
    call.number = number;
    call.argument = argument;
    Host.calls.push_back(call);
}

static void NoteMessageBox(const NoticeCall &notice, bool kept) {
    Note(kept ? "ShowMessageBox" : "BadMessageBox", (int32_t)notice.Flags);
    HostCall &call = Host.calls.back();
    for (const char *text : notice.Listed)
        call.texts.push_back(text ? text : "(null)");
    call.buttons = notice.Buttons;
    call.help = notice.Help ? notice.Help : "";
}

static void NotePanelCommand(void *, int32_t command, void *argument, bool kept) {
    Note(kept ? "PanelCommand" : "BadPanelCommand", command, argument);
}

static void NoteSave(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uintptr_t) {
    bool wholeScreen = x1 == 0 && y1 == 0 && x2 == ScreenFarEdge && y2 == ScreenFarEdge;
    Note(wholeScreen ? "SaveScreenImage" : "BadSave", 0);
}

static void NoteRestore(uintptr_t handle, bool kept) {
    Note(kept ? "RestoreScreenImage" : "BadRestore", (int32_t)handle);
}

// The main dialog is the only one: centred, 66 by 8, with help "Contents".
static void NoteDialog(const DialogCall &dialog, bool kept) {
    bool good = kept && dialog.X1 == DialogCentred && dialog.Y1 == DialogCentred &&
                dialog.X2 == 66 && dialog.Y2 == 8 && dialog.Help &&
                !strcmp(dialog.Help, "Contents");
    Note(good ? "RunDialog" : "BadDialog", dialog.ItemCount, dialog.Items);
}

StartupRecord FakeStartupRecord(uint32_t size) {
    StartupRecord record = HostStartupRecord(size);
    record.ModuleNumber = FakeModuleNumber;
    return record;
}

void StartFakeHost() {
    Side = SimulatedHost();
    Side.ModuleNumber = FakeModuleNumber;
    Side.Messages.assign(FakeTexts, FakeTexts + sizeof FakeTexts / sizeof FakeTexts[0]);
    Side.UnknownText = "BAD";
    // Every notice names a topic of the help file beside the tests.
    static std::vector<std::string> topics;
    if (topics.empty())
        LoadHelpTopics(ProgramFolder() + "/SumbrelEng.hlf", topics);
    Side.HelpTopics = topics;
    Side.Hooks.ShowMessageBox = NoteMessageBox;
    Side.Hooks.PanelCommand = NotePanelCommand;
    Side.Hooks.SaveScreenImage = NoteSave;
    Side.Hooks.RestoreScreenImage = NoteRestore;
    Side.Hooks.RunDialog = NoteDialog;
    Host.calls.clear();
    StartupRecord record = FakeStartupRecord(sizeof(StartupRecord));
    SetStartupInfo(&record);
    // Each test is a job of its own: its first digest polls before it reads,
    // whatever digest an earlier test made a moment ago.
    StartEscapeWatch();
}

PanelItemRecord MakeItem(const char *name, bool directory, bool selected) {
    PanelItemRecord item;
    memset(&item, 0, sizeof item);
    item.Attributes = directory ? DirectoryAttribute : ArchiveAttribute;
    snprintf(item.Name, sizeof item.Name, "%s", name);
    item.Flags = selected ? ItemSelectedFlag : 0;
    return item;
}

std::vector<std::string> SelectedNames() {
    return SelectedNames(Side.ActivePanel);
}

int CountCalls(const char *op) {
    int count = 0;
    for (const HostCall &call : Host.calls)
        count += call.op == op;
    return count;
}

std::vector<std::vector<std::string>> NoticesShown(uint32_t flags) {
    std::vector<std::vector<std::string>> shown;
    for (const HostCall &call : Host.calls)
        if (call.op == "ShowMessageBox" && (uint32_t)call.number == flags)
            shown.push_back(call.texts);
    return shown;
}
