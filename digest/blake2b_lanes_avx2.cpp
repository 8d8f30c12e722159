// BLAKE2b over 4 messages side by side in the 64-bit lanes of ymm registers,
// rotating by byte shuffles and shifts; see digest/blake2b_lanes_body.h.
#include <immintrin.h>

#include "digest/blake2b_lanes.h"

#define TARGET __attribute__((target("avx2")))
#define VEC __m256i
#define LANES 4
#define ADD(a, b) _mm256_add_epi64((a), (b))
#define XOR(a, b) _mm256_xor_si256((a), (b))
#define ROR(x, bits) Rotate(x, bits)
#define SET1(x) _mm256_set1_epi64x((long long)(x))
#define LOADU(p) _mm256_loadu_si256((const __m256i *)(const void *)(p))
#define STOREU(p, x) _mm256_storeu_si256((__m256i *)(void *)(p), (x))
#define TRANSPOSE(rows) Transpose4(rows)
#define NAME Blake2bLanesCoreAvx2

TARGET static inline __m256i Rotate(__m256i x, int bits) {
    const __m256i by24 = _mm256_setr_epi8(3, 4, 5, 6, 7, 0, 1, 2, 11, 12, 13, 14, 15, 8, 9, 10, 3,
                                          4, 5, 6, 7, 0, 1, 2, 11, 12, 13, 14, 15, 8, 9, 10);
    const __m256i by16 = _mm256_setr_epi8(2, 3, 4, 5, 6, 7, 0, 1, 10, 11, 12, 13, 14, 15, 8, 9, 2,
                                          3, 4, 5, 6, 7, 0, 1, 10, 11, 12, 13, 14, 15, 8, 9);
    if (bits == 32)
        return _mm256_shuffle_epi32(x, _MM_SHUFFLE(2, 3, 0, 1));
    if (bits == 24)
        return _mm256_shuffle_epi8(x, by24);
    if (bits == 16)
        return _mm256_shuffle_epi8(x, by16);
    return _mm256_or_si256(_mm256_srli_epi64(x, 63), _mm256_add_epi64(x, x));
}

// Four vectors of four words, row j word i to row i word j.
TARGET static inline void Transpose4(__m256i *rows) {
    __m256i t0 = _mm256_unpacklo_epi64(rows[0], rows[1]);
    __m256i t1 = _mm256_unpackhi_epi64(rows[0], rows[1]);
    __m256i t2 = _mm256_unpacklo_epi64(rows[2], rows[3]);
    __m256i t3 = _mm256_unpackhi_epi64(rows[2], rows[3]);
    rows[0] = _mm256_permute2x128_si256(t0, t2, 0x20);
    rows[1] = _mm256_permute2x128_si256(t1, t3, 0x20);
    rows[2] = _mm256_permute2x128_si256(t0, t2, 0x31);
    rows[3] = _mm256_permute2x128_si256(t1, t3, 0x31);
}

#include "digest/blake2b_lanes_body.h"
