// SHA-512's compression loop on AVX-512VL, in either build.
//
// The rounds run in vector registers: a and e share one (a in the low lane,
// e in the high), and so do b and f, c and g, d and h. One variable rotate
// (vprorvq, each lane its own count) then gives three terms of Σ0(a) and
// Σ1(e) at once, one vpternlogq joins them; another gives Maj(a, b, c) and
// Ch(e, f, g) at once, since Maj(a, b, c) is Ch(~(a ^ b), b, c): the low lane
// of the selector is made ~(a ^ b) first. About a dozen vector instructions
// a round, where the 32-bit build's plain loop needs several dozen 32-bit
// ones and the 64-bit build's about twenty-two integer ones.
//
// The schedule is computed a block ahead of its rounds, four words to a ymm
// register with vprorq for the σ rotations, plus the round constants, and the
// rounds take each word from the stack, broadcast to both lanes.
#include <immintrin.h>

#include "digest/sha512_loops.h"

#define AVX512_TARGET __attribute__((target("avx512f,avx512vl")))

// σ0 and σ1 of four schedule words.
AVX512_TARGET static inline __m256i SmallSigma0(__m256i x) {
    return _mm256_ternarylogic_epi64(_mm256_ror_epi64(x, 1), _mm256_ror_epi64(x, 8),
                                     _mm256_srli_epi64(x, 7), 0x96);
}

AVX512_TARGET static inline __m256i SmallSigma1(__m256i x) {
    return _mm256_ternarylogic_epi64(_mm256_ror_epi64(x, 19), _mm256_ror_epi64(x, 61),
                                     _mm256_srli_epi64(x, 6), 0x96);
}

// The block's 80 schedule words plus their round constants, into wk.
AVX512_TARGET static void Schedule(const uint8_t *block, uint64_t *wk) {
    const __m256i swap = _mm256_set_epi64x(0x08090a0b0c0d0e0f, 0x0001020304050607,
                                           0x08090a0b0c0d0e0f, 0x0001020304050607);
    const __m256i zero = _mm256_setzero_si256();
    __m256i q[4];
    for (int i = 0; i < 4; i++) {
        q[i] = _mm256_shuffle_epi8(_mm256_loadu_si256((const __m256i *)(block + 32 * i)), swap);
        _mm256_storeu_si256(
            (__m256i *)(wk + 4 * i),
            _mm256_add_epi64(q[i], _mm256_loadu_si256((const __m256i *)(Sha512Constants + 4 * i))));
    }
    for (int t = 16; t < 80; t += 4) {
        // Words t-16 to t-1 are q[0] to q[3]; W[t] needs W[t-15] and W[t-7].
        __m256i x = _mm256_add_epi64(q[0], SmallSigma0(_mm256_alignr_epi64(q[1], q[0], 1)));
        x = _mm256_add_epi64(x, _mm256_alignr_epi64(q[3], q[2], 1));
        // σ1 of W[t-2] and W[t-1] for the low two words, then of the new
        // low two for the high two.
        x = _mm256_add_epi64(x, _mm256_alignr_epi64(zero, SmallSigma1(q[3]), 2));
        x = _mm256_add_epi64(x, _mm256_alignr_epi64(SmallSigma1(x), zero, 2));
        q[0] = q[1];
        q[1] = q[2];
        q[2] = q[3];
        q[3] = x;
        _mm256_storeu_si256(
            (__m256i *)(wk + t),
            _mm256_add_epi64(x, _mm256_loadu_si256((const __m256i *)(Sha512Constants + t))));
    }
}

// One round; ae becomes the new (a, e) in dh's register, and the callers
// rename the others. q is (h + wk, h + wk + d), off the chain through e.
#define ROUND(ae, bf, cg, dh, t)                                                                   \
    {                                                                                              \
        __m128i kw = _mm_broadcastq_epi64(_mm_loadl_epi64((const __m128i *)(wk + (t))));           \
        __m128i q = _mm_add_epi64(_mm_unpackhi_epi64((dh), (dh)), kw);                             \
        q = _mm_add_epi64(q, _mm_bslli_si128((dh), 8));                                            \
        __m128i sigma =                                                                            \
            _mm_ternarylogic_epi64(_mm_rorv_epi64((ae), rotate1), _mm_rorv_epi64((ae), rotate2),   \
                                   _mm_rorv_epi64((ae), rotate3), 0x96);                           \
        __m128i selector = _mm_ternarylogic_epi64((ae), (bf), lowLane, 0xd2);                      \
        __m128i sum = _mm_add_epi64(sigma, _mm_ternarylogic_epi64(selector, (bf), (cg), 0xca));    \
        (dh) = _mm_add_epi64(_mm_unpackhi_epi64(sum, sum), _mm_mask_add_epi64(q, 1, sum, q));      \
    }

#define EIGHT_ROUNDS(t)                                                                            \
    ROUND(ae, bf, cg, dh, (t))                                                                     \
    ROUND(dh, ae, bf, cg, (t) + 1)                                                                 \
    ROUND(cg, dh, ae, bf, (t) + 2)                                                                 \
    ROUND(bf, cg, dh, ae, (t) + 3)                                                                 \
    ROUND(ae, bf, cg, dh, (t) + 4)                                                                 \
    ROUND(dh, ae, bf, cg, (t) + 5)                                                                 \
    ROUND(cg, dh, ae, bf, (t) + 6)                                                                 \
    ROUND(bf, cg, dh, ae, (t) + 7)

AVX512_TARGET void Sha512CompressAvx512(uint64_t *words, const uint8_t *blocks, uint32_t length) {
    // Σ0's rotations in the low lane, Σ1's in the high; the selector's mask.
    const __m128i rotate1 = _mm_set_epi64x(14, 28), rotate2 = _mm_set_epi64x(18, 34);
    const __m128i rotate3 = _mm_set_epi64x(41, 39), lowLane = _mm_set_epi64x(0, -1);
    __m128i ae = _mm_set_epi64x((long long)words[4], (long long)words[0]);
    __m128i bf = _mm_set_epi64x((long long)words[5], (long long)words[1]);
    __m128i cg = _mm_set_epi64x((long long)words[6], (long long)words[2]);
    __m128i dh = _mm_set_epi64x((long long)words[7], (long long)words[3]);
    uint64_t wk[80];
    for (const uint8_t *end = blocks + length; blocks != end; blocks += 128) {
        Schedule(blocks, wk);
        const __m128i savedAe = ae, savedBf = bf, savedCg = cg, savedDh = dh;
        for (int t = 0; t < 80; t += 8) {
            EIGHT_ROUNDS(t)
        }
        ae = _mm_add_epi64(ae, savedAe);
        bf = _mm_add_epi64(bf, savedBf);
        cg = _mm_add_epi64(cg, savedCg);
        dh = _mm_add_epi64(dh, savedDh);
    }
    const __m128i *lanes[4] = {&ae, &bf, &cg, &dh};
    for (int i = 0; i < 4; i++) {
        _mm_storel_epi64((__m128i *)(words + i), *lanes[i]);
        _mm_storel_epi64((__m128i *)(words + 4 + i), _mm_unpackhi_epi64(*lanes[i], *lanes[i]));
    }
}
