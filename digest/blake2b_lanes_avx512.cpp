// BLAKE2b over 8 messages side by side in the 64-bit lanes of zmm registers,
// rotating with vprorq; see digest/blake2b_lanes_body.h.
#include <immintrin.h>

#include "digest/blake2b_lanes.h"

#define TARGET __attribute__((target("avx512f,avx512vl")))
#define VEC __m512i
#define LANES 8
#define ADD(a, b) _mm512_add_epi64((a), (b))
#define XOR(a, b) _mm512_xor_si512((a), (b))
#define ROR(x, bits) _mm512_maskz_ror_epi64(AllLanes, (x), (bits))
#define SET1(x) _mm512_set1_epi64((long long)(x))
#define LOADU(p) _mm512_loadu_si512((const void *)(p))
#define STOREU(p, x) _mm512_storeu_si512((void *)(p), (x))
#define TRANSPOSE(rows) Transpose8(rows)
#define NAME Blake2bLanesCoreAvx512

// The all-lanes mask spells out what the plain forms leave undefined, which
// GCC 12 takes for a read of an uninitialised value.
static const __mmask8 AllLanes = 0xff;

// Eight vectors of eight words, row j word i to row i word j: pairs of
// words, then pairs of pairs, then halves.
TARGET static inline void Transpose8(__m512i *rows) {
    __m512i t[8], u[8];
    for (int i = 0; i < 8; i += 2) {
        t[i] = _mm512_maskz_unpacklo_epi64(AllLanes, rows[i], rows[i + 1]);
        t[i + 1] = _mm512_maskz_unpackhi_epi64(AllLanes, rows[i], rows[i + 1]);
    }
    // u[0]: words 0 and 4 of rows 0 to 3, u[1]: 2 and 6, u[2]: 1 and 5,
    // u[3]: 3 and 7; u[4] to u[7] the same of rows 4 to 7.
    for (int half = 0; half < 8; half += 4) {
        u[half] =
            _mm512_maskz_shuffle_i64x2(AllLanes, t[half], t[half + 2], _MM_SHUFFLE(2, 0, 2, 0));
        u[half + 1] =
            _mm512_maskz_shuffle_i64x2(AllLanes, t[half], t[half + 2], _MM_SHUFFLE(3, 1, 3, 1));
        u[half + 2] =
            _mm512_maskz_shuffle_i64x2(AllLanes, t[half + 1], t[half + 3], _MM_SHUFFLE(2, 0, 2, 0));
        u[half + 3] =
            _mm512_maskz_shuffle_i64x2(AllLanes, t[half + 1], t[half + 3], _MM_SHUFFLE(3, 1, 3, 1));
    }
    const int firstWord[4] = {0, 2, 1, 3};
    for (int k = 0; k < 4; k++) {
        rows[firstWord[k]] =
            _mm512_maskz_shuffle_i64x2(AllLanes, u[k], u[k + 4], _MM_SHUFFLE(2, 0, 2, 0));
        rows[firstWord[k] + 4] =
            _mm512_maskz_shuffle_i64x2(AllLanes, u[k], u[k + 4], _MM_SHUFFLE(3, 1, 3, 1));
    }
}

#include "digest/blake2b_lanes_body.h"
