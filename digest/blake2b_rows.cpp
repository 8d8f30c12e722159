// BLAKE2b's compression loops with a row of the state to a ymm register, as
// in blake2b_avx.cpp, lined up for the diagonal steps the other way round:
// the second row stays put and the first, third and fourth turn, by three,
// one and two words.
//
// Each half of G ends by computing the second row, and the next half starts
// by adding it to the first: turning the second row puts the lane-crossing
// permutation, several cycles on this kind of processor, on the chain of
// dependent instructions twice a round. The first row is last written early
// in a half, the third and fourth in its middle, so their turns run beside
// the rest of the half and are ready, or nearly, when it ends.
//
// Lane j of the diagonal steps then computes diagonal j - 1 (mod 4), so the
// message words of the diagonal steps come in that order too. "avx2-acd"
// rotates by byte shuffles and shifts; "avx512vl-acd" the same but for the
// turn by 63 bits, which it takes partly off the chain (XorRotateAvx512).
#include <immintrin.h>
#include <string.h>

#include "digest/blake2b_loops.h"

#define AVX2_TARGET __attribute__((target("avx2")))
#define AVX512_TARGET __attribute__((target("avx512f,avx512vl")))

AVX2_TARGET static inline __m256i XorRotateAvx2(__m256i x, __m256i y, int bits) {
    const __m256i by24 = _mm256_setr_epi8(3, 4, 5, 6, 7, 0, 1, 2, 11, 12, 13, 14, 15, 8, 9, 10, 3,
                                          4, 5, 6, 7, 0, 1, 2, 11, 12, 13, 14, 15, 8, 9, 10);
    const __m256i by16 = _mm256_setr_epi8(2, 3, 4, 5, 6, 7, 0, 1, 10, 11, 12, 13, 14, 15, 8, 9, 2,
                                          3, 4, 5, 6, 7, 0, 1, 10, 11, 12, 13, 14, 15, 8, 9);
    __m256i v = _mm256_xor_si256(x, y);
    if (bits == 32)
        return _mm256_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1));
    if (bits == 24)
        return _mm256_shuffle_epi8(v, by24);
    if (bits == 16)
        return _mm256_shuffle_epi8(v, by16);
    return _mm256_or_si256(_mm256_srli_epi64(v, 63), _mm256_add_epi64(v, v));
}

// (x ^ y) >>> bits, y the value just computed. By 63 (a turn left by one)
// as x's turn, off the chain, joined to y + y and y >> 63 by one
// vpternlogq: two cycles after y, where the xor and a turn take three. The
// others as byte shuffles, one cycle each, where vprorq takes two.
AVX512_TARGET static inline __m256i XorRotateAvx512(__m256i x, __m256i y, int bits) {
    if (bits != 63)
        return XorRotateAvx2(x, y, bits);
    return _mm256_ternarylogic_epi64(_mm256_ror_epi64(x, 63), _mm256_add_epi64(y, y),
                                     _mm256_srli_epi64(y, 63), 0x96);
}

// One half of G on four lanes: a += m + b, d = (d ^ a) >>> r1, c += d,
// b = (b ^ c) >>> r2. m goes into a first, while b is still being
// computed; the empty asm keeps the compiler from adding b to m instead.
#define HALF_G(XOR_ROTATE, m, r1, r2)                                                              \
    a = _mm256_add_epi64(a, (m));                                                                  \
    __asm__("" : "+v"(a));                                                                         \
    a = _mm256_add_epi64(a, b);                                                                    \
    d = XOR_ROTATE(d, a, (r1));                                                                    \
    c = _mm256_add_epi64(c, d);                                                                    \
    b = XOR_ROTATE(b, c, (r2));

// Lane j takes a's word j - 1, c's j + 1 and d's j + 2: with b's word j
// they make diagonal j - 1.
#define DIAGONALIZE                                                                                \
    a = _mm256_permute4x64_epi64(a, _MM_SHUFFLE(2, 1, 0, 3));                                      \
    c = _mm256_permute4x64_epi64(c, _MM_SHUFFLE(0, 3, 2, 1));                                      \
    d = _mm256_permute4x64_epi64(d, _MM_SHUFFLE(1, 0, 3, 2));
#define UNDIAGONALIZE                                                                              \
    a = _mm256_permute4x64_epi64(a, _MM_SHUFFLE(0, 3, 2, 1));                                      \
    c = _mm256_permute4x64_epi64(c, _MM_SHUFFLE(2, 1, 0, 3));                                      \
    d = _mm256_permute4x64_epi64(d, _MM_SHUFFLE(1, 0, 3, 2));

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

// Which of the round's schedule words each lane of each of its four message
// vectors takes: the column steps' first and second words, then the
// diagonal steps', lane j of the diagonals taking diagonal j - 1's.
struct LaneSchedule {
    uint8_t Index[12][4][4];
};

static constexpr LaneSchedule MakeLaneSchedule() {
    LaneSchedule schedule = {};
    for (int r = 0; r < 12; r++)
        for (int j = 0; j < 4; j++) {
            int diagonal = (j + 3) % 4;
            schedule.Index[r][0][j] = Blake2bSigma[r][2 * j];
            schedule.Index[r][1][j] = Blake2bSigma[r][2 * j + 1];
            schedule.Index[r][2][j] = Blake2bSigma[r][8 + 2 * diagonal];
            schedule.Index[r][3][j] = Blake2bSigma[r][8 + 2 * diagonal + 1];
        }
    return schedule;
}

// Constant-initialised, ready before any static object's digest.
static constexpr LaneSchedule Schedule = MakeLaneSchedule();

AVX2_TARGET static inline __m256i PickWords(const uint64_t *m, const uint8_t *index) {
    return _mm256_set_epi64x((long long)m[index[3]], (long long)m[index[2]], (long long)m[index[1]],
                             (long long)m[index[0]]);
}

// The loop, given its rotation.
#define ROWS_LOOP(TARGET, NAME, XOR_ROTATE)                                                        \
    TARGET void NAME(uint64_t *chain, const uint8_t *blocks, uint32_t length, uint64_t counted,    \
                     int final) {                                                                  \
        __m256i low = _mm256_loadu_si256((const __m256i *)chain);                                  \
        __m256i high = _mm256_loadu_si256((const __m256i *)(chain + 4));                           \
        for (const uint8_t *end = blocks + length; blocks != end; blocks += 128) {                 \
            uint64_t m[16];                                                                        \
            memcpy(m, blocks, sizeof m);                                                           \
            START_BLOCK                                                                            \
            for (int r = 0; r < 12; r++) {                                                         \
                const uint8_t(*index)[4] = Schedule.Index[r];                                      \
                ROUND(XOR_ROTATE, PickWords(m, index[0]), PickWords(m, index[1]),                  \
                      PickWords(m, index[2]), PickWords(m, index[3]))                              \
            }                                                                                      \
            END_BLOCK                                                                              \
        }                                                                                          \
        _mm256_storeu_si256((__m256i *)chain, low);                                                \
        _mm256_storeu_si256((__m256i *)(chain + 4), high);                                         \
    }

ROWS_LOOP(AVX2_TARGET, Blake2bCompressAvx2Acd, XorRotateAvx2)
ROWS_LOOP(AVX512_TARGET, Blake2bCompressAvx512Acd, XorRotateAvx512)
