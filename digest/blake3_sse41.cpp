// BLAKE3 in the four 32-bit lanes of an SSE register: four chunks, or four
// parents, at once. SSSE3's byte shuffle rotates by 8 and 16 in one
// instruction; the other rotations take two shifts and an or.
//
// Only the kernel is compiled for SSE4.1, which the 32-bit build does not
// otherwise assume; Sse41Usable runs on any x86 processor.
#include <cpuid.h>
#include <smmintrin.h>
#include <stddef.h>
#include <stdint.h>

#include "digest/blake3_kernels.h"

int Sse41Usable() {
    unsigned eax, ebx, ecx, edx;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        return 0;
    return (ecx & bit_SSE4_1) && (ecx & bit_SSSE3) ? 1 : 0;
}

#define LANE_TARGET __attribute__((target("sse4.1")))
#define LANE_INLINE static inline __attribute__((target("sse4.1"), always_inline))
#define KERNEL_NAME Blake3Sse41

typedef __m128i Vector;
static const int LaneWidth = 4;

LANE_INLINE Vector Add(Vector x, Vector y) {
    return _mm_add_epi32(x, y);
}
LANE_INLINE Vector Xor(Vector x, Vector y) {
    return _mm_xor_si128(x, y);
}
LANE_INLINE Vector Splat(uint32_t word) {
    return _mm_set1_epi32((int)word);
}
LANE_INLINE Vector Rotate16(Vector x) {
    return _mm_shuffle_epi8(x, _mm_set_epi8(13, 12, 15, 14, 9, 8, 11, 10, 5, 4, 7, 6, 1, 0, 3, 2));
}
LANE_INLINE Vector Rotate8(Vector x) {
    return _mm_shuffle_epi8(x, _mm_set_epi8(12, 15, 14, 13, 8, 11, 10, 9, 4, 7, 6, 5, 0, 3, 2, 1));
}
LANE_INLINE Vector Rotate12(Vector x) {
    return _mm_or_si128(_mm_srli_epi32(x, 12), _mm_slli_epi32(x, 20));
}
LANE_INLINE Vector Rotate7(Vector x) {
    return _mm_or_si128(_mm_srli_epi32(x, 7), _mm_slli_epi32(x, 25));
}
LANE_INLINE Vector LoadWords(const uint32_t *words) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(words));
}

// Four words of each of the four inputs, turned so that each vector holds
// one word of every input.
LANE_INLINE void LoadMessage(const uint8_t *const at[], size_t offset, Vector *m) {
    for (int quarter = 0; quarter < 4; quarter++) {
        size_t place = offset + 16 * quarter;
        Vector r0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at[0] + place));
        Vector r1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at[1] + place));
        Vector r2 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at[2] + place));
        Vector r3 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at[3] + place));
        Vector t0 = _mm_unpacklo_epi32(r0, r1), t1 = _mm_unpacklo_epi32(r2, r3);
        Vector t2 = _mm_unpackhi_epi32(r0, r1), t3 = _mm_unpackhi_epi32(r2, r3);
        m[4 * quarter] = _mm_unpacklo_epi64(t0, t1);
        m[4 * quarter + 1] = _mm_unpackhi_epi64(t0, t1);
        m[4 * quarter + 2] = _mm_unpacklo_epi64(t2, t3);
        m[4 * quarter + 3] = _mm_unpackhi_epi64(t2, t3);
    }
}

#include "digest/blake3_lanes_body.h"
