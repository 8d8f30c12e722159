// Signature creation: one entry line per file of the active panel, by the
// algorithm the file's name asks for (".sha256", ".sha1", else MD5), so
// that the sum tools of the same name can check the list.
#include <string.h>

#include "digest/file_digest.h"
#include "host/host.h"
#include "signature/format.h"
#include "signature/signature.h"

void DigestPanelItem(PanelInfoRecord *record, int index, FILE *stream, DigestAlgorithm algorithm) {
    PanelItemRecord *item = &record->Items[index];
    if (item->Attributes & DirectoryAttribute)
        return;
    ScreenHandle screen = ShowProgressNotice(MessageCreatingLine, item->Name);
    char digestText[LongestDigestTextSize];
    if (FileDigest(item->Name, digestText, sizeof digestText, algorithm) == 0 && !AbortRequested)
        WriteSignatureEntry(stream, digestText, item->Name);
    RemoveProgressNotice(screen);
}

// The signature file being written is never listed in itself: its entry
// would carry the digest of a half-written file and never match again.
// Identity on disk decides, since the typed name may carry a directory part
// or differ in letter case.
static void DigestUnlessSignatureFile(PanelInfoRecord *record, int index, FILE *stream,
                                      const char *fileName) {
    PanelItemRecord *item = &record->Items[index];
    if (!(item->Attributes & DirectoryAttribute) && SameFileOnDisk(item->Name, fileName))
        return;
    DigestPanelItem(record, index, stream, AlgorithmForSignatureFile(fileName));
}

void CreateSignatures(const char *fileName) {
    PanelInfoRecord record;
    memset(&record, 0, sizeof record);
    HostPanelCommand(PanelGetInfo, &record);

    FILE *stream = OpenSignatureFile(fileName, "w");
    if (!stream) {
        ReportFileError(fileName);
    } else {
        WriteSignatureHeader(stream);
        int selectedCount = 0;
        for (int i = 0; i < record.ItemCount; i++) {
            PanelItemRecord *item = &record.Items[i];
            if (!(item->Flags & ItemSelectedFlag))
                continue;
            selectedCount++;
            if (AbortRequested)
                break;
            DigestUnlessSignatureFile(&record, i, stream, fileName);
            // A file left when Escape came was not dealt with: it stays
            // selected, to be signed again with the ones not reached.
            if (!AbortRequested)
                item->Flags &= ~ItemSelectedFlag;
        }

        int cursor = record.CurrentItem;
        if (selectedCount == 0 && !AbortRequested && cursor >= 0 && cursor < record.ItemCount) {
            if (strcmp(record.Items[cursor].Name, "..") != 0) {
                DigestUnlessSignatureFile(&record, cursor, stream, fileName);
            } else {
                for (int i = 0; i < record.ItemCount && !AbortRequested; i++)
                    DigestUnlessSignatureFile(&record, i, stream, fileName);
            }
        }

        // A full disk must not pass for a finished signature file.
        bool writeFailed = ferror(stream) != 0;
        if (fclose(stream) != 0)
            writeFailed = true;
        if (writeFailed)
            ReportFileError(fileName);
        HostPanelCommand(PanelApplySelection, &record);
    }
    // Non-zero: keep the selection just applied while the new file is listed.
    HostPanelCommand(PanelRefresh, &record);
    HostPanelCommand(PanelRedraw, nullptr);
}
