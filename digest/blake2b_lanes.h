// BLAKE2b's lane kernels, for DigestLanes (digest/lanes.cpp).
//
// BLAKE2b flags its last block and counts only the message's bytes in it,
// so a block cannot go through before the bytes after it, or the end, say
// whether it is the last. The lanes keep each message's latest block back
// in its state's buffer, as Blake2bAdd does: advancing a message by n
// blocks digests the block held back from before, if any, and the first
// n - 1, and holds the nth. The state is then the one Blake2bAdd of the
// same bytes leaves, so a message ends on the single-stream code
// (Blake2bAdd of its tail, Blake2bEnd), whichever way it went before.
#pragma once

#include <stdint.h>

#include "digest/blake2b.h"

// The kernels proper: each lane's chaining words and byte count advanced by
// blockCount blocks, none of them a message's last. 8 lanes of AVX-512
// (only where Avx512VlUsable), 4 of AVX2 (only where Avx2Usable).
void Blake2bLanesCoreAvx512(Blake2bState *const states[], const uint8_t *const blocks[],
                            uint32_t blockCount);
void Blake2bLanesCoreAvx2(Blake2bState *const states[], const uint8_t *const blocks[],
                          uint32_t blockCount);

// The same as lane kernels (digest/lane_kernels.h), with the block held
// back: each lane's words are its Blake2bState, as Blake2bLaneWords gives
// them, at least one block a lane.
void Blake2bLanesAvx512(uint32_t *const words[], const uint8_t *const blocks[],
                        uint32_t blockCount);
void Blake2bLanesAvx2(uint32_t *const words[], const uint8_t *const blocks[], uint32_t blockCount);

// A state as a lane kernel's words, and back.
inline uint32_t *Blake2bLaneWords(Blake2bState *state) {
    return reinterpret_cast<uint32_t *>(state);
}
inline Blake2bState *Blake2bOfLaneWords(uint32_t *words) {
    return reinterpret_cast<Blake2bState *>(words);
}
