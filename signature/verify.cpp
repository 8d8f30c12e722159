// Signature verification: every listed file whose digest changed is
// selected on the active panel, and what the panel cannot show (changed
// files elsewhere, files that could not be read, a file with no entry at
// all) is told in one closing notice. Success is announced only when every
// listed file was read and matched.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "digest/file_digest.h"
#include "host/host.h"
#include "signature/format.h"
#include "signature/signature.h"

// The closing notice names this many changed files and counts the rest, so
// that it stays a notice whatever the number of files.
const int NamedOffPanelFiles = 10;

// What one run found, for the notices at its end.
struct VerifyTally {
    int entries;    // entry lines read
    int unread;     // listed files that could not be opened or read
    int mismatches; // digests that differ, marked on the panel or not
    int offPanel;   // of those, files that are no item of the panel
    char offPanelNames[NamedOffPanelFiles][SignatureLineSize];
};

// The panel's items by exact name: a chained hash table over the host's
// array, built at the first mismatch, so that many changed files cost no
// more per file than a few. Chains run in ascending item order, which keeps
// "the first item of that name wins".
struct PanelNameIndex {
    bool built;
    uint32_t mask;   // bucket count - 1, a power of two
    int32_t *heads;  // per bucket: first item index, or -1
    int32_t *chains; // per item: next item index in its bucket, or -1
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
}

// The first panel item of exactly this name, or -1.
static int32_t FindPanelItem(PanelNameIndex *index, const PanelInfoRecord *record,
                             const char *name) {
    if (!index->built)
        BuildNameIndex(index, record);
    if (!index->heads) {
        for (int32_t i = 0; i < record->ItemCount; i++)
            if (strncmp(record->Items[i].Name, name, PanelItemNameSize) == 0)
                return i;
        return -1;
    }
    for (int32_t i = index->heads[HashName(name) & index->mask]; i >= 0; i = index->chains[i])
        if (strncmp(record->Items[i].Name, name, PanelItemNameSize) == 0)
            return i;
    return -1;
}

// The panel item that is the very file a listed name leads to, spelled
// otherwise ("./a.txt", on Windows also "A.TXT" or a short 8.3 name): the
// name its directory holds for it picks the candidate, the disk confirms.
static int32_t FindSameFile(PanelNameIndex *index, const PanelInfoRecord *record,
                            const char *name) {
    char stored[PanelItemNameSize];
    if (!NameInDirectory(name, stored, sizeof stored))
        return -1;
    int32_t item = FindPanelItem(index, record, stored);
    if (item < 0 || !SameFileAsListed(record->Items[item].Name, name))
        return -1;
    return item;
}

// The entry's digits against the computed digest of its algorithm, both of
// the same length. Several tools write the digits a-f in capitals.
static bool DigestTextsMatch(const char *computed, const SignatureEntry *entry) {
    const char *recorded = entry->DigestText;
    for (uint32_t i = 0; i < DigestTextLength(entry->Algorithm); i++) {
        uint8_t c = (uint8_t)recorded[i];
        if (c >= 'A' && c <= 'F')
            c = (uint8_t)(c - 'A' + 'a');
        if (c != (uint8_t)computed[i])
            return false;
    }
    return true;
}

static void NoteMismatch(VerifyTally *tally, PanelNameIndex *index, PanelInfoRecord *record,
                         const char *name) {
    tally->mismatches++;
    int32_t item = FindPanelItem(index, record, name);
    if (item < 0)
        item = FindSameFile(index, record, name);
    if (item >= 0) {
        record->Items[item].Flags |= ItemSelectedFlag;
        return;
    }
    if (tally->offPanel < NamedOffPanelFiles) {
        char *kept = tally->offPanelNames[tally->offPanel];
        strncpy(kept, name, SignatureLineSize - 1);
        kept[SignatureLineSize - 1] = 0;
    }
    tally->offPanel++;
}

// The text of a message followed by a count, as one notice line.
static const char *CountLine(char *buffer, size_t size, int32_t messageId, int count) {
    snprintf(buffer, size, "%s %d", HostText(messageId), count);
    return buffer;
}

// What the panel cannot show, in one notice of a bounded number of lines.
// signatureFile is null when the file failed part way: it was reported then.
static void ReportWhatThePanelCannotShow(const VerifyTally *tally, const char *signatureFile) {
    const char *lines[NamedOffPanelFiles + 5];
    int count = 0;
    char moreLine[128], unreadLine[128];
    if (tally->offPanel > 0) {
        lines[count++] = HostText(MessageChangedOffPanel);
        int named = tally->offPanel < NamedOffPanelFiles ? tally->offPanel : NamedOffPanelFiles;
        for (int i = 0; i < named; i++)
            lines[count++] = tally->offPanelNames[i];
        if (tally->offPanel > named)
            lines[count++] =
                CountLine(moreLine, sizeof moreLine, MessageMoreChanged, tally->offPanel - named);
    }
    if (tally->unread > 0)
        lines[count++] =
            CountLine(unreadLine, sizeof unreadLine, MessageUnreadCount, tally->unread);
    if (tally->entries == 0 && signatureFile) {
        lines[count++] = HostText(MessageNoEntries);
        lines[count++] = signatureFile;
    }
    if (count > 0)
        ShowClosingNotice(lines, count);
}

void VerifySignatures(const char *fileName) {
    FILE *stream = OpenSignatureFile(fileName, "r");
    if (!stream) {
        ReportFileError(fileName);
        return;
    }
    HostPanelCommand(PanelRefresh, nullptr);
    PanelInfoRecord record;
    memset(&record, 0, sizeof record);
    HostPanelCommand(PanelGetInfo, &record);

    VerifyTally tally;
    memset(&tally, 0, sizeof tally);
    PanelNameIndex index;
    memset(&index, 0, sizeof index);
    bool readFailed = false;
    char line[SignatureLineSize];
    char digestText[LongestDigestTextSize];
    while (!feof(stream)) {
        ReadSignatureLine(stream, line, sizeof line);
        if (ferror(stream)) {
            // The mismatches found so far stay: they are applied below.
            ReportFileError(fileName);
            readFailed = true;
            break;
        }
        SignatureEntry entry;
        // Empty lines and comments are no entries either.
        if (!ParseSignatureLine(line, &entry))
            continue;
        tally.entries++;

        // Each entry is checked by the algorithm its digest names, so one
        // list may mix them.
        ScreenHandle screen = ShowProgressNotice(MessageVerifyingLine, entry.Name);
        if (FileDigest(entry.Name, digestText, sizeof digestText, entry.Algorithm) != 0)
            tally.unread++;
        else if (!AbortRequested && !DigestTextsMatch(digestText, &entry))
            NoteMismatch(&tally, &index, &record, entry.Name);
        RemoveProgressNotice(screen);
        if (AbortRequested)
            break;
    }
    fclose(stream);
    FreeNameIndex(&index);

    HostPanelCommand(PanelApplySelection, &record);
    HostPanelCommand(PanelRedraw, nullptr);
    if (AbortRequested)
        return;
    if (!readFailed && tally.entries > 0 && tally.unread == 0 && tally.mismatches == 0)
        ShowCompletionNotice();
    else
        ReportWhatThePanelCannotShow(&tally, readFailed ? nullptr : fileName);
}
