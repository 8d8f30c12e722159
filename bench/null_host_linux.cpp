// The do-nothing host on Linux: the host's side with nothing added, its
// panel listing the current directory. It draws nothing and records nothing.
#include <dirent.h>
#include <stdio.h>
#include <string.h>

#include "bench/null_host.h"
#include "devhost/simulated_host.h"
#include "host/host.h"

std::vector<PanelItemRecord> &NullHostItems = Side.ActivePanel.Items;

// One job at a time: the arrays handed to the last job are done with.
static void ForgetEarlierJobs(void *, int32_t command, void *, bool) {
    if (command == PanelGetInfo)
        Side.ActivePanel.HandedOut.clear();
}

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
    Side = SimulatedHost();
    NullHostItems.push_back(Item("..", DirectoryAttribute));
    while (dirent *entry = readdir(directory))
        if (entry->d_type == DT_REG)
            NullHostItems.push_back(Item(entry->d_name, ArchiveAttribute));
    closedir(directory);
    Side.Hooks.PanelCommand = ForgetEarlierJobs;

    StartupRecord record = HostStartupRecord(sizeof(StartupRecord));
    SetStartupInfo(&record);
    return true;
}

int NullHostSelectedCount() {
    return (int)SelectedNames(Side.ActivePanel).size();
}
