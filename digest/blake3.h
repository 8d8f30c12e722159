// BLAKE3 (its 256-bit default output) over bytes fed in pieces of any size.
//
// The message is cut into 1 KiB chunks, each hashed on its own, and their
// chaining values are merged pairwise up a binary tree whose left subtrees
// are whole powers of two of chunks. Chunks being independent, a kernel
// hashes several side by side, one to each lane of a vector register, and
// the parents of a subtree likewise; the state gathers small pieces until
// they fill every lane. Which node is the root, the one hashed differently,
// is known only at the end: until then a message of one chunk waits whole,
// and the two values at the top of a longer one's tree wait unmerged.
#pragma once

#include <stdint.h>

const uint32_t Blake3DigestSize = 32;
const uint32_t Blake3ChunkSize = 1024;
// The most chunks a kernel hashes in one call, and so the most the state
// buffers: one for each lane of the widest kernel.
const uint32_t Blake3MostLanes = 16;
// The stack holds one chaining value per set bit of the chunk count (below
// 2^54) and up to two more not merged yet.
const uint32_t Blake3StackDepth = 55;

struct Blake3State {
    uint64_t ChunkCount; // chunks whose values are on Stack
    uint32_t StackLength;
    uint32_t BufferedLength; // bytes waiting at the front of Buffer
    // The chaining values of the complete subtrees hashed so far, largest
    // first.
    uint32_t Stack[Blake3StackDepth][8];
    uint8_t Buffer[Blake3MostLanes * Blake3ChunkSize];
};

void Blake3Start(Blake3State *state);
void Blake3Add(Blake3State *state, const void *bytes, uint32_t length);
// Writes the 32 bytes of the digest.
void Blake3End(Blake3State *state, uint8_t *out);

// A large message's tree spread over threads: each hashes one subtree of
// the message to its chaining value, and the message's state takes the
// values in order. A subtree is length bytes, a power of two times 1 KiB,
// that start at chunk firstChunk of the message, a multiple of its number
// of chunks; it may not be the whole message.
void Blake3Subtree(const uint8_t *bytes, uint64_t length, uint64_t firstChunk, uint32_t *value);
// Puts a subtree's value in the message where its bytes would be fed. The
// bytes fed before must be whole chunks, and the subtree must start at a
// multiple of its length. Returns 0, changing nothing, when the subtree
// does not fit here.
int Blake3AddSubtree(Blake3State *state, const uint32_t *value, uint64_t length);

// As for the other digests, the kernel in use is the one that hashed a few
// chunks fastest on this processor, raced once by the first digest:
// "portable", "sse41-4", "avx2-8" or "avx512-16" (the lanes each hashes at
// once). Tests and benchmarks switch with Blake3ForceKernel (null: the
// fastest again), never while a digest runs; it returns 0, changing
// nothing, for a kernel this processor cannot run.
int Blake3ForceKernel(const char *name);
const char *Blake3KernelName();
