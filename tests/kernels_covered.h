// Which loops and lane kernels the tests ran on this processor. A test that
// goes over every kernel asks here for each one: one the processor lacks is
// reported as a skip naming it, while the test goes on with the others, and
// the program ends with the lines "Kernels covered:" and "Kernels skipped:",
// so that a run on another processor says what it tested.
#pragma once

#include "digest/algorithm.h"

// Forces the lane kernel for the algorithm (null: the measured choice again)
// and returns whether it runs here. A kernel of another algorithm (MD5's
// "avx2-8" for SHA-1) is not forced, not reported, and returns false.
bool LaneKernelRuns(DigestAlgorithm algorithm, const char *kernel);

// Records the single-stream loop just forced: algorithms names whose
// ("MD5", "SHA1 and SHA256"), runs what forcing it returned. Returns runs.
bool LoopRuns(const char *algorithms, const char *loop, bool runs);
