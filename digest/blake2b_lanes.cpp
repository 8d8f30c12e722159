// BLAKE2b's lanes with the block held back; see digest/blake2b_lanes.h.
#include "digest/blake2b_lanes.h"

#include <string.h>

typedef void (*Blake2bLaneCore)(Blake2bState *const states[], const uint8_t *const blocks[],
                                uint32_t blockCount);

static void AdvanceHoldingBack(Blake2bLaneCore core, uint32_t lanes, uint32_t *const words[],
                               const uint8_t *const blocks[], uint32_t blockCount) {
    if (blockCount == 0)
        return;
    Blake2bState *states[8];
    for (uint32_t j = 0; j < lanes; j++) {
        states[j] = Blake2bOfLaneWords(words[j]);
        // Digests the block held back, if any, and holds the first block
        // back instead: a copy the lanes then digest from where it lies.
        Blake2bAdd(states[j], blocks[j], 128);
    }
    uint32_t last = blockCount - 1;
    if (last != 0)
        core(states, blocks, last);
    if (last != 0)
        for (uint32_t j = 0; j < lanes; j++)
            memcpy(states[j]->Buffer, blocks[j] + 128 * (size_t)last, 128);
}

void Blake2bLanesAvx512(uint32_t *const words[], const uint8_t *const blocks[],
                        uint32_t blockCount) {
    AdvanceHoldingBack(Blake2bLanesCoreAvx512, 8, words, blocks, blockCount);
}

void Blake2bLanesAvx2(uint32_t *const words[], const uint8_t *const blocks[], uint32_t blockCount) {
    AdvanceHoldingBack(Blake2bLanesCoreAvx2, 4, words, blocks, blockCount);
}
