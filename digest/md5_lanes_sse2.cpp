// MD5 in the four 32-bit lanes of an SSE2 register: four messages, or eight
// with two registers side by side. SSE2 has no rotation and no three-input
// logic, so a step takes more instructions than the integer loop's, but each
// of them serves four messages.
//
// Only the kernels are compiled for SSE2, which the 32-bit build does not
// otherwise assume; Sse2Usable runs on any x86 processor.
#include <cpuid.h>
#include <emmintrin.h>
#include <stddef.h>

#include "digest/lane_kernels.h"

int Sse2Usable() {
    unsigned eax, ebx, ecx, edx;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        return 0;
    return (edx & bit_SSE2) ? 1 : 0;
}

#define LANE_TARGET __attribute__((target("sse2")))
#define LANE_INLINE static inline __attribute__((target("sse2"), always_inline))

typedef __m128i Vector;
static const int LaneWidth = 4;

LANE_INLINE Vector Add(Vector x, Vector y) {
    return _mm_add_epi32(x, y);
}
LANE_INLINE Vector Splat(uint32_t word) {
    return _mm_set1_epi32((int)word);
}

// Each written so that b, the newest word, comes in last.
LANE_INLINE Vector RoundF(Vector b, Vector c, Vector d) {
    return _mm_xor_si128(_mm_and_si128(_mm_xor_si128(c, d), b), d);
}
LANE_INLINE Vector RoundG(Vector b, Vector c, Vector d) {
    return _mm_or_si128(_mm_andnot_si128(d, c), _mm_and_si128(b, d));
}
LANE_INLINE Vector RoundH(Vector b, Vector c, Vector d) {
    return _mm_xor_si128(_mm_xor_si128(c, d), b);
}
LANE_INLINE Vector RoundI(Vector b, Vector c, Vector d) {
    return _mm_xor_si128(c, _mm_or_si128(_mm_xor_si128(d, _mm_set1_epi32(-1)), b));
}

#define ROTATE(x, s) _mm_or_si128(_mm_slli_epi32((x), (s)), _mm_srli_epi32((x), 32 - (s)))
#define PIN(x) __asm__("" : "+x"(x))

// Four words of four messages, one message to a register, turned into one
// word to a register: r[i] holds words 0-3 of message i, w[k] word k of all.
// Turned twice, they are back.
LANE_INLINE void Transpose(Vector r0, Vector r1, Vector r2, Vector r3, Vector *w) {
    Vector low01 = _mm_unpacklo_epi32(r0, r1), low23 = _mm_unpacklo_epi32(r2, r3);
    Vector high01 = _mm_unpackhi_epi32(r0, r1), high23 = _mm_unpackhi_epi32(r2, r3);
    w[0] = _mm_unpacklo_epi64(low01, low23);
    w[1] = _mm_unpackhi_epi64(low01, low23);
    w[2] = _mm_unpacklo_epi64(high01, high23);
    w[3] = _mm_unpackhi_epi64(high01, high23);
}

// Words 0-3 at each of four places, turned into word k of each in w[k].
LANE_INLINE void LoadColumns(const uint8_t *const at[], size_t offset, Vector *w) {
    Transpose(_mm_loadu_si128((const __m128i *)(at[0] + offset)),
              _mm_loadu_si128((const __m128i *)(at[1] + offset)),
              _mm_loadu_si128((const __m128i *)(at[2] + offset)),
              _mm_loadu_si128((const __m128i *)(at[3] + offset)), w);
}

// The other way: word k of each place from w[k] back to its place.
LANE_INLINE void StoreColumns(uint8_t *const at[], const Vector *w) {
    Vector r[4];
    Transpose(w[0], w[1], w[2], w[3], r);
    for (int i = 0; i < 4; i++)
        _mm_storeu_si128((__m128i *)at[i], r[i]);
}

#define LANES_ONE Md5LanesSse2
#define LANES_TWO Md5LanesSse2Pair
#include "digest/md5_lanes_body.h"
