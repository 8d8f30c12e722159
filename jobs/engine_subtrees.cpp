// A large file's tree hashed a chunk at a time by whichever thread is free;
// see engine_subtrees.h.
#include "jobs/engine_subtrees.h"

#include "digest/algorithm.h"

// A chunk is a subtree when it holds a power of two of whole leaves: the
// chunks before it are whole too, so it starts at a multiple of its count.
static bool PowerOfTwoLeaves(uint32_t leaf, uint32_t chunkSize) {
    if (leaf == 0 || chunkSize % leaf != 0)
        return false;
    uint32_t leaves = chunkSize / leaf;
    return (leaves & (leaves - 1)) == 0;
}

bool HashedApart(DigestAlgorithm algorithm, uint32_t chunkSize) {
    const DigestRecord *row = DigestRow(algorithm);
    return row && row->Subtree && PowerOfTwoLeaves(row->SubtreeLeaf, chunkSize);
}

// The lead of a file read ahead a few chunks at a time, whatever the disk.
static const uint32_t CachedLead = 16;

uint32_t SubtreeLead(uint32_t lead, uint32_t mostAhead) {
    if (mostAhead <= CachedLead)
        return lead;
    uint32_t scaled = (uint32_t)((uint64_t)lead * CachedLead / mostAhead);
    return scaled > 0 ? scaled : 1;
}

void HashChunkSubtree(DigestAlgorithm algorithm, const uint8_t *bytes, uint32_t index,
                      uint32_t chunkSize, ChunkSubtree *subtree) {
    const DigestRecord *row = DigestRow(algorithm);
    uint64_t firstLeaf = (uint64_t)index * (chunkSize / row->SubtreeLeaf);
    row->Subtree(bytes, chunkSize, firstLeaf, subtree->value);
}

bool AddChunkSubtree(DigestAlgorithm algorithm, AlgorithmState *state, const ChunkSubtree *subtree,
                     uint32_t chunkSize) {
    return DigestRow(algorithm)->AddSubtree(state, subtree->value, chunkSize) != 0;
}
