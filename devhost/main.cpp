// sumbrel-host: a development host that loads the module and plays the host
// file manager's side of the plug-in interface.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "devhost/platform.h"
#include "host/records.h"

typedef void(SUMBREL_WINAPI *SetStartupInfoFn)(const StartupRecord *);
typedef void(SUMBREL_WINAPI *GetPluginInfoFn)(PluginInfoRecord *);
typedef void *(SUMBREL_WINAPI *OpenPluginFn)(int32_t, intptr_t);

static const int32_t HostModuleNumber = 7;
static char *MessageTexts[MessageCount + 1];
static char EmptyText[] = "";

// Reads the module's message file: the Nth quoted line is text N.
static bool LoadMessages(const char *path) {
    FILE *file = fopen(path, "rb");
    if (!file)
        return false;
    char line[1024];
    int count = 0;
    while (fgets(line, sizeof line, file) && count < MessageCount) {
        char *open = strchr(line, '"');
        char *close = strrchr(line, '"');
        if (!open || close == open)
            continue;
        *close = 0;
        MessageTexts[count++] = strdup(open + 1);
    }
    fclose(file);
    return count > 0;
}

static const char *SUMBREL_WINAPI HostFetchMessageText(int32_t, int32_t messageId) {
    if (messageId < 0 || messageId >= MessageCount || !MessageTexts[messageId])
        return EmptyText;
    return MessageTexts[messageId];
}

static int32_t SUMBREL_WINAPI HostShowMessageBox(int32_t, uint32_t, const char *,
                                                 const char *const *texts, int32_t textCount,
                                                 int32_t) {
    for (int32_t i = 0; i < textCount; i++)
        printf("%s %s\n", i == 0 ? "[" : "|", texts[i]);
    return 0;
}

static int32_t SUMBREL_WINAPI HostPanelCommand(void *, int32_t, void *) {
    return 0;
}

static ScreenHandle SUMBREL_WINAPI HostSaveScreen(int32_t, int32_t, int32_t, int32_t) {
    return (ScreenHandle)1;
}

static void SUMBREL_WINAPI HostRestoreScreen(ScreenHandle) {
}

static int32_t SUMBREL_WINAPI HostRunDialog(int32_t, int32_t, int32_t, int32_t, int32_t,
                                            const char *, DialogItemRecord *, int32_t) {
    return -1;
}

static void Usage() {
    fprintf(stderr, "usage: sumbrel-host [--module PATH] [--lang NAME]\n");
}

int main(int argc, char **argv) {
    char folder[1024];
    ProgramFolder(argv[0], folder, sizeof folder);
    char modulePath[1200];
    snprintf(modulePath, sizeof modulePath, "%s/%s", folder, ModuleFileName);
    const char *language = "Eng";
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "--module") && i + 1 < argc)
            snprintf(modulePath, sizeof modulePath, "%s", argv[++i]);
        else if (!strcmp(argv[i], "--lang") && i + 1 < argc)
            language = argv[++i];
        else {
            Usage();
            return 2;
        }
    }

    char messagePath[1200];
    snprintf(messagePath, sizeof messagePath, "%s/Sumbrel%s.lng", folder, language);
    if (!LoadMessages(messagePath)) {
        fprintf(stderr, "sumbrel-host: cannot read %s\n", messagePath);
        return 2;
    }
    void *module = LoadModule(modulePath);
    if (!module) {
        fprintf(stderr, "sumbrel-host: cannot load %s: %s\n", modulePath, ModuleLoadError());
        return 2;
    }
    SetStartupInfoFn setStartupInfo = (SetStartupInfoFn)FindExport(module, "SetStartupInfo");
    GetPluginInfoFn getPluginInfo = (GetPluginInfoFn)FindExport(module, "GetPluginInfo");
    OpenPluginFn openPlugin = (OpenPluginFn)FindExport(module, "OpenPlugin");
    if (!setStartupInfo || !getPluginInfo || !openPlugin) {
        fprintf(stderr, "sumbrel-host: %s lacks the plug-in exports\n", modulePath);
        return 2;
    }

    StartupRecord startup;
    memset(&startup, 0, sizeof startup);
    startup.Size = sizeof startup;
    startup.ModuleNumber = HostModuleNumber;
    startup.FetchMessageText = HostFetchMessageText;
    startup.ShowMessageBox = HostShowMessageBox;
    startup.PanelCommand = HostPanelCommand;
    startup.SaveScreenImage = HostSaveScreen;
    startup.RestoreScreenImage = HostRestoreScreen;
    startup.RunDialog = HostRunDialog;
    setStartupInfo(&startup);

    PluginInfoRecord info;
    memset(&info, 0, sizeof info);
    getPluginInfo(&info);
    if (info.MenuStringCount != 1 || !info.MenuStrings || !info.CommandPrefix) {
        fprintf(stderr, "sumbrel-host: the module published no menu entry\n");
        return 1;
    }
    printf("Menu entry: %s\nPrefix: %s\n", info.MenuStrings[0], info.CommandPrefix);
    return 0;
}
