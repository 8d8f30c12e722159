// BLAKE2b's compression loop on 128-bit registers (SSSE3): each row of the 4 by 4
// state in two xmm registers, for processors without AVX2 and for those
// where it proves faster (the race decides).
//
// The rows' turns before and after the diagonal steps then need no lane
// crossing: the third row's two halves only swap names, and the second
// and fourth each take one word from either half (shufpd), one cycle on the
// chain against several for a 256-bit lane-crossing permutation. Rotations
// by 32 bits are a dword shuffle, by 24 and 16 a byte shuffle, by 63 a
// shift, an add and an or.

#include <immintrin.h>
#include <string.h>

#include "digest/blake2b_loops.h"

#define SSE_BODY(NAME, TARGET)                                                                     \
    TARGET static inline __m128i NAME##Rotate(__m128i x, int bits) {                               \
        if (bits == 32)                                                                            \
            return _mm_shuffle_epi32(x, _MM_SHUFFLE(2, 3, 0, 1));                                  \
        if (bits == 24)                                                                            \
            return _mm_shuffle_epi8(                                                               \
                x, _mm_setr_epi8(3, 4, 5, 6, 7, 0, 1, 2, 11, 12, 13, 14, 15, 8, 9, 10));           \
        if (bits == 16)                                                                            \
            return _mm_shuffle_epi8(                                                               \
                x, _mm_setr_epi8(2, 3, 4, 5, 6, 7, 0, 1, 10, 11, 12, 13, 14, 15, 8, 9));           \
        return _mm_or_si128(_mm_srli_epi64(x, 63), _mm_add_epi64(x, x));                           \
    }                                                                                              \
    /* The word pair (high, low) of two 64-bit words as one register. */                           \
    TARGET static inline __m128i NAME##Pick(const uint64_t *m, int low, int high) {                \
        return _mm_set_epi64x((long long)m[high], (long long)m[low]);                              \
    }                                                                                              \
    TARGET static inline __m128i NAME##Turn(__m128i low, __m128i high) {                           \
        return _mm_castpd_si128(_mm_shuffle_pd(_mm_castsi128_pd(low), _mm_castsi128_pd(high), 1)); \
    }                                                                                              \
    TARGET void Blake2bCompress##NAME(uint64_t *chain, const uint8_t *blocks, uint32_t length,     \
                                      uint64_t counted, int final) {                               \
        __m128i h[4];                                                                              \
        for (int i = 0; i < 4; i++)                                                                \
            h[i] = _mm_loadu_si128((const __m128i *)(chain + 2 * i));                              \
        for (const uint8_t *end = blocks + length; blocks != end; blocks += 128) {                 \
            uint64_t m[16];                                                                        \
            memcpy(m, blocks, sizeof m);                                                           \
            counted += 128;                                                                        \
            __m128i a0 = h[0], a1 = h[1], b0 = h[2], b1 = h[3];                                    \
            __m128i c0 = _mm_loadu_si128((const __m128i *)Blake2bIv);                              \
            __m128i c1 = _mm_loadu_si128((const __m128i *)(Blake2bIv + 2));                        \
            __m128i d0 = _mm_xor_si128(_mm_loadu_si128((const __m128i *)(Blake2bIv + 4)),          \
                                       _mm_set_epi64x(0, (long long)counted));                     \
            __m128i d1 = _mm_xor_si128(_mm_loadu_si128((const __m128i *)(Blake2bIv + 6)),          \
                                       _mm_set_epi64x(0, final && blocks + 128 == end ? -1 : 0));  \
            for (int r = 0; r < 12; r++) {                                                         \
                const uint8_t *s = Blake2bSigma[r];                                                \
                HALF_G(NAME, b0, b1, c0, c1, d0, d1, NAME##Pick(m, s[0], s[2]),                    \
                       NAME##Pick(m, s[4], s[6]), 32, 24)                                          \
                HALF_G(NAME, b0, b1, c0, c1, d0, d1, NAME##Pick(m, s[1], s[3]),                    \
                       NAME##Pick(m, s[5], s[7]), 16, 63)                                          \
                /* Diagonals as columns: b turns by one word, c by two, d by three. */             \
                __m128i tb0 = NAME##Turn(b0, b1), tb1 = NAME##Turn(b1, b0);                        \
                __m128i td0 = NAME##Turn(d1, d0), td1 = NAME##Turn(d0, d1);                        \
                HALF_G(NAME, tb0, tb1, c1, c0, td0, td1, NAME##Pick(m, s[8], s[10]),               \
                       NAME##Pick(m, s[12], s[14]), 32, 24)                                        \
                HALF_G(NAME, tb0, tb1, c1, c0, td0, td1, NAME##Pick(m, s[9], s[11]),               \
                       NAME##Pick(m, s[13], s[15]), 16, 63)                                        \
                b0 = NAME##Turn(tb1, tb0);                                                         \
                b1 = NAME##Turn(tb0, tb1);                                                         \
                d0 = NAME##Turn(td0, td1);                                                         \
                d1 = NAME##Turn(td1, td0);                                                         \
            }                                                                                      \
            h[0] = _mm_xor_si128(h[0], _mm_xor_si128(a0, c0));                                     \
            h[1] = _mm_xor_si128(h[1], _mm_xor_si128(a1, c1));                                     \
            h[2] = _mm_xor_si128(h[2], _mm_xor_si128(b0, d0));                                     \
            h[3] = _mm_xor_si128(h[3], _mm_xor_si128(b1, d1));                                     \
        }                                                                                          \
        for (int i = 0; i < 4; i++)                                                                \
            _mm_storeu_si128((__m128i *)(chain + 2 * i), h[i]);                                    \
    }

// One half of G on the four columns, two in each half of the rows.
#define HALF_G(NAME, b0, b1, c0, c1, d0, d1, m0, m1, r1, r2)                                       \
    a0 = _mm_add_epi64(a0, (m0));                                                                  \
    a1 = _mm_add_epi64(a1, (m1));                                                                  \
    __asm__("" : "+x"(a0), "+x"(a1));                                                              \
    a0 = _mm_add_epi64(a0, (b0));                                                                  \
    a1 = _mm_add_epi64(a1, (b1));                                                                  \
    d0 = NAME##Rotate(_mm_xor_si128(d0, a0), (r1));                                                \
    d1 = NAME##Rotate(_mm_xor_si128(d1, a1), (r1));                                                \
    c0 = _mm_add_epi64(c0, d0);                                                                    \
    c1 = _mm_add_epi64(c1, d1);                                                                    \
    b0 = NAME##Rotate(_mm_xor_si128(b0, c0), (r2));                                                \
    b1 = NAME##Rotate(_mm_xor_si128(b1, c1), (r2));

SSE_BODY(Ssse3, __attribute__((target("ssse3"))))
