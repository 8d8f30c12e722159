// A recording host for unit tests: hands the module a startup record whose
// operations note every call, and serves a panel built by the test.
#pragma once

#include <string>
#include <vector>

#include "host/host.h"

struct HostCall {
    std::string op;                 // operation name
    int32_t number = 0;             // flags, command or message id
    std::vector<std::string> texts; // message box texts
    int32_t buttons = 0;
    void *argument = nullptr;
};

struct FakeHost {
    std::vector<HostCall> calls;
    std::vector<PanelItemRecord> items;
    int32_t cursor = 0;
    int32_t dialogResult = -1;
    std::string dialogName; // text put into the edit field, when set
    bool setDialogName = false;
    int screensSaved = 0;
    int screensRestored = 0;
};

extern FakeHost Host;

// Resets the recording and starts the module with a full startup record.
void StartFakeHost();
// A startup record of the fake host's operations with the given size field.
StartupRecord FakeStartupRecord(uint32_t size);

PanelItemRecord MakeItem(const char *name, bool directory = false, bool selected = false);
std::vector<std::string> SelectedNames();
int CountCalls(const char *op);
