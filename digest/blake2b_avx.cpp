// BLAKE2b's compression loops on AVX2 and AVX-512VL, in either build.
//
// The 4 by 4 state of 64-bit words sits a row to a ymm register, so each G
// step works on the four columns at once; before the diagonal steps the
// second, third and fourth rows turn by one, two and three words, so that
// the diagonals line up as columns, and turn back after. AVX2 rotates by 32,
// 24 and 16 bits with byte shuffles and by 63 with a shift, an add and an
// or; AVX-512VL rotates any amount with one vprorq and takes each step's
// four message words from the block's sixteen with one permutation of two
// registers (vpermt2q picks by the very numbers of the round's schedule),
// where AVX2 assembles them a word at a time.
//
// Each step waits on the one before, so the chain of dependent
// instructions bounds both loops, not their number: see HALF_G and
// XorRotateAvx512 for what keeps it short.
#include <immintrin.h>
#include <string.h>

#include "digest/blake2b_loops.h"

#define AVX2_TARGET __attribute__((target("avx2")))
#define AVX512_TARGET __attribute__((target("avx512f,avx512vl")))

AVX2_TARGET static inline __m256i RotateAvx2(__m256i x, int bits) {
    const __m256i by24 = _mm256_setr_epi8(3, 4, 5, 6, 7, 0, 1, 2, 11, 12, 13, 14, 15, 8, 9, 10, 3,
                                          4, 5, 6, 7, 0, 1, 2, 11, 12, 13, 14, 15, 8, 9, 10);
    const __m256i by16 = _mm256_setr_epi8(2, 3, 4, 5, 6, 7, 0, 1, 10, 11, 12, 13, 14, 15, 8, 9, 2,
                                          3, 4, 5, 6, 7, 0, 1, 10, 11, 12, 13, 14, 15, 8, 9);
    if (bits == 32)
        return _mm256_shuffle_epi32(x, _MM_SHUFFLE(2, 3, 0, 1));
    if (bits == 24)
        return _mm256_shuffle_epi8(x, by24);
    if (bits == 16)
        return _mm256_shuffle_epi8(x, by16);
    return _mm256_or_si256(_mm256_srli_epi64(x, 63), _mm256_add_epi64(x, x));
}

// (x ^ y) >>> bits.
AVX512_TARGET static inline __m256i XorRotateAvx512(__m256i x, __m256i y, int bits) {
    if (bits == 32)
        return _mm256_shuffle_epi32(_mm256_xor_si256(x, y), _MM_SHUFFLE(2, 3, 0, 1));
    // As (x >>> bits) ^ (y >>> bits): y is the value just computed, x one
    // from steps before, so x's rotation is off the chain, and y's is two
    // shifts, which take a cycle where a rotation or byte shuffle takes
    // two, joined to x's by one vpternlogq. On Zen 4 the round measured no
    // shorter for it (bench/README.md); the race keeps the AVX2 loop there.
    __m256i low = _mm256_srli_epi64(y, bits);
    __m256i high = bits == 63 ? _mm256_add_epi64(y, y) : _mm256_slli_epi64(y, 64 - bits);
    // The rotation's count must be a constant where it is written, for
    // every compiler; inlined, the choice folds away.
    __m256i rotated = bits == 24   ? _mm256_ror_epi64(x, 24)
                      : bits == 16 ? _mm256_ror_epi64(x, 16)
                                   : _mm256_ror_epi64(x, 63);
    return _mm256_ternarylogic_epi64(rotated, low, high, 0x96);
}

AVX2_TARGET static inline __m256i XorRotateAvx2(__m256i x, __m256i y, int bits) {
    return RotateAvx2(_mm256_xor_si256(x, y), bits);
}

// One half of G on the four columns: a += m + b, d = (d ^ a) >>> r1,
// c += d, b = (b ^ c) >>> r2. b is the newest value, so m goes into a
// first; the empty asm keeps the compiler from adding b to m instead, which
// puts a second add on the chain.
#define HALF_G(XOR_ROTATE, m, r1, r2)                                                              \
    a = _mm256_add_epi64(a, (m));                                                                  \
    __asm__("" : "+v"(a));                                                                         \
    a = _mm256_add_epi64(a, b);                                                                    \
    d = XOR_ROTATE(d, a, (r1));                                                                    \
    c = _mm256_add_epi64(c, d);                                                                    \
    b = XOR_ROTATE(b, c, (r2));

// Rows b, c, d turned left by 1, 2, 3 words, so the diagonals are columns,
// and back.
#define DIAGONALIZE                                                                                \
    b = _mm256_permute4x64_epi64(b, _MM_SHUFFLE(0, 3, 2, 1));                                      \
    c = _mm256_permute4x64_epi64(c, _MM_SHUFFLE(1, 0, 3, 2));                                      \
    d = _mm256_permute4x64_epi64(d, _MM_SHUFFLE(2, 1, 0, 3));
#define UNDIAGONALIZE                                                                              \
    b = _mm256_permute4x64_epi64(b, _MM_SHUFFLE(2, 1, 0, 3));                                      \
    c = _mm256_permute4x64_epi64(c, _MM_SHUFFLE(1, 0, 3, 2));                                      \
    d = _mm256_permute4x64_epi64(d, _MM_SHUFFLE(0, 3, 2, 1));

// One round, given the four message vectors of its column and diagonal
// steps: words 0, 2, 4, 6 of the round's schedule, then 1, 3, 5, 7, then
// 8, 10, 12, 14, then 9, 11, 13, 15.
#define ROUND(XOR_ROTATE, columnX, columnY, diagonalX, diagonalY)                                  \
    HALF_G(XOR_ROTATE, columnX, 32, 24)                                                            \
    HALF_G(XOR_ROTATE, columnY, 16, 63)                                                            \
    DIAGONALIZE                                                                                    \
    HALF_G(XOR_ROTATE, diagonalX, 32, 24)                                                          \
    HALF_G(XOR_ROTATE, diagonalY, 16, 63)                                                          \
    UNDIAGONALIZE

// The rows at the start of a block: the chaining words, then the constants
// with the counter and the final flag in the fourth row.
#define START_BLOCK                                                                                \
    counted += 128;                                                                                \
    __m256i a = low, b = high;                                                                     \
    __m256i c = _mm256_loadu_si256((const __m256i *)Blake2bIv);                                    \
    __m256i d = _mm256_xor_si256(                                                                  \
        _mm256_loadu_si256((const __m256i *)(Blake2bIv + 4)),                                      \
        _mm256_set_epi64x(0, final && blocks + 128 == end ? -1 : 0, 0, (long long)counted));

#define END_BLOCK                                                                                  \
    low = _mm256_xor_si256(low, _mm256_xor_si256(a, c));                                           \
    high = _mm256_xor_si256(high, _mm256_xor_si256(b, d));

AVX2_TARGET static inline __m256i Pick(const uint64_t *m, const uint8_t *s) {
    return _mm256_set_epi64x((long long)m[s[6]], (long long)m[s[4]], (long long)m[s[2]],
                             (long long)m[s[0]]);
}

AVX2_TARGET void Blake2bCompressAvx2(uint64_t *chain, const uint8_t *blocks, uint32_t length,
                                     uint64_t counted, int final) {
    __m256i low = _mm256_loadu_si256((const __m256i *)chain);
    __m256i high = _mm256_loadu_si256((const __m256i *)(chain + 4));
    for (const uint8_t *end = blocks + length; blocks != end; blocks += 128) {
        uint64_t m[16];
        memcpy(m, blocks, sizeof m);
        START_BLOCK
        for (int r = 0; r < 12; r++) {
            const uint8_t *s = Blake2bSigma[r];
            ROUND(XorRotateAvx2, Pick(m, s), Pick(m, s + 1), Pick(m, s + 8), Pick(m, s + 9))
        }
        END_BLOCK
    }
    _mm256_storeu_si256((__m256i *)chain, low);
    _mm256_storeu_si256((__m256i *)(chain + 4), high);
}

// Each round's schedule as vpermt2q indices: the column steps' eight words
// (0, 2, 4, 6, then 1, 3, 5, 7 of the schedule), then the diagonal steps'.
struct PermutedSchedule {
    uint64_t Index[12][2][8];
};

static constexpr PermutedSchedule MakePermutedSchedule() {
    PermutedSchedule schedule = {};
    for (int r = 0; r < 12; r++)
        for (int half = 0; half < 2; half++)
            for (int i = 0; i < 4; i++) {
                schedule.Index[r][half][i] = Blake2bSigma[r][8 * half + 2 * i];
                schedule.Index[r][half][4 + i] = Blake2bSigma[r][8 * half + 2 * i + 1];
            }
    return schedule;
}

// Constant-initialised, ready before any static object's digest.
static constexpr PermutedSchedule Permuted = MakePermutedSchedule();

// GCC 12's headers leave the unused half of an extraction's result
// undefined in a way its own warning then reports.
#pragma GCC diagnostic push
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

AVX512_TARGET void Blake2bCompressAvx512(uint64_t *chain, const uint8_t *blocks, uint32_t length,
                                         uint64_t counted, int final) {
    __m256i low = _mm256_loadu_si256((const __m256i *)chain);
    __m256i high = _mm256_loadu_si256((const __m256i *)(chain + 4));
    for (const uint8_t *end = blocks + length; blocks != end; blocks += 128) {
        const __m512i m0 = _mm512_loadu_si512(blocks), m1 = _mm512_loadu_si512(blocks + 64);
        START_BLOCK
        for (int r = 0; r < 12; r++) {
            __m512i column =
                _mm512_permutex2var_epi64(m0, _mm512_loadu_si512(Permuted.Index[r][0]), m1);
            __m512i diagonal =
                _mm512_permutex2var_epi64(m0, _mm512_loadu_si512(Permuted.Index[r][1]), m1);
            ROUND(XorRotateAvx512, _mm512_castsi512_si256(column),
                  _mm512_extracti64x4_epi64(column, 1), _mm512_castsi512_si256(diagonal),
                  _mm512_extracti64x4_epi64(diagonal, 1))
        }
        END_BLOCK
    }
    _mm256_storeu_si256((__m256i *)chain, low);
    _mm256_storeu_si256((__m256i *)(chain + 4), high);
}
#pragma GCC diagnostic pop
