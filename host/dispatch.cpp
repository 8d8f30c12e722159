// OpenPlugin, the module's working entry point, and the main dialog.
#include <string.h>

#include "host/host.h"
#include "jobs/escape.h"
#include "jobs/jobs.h"
#include "platform/faults.h"
#include "platform/platform.h"

const int MainDialogItemCount = 7;
const int MainDialogFileNameItem = 2;
const int32_t MainDialogWidth = 66;
const int32_t MainDialogHeight = 8;

// The signature file named on the command line, once trimmed: room for the
// longest path either platform opens and its NUL.
const size_t CommandLineNameSize = 4096;

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

static uintptr_t TextData(const char *text) {
    return reinterpret_cast<uintptr_t>(text);
}

// The main dialog: a frame, the label and file-name field, a blank line and
// the verify (default), create and close buttons, which share line 5 and
// leave their places on it to the host. A button's index is its answer.
static void MakeMainDialog(DialogItemTemplate *items) {
    // clang-format off
    const DialogItemTemplate table[MainDialogItemCount] = {
    //   type              x1 y1  x2 y2 focus history        flags                    default data
        {DialogFrameItem,   3, 1, 62, 6, 0,   {nullptr},     0,                       0,      MessageTitle},
        {DialogTextItem,    5, 2,  0, 0, 0,   {nullptr},     DialogLabelFlags,        0,      MessageFileNameLabel},
        {DialogEditItem,    5, 3, 60, 0, 0,   {HistoryName}, DialogHistoryFieldFlags, 0,      TextData(DefaultSignatureFile)},
        {DialogTextItem,    5, 4,  0, 0, 0,   {nullptr},     DialogSeparatorFlags,    0,      TextData(EmptyText)},
        {DialogButtonItem,  0, 5,  0, 0, 0,   {nullptr},     DialogButtonRowFlags,    1,      MessageVerifyButton},
        {DialogButtonItem,  0, 5,  0, 0, 0,   {nullptr},     DialogButtonRowFlags,    0,      MessageCreateButton},
        {DialogButtonItem,  0, 5,  0, 0, 0,   {nullptr},     DialogButtonRowFlags,    0,      MessageCloseButton},
    };
    // clang-format on
    memcpy(items, table, sizeof table);
}

static bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// The signature file named on the command line, as a user types it after
// "md5": blanks around it are not part of the name, and one pair of double
// quotes around it, which the command line needs for a name with blanks, is
// removed. A text too long to be a name is handed on as it is, to fail as one.
static const char *CommandLineName(const char *text, char *name) {
    while (IsBlank(*text))
        text++;
    size_t length = strlen(text);
    while (length > 0 && IsBlank(text[length - 1]))
        length--;
    if (length >= 2 && text[0] == '"' && text[length - 1] == '"') {
        text++;
        length -= 2;
    }
    if (length >= CommandLineNameSize)
        return text;
    memcpy(name, text, length);
    name[length] = '\0';
    return name;
}

// The main dialog, built anew on every menu call; the job its answer
// starts reads the name typed from the dialog's edit field.
static void RunMainDialog() {
    DialogItemTemplate templates[MainDialogItemCount];
    MakeMainDialog(templates);
    DialogItemRecord items[MainDialogItemCount];
    BuildDialogItems(templates, items, MainDialogItemCount);
    int32_t chosen = HostServices.RunDialog(HostServices.ModuleNumber, DialogCentred, DialogCentred,
                                            MainDialogWidth, MainDialogHeight, HelpTopic, items,
                                            MainDialogItemCount);
    // The host leaves the field NUL-terminated; the last byte makes sure.
    char *fileName = items[MainDialogFileNameItem].Data;
    fileName[DialogItemDataSize - 1] = 0;
    if (chosen == MainDialogVerifyButton)
        VerifySignatures(fileName);
    else if (chosen == MainDialogCreateButton)
        CreateSignatures(fileName);
}

SUMBREL_EXPORT void *SUMBREL_WINAPI OpenPlugin(int32_t openFrom, intptr_t item) {
    if (PluginDisabled())
        return SUMBREL_NO_PANEL;
    AbortRequested = 0;
    // Between calls the host owns the keyboard: what the last job left in
    // the module's own copy of the input queue is the host's by now. The
    // job's first poll comes before its first read.
    ForgetConsoleInput();
    StartEscapeWatch();
    // Tests put faults into the module's system calls through the
    // environment; without SUMBREL_FAULTS every call is the system's own.
    InstallFaultsFromEnvironment();

    if (openFrom == OpenFromCommandLine) {
        const char *typed = reinterpret_cast<const char *>(item);
        char name[CommandLineNameSize];
        VerifySignatures(CommandLineName(typed ? typed : EmptyText, name));
    } else {
        RunMainDialog();
    }
    return SUMBREL_NO_PANEL;
}
