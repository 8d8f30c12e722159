// The module's side of the host interface: the copied startup record, the
// disable flag, and the few ways the rest of the module talks to the host.
#pragma once

#include "host/records.h"
#include "platform/platform.h"

// Module-wide state of the host subsystem, for the life of the library.
extern StartupRecord HostServices;
extern int PluginDisabled;

SUMBREL_EXPORT void SUMBREL_WINAPI SetStartupInfo(const StartupRecord *record);
SUMBREL_EXPORT void SUMBREL_WINAPI GetPluginInfo(PluginInfoRecord *info);
SUMBREL_EXPORT void *SUMBREL_WINAPI OpenPlugin(int32_t openFrom, intptr_t item);

const char *HostText(int32_t messageId);
void HostPanelCommand(int32_t command, void *argument);

// The file error notice: one per file that cannot be opened, read or written,
// with a line below the name that says why. Escape on it stops the job
// (AbortRequested).
void ReportFileError(const char *name, FileProblem problem);

// A notice line as shown: cut to width bytes, keeping the end behind "...",
// with control characters as '?'. line holds width + 1 bytes at least.
const char *FitNoticeLine(const char *text, size_t width, char *line);

// A progress notice over a saved screen; the caller restores the screen.
ScreenHandle ShowProgressNotice(int32_t lineMessageId, const char *name);
void RemoveProgressNotice(ScreenHandle screen);
// Redraws the notice on screen with a line showing how far its file has got
// (done of total bytes); nothing when no notice is on screen.
void ShowProgressLine(uint64_t done, uint64_t total);
// That line: a bar of '#' and '.' cells and the percentage, as in
// "####.... 50%", cut to size bytes with its terminating zero.
void FormatProgressLine(uint64_t done, uint64_t total, char *line, size_t size);

// Shown at the end of a verification that read and matched every listed
// file, with how many were checked.
void ShowCompletionNotice(int filesChecked);
// Shown at the end of a verification whose findings the panel cannot show:
// a warning with the host's OK button and the given body lines.
void ShowClosingNotice(const char *const *lines, int count);

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
