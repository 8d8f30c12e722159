#include "tests/fake_host.h"

#include <stdio.h>
#include <string.h>

FakeHost Host;

static const int32_t FakeModuleNumber = 42;
static const char *const FakeTexts[MessageCount] = {
    "Title",     "Label",      "Verify",   "Create",   "Ok",
    "Close",     "Error",      "Progress", "Creating", "Verifying",
    "All match", "Elsewhere:", "More:",    "Unread:",  "No entry in"};

static const char *SUMBREL_WINAPI FakeFetch(int32_t module, int32_t id) {
    if (module != FakeModuleNumber || id < 0 || id >= MessageCount)
        return "BAD";
    return FakeTexts[id];
}

static int32_t SUMBREL_WINAPI FakeMessageBox(int32_t module, uint32_t flags, const char *help,
                                             const char *const *texts, int32_t count,
                                             int32_t buttons) {
    HostCall call;
    call.op = module == FakeModuleNumber && !help ? "ShowMessageBox" : "BadMessageBox";
    call.number = (int32_t)flags;
    for (int32_t i = 0; i < count; i++)
        call.texts.push_back(texts[i]);
    call.buttons = buttons;
    Host.calls.push_back(call);
    return 0;
}

static int32_t SUMBREL_WINAPI FakePanelCommand(void *panel, int32_t command, void *argument) {
    HostCall call;
    call.op = panel == SUMBREL_ACTIVE_PANEL ? "PanelCommand" : "BadPanelCommand";
    call.number = command;
    call.argument = argument;
    Host.calls.push_back(call);
    if (command == PanelGetInfo) {
        PanelInfoRecord *info = static_cast<PanelInfoRecord *>(argument);
        info->Items = Host.items.data();
        info->ItemCount = (int32_t)Host.items.size();
        info->CurrentItem = Host.cursor;
    }
    if (command == PanelRefresh && argument == nullptr)
        for (PanelItemRecord &item : Host.items)
            item.Flags &= ~ItemSelectedFlag;
    return 0;
}

static ScreenHandle SUMBREL_WINAPI FakeSave(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    HostCall call;
    call.op = x1 == 0 && y1 == 0 && x2 == -1 && y2 == -1 ? "SaveScreenImage" : "BadSave";
    Host.calls.push_back(call);
    return reinterpret_cast<ScreenHandle>((intptr_t)++Host.screensSaved);
}

static void SUMBREL_WINAPI FakeRestore(ScreenHandle screen) {
    HostCall call;
    call.op = "RestoreScreenImage";
    call.number = (int32_t) reinterpret_cast<intptr_t>(screen);
    Host.calls.push_back(call);
    Host.screensRestored++;
}

static int32_t SUMBREL_WINAPI FakeDialog(int32_t module, int32_t x1, int32_t y1, int32_t x2,
                                         int32_t y2, const char *help, DialogItemRecord *items,
                                         int32_t count) {
    HostCall call;
    bool good = module == FakeModuleNumber && x1 == -1 && y1 == -1 && x2 == 66 && y2 == 8 && help &&
                !strcmp(help, "Contents");
    call.op = good ? "RunDialog" : "BadDialog";
    call.number = count;
    call.argument = items;
    Host.calls.push_back(call);
    if (Host.setDialogName && count > 2)
        snprintf(items[2].Data, sizeof items[2].Data, "%s", Host.dialogName.c_str());
    return Host.dialogResult;
}

StartupRecord FakeStartupRecord(uint32_t size) {
    StartupRecord record;
    memset(&record, 0, sizeof record);
    record.Size = size;
    record.ModuleNumber = FakeModuleNumber;
    record.FetchMessageText = FakeFetch;
    record.ShowMessageBox = FakeMessageBox;
    record.PanelCommand = FakePanelCommand;
    record.SaveScreenImage = FakeSave;
    record.RestoreScreenImage = FakeRestore;
    record.RunDialog = FakeDialog;
    return record;
}

void StartFakeHost() {
    Host = FakeHost();
    StartupRecord record = FakeStartupRecord(sizeof(StartupRecord));
    SetStartupInfo(&record);
}

PanelItemRecord MakeItem(const char *name, bool directory, bool selected) {
    PanelItemRecord item;
    memset(&item, 0, sizeof item);
    item.Attributes = directory ? DirectoryAttribute : 0x20;
    snprintf(item.Name, sizeof item.Name, "%s", name);
    item.Flags = selected ? ItemSelectedFlag : 0;
    return item;
}

std::vector<std::string> SelectedNames() {
    std::vector<std::string> names;
    for (const PanelItemRecord &item : Host.items)
        if (item.Flags & ItemSelectedFlag)
            names.push_back(item.Name);
    return names;
}

int CountCalls(const char *op) {
    int count = 0;
    for (const HostCall &call : Host.calls)
        count += call.op == op;
    return count;
}
