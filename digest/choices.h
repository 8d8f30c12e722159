// What this process chose to run for each digest: its compression loop and
// its lane kernel, raced once by the first digest that needs them, and
// whatever a test or benchmark forced. One record a row of the table, in
// one array the table owns (digests.cpp); each digest's code reads and
// writes only its own record, through its own list of loops or kernels.
#pragma once

#include <stdint.h>

#include <atomic>

#include "digest/digests.h"

// The most messages any lane kernel takes at once.
const uint32_t MostLanes = 32;

// Every field holds an index into the digest's own list of loops or kernels
// plus one, 0 while undecided: the array is zero-initialised before any code
// runs, so the first digest finds it so whatever order static objects are
// built in (a test's static digest may run before any dynamic initialiser).
// Relaxed atomics, because digests of separate states may run on several
// threads, which may each race once, and whatever any of them stores is a
// loop that can run; on x86 their loads and stores are plain moves.
struct DigestChoice {
    std::atomic<int> Loop;        // the loop in use: the fastest, or a forced one
    std::atomic<int> FastestLoop; // the race's winner, kept for when a force ends
    std::atomic<int> LaneKernel;  // the lane kernel that won its race
    std::atomic<int> ForcedLaneKernel;
    // For a call of n messages, fewer than the winner's width: the kernel
    // that digests n fastest.
    std::atomic<int> LaneKernelFor[MostLanes];
};

// The row's record; only for a row of the table.
DigestChoice *DigestChoiceOf(DigestAlgorithm algorithm);
