// The notices the jobs show through the host: the file error notice, the
// progress notice with the bar of a long file, and the notices that end a
// verification.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "host/records.h"
#include "jobs/digest_engine.h"
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
// The message of the line that says why (the notice's title for a name
// with nothing more to say), which picks the notice's help topic.
int32_t ProblemMessage(FileProblem problem);
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

// The line that shows how far a long file has got (done of total bytes):
// a bar of '#' and '.' cells and the percentage, as in "####.... 50%", cut
// to size bytes with its terminating zero.
void FormatProgressLine(uint64_t done, uint64_t total, char *line, size_t size);

// The progress notice of a run of files, over one saved screen: it names
// the file the run waits for, shows its bar once it takes long, and how far
// the whole run has got. When files go by faster than anyone can read it is
// redrawn a few dozen times a second, not once per file.
struct RunProgress {
    ProgressNotice notice; // its screen is null until first drawn
    bool everyFile;        // one file at a time: each file is shown as it comes
    uint64_t numberShown;  // the file named, by its place in the run
    uint64_t startedAt;
    uint64_t drawnAt;
    bool barShown;
    uint32_t filesDone;
    uint32_t filesTotal; // 0 until the run knows it
    uint64_t bytesDone;
};
void StartRunProgress(RunProgress *run, int32_t lineMessageId, bool everyFile);
// Called while the run waits on a file. now draws it whatever the time:
// before a notice about that file.
void ShowRunProgress(RunProgress *run, const EngineWait *wait, bool now);
// The same as an engine's wait report, whose context is the RunProgress.
void ShowRunWait(void *run, const EngineWait *wait);
// A file dealt with, for the run's count.
void CountRunFile(RunProgress *run, uint64_t bytes);
void EndRunProgress(RunProgress *run);

// Shown at the end of a verification that read and matched every listed
// file, with how many were checked.
void ShowCompletionNotice(int filesChecked);
// Shown at the end of a run whose findings the panel cannot show: a
// warning with the given body lines, whose first is the text firstLineId
// (it picks the help topic). With the host's OK button alone, or, when
// offerReport, with OK and the button that asks for the full report.
// Returns the host's answer: 1 for the report's button.
int ShowClosingNotice(int32_t firstLineId, const char *const *lines, int count, bool offerReport);
const int ClosingNoticeReportAnswer = 1;

// The help topic that explains the notice whose first line (the reason line
// of a file error notice) is this message; null for a message no notice
// starts with.
const char *NoticeHelpTopic(int32_t messageId);
