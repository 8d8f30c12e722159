// A stand-in module for testing the development host: the command line it
// is opened with is a comma-separated script of host calls, so a test can
// make it break the host's contract in ways the real module never does.
//
//   save                     SaveScreenImage of the whole screen
//   restore:N                RestoreScreenImage of handle N
//   get                      PanelGetInfo into the module's record
//   select:NAME unselect:NAME   the selection bit of an item of that record
//   apply                    PanelApplySelection of that record
//   apply-copy               PanelApplySelection of a copy the host never saw
//   refresh:keep refresh:0   PanelRefresh asking to keep the selection or not
//   redraw                   PanelRedraw
//   other-panel              PanelRedraw of a panel that is not the active one
//   touch:NAME               creates the file in the current directory
//   notice:TEXT              a notice with that line
//   topic-notice:TOPIC       a notice with an OK button naming that help topic
//                            ("-": none)
//   stack                    a notice with the stack offsets SetStartupInfo,
//                            GetPluginInfo and OpenPlugin were called at
//
// Opened from the plug-in menu, it runs "stack".
//
// Arguments are %XX-decoded, so any byte can be passed.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "host/records.h"

static StartupRecord Host;
static PanelInfoRecord Info;
static std::vector<PanelItemRecord> CopiedItems;
static unsigned EntryStackOffsets[3] = {99, 99, 99};

// How far past a 16-byte boundary the caller's stack pointer stood at the
// call: the frame's canonical address is that stack pointer.
#define CALLER_STACK_OFFSET() ((unsigned)((uintptr_t)__builtin_dwarf_cfa() % 16))

SUMBREL_EXPORT void SUMBREL_WINAPI SetStartupInfo(const StartupRecord *record) {
    EntryStackOffsets[0] = CALLER_STACK_OFFSET();
    memcpy(&Host, record, sizeof Host);
}

SUMBREL_EXPORT void SUMBREL_WINAPI GetPluginInfo(PluginInfoRecord *info) {
    static const char *const menu[] = {"Scripted"};
    EntryStackOffsets[1] = CALLER_STACK_OFFSET();
    info->Size = PluginInfoRecordSize;
    info->MenuStrings = menu;
    info->MenuStringCount = 1;
    info->CommandPrefix = "script";
}

static std::string Decode(const std::string &text) {
    std::string bytes;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '%' && i + 2 < text.size()) {
            bytes += (char)strtoul(text.substr(i + 1, 2).c_str(), nullptr, 16);
            i += 2;
        } else {
            bytes += text[i];
        }
    }
    return bytes;
}

static void SetItemSelected(const std::string &name, bool selected) {
    for (int32_t i = 0; i < Info.ItemCount; i++)
        if (name == Info.Items[i].Name) {
            if (selected)
                Info.Items[i].Flags |= ItemSelectedFlag;
            else
                Info.Items[i].Flags &= ~ItemSelectedFlag;
        }
}

static void RunStep(const std::string &step) {
    size_t colon = step.find(':');
    std::string verb = step.substr(0, colon);
    std::string argument = colon == std::string::npos ? "" : Decode(step.substr(colon + 1));
    void *active = SUMBREL_ACTIVE_PANEL;
    if (verb == "save")
        Host.SaveScreenImage(0, 0, ScreenFarEdge, ScreenFarEdge);
    else if (verb == "restore")
        Host.RestoreScreenImage((ScreenHandle)(uintptr_t)strtoul(argument.c_str(), nullptr, 10));
    else if (verb == "get")
        Host.PanelCommand(active, PanelGetInfo, &Info);
    else if (verb == "select" || verb == "unselect")
        SetItemSelected(argument, verb == "select");
    else if (verb == "apply")
        Host.PanelCommand(active, PanelApplySelection, &Info);
    else if (verb == "apply-copy") {
        CopiedItems.assign(Info.Items, Info.Items + Info.ItemCount);
        PanelInfoRecord copy = Info;
        copy.Items = CopiedItems.data();
        Host.PanelCommand(active, PanelApplySelection, &copy);
    } else if (verb == "refresh")
        Host.PanelCommand(active, PanelRefresh, argument == "keep" ? &Info : nullptr);
    else if (verb == "redraw")
        Host.PanelCommand(active, PanelRedraw, nullptr);
    else if (verb == "other-panel")
        Host.PanelCommand((void *)(intptr_t)-2, PanelRedraw, nullptr);
    else if (verb == "touch") {
        FILE *file = fopen(argument.c_str(), "wb");
        if (file)
            fclose(file);
    } else if (verb == "notice") {
        const char *texts[2] = {"Scripted", argument.c_str()};
        Host.ShowMessageBox(Host.ModuleNumber, 0, "Contents", texts, 2, 0);
    } else if (verb == "topic-notice") {
        // A notice that waits, naming the help topic given ("-": none).
        const char *texts[3] = {"Scripted", "Topic", "OK"};
        Host.ShowMessageBox(Host.ModuleNumber, 0, argument == "-" ? nullptr : argument.c_str(),
                            texts, 3, 1);
    } else if (verb == "stack") {
        char offsets[40];
        snprintf(offsets, sizeof offsets, "%u %u %u", EntryStackOffsets[0], EntryStackOffsets[1],
                 EntryStackOffsets[2]);
        const char *texts[2] = {"Scripted", offsets};
        Host.ShowMessageBox(Host.ModuleNumber, 0, "Contents", texts, 2, 0);
    }
}

SUMBREL_EXPORT void *SUMBREL_WINAPI OpenPlugin(int32_t openFrom, intptr_t item) {
    EntryStackOffsets[2] = CALLER_STACK_OFFSET();
    std::string script =
        openFrom == OpenFromCommandLine ? reinterpret_cast<const char *>(item) : "stack";
    size_t start = 0;
    while (start <= script.size()) {
        size_t comma = script.find(',', start);
        if (comma == std::string::npos)
            comma = script.size();
        RunStep(script.substr(start, comma - start));
        start = comma + 1;
    }
    return SUMBREL_NO_PANEL;
}
