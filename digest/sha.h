// SHA-1 and SHA-256 (FIPS 180-4) over bytes fed in pieces of any size. The
// two differ only in the compression and the number of chaining words;
// their buffering and padding are MD5's too (block_feed.h), with the bit
// count big-endian.
#pragma once

#include <stdint.h>

#include "digest/block_feed.h"

struct ShaState {
    uint32_t Words[8];  // SHA-256's chaining words H0..H7; SHA-1 uses five
    uint32_t WordCount; // 5 for SHA-1, 8 for SHA-256
    BlockFeed Feed;
};

const uint32_t Sha1DigestSize = 20;
const uint32_t Sha256DigestSize = 32;

void Sha1Start(ShaState *state);
void Sha256Start(ShaState *state);
void ShaAdd(ShaState *state, const void *bytes, uint32_t length);
// Writes 4 * WordCount bytes: 20 for SHA-1, 32 for SHA-256.
void ShaEnd(ShaState *state, uint8_t *out);

// As for MD5, each algorithm runs the loop that proved fastest here among
// those the processor allows: "scalar", or "shani" with the processor's SHA
// instructions. ShaForceLoop switches for tests and benchmarks (null: the
// fastest again) and returns 0, changing nothing, for a loop this processor
// cannot run. wordCount picks the algorithm: 5 SHA-1, 8 SHA-256.
int ShaForceLoop(uint32_t wordCount, const char *name);
const char *ShaPathName(uint32_t wordCount);
