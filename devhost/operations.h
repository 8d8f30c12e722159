// The host operations handed to the module, and the state of the run they
// share: the panel, the saved screens, the texts, the trace and the answers
// given on the command line.
#pragma once

#include <stdio.h>
#include <string>
#include <vector>

#include "devhost/keys.h"
#include "devhost/panel.h"
#include "devhost/screens.h"
#include "host/records.h"

// Dialog answers besides an item index.
const int32_t DialogCancelled = -1;

struct HostSession {
    int32_t ModuleNumber;
    std::vector<std::string> Messages; // served by FetchMessageText
    Panel ActivePanel;
    ScreenLedger Screens;
    FILE *Trace;      // null when not tracing
    FILE *Drawing;    // null with --quiet
    bool Interactive; // notices wait for Enter and the dialog asks
    bool HasDialogAnswer;
    int32_t DialogAnswer;
    bool HasName;
    std::string Name;
    // Records the module passed to PanelGetInfo, to name them in the trace.
    std::vector<const void *> InfoRecords;
    // Keys typed while the module runs, at the progress notice of this
    // number (from 1); 0 when all keys wait before it starts.
    uint32_t KeysAtNotice;
    // Type them at that notice's first redraw with a progress line instead.
    bool KeysMidFile;
    std::vector<KeyPress> PendingKeys;
    uint32_t ProgressNotices;
    // True until a notice shows over the screen last saved or restored:
    // redraws of that notice are not new notices.
    bool NoticeAwaited = true;
    // Breaches of the host contract other than the screen images.
    std::vector<std::string> Problems;
};

extern HostSession Session;

// A startup record of the host's operations with the given size field.
StartupRecord MakeStartupRecord(uint32_t size);

void TraceLine(const std::string &line);
void Draw(const std::string &text);
// Reports a breach of the host contract on standard error and keeps it.
void ReportProblem(const std::string &problem);

// The trace line for GetPluginInfo, from the record before and after the call.
std::string PluginInfoTraceLine(const PluginInfoRecord &before, const PluginInfoRecord &after);

// The answer the dialog's items give for a typed choice: an item index,
// DialogCancelled, or -2 when the choice names nothing.
int32_t DialogChoice(const DialogItemRecord *items, int32_t count, const std::string &typed);
