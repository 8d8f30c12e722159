// BLAKE2b (RFC 7693), unkeyed, over bytes fed in pieces of any size, with
// a digest of 1 to 64 bytes: 64 for BLAKE2b as b2sum writes it by default,
// 32 for BLAKE2b-256 (b2sum -l 256), and so on. The digest's length enters
// the first chaining word, so BLAKE2b-256 is not a cut BLAKE2b.
#pragma once

#include <stdint.h>

struct Blake2bState {
    uint64_t Chain[8];
    uint64_t ByteCount;      // bytes that went through the compression
    uint32_t BufferedLength; // bytes waiting in Buffer: 1 to 128 once any came
    uint32_t DigestSize;     // bytes of the digest, 1 to 64
    uint8_t Buffer[128];
};

const uint32_t Blake2bLongestDigestSize = 64;

// digestSize is in bytes, 1 to 64 (b2sum -l counts bits: 8 times as many).
void Blake2bStart(Blake2bState *state, uint32_t digestSize);
void Blake2bAdd(Blake2bState *state, const void *bytes, uint32_t length);
// Writes the state's DigestSize bytes.
void Blake2bEnd(Blake2bState *state, uint8_t *out);

// The loop that proved fastest here among "scalar", "ssse3" (a row of the
// state to two xmm registers), "avx2" (a row to a ymm register) and "avx512vl" (the same with
// one-instruction rotations and the message words picked by permutation), raced by the first
// digest. Blake2bForceLoop switches for tests and benchmarks (null: the fastest again) and returns
// 0, changing nothing, for a loop this processor cannot run.
int Blake2bForceLoop(const char *name);
const char *Blake2bPathName();
