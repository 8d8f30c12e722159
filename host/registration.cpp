// Registration with the host and the notices every job shares.
#include <string.h>

#include "host/host.h"

StartupRecord HostServices;
int PluginDisabled;

static const char *MenuEntries[1];
static const char CommandPrefix[] = "md5";

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
    return screen;
}

void RemoveProgressNotice(ScreenHandle screen) {
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
