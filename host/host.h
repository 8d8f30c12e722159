// The module's side of the host interface: the module-wide state the
// interface makes module-wide, the entry points, and the two ways the jobs
// ask the host for something, its texts and its active panel.
#pragma once

#include "host/records.h"

// The module-wide state, for the life of the library, and all of it that
// the jobs share: the host's startup record, copied once, its Size the one
// the host gave even when too short to copy whole; and 1 once the user
// pressed Escape during a job (a poll found it, or the file error notice was
// closed by it), cleared by OpenPlugin at every job's start.
extern StartupRecord HostServices;
extern int AbortRequested;

// 1 while the startup record was too short to use, or none came: the
// module then never reaches the operations it lacks.
int PluginDisabled();

SUMBREL_EXPORT void SUMBREL_WINAPI SetStartupInfo(const StartupRecord *record);
SUMBREL_EXPORT void SUMBREL_WINAPI GetPluginInfo(PluginInfoRecord *info);
SUMBREL_EXPORT void *SUMBREL_WINAPI OpenPlugin(int32_t openFrom, intptr_t item);

const char *HostText(int32_t messageId);
void HostPanelCommand(int32_t command, void *argument);

// One dialog item as the module describes it; BuildDialogItems expands it
// into the host's record.
struct DialogItemTemplate {
    uint8_t Type;
    uint8_t X1, Y1, X2, Y2;
    uint8_t Focus;
    union {
        const char *History; // first, so that a table can name it
        int32_t Selected;
    };
    uint32_t Flags;
    uint8_t DefaultButton;
    uintptr_t Data; // a MessageId below 2000, otherwise a text pointer
};

void BuildDialogItems(const DialogItemTemplate *templates, DialogItemRecord *records, int count);
