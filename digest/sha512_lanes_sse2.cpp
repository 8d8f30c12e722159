// SHA-512 in the two 64-bit lanes of an SSE2 register: two messages side by
// side. SSE2 has no rotation, no three-input logic and no byte shuffle, so
// each rotation is two shifts and an or, and the words are turned to big
// endian by shifts and word shuffles: a round is some thirty instructions
// for two messages, which still beats a 32-bit build's integer loop, whose
// every 64-bit operation is two or more.
//
// Only the kernel is compiled for SSE2, which the 32-bit build does not
// otherwise assume; Sse2Usable (digest/md5_lanes_sse2.cpp) runs on any x86
// processor.
#include <emmintrin.h>

#include "digest/lane_kernels.h"

#define LANE_TARGET __attribute__((target("sse2")))
#define LANE_INLINE static inline __attribute__((target("sse2"), always_inline))

typedef __m128i Vector;
static const int LaneWidth = 2;

LANE_INLINE Vector Add(Vector x, Vector y) {
    return _mm_add_epi64(x, y);
}
LANE_INLINE Vector Splat(uint64_t word) {
    return _mm_set1_epi64x((long long)word);
}
LANE_INLINE Vector Xor(Vector x, Vector y) {
    return _mm_xor_si128(x, y);
}

// Three rotations right of one word, the or of each folded into the
// exclusive ors since the halves of a rotation never overlap.
#define ROTATIONS3(x, r, s, t)                                                                     \
    Xor(Xor(Xor(_mm_srli_epi64(x, r), _mm_slli_epi64(x, 64 - (r))),                                \
            Xor(_mm_srli_epi64(x, s), _mm_slli_epi64(x, 64 - (s)))),                               \
        Xor(_mm_srli_epi64(x, t), _mm_slli_epi64(x, 64 - (t))))

LANE_INLINE Vector BigSigma0(Vector a) {
    return ROTATIONS3(a, 28, 34, 39);
}
LANE_INLINE Vector BigSigma1(Vector e) {
    return ROTATIONS3(e, 14, 18, 41);
}
LANE_INLINE Vector SmallSigma0(Vector x) {
    return Xor(Xor(Xor(_mm_srli_epi64(x, 1), _mm_slli_epi64(x, 63)),
                   Xor(_mm_srli_epi64(x, 8), _mm_slli_epi64(x, 56))),
               _mm_srli_epi64(x, 7));
}
LANE_INLINE Vector SmallSigma1(Vector x) {
    return Xor(Xor(Xor(_mm_srli_epi64(x, 19), _mm_slli_epi64(x, 45)),
                   Xor(_mm_srli_epi64(x, 61), _mm_slli_epi64(x, 3))),
               _mm_srli_epi64(x, 6));
}
// e ? f : g, and the bit most of a, b and c hold: where a and b differ, c's.
LANE_INLINE Vector Choose(Vector e, Vector f, Vector g) {
    return Xor(g, _mm_and_si128(e, Xor(f, g)));
}
LANE_INLINE Vector Majority(Vector a, Vector b, Vector c) {
    return Xor(b, _mm_and_si128(Xor(a, b), Xor(b, c)));
}

// Each 64-bit word's bytes reversed: the bytes of each 16-bit word swapped,
// then the four 16-bit words of each 64-bit one.
LANE_INLINE Vector ByteSwapWords(Vector x) {
    x = _mm_or_si128(_mm_slli_epi16(x, 8), _mm_srli_epi16(x, 8));
    return _mm_shufflehi_epi16(_mm_shufflelo_epi16(x, 0x1b), 0x1b);
}

LANE_INLINE void LoadColumns(const uint8_t *const at[], size_t offset, Vector *w, bool swap) {
    for (int k = 0; k < 8; k += 2) {
        Vector first = _mm_loadu_si128((const __m128i *)(at[0] + offset + 8 * k));
        Vector second = _mm_loadu_si128((const __m128i *)(at[1] + offset + 8 * k));
        if (swap) {
            first = ByteSwapWords(first);
            second = ByteSwapWords(second);
        }
        w[k] = _mm_unpacklo_epi64(first, second);
        w[k + 1] = _mm_unpackhi_epi64(first, second);
    }
}

LANE_INLINE void StoreColumns(uint8_t *const at[], const Vector *w) {
    for (int k = 0; k < 8; k += 2) {
        _mm_storeu_si128((__m128i *)(at[0] + 8 * k), _mm_unpacklo_epi64(w[k], w[k + 1]));
        _mm_storeu_si128((__m128i *)(at[1] + 8 * k), _mm_unpackhi_epi64(w[k], w[k + 1]));
    }
}

#define LANES_KERNEL Sha512LanesSse2
#include "digest/sha512_lanes_body.h"
