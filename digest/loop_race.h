// The choice of compression loop every digest here makes: a plain loop and
// one on instructions some processors lack, raced on this processor, since
// feature flags say which loops can run, not which runs faster.
#pragma once

#include <stdint.h>

#include "digest/choices.h"

// Compresses length / 64 blocks into the chaining words; length is a
// multiple of 64.
typedef void (*CompressLoop)(uint32_t *words, const uint8_t *blocks, uint32_t length);

// One algorithm's two loops; which of them runs is the algorithm's record
// in the table's choices (choices.h): 1 the plain loop, 2 the accelerated
// one, 0 until the first digest races them.
struct LoopChoice {
    DigestAlgorithm Algorithm;
    CompressLoop Plain, Accelerated;
    const char *AcceleratedName;
    int (*AcceleratedUsable)();
};

// The loop to run, raced at the first call.
CompressLoop ChosenLoop(const LoopChoice *choice);

// Tests and benchmarks switch loops, never while a digest runs: "scalar",
// the accelerated loop's name, or null for the fastest again. Returns 0,
// changing nothing, for a loop this processor cannot run.
int ForceLoop(const LoopChoice *choice, const char *name);

// The name of the loop in use: "scalar" or the accelerated loop's.
const char *LoopName(const LoopChoice *choice);

// The race itself, for choices among more than two entrants that weigh more
// than which one won (the lane kernels, digest/lanes.cpp): turn runs entrant
// i over length bytes of whole blocks into whatever state scratch holds, and
// best[i] receives its best time in time stamp counter ticks. Every entrant
// digests the same bytes.
typedef void (*RaceTurn)(void *scratch, int entrant, const uint8_t *blocks, uint32_t length);
void RaceEntrants(RaceTurn turn, void *scratch, int count, uint64_t *best);
