// OpenPlugin, the module's working entry point, and the main dialog.
#include <string.h>

#include "digest/file_digest.h"
#include "host/host.h"
#include "signature/signature.h"

const int MainDialogItemCount = 7;
const int VerifyButtonIndex = 4;
const int CreateButtonIndex = 5;

// Rebuilt on every menu call; the edit field's text is read back from it.
static DialogItemRecord DialogItems[MainDialogItemCount];

static const char HistoryName[] = "Sumbrel";
static const char DefaultSignatureFile[] = "sigfile.md5";
static const char EmptyText[] = "";
static const char HelpTopic[] = "Contents";

// Values below this are message numbers, not text pointers: no text lives
// in the lowest pages of the address space.
const uintptr_t FirstTextPointer = 2000;

void BuildDialogItems(const DialogItemTemplate *templates, DialogItemRecord *records, int count) {
    for (int i = 0; i < count; i++) {
        const DialogItemTemplate *from = &templates[i];
        DialogItemRecord *to = &records[i];
        to->Type = from->Type;
        to->X1 = from->X1;
        to->Y1 = from->Y1;
        to->X2 = from->X2;
        to->Y2 = from->Y2;
        to->Focus = from->Focus;
        to->DefaultButton = from->DefaultButton;
        to->History = from->History;
        to->Flags = from->Flags;
        const char *text = from->Data < FirstTextPointer
                               ? HostText((int32_t)from->Data)
                               : reinterpret_cast<const char *>(from->Data);
        size_t length = strlen(text);
        if (length > sizeof to->Data - 1)
            length = sizeof to->Data - 1;
        memcpy(to->Data, text, length);
        to->Data[length] = 0;
    }
}

static void MakeTemplate(DialogItemTemplate *item, uint8_t type, uint8_t x1, uint8_t y1, uint8_t x2,
                         uint8_t y2, uint32_t flags, uint8_t defaultButton, uintptr_t data) {
    memset(item, 0, sizeof *item);
    item->Type = type;
    item->X1 = x1;
    item->Y1 = y1;
    item->X2 = x2;
    item->Y2 = y2;
    item->Flags = flags;
    item->DefaultButton = defaultButton;
    item->Data = data;
}

static uintptr_t TextData(const char *text) {
    return reinterpret_cast<uintptr_t>(text);
}

// The main dialog: a frame, the label and file-name field, a blank line and
// the verify (default), create and close buttons sharing line 5.
static void MakeMainDialog(DialogItemTemplate *items) {
    enum : uint8_t { Text = 0, Frame = 3, Edit = 4, Button = 7 };
    MakeTemplate(&items[0], Frame, 3, 1, 62, 6, 0, 0, MessageTitle);
    MakeTemplate(&items[1], Text, 5, 2, 0, 0, 0x400, 0, MessageFileNameLabel);
    MakeTemplate(&items[2], Edit, 5, 3, 60, 0, 0x240000, 0, TextData(DefaultSignatureFile));
    items[2].History = HistoryName;
    MakeTemplate(&items[3], Text, 5, 4, 0, 0, 0x10200, 0, TextData(EmptyText));
    MakeTemplate(&items[4], Button, 0, 5, 0, 0, 0x4000, 1, MessageVerifyButton);
    MakeTemplate(&items[5], Button, 0, 5, 0, 0, 0x4000, 0, MessageCreateButton);
    MakeTemplate(&items[6], Button, 0, 5, 0, 0, 0x4000, 0, MessageCloseButton);
}

SUMBREL_EXPORT void *SUMBREL_WINAPI OpenPlugin(int32_t openFrom, intptr_t item) {
    if (PluginDisabled)
        return SUMBREL_NO_PANEL;
    AbortRequested = 0;
    // Between calls the host owns the keyboard: what the last job left in
    // the module's own copy of the input queue is the host's by now. The
    // job's first poll comes before its first read.
    ForgetConsoleInput();
    StartEscapeWatch();

    if (openFrom == OpenFromCommandLine) {
        const char *fileName = reinterpret_cast<const char *>(item);
        VerifySignatures(fileName ? fileName : EmptyText);
        return SUMBREL_NO_PANEL;
    }

    DialogItemTemplate templates[MainDialogItemCount];
    MakeMainDialog(templates);
    BuildDialogItems(templates, DialogItems, MainDialogItemCount);
    int32_t chosen = HostServices.RunDialog(HostServices.ModuleNumber, -1, -1, 66, 8, HelpTopic,
                                            DialogItems, MainDialogItemCount);
    // The host leaves the field NUL-terminated; the last byte makes sure.
    char *fileName = DialogItems[2].Data;
    fileName[DialogItemDataSize - 1] = 0;
    if (chosen == VerifyButtonIndex)
        VerifySignatures(fileName);
    else if (chosen == CreateButtonIndex)
        CreateSignatures(fileName);
    return SUMBREL_NO_PANEL;
}
