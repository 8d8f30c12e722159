// The notices the jobs show through the host, fitted to the console's width.
#include "jobs/notices.h"

#include <stdio.h>
#include <string.h>

#include "host/host.h"

// Columns a notice's frame, margins and shadow take from the console's
// width; the width assumed where there is no console to ask; the least
// room a line is given, however narrow the console.
const int NoticeFrameColumns = 10;
const int UnknownConsoleColumns = 80;
const int NarrowestNoticeLine = 20;

// The progress line: a bar of ProgressBarCells cells and the percentage.
static const int ProgressBarCells = 40;

size_t NoticeLineWidth() {
    int columns = ConsoleColumns();
    if (columns <= 0)
        columns = UnknownConsoleColumns;
    int width = columns - NoticeFrameColumns;
    if (width < NarrowestNoticeLine)
        width = NarrowestNoticeLine;
    return (size_t)width < NoticeLineSize - 1 ? (size_t)width : NoticeLineSize - 1;
}

const char *FitNoticeLine(const char *text, size_t width, char *line) {
    static const char Elided[] = "...";
    const size_t ElidedLength = sizeof Elided - 1;
    size_t length = strlen(text);
    size_t used = 0;
    if (length > width) {
        // The end of a name tells files apart; its start is what goes.
        // Not from the middle of a letter.
        const char *kept = text + CharacterStart(text, length - (width - ElidedLength));
        memcpy(line, Elided, ElidedLength);
        used = ElidedLength;
        text = kept;
        length = strlen(kept);
    }
    // A name may hold any byte but NUL and '/': a control character would
    // move the cursor, clear the screen or retitle the window.
    for (size_t i = 0; i < length; i++) {
        uint8_t c = (uint8_t)text[i];
        line[used++] = c < 0x20 || c == 0x7F ? '?' : (char)c;
    }
    line[used] = '\0';
    return line;
}

static const int32_t ProblemTexts[] = {0,
                                       MessageReasonNotFound,
                                       MessageReasonCannotRead,
                                       MessageReasonNotAFile,
                                       MessageReasonNotReached,
                                       MessageReasonNotWritten,
                                       MessageReasonNoMemory,
                                       MessageReasonNameTooLong,
                                       MessageReasonBeyondCodePage,
                                       MessageReasonTwoFilesFit};

int32_t ProblemMessage(FileProblem problem) {
    return problem == ProblemUntold ? MessageFileErrorTitle : ProblemTexts[problem];
}

// The help topic of each notice, by the message of its first line: F1 on
// the notice opens the help where that notice is explained.
static const struct {
    int32_t messageId;
    const char *topic;
} NoticeTopics[] = {
    {MessageFileErrorTitle, "FileError"}, // a name without a reason line
    {MessageReasonNotFound, "NotFound"},       {MessageReasonCannotRead, "CannotRead"},
    {MessageReasonNotAFile, "NotAFile"},       {MessageReasonNotReached, "NotReached"},
    {MessageReasonNotWritten, "NotWritten"},   {MessageCreatingLine, "Progress"},
    {MessageVerifyingLine, "Progress"},        {MessageAllMatch, "AllMatch"},
    {MessageChangedOffPanel, "ClosingNotice"}, {MessageNotReached, "ClosingNotice"},
    {MessageUnreadCount, "ClosingNotice"},     {MessageNoEntries, "NoEntries"},
    {MessageNothingListed, "NothingListed"},   {MessageTargetIsListed, "NotAList"},
    {MessageOldListKept, "OldListKept"},       {MessageReportWritten, "FullReport"},
    {MessageReportRefused, "ReportRefused"},   {MessageReasonNoMemory, "FileError"},
    {MessageReasonNameTooLong, "FileError"},   {MessageReasonBeyondCodePage, "FileError"},
    {MessageReasonTwoFilesFit, "FileError"},   {MessageStoppedNothingListed, "Escape"},
    {MessageDigestAssumed, "ClosingNotice"},
};

const char *NoticeHelpTopic(int32_t messageId) {
    for (const auto &entry : NoticeTopics)
        if (entry.messageId == messageId)
            return entry.topic;
    return nullptr;
}

void ReportFileError(const char *name, FileProblem problem) {
    char line[NoticeLineSize];
    const char *texts[4] = {HostText(MessageFileErrorTitle),
                            FitNoticeLine(name, NoticeLineWidth(), line)};
    int count = 2;
    if (problem != ProblemUntold)
        texts[count++] = HostText(ProblemTexts[problem]);
    texts[count++] = HostText(MessageOkButton);
    // Escape on the notice (the host answers -1) stops the job as it does
    // during a read: in a real host the notice itself takes that key.
    if (HostServices.ShowMessageBox(HostServices.ModuleNumber, FileErrorNoticeFlags,
                                    NoticeHelpTopic(ProblemMessage(problem)), texts, count,
                                    1) == -1)
        AbortRequested = 1;
}

void ReportFileErrorAbout(const char *name, NameEncoding encoding, FileProblem problem) {
    char shown[4096];
    ReportFileError(NameForHost(name, encoding, shown, sizeof shown), problem);
}

void ShowProgressNotice(ProgressNotice *notice, int32_t lineMessageId, const char *name) {
    notice->screen = HostServices.SaveScreenImage(0, 0, ScreenFarEdge, ScreenFarEdge);
    notice->lineMessageId = lineMessageId;
    FitNoticeLine(name, NoticeLineWidth(), notice->name);
    const char *texts[3] = {HostText(MessageProgressTitle), HostText(lineMessageId), notice->name};
    HostServices.ShowMessageBox(HostServices.ModuleNumber, ProgressNoticeFlags,
                                NoticeHelpTopic(lineMessageId), texts, 3, 0);
}

void RemoveProgressNotice(const ProgressNotice *notice) {
    HostServices.RestoreScreenImage(notice->screen);
}

void FormatProgressLine(uint64_t done, uint64_t total, char *line, size_t size) {
    if (done > total)
        done = total; // a file that grew while it was read
    int percent = total ? (int)(done * 100 / total) : 100;
    int filled = total ? (int)(done * ProgressBarCells / total) : ProgressBarCells;
    char bar[ProgressBarCells + 1];
    for (int i = 0; i < ProgressBarCells; i++)
        bar[i] = i < filled ? '#' : '.';
    bar[ProgressBarCells] = 0;
    snprintf(line, size, "%s %3d%%", bar, percent);
}

// How often a run's notice is redrawn at most, and its bar.
static const uint64_t RunRedrawInterval = 40 * 1000;
static const uint64_t BarRedrawInterval = 250 * 1000;
// A run of several files tells how far it has got once it lasts this long.
static const uint64_t RunLineDelay = 1000 * 1000;

void StartRunProgress(RunProgress *run, int32_t lineMessageId, bool everyFile) {
    memset(run, 0, sizeof *run);
    run->everyFile = everyFile;
    run->startedAt = MonotonicMicroseconds();
    run->notice.lineMessageId = lineMessageId;
    run->numberShown = UINT64_MAX;
}

// "Done: 120/2000, 240 MiB": the files dealt with, of all once the run
// knows them, and the bytes digested once they make a MiB.
static void FormatRunLine(const RunProgress *run, char *line, size_t size) {
    char total[24] = "", bytes[64] = "";
    if (run->filesTotal > 0)
        snprintf(total, sizeof total, "/%u", run->filesTotal);
    if (run->bytesDone >= 1 << 20)
        snprintf(bytes, sizeof bytes, ", %llu %s", (unsigned long long)(run->bytesDone >> 20),
                 HostText(MessageMebibytes));
    snprintf(line, size, "%s %u%s%s", HostText(MessageRunDone), run->filesDone, total, bytes);
}

// Another file's notice goes over a screen saved afresh; a file's bar
// grows its own notice over the same saved screen.
static void DrawRunProgress(RunProgress *run, bool other, const char *name, const char *bar) {
    ProgressNotice *notice = &run->notice;
    if (other) {
        if (notice->screen)
            HostServices.RestoreScreenImage(notice->screen);
        notice->screen = HostServices.SaveScreenImage(0, 0, ScreenFarEdge, ScreenFarEdge);
        FitNoticeLine(name, NoticeLineWidth(), notice->name);
    }
    char runLine[160];
    bool several = run->filesTotal > 1 || (run->filesTotal == 0 && run->filesDone > 0);
    bool runShown = several && MonotonicMicroseconds() - run->startedAt >= RunLineDelay;
    if (runShown)
        FormatRunLine(run, runLine, sizeof runLine);
    const char *texts[5] = {HostText(MessageProgressTitle), HostText(notice->lineMessageId),
                            notice->name};
    int count = 3;
    if (bar)
        texts[count++] = bar;
    if (runShown)
        texts[count++] = runLine;
    HostServices.ShowMessageBox(HostServices.ModuleNumber, ProgressNoticeFlags,
                                NoticeHelpTopic(notice->lineMessageId), texts, count, 0);
}

void ShowRunProgress(RunProgress *run, const EngineWait *wait, bool now) {
    bool other = wait->number != run->numberShown;
    bool bar = wait->slow && wait->total > 0;
    // A file's name stays up until another is waited for or its bar is due.
    if (!other && !bar)
        return;
    uint64_t clock = MonotonicMicroseconds();
    uint64_t interval = !other ? BarRedrawInterval : run->everyFile ? 0 : RunRedrawInterval;
    if (!now && run->notice.screen && clock - run->drawnAt < interval)
        return;
    char line[64];
    if (bar)
        FormatProgressLine(wait->done, (uint64_t)wait->total, line, sizeof line);
    char shown[EngineNameSize];
    DrawRunProgress(run, other, NameForHost(wait->name, wait->encoding, shown, sizeof shown),
                    bar ? line : nullptr);
    run->numberShown = wait->number;
    run->drawnAt = clock;
}

void ShowRunWait(void *run, const EngineWait *wait) {
    ShowRunProgress(static_cast<RunProgress *>(run), wait, false);
}

void CountRunFile(RunProgress *run, uint64_t bytes) {
    run->filesDone++;
    run->bytesDone += bytes;
}

void EndRunProgress(RunProgress *run) {
    if (run->notice.screen)
        HostServices.RestoreScreenImage(run->notice.screen);
    run->notice.screen = nullptr;
}

void ShowCompletionNotice(int filesChecked) {
    char count[128];
    snprintf(count, sizeof count, "%s %d", HostText(MessageFilesChecked), filesChecked);
    const char *texts[3] = {HostText(MessageProgressTitle), HostText(MessageAllMatch), count};
    HostServices.ShowMessageBox(HostServices.ModuleNumber, CompletionNoticeFlags,
                                NoticeHelpTopic(MessageAllMatch), texts, 3, 0);
}

int ShowClosingNotice(int32_t firstLineId, const char *const *lines, int count, bool offerReport) {
    // A notice, not a list: the caller keeps well below this.
    const int MaximumTexts = 32;
    const char *texts[MaximumTexts];
    char fitted[MaximumTexts][NoticeLineSize];
    size_t width = NoticeLineWidth();
    int used = 0;
    texts[used++] = HostText(MessageProgressTitle);
    for (int i = 0; i < count && used < MaximumTexts - 2; i++, used++)
        texts[used] = FitNoticeLine(lines[i], width, fitted[used]);
    const char *topic = NoticeHelpTopic(firstLineId);
    if (!offerReport)
        return HostServices.ShowMessageBox(HostServices.ModuleNumber, ClosingNoticeFlags, topic,
                                           texts, used, 0);
    // The module's own buttons, the first of which closes it as the
    // host's OK would.
    texts[used++] = HostText(MessageOkButton);
    texts[used++] = HostText(MessageReportButton);
    return HostServices.ShowMessageBox(HostServices.ModuleNumber, ReportOfferNoticeFlags, topic,
                                       texts, used, 2);
}
