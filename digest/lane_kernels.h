// The kernels behind DigestLanes (digest/lanes.cpp), and the tests that say
// whether this processor and system may run them. Each kernel advances as
// many messages' chaining words as it has lanes by blockCount blocks per
// lane, words[i] taking the blocks at blocks[i], as a single-stream loop
// (digest/loop_race.h) advances one; byte counts are the caller's business.
// Only to be called where its test passes.
#pragma once

#include <stdint.h>

typedef void (*LaneKernel)(uint32_t *const words[], const uint8_t *const blocks[],
                           uint32_t blockCount);

// 1 when the processor has SSE2; every x86-64 one has.
int Sse2Usable();
// 1 when the processor has AVX2 and the system saves the ymm registers.
int Avx2Usable();

// MD5 over 4 or 8 lanes of SSE2 (one vector, or two interleaved), 8 or 16 of
// AVX2 and, where Avx512VlUsable (digest/md5_avx512.h), 16 or 32 of AVX-512.
void Md5LanesSse2(uint32_t *const words[], const uint8_t *const blocks[], uint32_t blockCount);
void Md5LanesSse2Pair(uint32_t *const words[], const uint8_t *const blocks[], uint32_t blockCount);
void Md5LanesAvx2(uint32_t *const words[], const uint8_t *const blocks[], uint32_t blockCount);
void Md5LanesAvx2Pair(uint32_t *const words[], const uint8_t *const blocks[], uint32_t blockCount);
void Md5LanesAvx512(uint32_t *const words[], const uint8_t *const blocks[], uint32_t blockCount);
void Md5LanesAvx512Pair(uint32_t *const words[], const uint8_t *const blocks[],
                        uint32_t blockCount);

// SHA-1 and SHA-256 of two messages interleaved on the SHA instructions,
// where ShaInstructionsUsable (digest/sha_ni.h).
void Sha1PairNi(uint32_t *const words[], const uint8_t *const blocks[], uint32_t blockCount);
void Sha256PairNi(uint32_t *const words[], const uint8_t *const blocks[], uint32_t blockCount);

// 1 when Avx512VlUsable (digest/md5_avx512.h) and the processor has
// AVX512BW too.
int Avx512BwUsable();

// SHA-512 over 2 lanes of SSE2, 4 of AVX2 and, where Avx512BwUsable, 8 of
// AVX-512. Their words[i] point to the eight 64-bit chaining words of a
// message.
void Sha512LanesSse2(uint32_t *const words[], const uint8_t *const blocks[], uint32_t blockCount);
void Sha512LanesAvx2(uint32_t *const words[], const uint8_t *const blocks[], uint32_t blockCount);
void Sha512LanesAvx512(uint32_t *const words[], const uint8_t *const blocks[], uint32_t blockCount);
