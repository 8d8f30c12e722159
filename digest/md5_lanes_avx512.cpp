// MD5 in the sixteen 32-bit lanes of an AVX-512 register: sixteen messages,
// or thirty-two with two registers side by side. vpternlogd computes any
// round function in one instruction and vprold rotates in one, so a step is
// six instructions for sixteen messages. The messages' words are gathered
// four at a time from each, four messages to a register, and turned within
// each 128-bit quarter.
//
// Only the kernels are compiled for AVX-512; Avx512VlUsable
// (digest/md5_avx512.cpp), which guards them, runs on any x86 processor.
#include <immintrin.h>
#include <stddef.h>

#include "digest/lane_kernels.h"
#include "digest/md5_ternary.h"

#define LANE_TARGET __attribute__((target("avx512f")))
#define LANE_INLINE static inline __attribute__((target("avx512f"), always_inline))

typedef __m512i Vector;
static const int LaneWidth = 16;

LANE_INLINE Vector Add(Vector x, Vector y) {
    return _mm512_add_epi32(x, y);
}
LANE_INLINE Vector Splat(uint32_t word) {
    return _mm512_set1_epi32((int)word);
}

// The round functions as vpternlogd immediates (md5_ternary.h).

LANE_INLINE Vector RoundF(Vector b, Vector c, Vector d) {
    return _mm512_ternarylogic_epi32(d, c, b, MD5_TABLE(F));
}
LANE_INLINE Vector RoundG(Vector b, Vector c, Vector d) {
    return _mm512_ternarylogic_epi32(d, c, b, MD5_TABLE(G));
}
LANE_INLINE Vector RoundH(Vector b, Vector c, Vector d) {
    return _mm512_ternarylogic_epi32(d, c, b, MD5_TABLE(H));
}
LANE_INLINE Vector RoundI(Vector b, Vector c, Vector d) {
    return _mm512_ternarylogic_epi32(d, c, b, MD5_TABLE(I));
}

// The all-lanes mask spells out what the plain forms leave undefined, which
// GCC 12 takes for a read of an uninitialised value.
const __mmask16 AllLanes = 0xffff;
const __mmask8 AllPairs = 0xff;
const __mmask8 AllWords = 0xf;

#define ROTATE(x, s) _mm512_maskz_rol_epi32(AllLanes, (x), (s))
#define PIN(x) __asm__("" : "+v"(x))

// Within each quarter, from one message to a register to one word to a
// register, as in the SSE2 kernels, and back.
LANE_INLINE void Transpose(Vector r0, Vector r1, Vector r2, Vector r3, Vector *w) {
    Vector low01 = _mm512_maskz_unpacklo_epi32(AllLanes, r0, r1);
    Vector low23 = _mm512_maskz_unpacklo_epi32(AllLanes, r2, r3);
    Vector high01 = _mm512_maskz_unpackhi_epi32(AllLanes, r0, r1);
    Vector high23 = _mm512_maskz_unpackhi_epi32(AllLanes, r2, r3);
    w[0] = _mm512_maskz_unpacklo_epi64(AllPairs, low01, low23);
    w[1] = _mm512_maskz_unpackhi_epi64(AllPairs, low01, low23);
    w[2] = _mm512_maskz_unpacklo_epi64(AllPairs, high01, high23);
    w[3] = _mm512_maskz_unpackhi_epi64(AllPairs, high01, high23);
}

// Words 0-3 at places i, i + 4, i + 8 and i + 12, one to a quarter.
LANE_INLINE Vector LoadQuarters(const uint8_t *const at[], int i, size_t offset) {
    Vector v = _mm512_castsi128_si512(_mm_loadu_si128((const __m128i *)(at[i] + offset)));
    v = _mm512_inserti32x4(v, _mm_loadu_si128((const __m128i *)(at[i + 4] + offset)), 1);
    v = _mm512_inserti32x4(v, _mm_loadu_si128((const __m128i *)(at[i + 8] + offset)), 2);
    return _mm512_inserti32x4(v, _mm_loadu_si128((const __m128i *)(at[i + 12] + offset)), 3);
}

// Words 0-3 at each of sixteen places, turned into word k of each in w[k].
LANE_INLINE void LoadColumns(const uint8_t *const at[], size_t offset, Vector *w) {
    Transpose(LoadQuarters(at, 0, offset), LoadQuarters(at, 1, offset), LoadQuarters(at, 2, offset),
              LoadQuarters(at, 3, offset), w);
}

// The other way: word k of each place from w[k] back to its place.
LANE_INLINE void StoreColumns(uint8_t *const at[], const Vector *w) {
    Vector r[4];
    Transpose(w[0], w[1], w[2], w[3], r);
    for (int i = 0; i < 4; i++) {
        _mm_storeu_si128((__m128i *)at[i], _mm512_maskz_extracti32x4_epi32(AllWords, r[i], 0));
        _mm_storeu_si128((__m128i *)at[i + 4], _mm512_maskz_extracti32x4_epi32(AllWords, r[i], 1));
        _mm_storeu_si128((__m128i *)at[i + 8], _mm512_maskz_extracti32x4_epi32(AllWords, r[i], 2));
        _mm_storeu_si128((__m128i *)at[i + 12], _mm512_maskz_extracti32x4_epi32(AllWords, r[i], 3));
    }
}

#define LANES_ONE Md5LanesAvx512
#define LANES_TWO Md5LanesAvx512Pair
#include "digest/md5_lanes_body.h"
