// Signature verification: every listed file whose digest changed is
// selected on the active panel.
#include <string.h>

#include "digest/file_digest.h"
#include "digest/md5.h"
#include "host/host.h"
#include "signature/format.h"
#include "signature/signature.h"

// Only names of the panel's own items can be marked; the first item of that
// exact name wins.
static bool MarkPanelItem(PanelInfoRecord *record, const char *name) {
    for (int i = 0; i < record->ItemCount; i++) {
        PanelItemRecord *item = &record->Items[i];
        if (strncmp(item->Name, name, PanelItemNameSize) == 0) {
            item->Flags |= ItemSelectedFlag;
            return true;
        }
    }
    return false;
}

static bool IsCommentOrEmpty(const char *line) {
    return line[0] == 0 || line[0] == ';' || line[0] == '#';
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

    int allMatch = 1;
    char line[SignatureLineSize];
    char digestText[DigestTextSize];
    while (!feof(stream)) {
        ReadSignatureLine(stream, line, sizeof line);
        if (ferror(stream)) {
            ReportFileError(fileName);
            fclose(stream);
            return;
        }
        char *name, *recorded;
        if (IsCommentOrEmpty(line) || !ParseSignatureLine(line, &name, &recorded))
            continue;

        ScreenHandle screen = ShowProgressNotice(MessageVerifyingLine, name);
        // Only the 32 digits count: the blank before an asterisk follows them.
        if (FileDigest(name, digestText, sizeof digestText) == 0 && !AbortRequested &&
            strncmp(digestText, recorded, 32) != 0 && MarkPanelItem(&record, name))
            allMatch = 0;
        RemoveProgressNotice(screen);
        if (AbortRequested)
            break;
    }
    fclose(stream);

    HostPanelCommand(PanelApplySelection, &record);
    HostPanelCommand(PanelRedraw, nullptr);
    if (!AbortRequested && allMatch)
        ShowCompletionNotice();
}
