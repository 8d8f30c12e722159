// What the development host adds to the host's side: a JSON trace of every
// host operation the module calls, and keys typed while it works.
#pragma once

#include <stdio.h>
#include <string>
#include <vector>

#include "devhost/keys.h"
#include "devhost/simulated_host.h"
#include "devhost/trace.h"

struct HostSession {
    FILE *Trace; // null when not tracing
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
    JsonObject DialogLine; // the dialog's trace line until it closes
    // The process's threads and open handles around the module's entry.
    size_t ThreadsBefore, HandlesBefore, ThreadsAfter, HandlesAfter;
};

extern HostSession Session;

// Hooks the trace and the typed keys into the host's operations.
void StartSessionHooks();

void TraceLine(const std::string &line);

// The trace line for GetPluginInfo, from the record before and after the call.
std::string PluginInfoTraceLine(const PluginInfoRecord &before, const PluginInfoRecord &after);
