// Signature verification: every listed file whose digest changed is
// selected on the active panel, and what the panel cannot show (changed
// files elsewhere, files that could not be read, a file with no entry at
// all) is told in one closing notice. Success is announced only when every
// listed file was read and matched.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "host/host.h"
#include "jobs/escape.h"
#include "jobs/file_digest.h"
#include "jobs/full_report.h"
#include "jobs/jobs.h"
#include "jobs/listed_names.h"
#include "jobs/notices.h"
#include "platform/platform.h"
#include "signature/encoding.h"
#include "signature/format.h"
#include "signature/list_reader.h"

// The closing notice names this many files in all, the changed ones first,
// and counts the rest, so that it stays a notice whatever the number of files.
const int NamedOffPanelFiles = 10;

// What one run found, for the notices at its end.
struct VerifyTally {
    int entries;    // entry lines read
    int unread;     // listed files that could not be opened or read, or were left alone
    int mismatches; // digests that differ, marked on the panel or not
    int offPanel;   // of those, files that are no item of the panel
    int notReached; // names left alone: on another machine or a device
    int matched;    // entries whose file was read and matched
    // Entries whose digest was assumed from a digit count two digests
    // share and whose file was read and differed.
    int assumedDiffered;
    DigestAlgorithm assumed;
    char offPanelNames[NamedOffPanelFiles][SignatureLineSize];
    char notReachedNames[NamedOffPanelFiles][SignatureLineSize];
};

static void KeepName(char (*names)[SignatureLineSize], int count, const char *name) {
    if (count >= NamedOffPanelFiles)
        return;
    strncpy(names[count], name, SignatureLineSize - 1);
    names[count][SignatureLineSize - 1] = 0;
}

// The panel's items by exact name: a chained hash table over the host's
// array, built at the first mismatch, so that many changed files cost no
// more per file than a few. Chains run in ascending item order, which keeps
// "the first item of that name wins".
struct PanelNameIndex {
    bool built;
    uint32_t mask;   // bucket count - 1, a power of two
    int32_t *heads;  // per bucket: first item index, or -1
    int32_t *chains; // per item: next item index in its bucket, or -1
    // The folder's names that its items do not lead back to, listed with
    // the index: until then no item's name needed it.
    StrayNames *strays;
};

static uint32_t HashName(const char *name) {
    // FNV-1a over the bytes a name comparison looks at.
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < PanelItemNameSize && name[i] != 0; i++)
        hash = (hash ^ (uint8_t)name[i]) * 16777619u;
    return hash;
}

static void BuildNameIndex(PanelNameIndex *index, const PanelInfoRecord *record) {
    index->built = true;
    index->strays = ListStrayNames(record);
    int32_t count = record->ItemCount;
    if (count <= 0 || count > (1 << 26))
        return;
    uint32_t buckets = 1;
    while (buckets < 2 * (uint32_t)count)
        buckets *= 2;
    index->heads = static_cast<int32_t *>(malloc(buckets * sizeof(int32_t)));
    index->chains = static_cast<int32_t *>(malloc((size_t)count * sizeof(int32_t)));
    if (!index->heads || !index->chains) {
        // Without memory the search stays linear: slower, still right.
        free(index->heads);
        free(index->chains);
        index->heads = index->chains = nullptr;
        return;
    }
    index->mask = buckets - 1;
    memset(index->heads, 0xFF, buckets * sizeof(int32_t));
    for (int32_t i = count - 1; i >= 0; i--) {
        uint32_t bucket = HashName(record->Items[i].Name) & index->mask;
        index->chains[i] = index->heads[bucket];
        index->heads[bucket] = i;
    }
}

static void FreeNameIndex(PanelNameIndex *index) {
    free(index->heads);
    free(index->chains);
    FreeStrayNames(index->strays);
}

// The first panel item of exactly this name after the item given (-1 to
// start), or -1.
static int32_t FindPanelItem(PanelNameIndex *index, const PanelInfoRecord *record, const char *name,
                             int32_t after = -1) {
    if (!index->built)
        BuildNameIndex(index, record);
    if (!index->heads) {
        for (int32_t i = after + 1; i < record->ItemCount; i++)
            if (strncmp(record->Items[i].Name, name, PanelItemNameSize) == 0)
                return i;
        return -1;
    }
    for (int32_t i = index->heads[HashName(name) & index->mask]; i >= 0; i = index->chains[i])
        if (i > after && strncmp(record->Items[i].Name, name, PanelItemNameSize) == 0)
            return i;
    return -1;
}

// The panel item that is the very file a listed name leads to, spelled
// otherwise ("./a.txt", on Windows also "A.TXT", a short 8.3 name, or a name
// the code page cannot hold): the name the host lists it by picks the
// candidates, the disk confirms. Items of the same name that are other
// files (a look-alike, or '?' for letters the code page lacks) are passed.
static int32_t FindSameFile(PanelNameIndex *index, const PanelInfoRecord *record, const char *name,
                            NameEncoding encoding) {
    char stored[PanelItemNameSize];
    if (!NameInDirectory(name, encoding, stored, sizeof stored))
        return -1;
    for (int32_t item = FindPanelItem(index, record, stored); item >= 0;
         item = FindPanelItem(index, record, stored, item)) {
        char opened[3 * PanelItemNameSize];
        NameEncoding openedEncoding;
        if (ItemFileName(index->strays, &record->Items[item], opened, sizeof opened,
                         &openedEncoding) &&
            SameFileAsListed(opened, openedEncoding, name, encoding))
            return item;
    }
    return -1;
}

static_assert(SignatureLineSize <= EngineNameSize, "a listed name reaches the engine whole");

// What an entry given to the engine expects, kept until its file comes back.
struct ExpectedDigest {
    DigestAlgorithm algorithm;
    uint32_t digitCount;
    bool assumed;
    char text[LongestDigestTextSize];
};

// The entry's digits against the computed digest of its algorithm, both of
// the same length. Several tools write the digits a-f in capitals.
static bool DigestTextsMatch(const char *computed, const ExpectedDigest *expected) {
    const char *recorded = expected->text;
    for (uint32_t i = 0; i < expected->digitCount; i++) {
        uint8_t c = (uint8_t)recorded[i];
        if (c >= 'A' && c <= 'F')
            c = (uint8_t)(c - 'A' + 'a');
        if (c != (uint8_t)computed[i])
            return false;
    }
    return true;
}

static bool IsSeparator(char c) {
    return c == '/' || (c == '\\' && !NamesHoldBackslashes);
}

// The panel's folder item a listed name lies below: the name's first part,
// when it is relative and has more parts ("photos/2019/a.jpg" lies below
// "photos"), so that a user sees where to look. -1 for none.
static int32_t FolderItemAbove(PanelNameIndex *index, const PanelInfoRecord *record,
                               const char *name, NameEncoding encoding) {
    while (name[0] == '.' && IsSeparator(name[1]))
        name += 2;
    size_t length = 0;
    while (name[length] != 0 && !IsSeparator(name[length]))
        length++;
    if (length == 0 || name[length] == 0 || length >= PanelItemNameSize)
        return -1;
    char part[PanelItemNameSize], shown[3 * PanelItemNameSize];
    memcpy(part, name, length);
    part[length] = 0;
    if (strcmp(part, "..") == 0)
        return -1;
    const char *listed = NameForHost(part, encoding, shown, sizeof shown);
    for (int32_t item = FindPanelItem(index, record, listed); item >= 0;
         item = FindPanelItem(index, record, listed, item))
        if (record->Items[item].Attributes & DirectoryAttribute)
            return item;
    return -1;
}

static void NoteMismatch(VerifyTally *tally, PanelNameIndex *index, PanelInfoRecord *record,
                         const char *name, NameEncoding encoding) {
    tally->mismatches++;
    int32_t item = FindPanelItem(index, record, name);
    // An item of the listed name is its file unless the folder holds names
    // that look alike in the code page.
    if (item >= 0 && (encoding != NameInCodePage || index->strays))
        item = -1;
    if (item < 0)
        item = FindSameFile(index, record, name, encoding);
    if (item >= 0) {
        record->Items[item].Flags |= ItemSelectedFlag;
        return;
    }
    // A file below a folder of the panel: its folder is selected and the
    // file itself named.
    int32_t folder = FolderItemAbove(index, record, name, encoding);
    if (folder >= 0)
        record->Items[folder].Flags |= ItemSelectedFlag;
    char shown[SignatureLineSize];
    KeepName(tally->offPanelNames, tally->offPanel,
             NameForHost(name, encoding, shown, sizeof shown));
    tally->offPanel++;
}

static bool IsAscii(const char *text) {
    for (; *text != 0; text++)
        if ((uint8_t)*text >= 0x80)
            return false;
    return true;
}

// What a marked list says of a name without asking the disk: ASCII and the
// names of an unmarked list are in the code page, the rest UTF-8.
static NameEncoding EncodingByListAlone(const char *name, ListEncoding list) {
    return list == ListInBytes || IsAscii(name) ? NameInCodePage : NameInUtf8;
}

// How a listed name is opened: a list with a byte-order mark holds UTF-8
// (a UTF-16 list is read as UTF-8). Without a mark the name is its bytes in
// the code page, as it always was; only when no file has that name and the
// bytes are well-formed UTF-8 beyond ASCII is it taken as UTF-8, which is
// what lists written on Linux hold.
static NameEncoding ListedNameEncoding(const char *name, ListEncoding list) {
    // ASCII is the same in both.
    if (!IsMultiByteUtf8(name))
        return EncodingByListAlone(name, list);
    if (list != ListInBytes || !NameHasFile(name, NameInCodePage))
        return NameInUtf8;
    return NameInCodePage;
}

// The text of a message followed by a count, as one notice line.
static const char *CountLine(char *buffer, size_t size, int32_t messageId, int count) {
    snprintf(buffer, size, "%s %d", HostText(messageId), count);
    return buffer;
}

// A heading, the first names the budget leaves room for and, past those,
// how many more. The lists share one budget, so that the notice stays within
// a console's height however many lists it holds.
static int NameLines(const char **lines, int32_t headingId, const char (*names)[SignatureLineSize],
                     int total, int *budget, char *moreLine, size_t moreSize) {
    int count = 0;
    if (total == 0)
        return 0;
    lines[count++] = HostText(headingId);
    int named = total < *budget ? total : *budget;
    *budget -= named;
    for (int i = 0; i < named; i++)
        lines[count++] = names[i];
    if (total > named)
        lines[count++] = CountLine(moreLine, moreSize, MessageMoreNotNamed, total - named);
    return count;
}

// A list read as the common one of two digests of the same length, none of
// whose entries matched, may hold the other: the notice says which digest
// was read and, when this build computes the other, how a list of it is
// named. One entry that matched shows the list was read right. Returns the
// lines added.
static int AssumedDigestLines(const char **lines, const VerifyTally *tally, char *naming,
                              size_t size) {
    if (tally->assumedDiffered == 0 || tally->matched > 0)
        return 0;
    lines[0] = HostText(MessageDigestAssumed);
    lines[1] = AlgorithmName(tally->assumed);
    DigestAlgorithm other;
    if (!OtherDigestOfLength(tally->assumed, &other) ||
        !DigestAvailable(other, DigestTextLength(other)))
        return 2;
    const DigestRecord *row = DigestRow(other);
    snprintf(naming, size, "%s: *%s%s%s", row->Name, row->Endings[0], row->ListNames[0] ? ", " : "",
             row->ListNames[0] ? row->ListNames[0] : "");
    lines[2] = HostText(MessageNameListFor);
    lines[3] = naming;
    return 4;
}

// The message of the closing notice's first line, which picks its help topic.
static int32_t FirstLineOf(const VerifyTally *tally) {
    return tally->offPanel > 0                                 ? MessageChangedOffPanel
           : tally->notReached > 0                             ? MessageNotReached
           : tally->unread > 0                                 ? MessageUnreadCount
           : tally->assumedDiffered > 0 && tally->matched == 0 ? MessageDigestAssumed
                                                               : MessageNoEntries;
}

// What the panel cannot show, in one notice of a bounded number of lines.
// signatureFile is null when the file failed part way: it was reported then.
// True when the user asked for the full report, offered when the notice
// counts files it cannot name.
static bool ReportWhatThePanelCannotShow(const VerifyTally *tally, const char *signatureFile) {
    const char *lines[NamedOffPanelFiles + 12];
    int count = 0;
    // The second heading keeps room for one name of its own.
    int reserved = tally->notReached > 0 ? 1 : 0;
    int budget = NamedOffPanelFiles - reserved;
    char moreLine[128], moreNotReached[128], unreadLine[128];
    count += NameLines(lines + count, MessageChangedOffPanel, tally->offPanelNames, tally->offPanel,
                       &budget, moreLine, sizeof moreLine);
    budget += reserved;
    count += NameLines(lines + count, MessageNotReached, tally->notReachedNames, tally->notReached,
                       &budget, moreNotReached, sizeof moreNotReached);
    int named = NamedOffPanelFiles - budget;
    if (tally->unread > 0)
        lines[count++] =
            CountLine(unreadLine, sizeof unreadLine, MessageUnreadCount, tally->unread);
    char naming[128];
    count += AssumedDigestLines(lines + count, tally, naming, sizeof naming);
    if (tally->entries == 0 && signatureFile) {
        lines[count++] = HostText(MessageNoEntries);
        lines[count++] = signatureFile;
    }
    if (count == 0)
        return false;
    // The panel shows the changed files it holds; the rest are named here
    // or counted, and a count is what the report is for.
    bool offer = tally->offPanel + tally->notReached > named || tally->unread > tally->notReached;
    return ShowClosingNotice(FirstLineOf(tally), lines, count, offer) ==
               ClosingNoticeReportAnswer &&
           offer;
}

// Everything one verification knows, passed down its steps.
struct VerificationRun {
    ListReader list;
    ListNaming naming; // what the list's file name says of its entries
    PanelInfoRecord record;
    PanelNameIndex index;
    VerifyTally tally;
    DigestEngine engine;
    RunProgress progress;
    uint64_t given;      // entries given to the engine, each tagged by its number
    FailureLog failures; // for the full report
    ExpectedDigest expected[MostFilesInFlight]; // by tag, as many as in flight
};

// A name left alone is named at the end, shown as the host can; no file is
// asked which encoding it is.
static void NoteNotReached(VerificationRun *run, const char *name) {
    char shown[SignatureLineSize];
    KeepName(run->tally.notReachedNames, run->tally.notReached,
             NameForHost(name, EncodingByListAlone(name, run->list.encoding), shown, sizeof shown));
    run->tally.notReached++;
    run->tally.unread++;
}

// Each entry is checked by the algorithm its digest names, so one list may
// mix them. A name left alone goes through the engine unread, so that it is
// told of in its place among the others.
static void GiveEntry(VerificationRun *run, const SignatureEntry *entry) {
    ExpectedDigest *expected = &run->expected[run->given % EngineFilesAtOnce(&run->engine)];
    expected->algorithm = entry->Algorithm;
    expected->digitCount = entry->DigitCount;
    expected->assumed = entry->Assumed;
    memcpy(expected->text, entry->DigestText, entry->DigitCount);
    if (entry->Assumed)
        run->tally.assumed = entry->Algorithm;
    int64_t tag = (int64_t)run->given++;
    if (!ListedNameMayBeRead(entry->Name))
        GiveUnread(&run->engine, tag, entry->Name, NameInCodePage, ProblemNotReached);
    else
        GiveFile(&run->engine, tag, entry->Name,
                 ListedNameEncoding(entry->Name, run->list.encoding), entry->Algorithm,
                 entry->DigitCount);
}

static void TakeResult(VerificationRun *run, const EngineResult *result) {
    CountRunFile(&run->progress, result->bytes);
    const ExpectedDigest *expected =
        &run->expected[(uint64_t)result->tag % EngineFilesAtOnce(&run->engine)];
    if (result->passed) {
        NoteFailure(&run->failures, (uint64_t)result->tag, ProblemNotReached);
        NoteNotReached(run, result->name);
    } else if (!result->read) {
        NoteFailure(&run->failures, (uint64_t)result->tag, (uint8_t)result->problem);
        EngineWait wait = {result->number, result->name, result->encoding, 0, -1, false};
        ShowRunProgress(&run->progress, &wait, true);
        ReportFileErrorAbout(result->name, result->encoding, result->problem);
        run->tally.unread++;
        // A file below a folder of the panel that could not be read, or is
        // gone, selects its folder, as a changed one does.
        int32_t folder = FolderItemAbove(&run->index, &run->record, result->name, result->encoding);
        if (folder >= 0)
            run->record.Items[folder].Flags |= ItemSelectedFlag;
    } else if (!DigestTextsMatch(result->text, expected)) {
        NoteFailure(&run->failures, (uint64_t)result->tag, FailureChanged);
        NoteMismatch(&run->tally, &run->index, &run->record, result->name, result->encoding);
        run->tally.assumedDiffered += expected->assumed ? 1 : 0;
    } else {
        run->tally.matched++;
    }
}

// Gives the engine the list's entries while it has room; false once the
// list has no more.
static bool GiveEntries(VerificationRun *run) {
    char line[SignatureLineSize];
    while (EngineHasRoom(&run->engine)) {
        // A list of many lines that are no entry is stopped by Escape as a
        // long file is.
        PollEscapeWhenDue();
        if (AbortRequested || !ReadListLine(&run->list, line, sizeof line) || AbortRequested)
            return false;
        SignatureEntry entry;
        // Empty lines and comments are no entries either, nor lines of a
        // digest this build does not compute.
        if (!ParseSignatureLine(line, run->naming, &entry))
            continue;
        run->tally.entries++;
        GiveEntry(run, &entry);
    }
    return true;
}

// Checks every entry of the list until its end or Escape.
static void CheckEntries(VerificationRun *run) {
    StartRunProgress(&run->progress, MessageVerifyingLine, EngineFilesAtOnce(&run->engine) == 1);
    WaitReport report = {ShowRunWait, &run->progress};
    bool more = true;
    while (!AbortRequested) {
        if (more && !(more = GiveEntries(run)))
            run->progress.filesTotal = (uint32_t)run->tally.entries;
        EngineResult result;
        if (AbortRequested || !NextResult(&run->engine, &result, &report))
            break;
        TakeResult(run, &result);
    }
    EndRunProgress(&run->progress);
}

void VerifySignatures(const char *fileName) {
    if (LeadsIntoDevices(fileName)) {
        ReportFileError(fileName, ProblemNotReached);
        return;
    }
    VerificationRun run;
    if (!OpenList(&run.list, fileName, PollEscapeWhenDue)) {
        ReportFileError(fileName, WhyNotOpened(fileName, NameInCodePage));
        return;
    }
    run.naming = ListNamingOf(fileName);
    HostPanelCommand(PanelRefresh, nullptr);
    memset(&run.record, 0, sizeof run.record);
    HostPanelCommand(PanelGetInfo, &run.record);
    memset(&run.tally, 0, sizeof run.tally);
    memset(&run.index, 0, sizeof run.index);
    run.given = 0;
    memset(&run.failures, 0, sizeof run.failures);
    char folder[4096];
    StartDigestEngine(&run.engine, CurrentFolder(folder, sizeof folder) ? folder : ".", 0);
    CheckEntries(&run);
    StopDigestEngine(&run.engine);

    // The mismatches found before a failed read stay: they are applied below.
    bool readFailed = ListReadFailed(&run.list) && !AbortRequested;
    CloseList(&run.list);
    if (readFailed)
        ReportFileError(fileName, ProblemCannotRead);
    FreeNameIndex(&run.index);

    HostPanelCommand(PanelApplySelection, &run.record);
    HostPanelCommand(PanelRedraw, nullptr);
    const VerifyTally &tally = run.tally;
    bool allMatch = !readFailed && tally.entries > 0 && tally.unread == 0 && tally.mismatches == 0;
    if (!AbortRequested && allMatch) {
        ShowCompletionNotice(tally.entries);
    } else if (!AbortRequested &&
               ReportWhatThePanelCannotShow(&tally, readFailed ? nullptr : fileName)) {
        ReportCounts counts = {tally.entries, tally.mismatches, tally.unread};
        WriteFullReport(fileName, &run.failures, &counts);
        HostPanelCommand(PanelRefresh, &run.record);
        HostPanelCommand(PanelRedraw, nullptr);
    }
    FreeFailureLog(&run.failures);
}
