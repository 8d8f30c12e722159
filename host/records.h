// The records and operations exchanged with the host file manager.
//
// Their byte layout is the host's 32-bit Windows interface; on that build the
// static_asserts at the end pin every offset the module relies on. On the
// native build pointers are 8 bytes wide: the fields, their order and their
// integer widths stay, and the layout follows from them.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef _WIN32
#define SUMBREL_WINAPI __stdcall
#define SUMBREL_EXPORT extern "C"
#else
#define SUMBREL_WINAPI
#define SUMBREL_EXPORT extern "C" __attribute__((visibility("default")))
#endif

struct DialogItemRecord;

// The host's numbered texts for this module, fetched with FetchMessageText.
enum MessageId : int32_t {
    MessageTitle = 0,          // menu entry and dialog frame
    MessageFileNameLabel = 1,  // label above the file-name field
    MessageVerifyButton = 2,   // default button of the main dialog
    MessageCreateButton = 3,   //
    MessageOkButton = 4,       // the file error notice's button
    MessageCloseButton = 5,    //
    MessageFileErrorTitle = 6, //
    MessageProgressTitle = 7,  // title of the progress, completion and closing notices
    MessageCreatingLine = 8,   // progress line while creating
    MessageVerifyingLine = 9,  // progress line while verifying
    MessageAllMatch = 10,      // completion notice after a verification
    // The closing notice of a verification, for what the panel cannot show.
    MessageChangedOffPanel = 11, // heading of the changed files not on the panel
    MessageMoreNotNamed = 12,    // after named files: the count of those not named
    MessageUnreadCount = 13,     // followed by the count of files not read
    MessageNoEntries = 14,       // followed, on the next line, by the signature file
    MessageNotReached = 15,      // heading of listed names left alone: another machine, a device
    // Creation's notices, each followed on the next line by the signature file.
    MessageNothingListed = 16,  // nothing was listed; the file stays as it was
    MessageTargetIsListed = 17, // the target holds something other than a signature list
    MessageOldListKept = 18,    // creation stopped by Escape; the old list stays
    // The file error notice's line saying why.
    MessageReasonNotFound = 19,
    MessageReasonCannotRead = 20,
    MessageReasonNotAFile = 21,
    MessageReasonNotReached = 22,
    MessageReasonNotWritten = 23,
    MessageFilesChecked = 24, // below the completion notice's line, with a count
    MessageRunDone = 25,      // progress of a run of many files: files and bytes done
    // A list read as the common digest of a digit count another shares,
    // none of whose entries matched: the digest read, on the next line, and
    // the other's list names.
    MessageDigestAssumed = 26,
    MessageNameListFor = 27,
    // More of the file error notice's lines saying why.
    MessageReasonNoMemory = 28,
    MessageReasonNameTooLong = 29,
    MessageReasonBeyondCodePage = 30,
    MessageReasonTwoFilesFit = 31,
    // Creation stopped before its first entry; followed by the signature file.
    MessageStoppedNothingListed = 32,
    // The full report of a verification the closing notice cannot name whole.
    MessageReportButton = 33,     // the closing notice's second button: write the report
    MessageReportWritten = 34,    // followed, on the next line, by the report's name
    MessageReportRefused = 35,    // the report's name is a file other than a report
    MessageChangedCount = 36,     // the report's count of changed files
    MessageReportIncomplete = 37, // count of failures the report lacks, for want of memory
    MessageMebibytes = 38,        // the unit of the bytes in the progress of a run
    MessageCount = 39
};

typedef void *ScreenHandle;

typedef const char *(SUMBREL_WINAPI *FetchMessageTextFn)(int32_t moduleNumber, int32_t messageId);
typedef int32_t(SUMBREL_WINAPI *ShowMessageBoxFn)(int32_t moduleNumber, uint32_t flags,
                                                  const char *helpTopic, const char *const *texts,
                                                  int32_t textCount, int32_t buttonCount);
typedef int32_t(SUMBREL_WINAPI *PanelCommandFn)(void *panel, int32_t command, void *argument);
typedef ScreenHandle(SUMBREL_WINAPI *SaveScreenImageFn)(int32_t x1, int32_t y1, int32_t x2,
                                                        int32_t y2);
typedef void(SUMBREL_WINAPI *RestoreScreenImageFn)(ScreenHandle screen);
typedef int32_t(SUMBREL_WINAPI *RunDialogFn)(int32_t moduleNumber, int32_t x1, int32_t y1,
                                             int32_t x2, int32_t y2, const char *helpTopic,
                                             DialogItemRecord *items, int32_t itemCount);

// Handed over by the host to SetStartupInfo; the module keeps a copy.
struct StartupRecord {
    uint32_t Size;
    char HostModuleName[260];
    int32_t ModuleNumber;
    void *HostReserved1;
    void *HostReserved2;
    RunDialogFn RunDialog;
    ShowMessageBoxFn ShowMessageBox;
    FetchMessageTextFn FetchMessageText;
    PanelCommandFn PanelCommand;
    SaveScreenImageFn SaveScreenImage;
    RestoreScreenImageFn RestoreScreenImage;
    void *HostOperations[18]; // further host operations the module never calls
};

// A startup record smaller than this leaves the module disabled.
const uint32_t StartupRecordMinimumSize = sizeof(StartupRecord);

// Filled by GetPluginInfo in storage the host provides.
struct PluginInfoRecord {
    int32_t Size;
    uint32_t HostFlags;
    const char *const *HostDiskMenuStrings;
    int32_t *HostDiskMenuNumbers;
    int32_t HostDiskMenuCount;
    const char *const *MenuStrings;
    int32_t MenuStringCount;
    const char *const *HostConfigStrings;
    int32_t HostConfigCount;
    const char *CommandPrefix;
    int32_t HostReserved;
};

const int32_t PluginInfoRecordSize = 44; // what the host's record declares

const uint32_t DirectoryAttribute = 0x10;
const uint32_t ArchiveAttribute = 0x20; // what a host lists an ordinary file with
const uint32_t ItemSelectedFlag = 0x40000000;
const size_t PanelItemNameSize = 260;

// One item of the host's panel; the host's array packs them back to back.
#pragma pack(push, 1)
struct PanelItemRecord {
    uint32_t Attributes;
    uint32_t HostFindData[10]; // times and sizes, never read
    char Name[PanelItemNameSize];
    char ShortName[14];
    uint32_t HostPackedSize[2];
    uint32_t Flags;
    uint8_t HostRest[36];
};
#pragma pack(pop)

// Filled by the host on PanelGetInfo; storage is the module's.
struct PanelInfoRecord {
    int32_t HostHeader[6];
    PanelItemRecord *Items;
    int32_t ItemCount;
    int32_t HostSelectedArray;
    int32_t HostSelectedCount;
    int32_t CurrentItem;
    uint8_t HostRest[452];
};

enum PanelCommandNumber : int32_t {
    PanelGetInfo = 1,
    PanelRefresh = 3,
    PanelRedraw = 5,
    PanelApplySelection = 10
};

// Where a host puts a saved screen's or a dialog's corner: -1 as the right
// or bottom edge of a screen image is the screen's last column or line; -1
// as a dialog's left and top places it centred, x2 and y2 being its size.
const int32_t ScreenFarEdge = -1;
const int32_t DialogCentred = -1;

// Dialog item types.
enum DialogItemType : int32_t {
    DialogTextItem = 0,
    DialogFrameItem = 3, // a frame with a title
    DialogEditItem = 4,  // its selected slot holds the history name
    DialogButtonItem = 7
};

// Dialog item flags, passed to the host as they stand.
const uint32_t DialogLabelFlags = 0x400;           // the label above the field
const uint32_t DialogHistoryFieldFlags = 0x240000; // an edit field with a history list
const uint32_t DialogSeparatorFlags = 0x10200;     // the blank line before the buttons
const uint32_t DialogButtonRowFlags = 0x4000;      // buttons the host places on their line

// RunDialog answers with the index of the button that closed the dialog,
// or this when none did.
const int32_t DialogCancelled = -1;

// The main dialog's buttons by index, as its answers.
const int32_t MainDialogVerifyButton = 4;
const int32_t MainDialogCreateButton = 5;
const int32_t MainDialogCloseButton = 6;

// Notice flags a host gives a meaning: a warning is framed apart, and a
// notice may ask for the host's own OK button instead of the module's.
const uint32_t NoticeWarningFlag = 0x1;
const uint32_t NoticeOkButtonFlag = 0x10000;

// The module's notices, by kind.
const uint32_t ProgressNoticeFlags = 0;
const uint32_t FileErrorNoticeFlags = 0x3;
const uint32_t CompletionNoticeFlags = NoticeOkButtonFlag;
// What a verification could not show on the panel: the OK button, framed as a warning.
const uint32_t ClosingNoticeFlags = NoticeOkButtonFlag | NoticeWarningFlag;
// The same with the module's own two buttons, OK and the full report.
const uint32_t ReportOfferNoticeFlags = NoticeWarningFlag;

const size_t DialogItemDataSize = 512;

struct DialogItemRecord {
    int32_t Type;
    int32_t X1, Y1, X2, Y2;
    int32_t Focus;
    union {
        int32_t Selected;
        const char *History;
    };
    uint32_t Flags;
    int32_t DefaultButton;
    char Data[DialogItemDataSize];
};

// The host's value for "no panel opened", the result of every OpenPlugin.
#define SUMBREL_NO_PANEL ((void *)(intptr_t)-1)
// The panel handle that names the active panel.
#define SUMBREL_ACTIVE_PANEL ((void *)(intptr_t)-1)

// How OpenPlugin was invoked: every value but the command line's is a menu.
const int32_t OpenFromPluginMenu = 1;
const int32_t OpenFromCommandLine = 4; // through the prefix; the item is the text after it

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(StartupRecord) == 372, "startup record");
static_assert(offsetof(StartupRecord, ModuleNumber) == 264, "module number");
static_assert(offsetof(StartupRecord, RunDialog) == 276, "RunDialog");
static_assert(offsetof(StartupRecord, ShowMessageBox) == 280, "ShowMessageBox");
static_assert(offsetof(StartupRecord, FetchMessageText) == 284, "FetchMessageText");
static_assert(offsetof(StartupRecord, PanelCommand) == 288, "PanelCommand");
static_assert(offsetof(StartupRecord, SaveScreenImage) == 292, "SaveScreenImage");
static_assert(offsetof(StartupRecord, RestoreScreenImage) == 296, "RestoreScreenImage");
static_assert(sizeof(PluginInfoRecord) == 44, "plug-in info");
static_assert(offsetof(PluginInfoRecord, MenuStrings) == 20, "menu strings");
static_assert(offsetof(PluginInfoRecord, MenuStringCount) == 24, "menu count");
static_assert(offsetof(PluginInfoRecord, CommandPrefix) == 36, "prefix");
static_assert(sizeof(PanelInfoRecord) == 496, "panel info");
static_assert(offsetof(PanelInfoRecord, Items) == 24, "items");
static_assert(offsetof(PanelInfoRecord, ItemCount) == 28, "item count");
static_assert(offsetof(PanelInfoRecord, CurrentItem) == 40, "current item");
static_assert(sizeof(PanelItemRecord) == 366, "panel item");
static_assert(offsetof(PanelItemRecord, Name) == 44, "name");
static_assert(offsetof(PanelItemRecord, ShortName) == 304, "short name");
static_assert(offsetof(PanelItemRecord, Flags) == 326, "item flags");
static_assert(sizeof(DialogItemRecord) == 548, "dialog item");
static_assert(offsetof(DialogItemRecord, Selected) == 24, "selected");
static_assert(offsetof(DialogItemRecord, Flags) == 28, "dialog flags");
static_assert(offsetof(DialogItemRecord, DefaultButton) == 32, "default button");
static_assert(offsetof(DialogItemRecord, Data) == 36, "data");
#endif
