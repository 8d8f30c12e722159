// SHA-512 in the eight 64-bit lanes of an AVX-512 register: eight messages
// side by side. vprorq rotates in one instruction and vpternlogq computes
// Ch, Maj and each three-way exclusive or of the Σ and σ functions in one,
// so a round is some sixteen instructions for eight messages. Each message's
// words are loaded eight at a time and turned, an 8 × 8 transpose in three
// stages of shuffles.
//
// Only the kernel is compiled for AVX-512; Avx512BwUsable runs on any x86
// processor.
#include <cpuid.h>
#include <immintrin.h>

#include "digest/lane_kernels.h"
#include "digest/md5_avx512.h"

int Avx512BwUsable() {
    unsigned eax, ebx, ecx, edx;
    if (!Avx512VlUsable() || !__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx))
        return 0;
    return (ebx & bit_AVX512BW) ? 1 : 0;
}

#define LANE_TARGET __attribute__((target("avx512f,avx512bw")))
#define LANE_INLINE static inline __attribute__((target("avx512f,avx512bw"), always_inline))

typedef __m512i Vector;
static const int LaneWidth = 8;

// The all-lanes mask spells out what the plain forms of the rotations,
// shifts and shuffles leave undefined, which GCC 12 takes for a read of an
// uninitialised value.
const __mmask8 AllWords = 0xff;

LANE_INLINE Vector Add(Vector x, Vector y) {
    return _mm512_add_epi64(x, y);
}
LANE_INLINE Vector Splat(uint64_t word) {
    return _mm512_set1_epi64((long long)word);
}

LANE_INLINE Vector Xor3(Vector x, Vector y, Vector z) {
    return _mm512_ternarylogic_epi64(x, y, z, 0x96);
}
LANE_INLINE Vector BigSigma0(Vector a) {
    return Xor3(_mm512_maskz_ror_epi64(AllWords, a, 28), _mm512_maskz_ror_epi64(AllWords, a, 34),
                _mm512_maskz_ror_epi64(AllWords, a, 39));
}
LANE_INLINE Vector BigSigma1(Vector e) {
    return Xor3(_mm512_maskz_ror_epi64(AllWords, e, 14), _mm512_maskz_ror_epi64(AllWords, e, 18),
                _mm512_maskz_ror_epi64(AllWords, e, 41));
}
LANE_INLINE Vector SmallSigma0(Vector x) {
    return Xor3(_mm512_maskz_ror_epi64(AllWords, x, 1), _mm512_maskz_ror_epi64(AllWords, x, 8),
                _mm512_maskz_srli_epi64(AllWords, x, 7));
}
LANE_INLINE Vector SmallSigma1(Vector x) {
    return Xor3(_mm512_maskz_ror_epi64(AllWords, x, 19), _mm512_maskz_ror_epi64(AllWords, x, 61),
                _mm512_maskz_srli_epi64(AllWords, x, 6));
}
// e ? f : g, and the bit most of a, b and c hold.
LANE_INLINE Vector Choose(Vector e, Vector f, Vector g) {
    return _mm512_ternarylogic_epi64(e, f, g, 0xca);
}
LANE_INLINE Vector Majority(Vector a, Vector b, Vector c) {
    return _mm512_ternarylogic_epi64(a, b, c, 0xe8);
}

// r[i] holds eight words of place i; afterwards r[k] holds word k of each.
// A transpose, so the same shuffles turn it back.
LANE_INLINE void Transpose(Vector *r) {
    Vector t[8], u[8];
    for (int i = 0; i < 8; i += 2) {
        t[i] = _mm512_maskz_unpacklo_epi64(AllWords, r[i], r[i + 1]);     // words 0, 2, 4, 6
        t[i + 1] = _mm512_maskz_unpackhi_epi64(AllWords, r[i], r[i + 1]); // words 1, 3, 5, 7
    }
    // Pairs of places, quarters of words: u[0] words 0, 4 of places 0-1 and
    // 2-3; u[1] words 2, 6; u[2] words 1, 5; u[3] words 3, 7; u[4..7] the
    // same of places 4-7.
    for (int half = 0; half < 8; half += 4) {
        u[half] = _mm512_maskz_shuffle_i64x2(AllWords, t[half], t[half + 2], 0x88);
        u[half + 1] = _mm512_maskz_shuffle_i64x2(AllWords, t[half], t[half + 2], 0xdd);
        u[half + 2] = _mm512_maskz_shuffle_i64x2(AllWords, t[half + 1], t[half + 3], 0x88);
        u[half + 3] = _mm512_maskz_shuffle_i64x2(AllWords, t[half + 1], t[half + 3], 0xdd);
    }
    r[0] = _mm512_maskz_shuffle_i64x2(AllWords, u[0], u[4], 0x88);
    r[4] = _mm512_maskz_shuffle_i64x2(AllWords, u[0], u[4], 0xdd);
    r[2] = _mm512_maskz_shuffle_i64x2(AllWords, u[1], u[5], 0x88);
    r[6] = _mm512_maskz_shuffle_i64x2(AllWords, u[1], u[5], 0xdd);
    r[1] = _mm512_maskz_shuffle_i64x2(AllWords, u[2], u[6], 0x88);
    r[5] = _mm512_maskz_shuffle_i64x2(AllWords, u[2], u[6], 0xdd);
    r[3] = _mm512_maskz_shuffle_i64x2(AllWords, u[3], u[7], 0x88);
    r[7] = _mm512_maskz_shuffle_i64x2(AllWords, u[3], u[7], 0xdd);
}

LANE_INLINE void LoadColumns(const uint8_t *const at[], size_t offset, Vector *w, bool swap) {
    const Vector order = _mm512_set_epi64(
        0x08090a0b0c0d0e0f, 0x0001020304050607, 0x08090a0b0c0d0e0f, 0x0001020304050607,
        0x08090a0b0c0d0e0f, 0x0001020304050607, 0x08090a0b0c0d0e0f, 0x0001020304050607);
    for (int i = 0; i < 8; i++) {
        w[i] = _mm512_loadu_si512(at[i] + offset);
        if (swap)
            w[i] = _mm512_shuffle_epi8(w[i], order);
    }
    Transpose(w);
}

LANE_INLINE void StoreColumns(uint8_t *const at[], const Vector *w) {
    Vector r[8];
    for (int i = 0; i < 8; i++)
        r[i] = w[i];
    Transpose(r);
    for (int i = 0; i < 8; i++)
        _mm512_storeu_si512(at[i], r[i]);
}

#define LANES_KERNEL Sha512LanesAvx512
#include "digest/sha512_lanes_body.h"
