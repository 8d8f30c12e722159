// BLAKE3 in the sixteen 32-bit lanes of an AVX-512 register: sixteen chunks,
// or sixteen parents, at once. vprord rotates by any count in one
// instruction.
//
// Only the kernel is compiled for AVX-512; Avx512VlUsable
// (digest/md5_avx512.h) runs on any x86 processor.
#include <immintrin.h>
#include <stddef.h>
#include <stdint.h>

#include "digest/blake3_kernels.h"

#define LANE_TARGET __attribute__((target("avx512f")))
#define LANE_INLINE static inline __attribute__((target("avx512f"), always_inline))
#define KERNEL_NAME Blake3Avx512

typedef __m512i Vector;
static const int LaneWidth = 16;

// The all-lanes mask spells out what the plain forms leave undefined, which
// GCC 12 takes for a read of an uninitialised value.
const __mmask16 AllLanes = 0xffff;
const __mmask8 AllPairs = 0xff;

LANE_INLINE Vector Add(Vector x, Vector y) {
    return _mm512_add_epi32(x, y);
}
LANE_INLINE Vector Xor(Vector x, Vector y) {
    return _mm512_xor_si512(x, y);
}
LANE_INLINE Vector Splat(uint32_t word) {
    return _mm512_set1_epi32((int)word);
}
LANE_INLINE Vector Rotate16(Vector x) {
    return _mm512_maskz_ror_epi32(AllLanes, x, 16);
}
LANE_INLINE Vector Rotate12(Vector x) {
    return _mm512_maskz_ror_epi32(AllLanes, x, 12);
}
LANE_INLINE Vector Rotate8(Vector x) {
    return _mm512_maskz_ror_epi32(AllLanes, x, 8);
}
LANE_INLINE Vector Rotate7(Vector x) {
    return _mm512_maskz_ror_epi32(AllLanes, x, 7);
}
LANE_INLINE Vector LoadWords(const uint32_t *words) {
    return _mm512_loadu_si512(words);
}

// Sixteen inputs a kilobyte apart are more streams than the processor's own
// prefetching follows: each lane asks for its block a few blocks ahead.
static const size_t PrefetchDistance = 128;

// The whole block of each of the sixteen inputs: turned four by four within
// each 128-bit quarter, then the quarters exchanged among the groups of four
// inputs.
LANE_INLINE void LoadMessage(const uint8_t *const at[], size_t offset, Vector *m) {
    Vector t[16], c[16];
    for (int i = 0; i < 16; i++) {
        t[i] = _mm512_loadu_si512(at[i] + offset);
        _mm_prefetch(reinterpret_cast<const char *>(at[i] + offset + PrefetchDistance),
                     _MM_HINT_T0);
    }
    // c[4 * g + k], quarter q: word 4q + k of the inputs 4g .. 4g + 3.
    for (int g = 0; g < 16; g += 4) {
        Vector u0 = _mm512_maskz_unpacklo_epi32(AllLanes, t[g], t[g + 1]);
        Vector u1 = _mm512_maskz_unpacklo_epi32(AllLanes, t[g + 2], t[g + 3]);
        Vector u2 = _mm512_maskz_unpackhi_epi32(AllLanes, t[g], t[g + 1]);
        Vector u3 = _mm512_maskz_unpackhi_epi32(AllLanes, t[g + 2], t[g + 3]);
        c[g] = _mm512_maskz_unpacklo_epi64(AllPairs, u0, u1);
        c[g + 1] = _mm512_maskz_unpackhi_epi64(AllPairs, u0, u1);
        c[g + 2] = _mm512_maskz_unpacklo_epi64(AllPairs, u2, u3);
        c[g + 3] = _mm512_maskz_unpackhi_epi64(AllPairs, u2, u3);
    }
    for (int k = 0; k < 4; k++) {
        Vector x0 = _mm512_maskz_shuffle_i32x4(AllLanes, c[k], c[4 + k], 0x44);
        Vector x1 = _mm512_maskz_shuffle_i32x4(AllLanes, c[k], c[4 + k], 0xee);
        Vector x2 = _mm512_maskz_shuffle_i32x4(AllLanes, c[8 + k], c[12 + k], 0x44);
        Vector x3 = _mm512_maskz_shuffle_i32x4(AllLanes, c[8 + k], c[12 + k], 0xee);
        m[k] = _mm512_maskz_shuffle_i32x4(AllLanes, x0, x2, 0x88);
        m[4 + k] = _mm512_maskz_shuffle_i32x4(AllLanes, x0, x2, 0xdd);
        m[8 + k] = _mm512_maskz_shuffle_i32x4(AllLanes, x1, x3, 0x88);
        m[12 + k] = _mm512_maskz_shuffle_i32x4(AllLanes, x1, x3, 0xdd);
    }
}

#include "digest/blake3_lanes_body.h"
