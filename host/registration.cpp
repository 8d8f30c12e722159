// Registration with the host: the startup record, the menu entry and the
// command prefix, and the module's two ways of asking the host for something
// every job needs, its texts and its active panel.
#include <string.h>

#include "host/host.h"

StartupRecord HostServices;
int AbortRequested;

// The host reads the menu entries after GetPluginInfo has returned.
static const char *MenuEntries[1];
static const char CommandPrefix[] = "md5";

SUMBREL_EXPORT void SUMBREL_WINAPI SetStartupInfo(const StartupRecord *record) {
    // A short record is copied only as far as it goes; the module stays
    // disabled then and never reaches the missing operations.
    size_t length = record->Size < sizeof HostServices ? record->Size : sizeof HostServices;
    memcpy(&HostServices, record, length);
    HostServices.Size = record->Size;
}

int PluginDisabled() {
    return HostServices.Size < StartupRecordMinimumSize ? 1 : 0;
}

SUMBREL_EXPORT void SUMBREL_WINAPI GetPluginInfo(PluginInfoRecord *info) {
    if (PluginDisabled())
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
