// Picks the fastest of a digest's compression loops by racing them on this
// processor: feature flags say which loops can run, not which runs faster.
#pragma once

#include <stdint.h>

// Compresses length bytes of whole blocks into whatever state scratch is.
typedef void (*RacedLoop)(void *scratch, const uint8_t *blocks, uint32_t length);

// The index of the loop that compressed a few kilobytes fastest, the loops
// taking turns, each keeping its best time: 32 KiB a loop, raced once a process.
int FastestLoop(const RacedLoop *loops, int count, void *scratch);
