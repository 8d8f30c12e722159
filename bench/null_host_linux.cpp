// The do-nothing host on Linux: its panel lists the current directory.
#include <dirent.h>
#include <stdio.h>
#include <string.h>

#include "bench/null_host.h"
#include "host/host.h"

std::vector<PanelItemRecord> NullHostItems;
static int SelectedCount;

static const char *SUMBREL_WINAPI NullFetchMessageText(int32_t, int32_t) {
    return "";
}

static int32_t SUMBREL_WINAPI NullShowMessageBox(int32_t, uint32_t, const char *,
                                                 const char *const *, int32_t, int32_t) {
    return 0;
}

static int32_t SUMBREL_WINAPI NullPanelCommand(void *, int32_t command, void *argument) {
    PanelInfoRecord *info = static_cast<PanelInfoRecord *>(argument);
    if (command == PanelGetInfo) {
        info->Items = NullHostItems.data();
        info->ItemCount = (int32_t)NullHostItems.size();
        info->CurrentItem = 0;
    } else if (command == PanelApplySelection) {
        SelectedCount = 0;
        for (int32_t i = 0; i < info->ItemCount; i++)
            SelectedCount += (info->Items[i].Flags & ItemSelectedFlag) != 0;
    }
    return 1;
}

static ScreenHandle SUMBREL_WINAPI NullSaveScreenImage(int32_t, int32_t, int32_t, int32_t) {
    return reinterpret_cast<ScreenHandle>(1);
}

static void SUMBREL_WINAPI NullRestoreScreenImage(ScreenHandle) {}

static PanelItemRecord Item(const char *name, uint32_t attributes) {
    PanelItemRecord item;
    memset(&item, 0, sizeof item);
    item.Attributes = attributes;
    snprintf(item.Name, sizeof item.Name, "%s", name);
    return item;
}

bool StartNullHost() {
    DIR *directory = opendir(".");
    if (!directory)
        return false;
    NullHostItems.clear();
    NullHostItems.push_back(Item("..", DirectoryAttribute));
    while (dirent *entry = readdir(directory))
        if (entry->d_type == DT_REG)
            NullHostItems.push_back(Item(entry->d_name, 0x20));
    closedir(directory);

    StartupRecord record;
    memset(&record, 0, sizeof record);
    record.Size = sizeof record;
    record.FetchMessageText = NullFetchMessageText;
    record.ShowMessageBox = NullShowMessageBox;
    record.PanelCommand = NullPanelCommand;
    record.SaveScreenImage = NullSaveScreenImage;
    record.RestoreScreenImage = NullRestoreScreenImage;
    SetStartupInfo(&record);
    return true;
}

int NullHostSelectedCount() {
    return SelectedCount;
}
