// What BLAKE3's kernels share (digest/blake3*.cpp): the constants, and the
// one form of kernel, which hashes several inputs side by side.
#pragma once

#include <stddef.h>
#include <stdint.h>

// The domain flags of a compression.
const uint32_t Blake3ChunkStart = 1;
const uint32_t Blake3ChunkEnd = 2;
const uint32_t Blake3Parent = 4;
const uint32_t Blake3Root = 8;

// SHA-256's initial words, the key of the unkeyed hash.
static const uint32_t Blake3Iv[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                     0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

// The message words each of the seven rounds takes, in order: the fixed
// permutation applied once more each round.
static const uint8_t Blake3Schedule[7][16] = {
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
    {2, 6, 3, 10, 7, 0, 4, 13, 1, 11, 12, 5, 9, 14, 15, 8},
    {3, 4, 10, 12, 13, 2, 7, 14, 6, 5, 9, 0, 11, 15, 8, 1},
    {10, 7, 12, 9, 14, 3, 13, 15, 4, 0, 11, 2, 5, 8, 1, 6},
    {12, 13, 9, 11, 15, 10, 14, 8, 7, 2, 5, 3, 0, 1, 6, 4},
    {9, 14, 11, 5, 8, 12, 15, 1, 13, 3, 0, 10, 2, 6, 4, 7},
    {11, 15, 5, 0, 1, 9, 8, 6, 14, 10, 2, 12, 3, 4, 7, 13},
};

// Hashes count inputs (at most the kernel's width) of blockCount whole
// 64-byte blocks each, every one from the key: input i with the counter
// counter + i * counterStep, flags on every block, startFlag added on the
// first and endFlag on the last. Writes input i's chaining value to
// out[8 * i .. 8 * i + 7], after reading every input, so that parents may
// be written over the children they were made of.
typedef void (*Blake3Kernel)(const uint8_t *const inputs[], uint32_t count, uint32_t blockCount,
                             uint64_t counter, uint32_t counterStep, uint32_t flags,
                             uint32_t startFlag, uint32_t endFlag, uint32_t *out);

// The kernels and the tests that say whether this processor and system may
// run them. Only to be called where its test passes.
void Blake3Portable(const uint8_t *const inputs[], uint32_t count, uint32_t blockCount,
                    uint64_t counter, uint32_t counterStep, uint32_t flags, uint32_t startFlag,
                    uint32_t endFlag, uint32_t *out);
int Sse41Usable();
void Blake3Sse41(const uint8_t *const inputs[], uint32_t count, uint32_t blockCount,
                 uint64_t counter, uint32_t counterStep, uint32_t flags, uint32_t startFlag,
                 uint32_t endFlag, uint32_t *out);
void Blake3Avx2(const uint8_t *const inputs[], uint32_t count, uint32_t blockCount,
                uint64_t counter, uint32_t counterStep, uint32_t flags, uint32_t startFlag,
                uint32_t endFlag, uint32_t *out);
void Blake3Avx512(const uint8_t *const inputs[], uint32_t count, uint32_t blockCount,
                  uint64_t counter, uint32_t counterStep, uint32_t flags, uint32_t startFlag,
                  uint32_t endFlag, uint32_t *out);

// One compression of one block, the first eight words of its output into
// out: a chunk's or parent's chaining value, or the root's digest.
void Blake3Compress(const uint32_t *chaining, const uint8_t *block, uint32_t blockLength,
                    uint64_t counter, uint32_t flags, uint32_t *out);
