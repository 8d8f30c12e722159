// The development host's active panel: the items of one directory, their
// selection and cursor, and the item arrays handed to the module.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "host/records.h"

// One directory entry as the platform lists it.
struct PanelEntry {
    std::string Name;
    uint32_t Attributes;
    uint64_t Size;
    std::string ShortName; // the 8.3 alias Windows lists, if any
};

struct Panel {
    std::string Directory; // shown when the panel is drawn
    std::vector<PanelItemRecord> Items;
    int32_t Cursor = 0;
    // Every array given out with PanelGetInfo stays valid until the run ends,
    // so a module that keeps an old one is caught reading stale data, not
    // freed memory.
    std::deque<std::vector<PanelItemRecord>> HandedOut;
};

// Fills the panel from a listing: ".." first, then the directories, then the
// files, each group in byte order. Nothing is selected, the cursor is on "..".
void SetPanelEntries(Panel &panel, const std::vector<PanelEntry> &entries);

// Re-reads the panel from a new listing. With keepSelection the items that
// are still there keep their selection by name and new ones come unselected;
// without it nothing is selected. The cursor stays on its name if it can.
void RefreshPanel(Panel &panel, const std::vector<PanelEntry> &entries, bool keepSelection);

// Index of the item of that name, -1 if there is none.
int32_t FindPanelItem(const Panel &panel, const std::string &name);

// Hands out a copy of the items and fills the record the way the host does.
void FillPanelInfo(Panel &panel, PanelInfoRecord *info);

// The handed-out array a record names, null if the record's array is not one
// the host handed out or its count is not the one handed out with it.
const std::vector<PanelItemRecord> *HandedOutItems(const Panel &panel, const PanelInfoRecord *info);

// Takes the selection bits of a handed-out array as the panel's selection,
// matching items by name. False, changing nothing, if the record's array is
// not one the host handed out or its count is not the one handed out with it.
bool ApplyPanelSelection(Panel &panel, const PanelInfoRecord *info);

std::vector<std::string> SelectedNames(const Panel &panel);
std::vector<std::string> SelectedShortNames(const Panel &panel);

bool IsSelected(const PanelItemRecord &item);
void SetSelected(PanelItemRecord &item, bool selected);
