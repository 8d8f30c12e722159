// SHA-512 (FIPS 180-4) over bytes fed in pieces of any size: 64-bit words
// and 128-byte blocks, so its buffering is its own, not block_feed.h's.
#pragma once

#include <stdint.h>

struct Sha512State {
    uint64_t Words[8];       // the chaining words H0..H7
    uint64_t ByteCount;      // bytes that went through the compression
    uint32_t BufferedLength; // input bytes waiting at the front of Buffer
    uint8_t Buffer[128];
};

const uint32_t Sha512DigestSize = 64;

void Sha512Start(Sha512State *state);
void Sha512Add(Sha512State *state, const void *bytes, uint32_t length);
// Writes the 64 bytes of the digest.
void Sha512End(Sha512State *state, uint8_t *out);

// For a message whose whole blocks were compressed elsewhere (the lane
// kernels, digest/lanes.cpp), the state holding none buffered: the one or
// two blocks that end it, from its last tailLength bytes at tail (fewer
// than 128; tail may be null when there are none), written to end (256
// bytes). Returns 128 or 256.
uint32_t Sha512EndBlocks(const Sha512State *state, const uint8_t *tail, uint32_t tailLength,
                         uint8_t *end);
// The 64 bytes of the digest of the chaining words.
void Sha512StoreDigest(const uint64_t *words, uint8_t *out);

// The loop that proved fastest here among "scalar", "bmi2" (the rounds in
// integer registers with rorx, the schedule on AVX-512VL), "avx512vl" (the
// rounds in vector registers too; see sha512_avx512.cpp) and
// "avx512vl-ring" (the same with the older words in memory, for eight
// vector registers; see sha512_ring.cpp) and "bmi2-asm" (bmi2's rounds in
// an order of their own, 64-bit builds only; see sha512_bmi2_asm.cpp),
// raced by the first digest. Sha512ForceLoop switches for
// tests and benchmarks (null: the fastest again) and returns 0, changing nothing, for a loop this
// processor cannot run.
int Sha512ForceLoop(const char *name);
const char *Sha512PathName();
