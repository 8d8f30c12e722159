// Faults put into the calls of system_calls.h, for tests: the unit tests
// install them directly, the end-to-end tests through SUMBREL_FAULTS in the
// environment of the development host, which the module reads at the start
// of every run. The faults are named in a comma-separated list of:
//
//   read-fails-after=N    a file's read fails once N of its bytes are read
//   read-hangs-after=N    a file's read, once N of its bytes are read, does not
//                         return until the engine cancels it (as Windows's
//                         CancelSynchronousIo ends a blocked read) or the
//                         fault is released, and then fails
//   read-hangs            the same from the file's first read
//   cancel-ignored        a hung read ignores cancelling, as a share that stopped
//                         answering may: only the release ends it
//   listing-fails-after=N a folder's listing fails after N entries
//   memory-runs-out-at=N  the Nth allocation from now fails, and every later one
//   memory-holds=N        an allocation that would take the memory held past N
//                         bytes fails, as in an address space nearly used up
//   slow-disk / fast-disk the disk seeks slowly, or not, whatever it is
//   only=TEXT             the file and listing faults touch only names holding TEXT
//
// An empty list, or one that names no fault, leaves the real calls.
#pragma once

#include <stdint.h>

// Replaces the calls the list of faults names; false, changing nothing, when
// the list holds something it does not know.
bool InstallFaults(const char *faults);
// The real calls again; every hung read is released.
void RemoveFaults();
// The allocations asked for since InstallFaults put in a memory fault: with
// one that never strikes, how many a run makes, each a place a test may
// make fail.
uint64_t AllocationsCounted();
// Releases every read that hangs now; later reads still hang.
void ReleaseHungReads();
// Installs the faults SUMBREL_FAULTS names, or removes every fault when it
// is not set.
void InstallFaultsFromEnvironment();
