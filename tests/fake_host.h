// A recording host for unit tests, built on the host's side that the
// development host uses: the module gets copies of the panel's items and the
// panel takes a selection only when the module applies it. Every call is
// noted in order; a call that breaks the host's contract, or passes other
// arguments than the module's own, is noted as Bad...
#pragma once

#include <string>
#include <vector>

#include "devhost/simulated_host.h"
#include "host/host.h"

struct HostCall {
    std::string op;                 // operation name
    int32_t number = 0;             // flags, command or message id
    std::vector<std::string> texts; // message box texts
    int32_t buttons = 0;
    void *argument = nullptr;
    std::string help; // a notice's help topic
};

// The test's view of the host; the panel and the dialog's answer are the
// simulated host's own.
struct FakeHost {
    std::vector<HostCall> calls;
    std::vector<PanelItemRecord> &items = Side.ActivePanel.Items;
    int32_t &cursor = Side.ActivePanel.Cursor;
    int32_t &dialogResult = Side.DialogAnswer;
    std::string &dialogName = Side.DialogName; // text put into the edit field, when set
    bool &setDialogName = Side.HasDialogName;
};

extern FakeHost Host;

// Resets the host and the recording and starts the module with a full
// startup record.
void StartFakeHost();
// A startup record of the fake host's operations with the given size field.
StartupRecord FakeStartupRecord(uint32_t size);

PanelItemRecord MakeItem(const char *name, bool directory = false, bool selected = false);
// The items selected on the panel.
std::vector<std::string> SelectedNames();
int CountCalls(const char *op);
// The texts of the notices shown with these flags, in the order shown.
std::vector<std::vector<std::string>> NoticesShown(uint32_t flags);
