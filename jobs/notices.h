// The notices the jobs show through the host: the file error notice, the
// progress notice with the bar of a long file, and the notices that end a
// verification.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "host/records.h"
#include "platform/platform.h"

// A notice line as shown: at most the widest console a host draws on.
const size_t NoticeLineSize = 512;

// The width a notice line has on this console, in bytes.
size_t NoticeLineWidth();

// A notice line as shown: cut to width bytes, keeping the end behind "...",
// with control characters as '?'. line holds width + 1 bytes at least.
const char *FitNoticeLine(const char *text, size_t width, char *line);

// The file error notice: one per file that cannot be opened, read or written,
// with a line below the name that says why. Escape on it stops the job
// (AbortRequested). The second form shows the name as the host can.
void ReportFileError(const char *name, FileProblem problem);
void ReportFileErrorAbout(const char *name, NameEncoding encoding, FileProblem problem);

// A progress notice over a saved screen, which RemoveProgressNotice puts
// back; the job keeps it while it deals with the file named.
struct ProgressNotice {
    ScreenHandle screen;
    int32_t lineMessageId;
    char name[NoticeLineSize]; // as shown
};
void ShowProgressNotice(ProgressNotice *notice, int32_t lineMessageId, const char *name);
void RemoveProgressNotice(const ProgressNotice *notice);

// Redraws the notice with a line showing how far its file has got (done of
// total bytes): the file digest's progress report while a notice is up.
void ShowProgressLine(void *notice, uint64_t done, uint64_t total);
// That line: a bar of '#' and '.' cells and the percentage, as in
// "####.... 50%", cut to size bytes with its terminating zero.
void FormatProgressLine(uint64_t done, uint64_t total, char *line, size_t size);

// Shown at the end of a verification that read and matched every listed
// file, with how many were checked.
void ShowCompletionNotice(int filesChecked);
// Shown at the end of a run whose findings the panel cannot show: a
// warning with the host's OK button and the given body lines.
void ShowClosingNotice(const char *const *lines, int count);
