// Registration with the host and the notices every job shares.
#include <stdio.h>
#include <string.h>

#include "host/host.h"

StartupRecord HostServices;
int PluginDisabled;

static const char *MenuEntries[1];
static const char CommandPrefix[] = "md5";

// The progress notice on screen, if any, so that a long file can redraw it
// with its progress line; set while a job digests one file.
static int32_t ProgressLineId;
static const char *ProgressName;

// The progress line: a bar of ProgressBarCells cells and the percentage.
static const int ProgressBarCells = 40;

SUMBREL_EXPORT void SUMBREL_WINAPI SetStartupInfo(const StartupRecord *record) {
    // A short record is copied only as far as it goes; the module stays
    // disabled then and never reaches the missing operations.
    size_t length = record->Size < sizeof HostServices ? record->Size : sizeof HostServices;
    memcpy(&HostServices, record, length);
    PluginDisabled = record->Size < StartupRecordMinimumSize ? 1 : 0;
}

SUMBREL_EXPORT void SUMBREL_WINAPI GetPluginInfo(PluginInfoRecord *info) {
    if (PluginDisabled)
        return;
    info->Size = PluginInfoRecordSize;
    MenuEntries[0] = HostText(MessageTitle);
    info->MenuStrings = MenuEntries;
    info->MenuStringCount = 1;
    info->CommandPrefix = CommandPrefix;
}

const char *HostText(int32_t messageId) {
    return HostServices.FetchMessageText(HostServices.ModuleNumber, messageId);
}

void HostPanelCommand(int32_t command, void *argument) {
    HostServices.PanelCommand(SUMBREL_ACTIVE_PANEL, command, argument);
}

void ReportFileError(const char *name) {
    const char *texts[3] = {HostText(MessageFileErrorTitle), name, HostText(MessageOkButton)};
    HostServices.ShowMessageBox(HostServices.ModuleNumber, FileErrorNoticeFlags, nullptr, texts, 3,
                                1);
}

ScreenHandle ShowProgressNotice(int32_t lineMessageId, const char *name) {
    ScreenHandle screen = HostServices.SaveScreenImage(0, 0, ScreenFarEdge, ScreenFarEdge);
    const char *texts[3] = {HostText(MessageProgressTitle), HostText(lineMessageId), name};
    HostServices.ShowMessageBox(HostServices.ModuleNumber, ProgressNoticeFlags, nullptr, texts, 3,
                                0);
    ProgressLineId = lineMessageId;
    ProgressName = name;
    return screen;
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

// The same notice again, over the same saved screen, one line taller and at
// least as wide, so that it covers the notice it replaces.
void ShowProgressLine(uint64_t done, uint64_t total) {
    if (!ProgressName)
        return;
    char line[ProgressBarCells + 8];
    FormatProgressLine(done, total, line, sizeof line);
    const char *texts[4] = {HostText(MessageProgressTitle), HostText(ProgressLineId), ProgressName,
                            line};
    HostServices.ShowMessageBox(HostServices.ModuleNumber, ProgressNoticeFlags, nullptr, texts, 4,
                                0);
}

void RemoveProgressNotice(ScreenHandle screen) {
    ProgressName = nullptr;
    HostServices.RestoreScreenImage(screen);
}

void ShowCompletionNotice() {
    const char *texts[2] = {HostText(MessageTitle), HostText(MessageAllMatch)};
    HostServices.ShowMessageBox(HostServices.ModuleNumber, CompletionNoticeFlags, nullptr, texts, 2,
                                0);
}

void ShowClosingNotice(const char *const *lines, int count) {
    // A notice, not a list: the caller keeps well below this.
    const int MaximumTexts = 32;
    const char *texts[MaximumTexts];
    int used = 0;
    texts[used++] = HostText(MessageTitle);
    for (int i = 0; i < count && used < MaximumTexts; i++)
        texts[used++] = lines[i];
    HostServices.ShowMessageBox(HostServices.ModuleNumber, ClosingNoticeFlags, nullptr, texts, used,
                                0);
}
