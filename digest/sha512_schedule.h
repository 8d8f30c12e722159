// The message schedule SHA-512's AVX-512VL loops share
// (digest/sha512_avx512.cpp, digest/sha512_ring.cpp): four words to a ymm
// register, with vprorq for the σ rotations and valignq to take the words
// four and fifteen back, plus the round constants, the next block's beside
// the rounds of this one.
#pragma once

#include <immintrin.h>

#include "digest/sha512_loops.h"

#define SCHEDULE_INLINE static inline __attribute__((target("avx512f,avx512vl"), always_inline))

SCHEDULE_INLINE __m256i SmallSigma0(__m256i x) {
    return _mm256_ternarylogic_epi64(_mm256_ror_epi64(x, 1), _mm256_ror_epi64(x, 8),
                                     _mm256_srli_epi64(x, 7), 0x96);
}

SCHEDULE_INLINE __m256i SmallSigma1(__m256i x) {
    return _mm256_ternarylogic_epi64(_mm256_ror_epi64(x, 19), _mm256_ror_epi64(x, 61),
                                     _mm256_srli_epi64(x, 6), 0x96);
}

// Words 4g to 4g + 3 of the block's schedule, plus their constants, into
// wk; q holds the sixteen words before them, oldest first, and takes the
// new four.
SCHEDULE_INLINE void ScheduleQuad(__m256i *q, const uint8_t *block, int g, uint64_t *wk) {
    __m256i x;
    if (g < 4) {
        const __m256i swap = _mm256_set_epi64x(0x08090a0b0c0d0e0f, 0x0001020304050607,
                                               0x08090a0b0c0d0e0f, 0x0001020304050607);
        x = _mm256_shuffle_epi8(_mm256_loadu_si256((const __m256i *)(block + 32 * g)), swap);
    } else {
        const __m256i zero = _mm256_setzero_si256();
        x = _mm256_add_epi64(q[0], SmallSigma0(_mm256_alignr_epi64(q[1], q[0], 1)));
        x = _mm256_add_epi64(x, _mm256_alignr_epi64(q[3], q[2], 1));
        // σ1 of the two words before these for the low two, then of the
        // new low two for the high two.
        x = _mm256_add_epi64(x, _mm256_alignr_epi64(zero, SmallSigma1(q[3]), 2));
        x = _mm256_add_epi64(x, _mm256_alignr_epi64(SmallSigma1(x), zero, 2));
    }
    q[0] = q[1];
    q[1] = q[2];
    q[2] = q[3];
    q[3] = x;
    _mm256_storeu_si256(
        (__m256i *)(wk + 4 * g),
        _mm256_add_epi64(x, _mm256_loadu_si256((const __m256i *)(Sha512Constants + 4 * g))));
}

// The frame both loops share: the first block's schedule up front, then
// each block's 80 rounds in groups of four (ROUNDS(t), with wk the block's
// schedule), each group beside a quarter of the next block's schedule, into
// the other half of schedules. After the last block the schedule of the
// last again goes nowhere, cheaper than a branch in every group.
#define SCHEDULED_BLOCKS(ROUNDS, ADD_BLOCK)                                                        \
    uint64_t schedules[2][80];                                                                     \
    uint64_t *wk = schedules[0], *wkNext = schedules[1];                                           \
    __m256i q[4] = {};                                                                             \
    for (int quad = 0; quad < 20; quad++)                                                          \
        ScheduleQuad(q, blocks, quad, wk);                                                         \
    for (const uint8_t *end = blocks + length; blocks != end; blocks += 128) {                     \
        const uint8_t *next = blocks + 128 != end ? blocks + 128 : blocks;                         \
        _Pragma("GCC unroll 20") for (int t = 0; t < 80; t += 4) {                                 \
            ScheduleQuad(q, next, t / 4, wkNext);                                                  \
            ROUNDS(t)                                                                              \
        }                                                                                          \
        ADD_BLOCK                                                                                  \
        uint64_t *done = wk;                                                                       \
        wk = wkNext;                                                                               \
        wkNext = done;                                                                             \
    }
