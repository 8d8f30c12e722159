// BLAKE2b's compression loops, shared by digest/blake2b*.cpp.
#pragma once

#include <stdint.h>

// Compresses length / 128 blocks into the chaining words: block i with the
// counter counted + 128 * (i + 1), the last one flagged final when final is
// not 0. A final block shorter than 128 bytes comes padded with zeros, and
// counted chosen so that its counter is the message's length.
typedef void (*Blake2bLoop)(uint64_t *chain, const uint8_t *blocks, uint32_t length,
                            uint64_t counted, int final);

extern const uint64_t Blake2bIv[8];
// The message word each step takes, round by round (rounds 10 and 11 repeat
// 0 and 1).
inline constexpr uint8_t Blake2bSigma[12][16] = {
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
    {14, 10, 4, 8, 9, 15, 13, 6, 1, 12, 0, 2, 11, 7, 5, 3},
    {11, 8, 12, 0, 5, 2, 15, 13, 10, 14, 3, 6, 7, 1, 9, 4},
    {7, 9, 3, 1, 13, 12, 11, 14, 2, 6, 5, 10, 4, 0, 15, 8},
    {9, 0, 5, 7, 2, 4, 10, 15, 14, 1, 11, 12, 6, 8, 3, 13},
    {2, 12, 6, 10, 0, 11, 8, 3, 4, 13, 7, 5, 15, 14, 1, 9},
    {12, 5, 1, 15, 14, 13, 4, 10, 0, 7, 6, 3, 9, 2, 8, 11},
    {13, 11, 7, 14, 12, 1, 3, 9, 5, 0, 15, 4, 8, 6, 2, 10},
    {6, 15, 14, 9, 11, 3, 0, 8, 12, 2, 13, 7, 1, 4, 10, 5},
    {10, 2, 8, 4, 7, 6, 1, 5, 15, 11, 9, 14, 3, 12, 13, 0},
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
    {14, 10, 4, 8, 9, 15, 13, 6, 1, 12, 0, 2, 11, 7, 5, 3},
};

void Blake2bCompressScalar(uint64_t *chain, const uint8_t *blocks, uint32_t length,
                           uint64_t counted, int final);

// Only where Avx2Usable (digest/lane_kernels.h).
void Blake2bCompressAvx2(uint64_t *chain, const uint8_t *blocks, uint32_t length, uint64_t counted,
                         int final);
// Only where Avx512VlUsable (digest/md5_avx512.h).
void Blake2bCompressAvx512(uint64_t *chain, const uint8_t *blocks, uint32_t length,
                           uint64_t counted, int final);

// The same with the first, third and fourth rows turned for the diagonal
// steps, the second kept (digest/blake2b_rows.cpp).
void Blake2bCompressAvx2Acd(uint64_t *chain, const uint8_t *blocks, uint32_t length,
                            uint64_t counted, int final);
void Blake2bCompressAvx512Acd(uint64_t *chain, const uint8_t *blocks, uint32_t length,
                              uint64_t counted, int final);

// Only where Ssse3Usable.
void Blake2bCompressSsse3(uint64_t *chain, const uint8_t *blocks, uint32_t length, uint64_t counted,
                          int final);
int Ssse3Usable();
