// Saved screen images: the handles the module holds, and the check that it
// gives each one back exactly once.
#pragma once

#include <stdint.h>
#include <string>
#include <vector>

struct ScreenLedger {
    uintptr_t LastHandle;
    std::vector<uintptr_t> Saved;    // handed out, not restored yet
    std::vector<uintptr_t> Restored; // spent
    std::vector<std::string> Problems;
};

// A fresh handle, never 0 and never one handed out before.
uintptr_t SaveScreen(ScreenLedger &ledger);

// Spends the handle. False, with a problem noted, for a handle that is
// spent already or was never handed out.
bool RestoreScreen(ScreenLedger &ledger, uintptr_t handle);

// At the end of the run: notes a problem for the handles never restored and
// returns how many there are.
size_t CloseScreenLedger(ScreenLedger &ledger);
