// A host that does nothing but hand out a panel: the module's own cost of a
// job, without any host's drawing or bookkeeping beyond the simulated host's.
#pragma once

#include <vector>

#include "host/records.h"

// The panel's items, "..", then the regular files of the current directory.
extern std::vector<PanelItemRecord> &NullHostItems;

// Lists the current directory into the panel and starts the module.
bool StartNullHost();

// Number of panel items selected, as the last PanelApplySelection left them.
int NullHostSelectedCount();
