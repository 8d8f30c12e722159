// SHA-512 in the four 64-bit lanes of an AVX2 register: four messages side
// by side. AVX2 has no rotation and no three-input logic, so each rotation
// is two shifts and an or (a byte shuffle for σ0's rotation by 8), Σ and σ
// are some eleven instructions and a round some thirty, each serving four
// messages. Each message's words are loaded four at a time and turned, a
// 4 × 4 transpose of unpacks and lane permutes.
//
// Only the kernel is compiled for AVX2; Avx2Usable
// (digest/md5_lanes_avx2.cpp) runs on any x86 processor.
#include <immintrin.h>

#include "digest/lane_kernels.h"

#define LANE_TARGET __attribute__((target("avx2")))
#define LANE_INLINE static inline __attribute__((target("avx2"), always_inline))

typedef __m256i Vector;
static const int LaneWidth = 4;

LANE_INLINE Vector Add(Vector x, Vector y) {
    return _mm256_add_epi64(x, y);
}
LANE_INLINE Vector Splat(uint64_t word) {
    return _mm256_set1_epi64x((long long)word);
}
LANE_INLINE Vector Xor(Vector x, Vector y) {
    return _mm256_xor_si256(x, y);
}

// x >> r ^ x >> s ^ x >> t and the bits each shifts out, brought round:
// three rotations right of one word, with the or of each folded into the
// exclusive ors since the halves of a rotation never overlap.
#define ROTATIONS3(x, r, s, t)                                                                     \
    Xor(Xor(Xor(_mm256_srli_epi64(x, r), _mm256_slli_epi64(x, 64 - (r))),                          \
            Xor(_mm256_srli_epi64(x, s), _mm256_slli_epi64(x, 64 - (s)))),                         \
        Xor(_mm256_srli_epi64(x, t), _mm256_slli_epi64(x, 64 - (t))))

LANE_INLINE Vector BigSigma0(Vector a) {
    return ROTATIONS3(a, 28, 34, 39);
}
LANE_INLINE Vector BigSigma1(Vector e) {
    return ROTATIONS3(e, 14, 18, 41);
}
LANE_INLINE Vector SmallSigma0(Vector x) {
    const Vector byteOn = _mm256_set_epi64x(0x080f0e0d0c0b0a09, 0x0007060504030201,
                                            0x080f0e0d0c0b0a09, 0x0007060504030201);
    return Xor(Xor(_mm256_srli_epi64(x, 1), _mm256_slli_epi64(x, 63)),
               Xor(_mm256_shuffle_epi8(x, byteOn), _mm256_srli_epi64(x, 7)));
}
LANE_INLINE Vector SmallSigma1(Vector x) {
    return Xor(Xor(Xor(_mm256_srli_epi64(x, 19), _mm256_slli_epi64(x, 45)),
                   Xor(_mm256_srli_epi64(x, 61), _mm256_slli_epi64(x, 3))),
               _mm256_srli_epi64(x, 6));
}
// e ? f : g, and the bit most of a, b and c hold: where a and b differ, c's.
LANE_INLINE Vector Choose(Vector e, Vector f, Vector g) {
    return Xor(g, _mm256_and_si256(e, Xor(f, g)));
}
LANE_INLINE Vector Majority(Vector a, Vector b, Vector c) {
    return Xor(b, _mm256_and_si256(Xor(a, b), Xor(b, c)));
}

// r[i] holds four words of place i; afterwards r[k] holds word k of each.
LANE_INLINE void Transpose(Vector *r) {
    Vector even01 = _mm256_unpacklo_epi64(r[0], r[1]); // words 0 and 2
    Vector odd01 = _mm256_unpackhi_epi64(r[0], r[1]);  // words 1 and 3
    Vector even23 = _mm256_unpacklo_epi64(r[2], r[3]);
    Vector odd23 = _mm256_unpackhi_epi64(r[2], r[3]);
    r[0] = _mm256_permute2x128_si256(even01, even23, 0x20);
    r[1] = _mm256_permute2x128_si256(odd01, odd23, 0x20);
    r[2] = _mm256_permute2x128_si256(even01, even23, 0x31);
    r[3] = _mm256_permute2x128_si256(odd01, odd23, 0x31);
}

LANE_INLINE void LoadColumns(const uint8_t *const at[], size_t offset, Vector *w, bool swap) {
    const Vector order = _mm256_set_epi64x(0x08090a0b0c0d0e0f, 0x0001020304050607,
                                           0x08090a0b0c0d0e0f, 0x0001020304050607);
    for (int half = 0; half < 8; half += 4) {
        for (int i = 0; i < 4; i++) {
            w[half + i] = _mm256_loadu_si256((const __m256i *)(at[i] + offset + 8 * half));
            if (swap)
                w[half + i] = _mm256_shuffle_epi8(w[half + i], order);
        }
        Transpose(w + half);
    }
}

LANE_INLINE void StoreColumns(uint8_t *const at[], const Vector *w) {
    for (int half = 0; half < 8; half += 4) {
        Vector r[4] = {w[half], w[half + 1], w[half + 2], w[half + 3]};
        Transpose(r);
        for (int i = 0; i < 4; i++)
            _mm256_storeu_si256((__m256i *)(at[i] + 8 * half), r[i]);
    }
}

#define LANES_KERNEL Sha512LanesAvx2
#include "digest/sha512_lanes_body.h"
