// MD5 in the eight 32-bit lanes of an AVX2 register: eight messages, or
// sixteen with two registers side by side. The steps are SSE2's at twice
// the width; the messages' words are gathered four at a time from each,
// two messages to a register, and turned within each 128-bit half.
//
// Only the kernels are compiled for AVX2; Avx2Usable runs on any x86
// processor.
#include <cpuid.h>
#include <immintrin.h>
#include <stddef.h>

#include "digest/lane_kernels.h"

int Avx2Usable() {
    unsigned eax, ebx, ecx, edx;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        return 0;
    if (!(ecx & bit_OSXSAVE) || !(ecx & bit_AVX))
        return 0;
    // XCR0 must show the system saving the SSE and AVX states (bits 1 and 2).
    unsigned low, high;
    __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    if ((low & 0x6) != 0x6)
        return 0;
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx))
        return 0;
    return (ebx & bit_AVX2) ? 1 : 0;
}

#define LANE_TARGET __attribute__((target("avx2")))
#define LANE_INLINE static inline __attribute__((target("avx2"), always_inline))

typedef __m256i Vector;
static const int LaneWidth = 8;

LANE_INLINE Vector Add(Vector x, Vector y) {
    return _mm256_add_epi32(x, y);
}
LANE_INLINE Vector Splat(uint32_t word) {
    return _mm256_set1_epi32((int)word);
}

// Each written so that b, the newest word, comes in last.
LANE_INLINE Vector RoundF(Vector b, Vector c, Vector d) {
    return _mm256_xor_si256(_mm256_and_si256(_mm256_xor_si256(c, d), b), d);
}
LANE_INLINE Vector RoundG(Vector b, Vector c, Vector d) {
    return _mm256_or_si256(_mm256_andnot_si256(d, c), _mm256_and_si256(b, d));
}
LANE_INLINE Vector RoundH(Vector b, Vector c, Vector d) {
    return _mm256_xor_si256(_mm256_xor_si256(c, d), b);
}
LANE_INLINE Vector RoundI(Vector b, Vector c, Vector d) {
    return _mm256_xor_si256(c, _mm256_or_si256(_mm256_xor_si256(d, _mm256_set1_epi32(-1)), b));
}

#define ROTATE(x, s) _mm256_or_si256(_mm256_slli_epi32((x), (s)), _mm256_srli_epi32((x), 32 - (s)))
#define PIN(x) __asm__("" : "+x"(x))

// Within each half, from one message to a register to one word to a
// register, as in the SSE2 kernels, and back.
LANE_INLINE void Transpose(Vector r0, Vector r1, Vector r2, Vector r3, Vector *w) {
    Vector low01 = _mm256_unpacklo_epi32(r0, r1), low23 = _mm256_unpacklo_epi32(r2, r3);
    Vector high01 = _mm256_unpackhi_epi32(r0, r1), high23 = _mm256_unpackhi_epi32(r2, r3);
    w[0] = _mm256_unpacklo_epi64(low01, low23);
    w[1] = _mm256_unpackhi_epi64(low01, low23);
    w[2] = _mm256_unpacklo_epi64(high01, high23);
    w[3] = _mm256_unpackhi_epi64(high01, high23);
}

// Words 0-3 at place i in the low half and at place i + 4 in the high.
LANE_INLINE Vector LoadPair(const uint8_t *const at[], int i, size_t offset) {
    __m128i low = _mm_loadu_si128((const __m128i *)(at[i] + offset));
    __m128i high = _mm_loadu_si128((const __m128i *)(at[i + 4] + offset));
    return _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
}

// Words 0-3 at each of eight places, turned into word k of each in w[k].
LANE_INLINE void LoadColumns(const uint8_t *const at[], size_t offset, Vector *w) {
    Transpose(LoadPair(at, 0, offset), LoadPair(at, 1, offset), LoadPair(at, 2, offset),
              LoadPair(at, 3, offset), w);
}

// The other way: word k of each place from w[k] back to its place.
LANE_INLINE void StoreColumns(uint8_t *const at[], const Vector *w) {
    Vector r[4];
    Transpose(w[0], w[1], w[2], w[3], r);
    for (int i = 0; i < 4; i++) {
        _mm_storeu_si128((__m128i *)at[i], _mm256_castsi256_si128(r[i]));
        _mm_storeu_si128((__m128i *)at[i + 4], _mm256_extracti128_si256(r[i], 1));
    }
}

#define LANES_ONE Md5LanesAvx2
#define LANES_TWO Md5LanesAvx2Pair
#include "digest/md5_lanes_body.h"
