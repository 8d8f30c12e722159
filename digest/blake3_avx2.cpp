// BLAKE3 in the eight 32-bit lanes of an AVX2 register: eight chunks, or
// eight parents, at once, the rotations as SSE4.1's at twice the width.
//
// Only the kernel is compiled for AVX2; Avx2Usable (digest/lane_kernels.h)
// runs on any x86 processor.
#include <immintrin.h>
#include <stddef.h>
#include <stdint.h>

#include "digest/blake3_kernels.h"

#define LANE_TARGET __attribute__((target("avx2")))
#define LANE_INLINE static inline __attribute__((target("avx2"), always_inline))
#define KERNEL_NAME Blake3Avx2

typedef __m256i Vector;
static const int LaneWidth = 8;

LANE_INLINE Vector Add(Vector x, Vector y) {
    return _mm256_add_epi32(x, y);
}
LANE_INLINE Vector Xor(Vector x, Vector y) {
    return _mm256_xor_si256(x, y);
}
LANE_INLINE Vector Splat(uint32_t word) {
    return _mm256_set1_epi32((int)word);
}
LANE_INLINE Vector Rotate16(Vector x) {
    return _mm256_shuffle_epi8(x, _mm256_set_epi8(13, 12, 15, 14, 9, 8, 11, 10, 5, 4, 7, 6, 1, 0, 3,
                                                  2, 13, 12, 15, 14, 9, 8, 11, 10, 5, 4, 7, 6, 1, 0,
                                                  3, 2));
}
LANE_INLINE Vector Rotate8(Vector x) {
    return _mm256_shuffle_epi8(x, _mm256_set_epi8(12, 15, 14, 13, 8, 11, 10, 9, 4, 7, 6, 5, 0, 3, 2,
                                                  1, 12, 15, 14, 13, 8, 11, 10, 9, 4, 7, 6, 5, 0, 3,
                                                  2, 1));
}
LANE_INLINE Vector Rotate12(Vector x) {
    return _mm256_or_si256(_mm256_srli_epi32(x, 12), _mm256_slli_epi32(x, 20));
}
LANE_INLINE Vector Rotate7(Vector x) {
    return _mm256_or_si256(_mm256_srli_epi32(x, 7), _mm256_slli_epi32(x, 25));
}
LANE_INLINE Vector LoadWords(const uint32_t *words) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(words));
}

// Eight words of each of the eight inputs: turned four by four within each
// 128-bit half, then the halves exchanged between the inputs 0-3 and 4-7.
LANE_INLINE void LoadMessage(const uint8_t *const at[], size_t offset, Vector *m) {
    for (int half = 0; half < 2; half++) {
        size_t place = offset + 32 * half;
        Vector t[8], c[8];
        for (int i = 0; i < 8; i++)
            t[i] = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(at[i] + place));
        for (int g = 0; g < 8; g += 4) {
            Vector u0 = _mm256_unpacklo_epi32(t[g], t[g + 1]);
            Vector u1 = _mm256_unpacklo_epi32(t[g + 2], t[g + 3]);
            Vector u2 = _mm256_unpackhi_epi32(t[g], t[g + 1]);
            Vector u3 = _mm256_unpackhi_epi32(t[g + 2], t[g + 3]);
            c[g] = _mm256_unpacklo_epi64(u0, u1);
            c[g + 1] = _mm256_unpackhi_epi64(u0, u1);
            c[g + 2] = _mm256_unpacklo_epi64(u2, u3);
            c[g + 3] = _mm256_unpackhi_epi64(u2, u3);
        }
        for (int k = 0; k < 4; k++) {
            m[8 * half + k] = _mm256_permute2x128_si256(c[k], c[k + 4], 0x20);
            m[8 * half + k + 4] = _mm256_permute2x128_si256(c[k], c[k + 4], 0x31);
        }
    }
}

#include "digest/blake3_lanes_body.h"
