// One large file's digest spread over the engine's threads, for a digest
// whose message is a tree of leaves (DigestRecord::SubtreeLeaf): each whole
// chunk of the pool after a file's first is a complete subtree of that
// tree, so any thread with nothing better to do hashes it to its value,
// and the thread that digests the file in order takes the value in place
// of the chunk's bytes. The first chunk may be the whole message, whose
// root is hashed differently, and a short last one is no whole subtree:
// both go in order as bytes.
//
// The engine keeps one record of these per pool chunk and guards it with
// its lock: a chunk is marked when read, claimed under the lock, hashed
// without it, and its value taken under it again.
#pragma once

#include <stdint.h>

#include "digest/digests.h"

enum SubtreeStage : uint8_t {
    SubtreeNone,    // goes in order as bytes
    SubtreeDue,     // a whole subtree nobody has claimed
    SubtreeHashing, // claimed: its value is on its way
    SubtreeHashed,  // its value waits to be taken in order
};

struct ChunkSubtree {
    uint8_t stage;
    uint32_t value[SubtreeValueWords];
};

// Whether a file of the algorithm is hashed apart, read in chunks of
// chunkSize: every whole chunk but its first is a subtree, which cannot be
// the root.
bool HashedApart(DigestAlgorithm algorithm, uint32_t chunkSize);

// How far ahead such a file is read, of the lead the engine gives others
// out of its longest, mostAhead: it keeps up with its reads, and a long
// lead would only carry its chunks out of the processors' caches before
// they are hashed.
uint32_t SubtreeLead(uint32_t lead, uint32_t mostAhead);

// Hashes a claimed chunk, the index-th of chunkSize bytes, to its value;
// without the lock, the chunk being the claimer's until it is Hashed.
void HashChunkSubtree(DigestAlgorithm algorithm, const uint8_t *bytes, uint32_t index,
                      uint32_t chunkSize, ChunkSubtree *subtree);

// Puts a hashed chunk's value into the file's state, where its bytes would
// go; false (nothing changed) where the state cannot take it, in which
// case the bytes go instead.
bool AddChunkSubtree(DigestAlgorithm algorithm, AlgorithmState *state, const ChunkSubtree *subtree,
                     uint32_t chunkSize);
