// SHA-512's compression loops on AVX-512VL, in either build.
//
// Both compute the message schedule four words to a ymm register, with
// vprorq for the σ rotations and valignq to take the words four and
// fifteen back, and add the round constants: the schedule of the next block
// is computed while the rounds of this one run, a quarter of a block's
// schedule every four rounds, so that the vector units work beside the
// rounds instead of before them. The rounds read each word plus constant
// from the stack.
//
// The loops differ in where the rounds run. "bmi2" keeps the eight working
// words in 64-bit integer registers and rotates with rorx, which leaves the
// source intact: about twenty-two integer instructions a round, so the
// integer units bound it. "avx512vl" keeps a and e, and the rest, each in a
// vector register and does every rotation, the majority and the choice in
// single instructions (vprorq, vpternlogq): that serves the 32-bit build,
// whose integer registers would take each 64-bit operation in two or more
// 32-bit ones.
#include <immintrin.h>

#include "digest/sha512_loops.h"
#include "digest/sha512_schedule.h"

#define ROTR64(x, s) (((x) >> (s)) | ((x) << (64 - (s))))

// One round in integer registers; the callers rename the words. Ch as two
// disjoint halves added (andn leaves e intact), Maj with a ^ b, which the
// compiler keeps for the next round's b ^ c.
#define INTEGER_ROUND(a, b, c, d, e, f, g, h, t)                                                   \
    {                                                                                              \
        uint64_t x = h + wk[t] + (e & f) + (~e & g);                                               \
        x += ROTR64(e, 14) ^ ROTR64(e, 18) ^ ROTR64(e, 41);                                        \
        d += x;                                                                                    \
        h = x + ((((a ^ b) & (b ^ c)) ^ b) + (ROTR64(a, 28) ^ ROTR64(a, 34) ^ ROTR64(a, 39)));     \
    }

#define INTEGER_ROUNDS(t)                                                                          \
    if ((t) % 8 == 0) {                                                                            \
        INTEGER_ROUND(a, b, c, d, e, f, g, h, (t))                                                 \
        INTEGER_ROUND(h, a, b, c, d, e, f, g, (t) + 1)                                             \
        INTEGER_ROUND(g, h, a, b, c, d, e, f, (t) + 2)                                             \
        INTEGER_ROUND(f, g, h, a, b, c, d, e, (t) + 3)                                             \
    } else {                                                                                       \
        INTEGER_ROUND(e, f, g, h, a, b, c, d, (t))                                                 \
        INTEGER_ROUND(d, e, f, g, h, a, b, c, (t) + 1)                                             \
        INTEGER_ROUND(c, d, e, f, g, h, a, b, (t) + 2)                                             \
        INTEGER_ROUND(b, c, d, e, f, g, h, a, (t) + 3)                                             \
    }

#define INTEGER_ADD_BLOCK                                                                          \
    a = words[0] += a;                                                                             \
    b = words[1] += b;                                                                             \
    c = words[2] += c;                                                                             \
    d = words[3] += d;                                                                             \
    e = words[4] += e;                                                                             \
    f = words[5] += f;                                                                             \
    g = words[6] += g;                                                                             \
    h = words[7] += h;

__attribute__((target("avx512f,avx512vl,bmi,bmi2"))) void
Sha512CompressBmi2(uint64_t *words, const uint8_t *blocks, uint32_t length) {
    uint64_t a = words[0], b = words[1], c = words[2], d = words[3];
    uint64_t e = words[4], f = words[5], g = words[6], h = words[7];
    SCHEDULED_BLOCKS(INTEGER_ROUNDS, INTEGER_ADD_BLOCK)
}

// One round in vector registers, the words in their low lanes; the same
// sums as the integer round.
#define VECTOR_ROUND(a, b, c, d, e, f, g, h, t)                                                    \
    {                                                                                              \
        __m128i x = _mm_add_epi64((h), _mm_loadl_epi64((const __m128i *)(wk + (t))));              \
        x = _mm_add_epi64(x, _mm_ternarylogic_epi64((e), (f), (g), 0xca));                         \
        x = _mm_add_epi64(x,                                                                       \
                          _mm_ternarylogic_epi64(_mm_ror_epi64((e), 14), _mm_ror_epi64((e), 18),   \
                                                 _mm_ror_epi64((e), 41), 0x96));                   \
        (d) = _mm_add_epi64((d), x);                                                               \
        x = _mm_add_epi64(x, _mm_ternarylogic_epi64((a), (b), (c), 0xe8));                         \
        (h) = _mm_add_epi64(x,                                                                     \
                            _mm_ternarylogic_epi64(_mm_ror_epi64((a), 28), _mm_ror_epi64((a), 34), \
                                                   _mm_ror_epi64((a), 39), 0x96));                 \
    }

#define VECTOR_ROUNDS(t)                                                                           \
    if ((t) % 8 == 0) {                                                                            \
        VECTOR_ROUND(a, b, c, d, e, f, g, h, (t))                                                  \
        VECTOR_ROUND(h, a, b, c, d, e, f, g, (t) + 1)                                              \
        VECTOR_ROUND(g, h, a, b, c, d, e, f, (t) + 2)                                              \
        VECTOR_ROUND(f, g, h, a, b, c, d, e, (t) + 3)                                              \
    } else {                                                                                       \
        VECTOR_ROUND(e, f, g, h, a, b, c, d, (t))                                                  \
        VECTOR_ROUND(d, e, f, g, h, a, b, c, (t) + 1)                                              \
        VECTOR_ROUND(c, d, e, f, g, h, a, b, (t) + 2)                                              \
        VECTOR_ROUND(b, c, d, e, f, g, h, a, (t) + 3)                                              \
    }

#define VECTOR_ADD_BLOCK                                                                           \
    a = _mm_add_epi64(a, savedAbcd[0]);                                                            \
    b = _mm_add_epi64(b, savedAbcd[1]);                                                            \
    c = _mm_add_epi64(c, savedAbcd[2]);                                                            \
    d = _mm_add_epi64(d, savedAbcd[3]);                                                            \
    e = _mm_add_epi64(e, savedEfgh[0]);                                                            \
    f = _mm_add_epi64(f, savedEfgh[1]);                                                            \
    g = _mm_add_epi64(g, savedEfgh[2]);                                                            \
    h = _mm_add_epi64(h, savedEfgh[3]);                                                            \
    savedAbcd[0] = a;                                                                              \
    savedAbcd[1] = b;                                                                              \
    savedAbcd[2] = c;                                                                              \
    savedAbcd[3] = d;                                                                              \
    savedEfgh[0] = e;                                                                              \
    savedEfgh[1] = f;                                                                              \
    savedEfgh[2] = g;                                                                              \
    savedEfgh[3] = h;

__attribute__((target("avx512f,avx512vl"))) void
Sha512CompressAvx512(uint64_t *words, const uint8_t *blocks, uint32_t length) {
    __m128i savedAbcd[4], savedEfgh[4];
    for (int i = 0; i < 4; i++) {
        savedAbcd[i] = _mm_loadl_epi64((const __m128i *)(words + i));
        savedEfgh[i] = _mm_loadl_epi64((const __m128i *)(words + 4 + i));
    }
    __m128i a = savedAbcd[0], b = savedAbcd[1], c = savedAbcd[2], d = savedAbcd[3];
    __m128i e = savedEfgh[0], f = savedEfgh[1], g = savedEfgh[2], h = savedEfgh[3];
    SCHEDULED_BLOCKS(VECTOR_ROUNDS, VECTOR_ADD_BLOCK)
    for (int i = 0; i < 4; i++) {
        _mm_storel_epi64((__m128i *)(words + i), savedAbcd[i]);
        _mm_storel_epi64((__m128i *)(words + 4 + i), savedEfgh[i]);
    }
}
