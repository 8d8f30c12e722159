// Saved screen images and the save/restore contract check.
#include "devhost/screens.h"

#include <algorithm>

uintptr_t SaveScreen(ScreenLedger &ledger) {
    uintptr_t handle = ++ledger.LastHandle;
    ledger.Saved.push_back(handle);
    return handle;
}

static bool Holds(const std::vector<uintptr_t> &handles, uintptr_t handle) {
    return std::find(handles.begin(), handles.end(), handle) != handles.end();
}

bool RestoreScreen(ScreenLedger &ledger, uintptr_t handle) {
    std::vector<uintptr_t>::iterator found =
        std::find(ledger.Saved.begin(), ledger.Saved.end(), handle);
    if (found != ledger.Saved.end()) {
        ledger.Saved.erase(found);
        ledger.Restored.push_back(handle);
        return true;
    }
    std::string number = std::to_string(handle);
    if (Holds(ledger.Restored, handle))
        ledger.Problems.push_back("screen image " + number + " restored twice");
    else
        ledger.Problems.push_back("screen image " + number + " restored but never saved");
    return false;
}

size_t CloseScreenLedger(ScreenLedger &ledger) {
    for (uintptr_t handle : ledger.Saved)
        ledger.Problems.push_back("screen image " + std::to_string(handle) + " never restored");
    return ledger.Saved.size();
}
