// The full report of a verification, written when the user asks for it
// from the closing notice.
#include "jobs/full_report.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "host/host.h"
#include "jobs/escape.h"
#include "jobs/notices.h"
#include "platform/system_calls.h"
#include "signature/format.h"
#include "signature/list_reader.h"

void NoteFailure(FailureLog *log, uint64_t entry, uint8_t outcome) {
    if (log->lost > 0 || entry > UINT32_MAX) {
        log->lost++;
        return;
    }
    if (log->count == log->capacity) {
        uint32_t capacity = log->capacity ? log->capacity * 2 : 256;
        void *grown =
            capacity > log->capacity
                ? System.reallocate(log->records, (size_t)capacity * sizeof(FailureRecord))
                : nullptr;
        // The records kept stay good; the rest are counted, and the
        // report says how many it lacks.
        if (!grown) {
            log->lost++;
            return;
        }
        log->records = static_cast<FailureRecord *>(grown);
        log->capacity = capacity;
    }
    log->records[log->count++] = FailureRecord{(uint32_t)entry, outcome};
}

void FreeFailureLog(FailureLog *log) {
    System.release(log->records);
    memset(log, 0, sizeof *log);
}

static const char ReportSuffix[] = ".report.txt";

bool ReportNameOf(const char *listName, char *reportName, size_t size) {
    return (size_t)snprintf(reportName, size, "%s%s", listName, ReportSuffix) < size;
}

static const char *WithoutByteOrderMark(const char *line) {
    return strncmp(line, "\xEF\xBB\xBF", 3) == 0 ? line + 3 : line;
}

// What stands at the report's name: nothing yet, an earlier report (its
// first line is the report's mark, and no line of it is an entry of a
// signature list, so that neither a list nor a user's text is lost) or an
// empty file, or anything else, which is never replaced.
enum ReportTarget { ReportTargetNew, ReportTargetEarlier, ReportTargetOther, ReportTargetUnread };

static ReportTarget LookAtReportTarget(const char *reportName, FileProblem *problem) {
    ListReader reader;
    if (!OpenList(&reader, reportName, PollEscapeWhenDue)) {
        *problem = WhyNotOpened(reportName, NameInCodePage);
        return *problem == ProblemNotFound ? ReportTargetNew : ReportTargetUnread;
    }
    char line[SignatureLineSize];
    bool first = true;
    ReportTarget target = ReportTargetEarlier;
    while (!AbortRequested && ReadListLine(&reader, line, sizeof line)) {
        PollEscapeWhenDue();
        SignatureEntry entry;
        bool marked = strncmp(WithoutByteOrderMark(line), ReportMark, strlen(ReportMark)) == 0;
        // An entry of any digest, computed here or not, makes it a list.
        if ((first && !marked) || SplitSignatureLine(line, ListNamingOf(reportName), &entry)) {
            target = ReportTargetOther;
            break;
        }
        first = false;
    }
    if (ListReadFailed(&reader)) {
        *problem = ProblemCannotRead;
        target = ReportTargetUnread;
    }
    CloseList(&reader);
    return target;
}

// One of the host's texts as the report holds it: in the list's encoding.
static const char *ReportText(int32_t messageId, bool inUtf8, char *buffer, size_t size) {
    return HostTextForFile(HostText(messageId), inUtf8, buffer, size);
}

// The failing entries' lines, read again from the list in its order.
// Returns how many of the log's records found their entry.
static uint32_t WriteFailureLines(FILE *stream, ListReader *list, ListNaming naming,
                                  const FailureLog *log, bool inUtf8) {
    char line[SignatureLineSize];
    char why[512];
    uint32_t entry = 0, written = 0;
    while (written < log->count && !AbortRequested && ReadListLine(list, line, sizeof line)) {
        PollEscapeWhenDue();
        SignatureEntry parsed;
        if (!ParseSignatureLine(line, naming, &parsed))
            continue;
        const FailureRecord *record = &log->records[written];
        if (entry++ != record->entry)
            continue;
        bool changed = record->outcome == FailureChanged;
        FileProblem problem = changed ? ProblemUntold : (FileProblem)record->outcome;
        const char *reason = problem == ProblemUntold
                                 ? nullptr
                                 : ReportText(ProblemMessage(problem), inUtf8, why, sizeof why);
        WriteReportLine(stream, parsed.Name, changed, reason);
        written++;
    }
    return written;
}

static void WriteCount(FILE *stream, int32_t messageId, uint64_t count, bool inUtf8) {
    char text[512];
    fprintf(stream, "%s %llu\n", ReportText(messageId, inUtf8, text, sizeof text),
            (unsigned long long)count);
}

// The report into the new file; the number of failures it lacks.
static uint64_t WriteReport(FILE *stream, const char *listName, const FailureLog *log,
                            const ReportCounts *counts) {
    ListReader list;
    bool opened = OpenList(&list, listName, PollEscapeWhenDue);
    bool inUtf8 = opened && list.encoding != ListInBytes;
    if (inUtf8)
        fputs("\xEF\xBB\xBF", stream);
    fprintf(stream, "%s%s\n", ReportMark, listName);
    uint32_t written = 0;
    if (opened) {
        written = WriteFailureLines(stream, &list, ListNamingOf(listName), log, inUtf8);
        CloseList(&list);
    }
    // A list changed or gone since the run leaves records without a line.
    uint64_t lacking = (uint64_t)log->lost + (log->count - written);
    WriteCount(stream, MessageFilesChecked, (uint64_t)counts->checked, inUtf8);
    WriteCount(stream, MessageChangedCount, (uint64_t)counts->changed, inUtf8);
    WriteCount(stream, MessageUnreadCount, (uint64_t)counts->unreadable, inUtf8);
    if (lacking > 0)
        WriteCount(stream, MessageReportIncomplete, lacking, inUtf8);
    return lacking;
}

void WriteFullReport(const char *listName, const FailureLog *log, const ReportCounts *counts) {
    char reportName[4096 + sizeof ReportSuffix];
    if (!ReportNameOf(listName, reportName, sizeof reportName)) {
        ReportFileError(listName, ProblemNotWritten);
        return;
    }
    FileProblem problem = ProblemUntold;
    ReportTarget target = LookAtReportTarget(reportName, &problem);
    if (AbortRequested)
        return;
    if (target == ReportTargetUnread) {
        ReportFileError(reportName, problem);
        return;
    }
    if (target == ReportTargetOther) {
        const char *lines[2] = {HostText(MessageReportRefused), reportName};
        ShowClosingNotice(MessageReportRefused, lines, 2, false);
        return;
    }
    SignatureOutput output;
    if (!StartSignatureOutput(&output, reportName)) {
        ReportFileError(reportName, ProblemNotWritten);
        return;
    }
    uint64_t lacking = WriteReport(output.stream, listName, log, counts);
    bool stopped = AbortRequested != 0;
    if (!FinishSignatureOutput(&output, !stopped)) {
        if (!stopped)
            ReportFileError(reportName, ProblemNotWritten);
        return;
    }
    char lackingLine[128];
    const char *lines[3] = {HostText(MessageReportWritten), reportName, lackingLine};
    snprintf(lackingLine, sizeof lackingLine, "%s %llu", HostText(MessageReportIncomplete),
             (unsigned long long)lacking);
    ShowClosingNotice(MessageReportWritten, lines, lacking > 0 ? 3 : 2, false);
}
