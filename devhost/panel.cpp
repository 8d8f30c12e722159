// The development host's active panel: ordering, refresh and selection rules.
#include "devhost/panel.h"

#include <algorithm>
#include <string.h>
#include <unordered_map>

static const char ParentName[] = "..";

// Fills an item that starts out zeroed, as every item of a fresh array does.
static void FillItem(PanelItemRecord &item, const std::string &name, uint32_t attributes,
                     uint64_t size, const std::string &shortName = std::string()) {
    item.Attributes = attributes;
    memcpy(item.ShortName, shortName.data(), std::min(shortName.size(), sizeof item.ShortName - 1));
    // Find data keeps the size as high and low halves after the three times.
    item.HostFindData[6] = (uint32_t)(size >> 32);
    item.HostFindData[7] = (uint32_t)size;
    size_t length = std::min(name.size(), PanelItemNameSize - 1);
    memcpy(item.Name, name.data(), length);
}

// Names are unique within a directory; a panel of many thousand items must
// not cost a search per item.
static std::unordered_map<std::string, int32_t> IndexByName(const Panel &panel) {
    std::unordered_map<std::string, int32_t> index;
    for (size_t i = 0; i < panel.Items.size(); i++)
        index.emplace(panel.Items[i].Name, (int32_t)i);
    return index;
}

static bool IsDirectory(const PanelEntry &entry) {
    return (entry.Attributes & DirectoryAttribute) != 0;
}

// Directories before files; within each, plain unsigned byte order.
static bool PanelOrder(const PanelEntry *a, const PanelEntry *b) {
    if (IsDirectory(*a) != IsDirectory(*b))
        return IsDirectory(*a);
    size_t common = std::min(a->Name.size(), b->Name.size());
    int order = memcmp(a->Name.data(), b->Name.data(), common);
    if (order != 0)
        return order < 0;
    return a->Name.size() < b->Name.size();
}

// A directory of many thousand files is listed at start and at every
// refresh, so the entries are ordered by reference rather than copied, and
// the items are built in one array of the final size.
void SetPanelEntries(Panel &panel, const std::vector<PanelEntry> &entries) {
    std::vector<const PanelEntry *> sorted;
    sorted.reserve(entries.size());
    for (const PanelEntry &entry : entries)
        if (entry.Name != "." && entry.Name != ParentName && !entry.Name.empty())
            sorted.push_back(&entry);
    std::sort(sorted.begin(), sorted.end(), PanelOrder);
    // Cleared and then resized, every item is zeroed in place.
    panel.Items.clear();
    panel.Items.resize(sorted.size() + 1);
    FillItem(panel.Items[0], ParentName, DirectoryAttribute, 0);
    for (size_t i = 0; i < sorted.size(); i++)
        FillItem(panel.Items[i + 1], sorted[i]->Name, sorted[i]->Attributes, sorted[i]->Size,
                 sorted[i]->ShortName);
    panel.Cursor = 0;
}

void RefreshPanel(Panel &panel, const std::vector<PanelEntry> &entries, bool keepSelection) {
    std::vector<std::string> selected = SelectedNames(panel);
    std::string cursorName;
    if (panel.Cursor >= 0 && (size_t)panel.Cursor < panel.Items.size())
        cursorName = panel.Items[panel.Cursor].Name;
    SetPanelEntries(panel, entries);
    if (keepSelection && !selected.empty()) {
        std::unordered_map<std::string, int32_t> index = IndexByName(panel);
        for (const std::string &name : selected) {
            auto found = index.find(name);
            if (found != index.end())
                SetSelected(panel.Items[found->second], true);
        }
    }
    int32_t cursor = FindPanelItem(panel, cursorName);
    panel.Cursor = cursor >= 0 ? cursor : 0;
}

int32_t FindPanelItem(const Panel &panel, const std::string &name) {
    for (size_t i = 0; i < panel.Items.size(); i++)
        if (name == panel.Items[i].Name)
            return (int32_t)i;
    return -1;
}

void FillPanelInfo(Panel &panel, PanelInfoRecord *info) {
    panel.HandedOut.push_back(panel.Items);
    std::vector<PanelItemRecord> &items = panel.HandedOut.back();
    memset(info, 0, sizeof *info);
    info->Items = items.data();
    info->ItemCount = (int32_t)items.size();
    info->CurrentItem = panel.Cursor;
    int32_t selected = 0;
    for (const PanelItemRecord &item : items)
        selected += IsSelected(item) ? 1 : 0;
    info->HostSelectedCount = selected;
}

const std::vector<PanelItemRecord> *HandedOutItems(const Panel &panel,
                                                   const PanelInfoRecord *info) {
    const std::vector<PanelItemRecord> *source = nullptr;
    for (const std::vector<PanelItemRecord> &items : panel.HandedOut)
        if (items.data() == info->Items && (int32_t)items.size() == info->ItemCount)
            source = &items;
    return source;
}

bool ApplyPanelSelection(Panel &panel, const PanelInfoRecord *info) {
    const std::vector<PanelItemRecord> *source = HandedOutItems(panel, info);
    if (!source)
        return false;
    for (PanelItemRecord &item : panel.Items)
        SetSelected(item, false);
    // Items the code page gave one name (a look-alike, or '?' for what it
    // lacks) are told apart by place while the panel is as handed out.
    if (source->size() == panel.Items.size()) {
        bool same = true;
        for (size_t i = 0; i < source->size() && same; i++)
            same = strncmp((*source)[i].Name, panel.Items[i].Name, PanelItemNameSize) == 0;
        if (same) {
            for (size_t i = 0; i < source->size(); i++)
                SetSelected(panel.Items[i], IsSelected((*source)[i]));
            return true;
        }
    }
    std::unordered_map<std::string, int32_t> index;
    for (const PanelItemRecord &given : *source) {
        if (!IsSelected(given))
            continue;
        if (index.empty())
            index = IndexByName(panel);
        // The module may have written anything; the name is read bounded.
        auto found = index.find(std::string(given.Name, strnlen(given.Name, PanelItemNameSize)));
        if (found != index.end())
            SetSelected(panel.Items[found->second], true);
    }
    return true;
}

std::vector<std::string> SelectedNames(const Panel &panel) {
    std::vector<std::string> names;
    for (const PanelItemRecord &item : panel.Items)
        if (IsSelected(item))
            names.push_back(item.Name);
    return names;
}

std::vector<std::string> SelectedShortNames(const Panel &panel) {
    std::vector<std::string> names;
    for (const PanelItemRecord &item : panel.Items)
        if (IsSelected(item))
            names.push_back(
                std::string(item.ShortName, strnlen(item.ShortName, sizeof item.ShortName)));
    return names;
}

bool IsSelected(const PanelItemRecord &item) {
    return (item.Flags & ItemSelectedFlag) != 0;
}

void SetSelected(PanelItemRecord &item, bool selected) {
    if (selected)
        item.Flags |= ItemSelectedFlag;
    else
        item.Flags &= ~ItemSelectedFlag;
}
