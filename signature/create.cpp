// Signature creation: one entry line per file of the active panel, by the
// algorithm the file's name asks for (".sha256", ".sha1", else MD5), so
// that the sum tools of the same name can check the list. The list is
// written to a new file that replaces the named one only when it holds
// entries and every write succeeded.
#include <string.h>

#include "digest/file_digest.h"
#include "host/host.h"
#include "signature/encoding.h"
#include "signature/format.h"
#include "signature/signature.h"

// Lines read to decide whether a file is a signature list: a list has its
// first entry near the top, after the header or a few comments.
const int LinesToFindAnEntry = 64;

// Entry lines written in this run, so that a run that listed nothing keeps
// the file that was there.
static int EntriesWritten;

// What a creation run knows of its folder: the names its items may not lead
// back to, and whether the list is written in UTF-8 because some name to be
// written is beyond the code page.
static struct {
    StrayNames *Strays;
    bool InUtf8;
} Creation;

void DigestPanelItem(PanelInfoRecord *record, int index, FILE *stream, DigestAlgorithm algorithm) {
    PanelItemRecord *item = &record->Items[index];
    if (item->Attributes & DirectoryAttribute)
        return;
    ScreenHandle screen = ShowProgressNotice(MessageCreatingLine, item->Name);
    char name[3 * PanelItemNameSize], written[3 * PanelItemNameSize];
    NameEncoding encoding;
    char digestText[LongestDigestTextSize];
    // Two files that both answer to the item's name: neither is guessed.
    if (!ItemFileName(Creation.Strays, item, name, sizeof name, &encoding)) {
        ReportFileError(item->Name);
    } else if (FileDigestOf(name, encoding, digestText, sizeof digestText, algorithm) == 0 &&
               !AbortRequested) {
        // The real name is written, in the list's one encoding.
        const char *listed = name;
        if (Creation.InUtf8 && NameInUtf8Form(name, encoding, written, sizeof written))
            listed = written;
        WriteSignatureEntry(stream, digestText, listed);
        EntriesWritten++;
    }
    RemoveProgressNotice(screen);
}

// Which items the run goes through: the selected ones, else the one under
// the cursor, or every item when the cursor is on "..". first and last
// bound them; selectedOnly says whether only selected items among them count.
struct RunItems {
    int first, last;
    bool selectedOnly;
    bool wholePanel;
};

static RunItems ItemsToList(const PanelInfoRecord *record) {
    RunItems items = {0, -1, true, false};
    for (int i = 0; i < record->ItemCount; i++)
        if (record->Items[i].Flags & ItemSelectedFlag) {
            items.last = record->ItemCount - 1;
            return items;
        }
    items.selectedOnly = false;
    int cursor = record->CurrentItem;
    if (cursor < 0 || cursor >= record->ItemCount)
        return items;
    if (strcmp(record->Items[cursor].Name, "..") == 0) {
        items.last = record->ItemCount - 1;
        items.wholePanel = true;
    } else {
        items.first = items.last = cursor;
    }
    return items;
}

// Whether a file holds an entry of any form near its top, in any of the
// encodings a list is read in.
static bool HoldsAnEntry(const char *fileName) {
    FILE *stream = OpenSignatureFile(fileName, "r");
    if (!stream)
        return false;
    bool found = false;
    ListEncoding list = ListInBytes;
    char line[SignatureLineSize];
    for (int i = 0;
         i < LinesToFindAnEntry && !found && !feof(stream) && !ferror(stream) && !AbortRequested;
         i++) {
        if (list == ListInUtf16LE || list == ListInUtf16BE)
            ReadWideSignatureLine(stream, list == ListInUtf16BE, line, sizeof line);
        else
            ReadSignatureLine(stream, line, sizeof line);
        // The byte reader stops a UTF-16 list's first line at its first zero
        // byte: the list is read again from just past its mark.
        if (i == 0 && (list = ListEncodingOf(line)) != ListInBytes && list != ListInUtf8) {
            fclose(stream);
            stream = OpenSignatureFile(fileName, "r");
            if (!stream || fgetc(stream) == EOF || fgetc(stream) == EOF)
                break;
            continue;
        }
        SignatureEntry entry;
        found = ParseSignatureLine(line, &entry);
    }
    if (stream)
        fclose(stream);
    return found;
}

// The item of the run that is the target itself, or -1. The signature file
// is never listed in itself: its entry would carry the digest of the file it
// replaces and never match again. Identity on disk decides, once per run,
// since the typed name may carry a directory part or differ in letter case.
static int TargetItem(const PanelInfoRecord *record, const RunItems &items, const char *fileName) {
    for (int i = items.first; i <= items.last; i++) {
        const PanelItemRecord *item = &record->Items[i];
        if (items.selectedOnly && !(item->Flags & ItemSelectedFlag))
            continue;
        if (!(item->Attributes & DirectoryAttribute) && SameFileOnDisk(item->Name, fileName))
            return i;
    }
    return -1;
}

// True when a name the run will write is beyond the code page.
static bool ListNeedsUtf8(const PanelInfoRecord *record, const RunItems &items) {
    for (int i = items.first; Creation.Strays && i <= items.last; i++) {
        const PanelItemRecord *item = &record->Items[i];
        if ((item->Attributes & DirectoryAttribute) ||
            (items.selectedOnly && !(item->Flags & ItemSelectedFlag)))
            continue;
        char name[3 * PanelItemNameSize];
        NameEncoding encoding;
        if (ItemFileName(Creation.Strays, item, name, sizeof name, &encoding) &&
            encoding == NameInUtf8)
            return true;
    }
    return false;
}

static void ShowNoticeAbout(int32_t messageId, const char *fileName) {
    const char *lines[2] = {HostText(messageId), fileName};
    ShowClosingNotice(lines, 2);
}

void CreateSignatures(const char *fileName) {
    PanelInfoRecord record;
    memset(&record, 0, sizeof record);
    HostPanelCommand(PanelGetInfo, &record);
    RunItems items = ItemsToList(&record);
    int target = fileName[0] != '\0' ? TargetItem(&record, items, fileName) : -1;

    SignatureOutput output;
    // An empty name names no file, not the current folder's new file.
    if (fileName[0] == '\0') {
        ReportFileError(fileName);
    } else if (target >= 0 && !HoldsAnEntry(fileName)) {
        // A target among the files to list that is no signature list is a
        // data file named by mistake: replacing it would lose its contents.
        // Escape while a long target was looked through ends the run quietly.
        if (!AbortRequested)
            ShowNoticeAbout(MessageTargetIsListed, fileName);
    } else if (!StartSignatureOutput(&output, fileName)) {
        ReportFileError(fileName);
    } else {
        Creation.Strays = ListStrayNames(&record);
        Creation.InUtf8 = ListNeedsUtf8(&record, items);
        // The mark tells every reader the names are UTF-8; md5sum -c takes
        // the line it begins as no entry, as it does the header.
        if (Creation.InUtf8)
            fputs("\xEF\xBB\xBF", output.stream);
        WriteSignatureHeader(output.stream);
        EntriesWritten = 0;
        DigestAlgorithm algorithm = AlgorithmForSignatureFile(fileName);
        // Selections are cleared only once the list has taken the target's
        // name: until then nothing has been listed. The items dealt with are
        // the selected ones before dealtWith.
        int dealtWith = items.first;
        int stoppedAt = -1; // the item Escape cut, in a run over the whole panel
        for (int i = items.first; i <= items.last; i++) {
            PanelItemRecord *item = &record.Items[i];
            if (items.selectedOnly && !(item->Flags & ItemSelectedFlag))
                continue;
            if (AbortRequested) {
                stoppedAt = i;
                break;
            }
            if (i != target)
                DigestPanelItem(&record, i, output.stream, algorithm);
            // A file left when Escape came was not dealt with: it stays
            // selected, to be signed again with the ones not reached.
            if (AbortRequested) {
                stoppedAt = i;
                break;
            }
            dealtWith = i + 1;
        }

        FreeStrayNames(Creation.Strays);
        Creation.Strays = nullptr;
        Creation.InUtf8 = false;
        bool listed = EntriesWritten > 0;
        bool written = FinishSignatureOutput(&output, fileName, listed);
        if (listed && !written) {
            ReportFileError(fileName);
        } else if (!listed) {
            ShowNoticeAbout(MessageNothingListed, fileName);
        } else {
            if (items.selectedOnly) {
                for (int i = items.first; i < dealtWith; i++)
                    record.Items[i].Flags &= ~ItemSelectedFlag;
            } else if (stoppedAt >= 0 && items.wholePanel) {
                // A run over the whole panel cut short selects the files its
                // list lacks, as a run over a selection leaves them selected.
                for (int i = stoppedAt; i <= items.last; i++) {
                    PanelItemRecord *item = &record.Items[i];
                    if (!(item->Attributes & DirectoryAttribute) && i != target)
                        item->Flags |= ItemSelectedFlag;
                }
            }
            HostPanelCommand(PanelApplySelection, &record);
        }
    }
    // Non-zero: keep the selection just applied while the new file is listed.
    HostPanelCommand(PanelRefresh, &record);
    HostPanelCommand(PanelRedraw, nullptr);
}
