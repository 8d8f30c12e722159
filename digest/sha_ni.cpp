// SHA-1 and SHA-256 on the processor's SHA instructions.
//
// sha256rnds2 does two rounds of SHA-256 and sha1rnds4 four of SHA-1, each
// as one instruction; sha256msg1/2 and sha1msg1/2 extend the message four
// words at a time. The rounds form one chain through the state registers,
// the message schedule runs beside it, so the chain of round instructions
// bounds the speed. The layouts are the instructions' own: SHA-256 keeps
// its eight words as ABEF and CDGH, A in the top lane; SHA-1 keeps ABCD with
// A in the top lane and E alone in the top lane of another register.
//
// Only the two loops are compiled for the SHA extensions; the test that
// guards them runs on any x86 processor, 32-bit code included.
#include "digest/sha_ni.h"

#include <cpuid.h>
#include <immintrin.h>

int ShaInstructionsUsable() {
    unsigned eax, ebx, ecx, edx;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        return 0;
    if (!(ecx & bit_SSSE3) || !(ecx & bit_SSE4_1))
        return 0;
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx))
        return 0;
    return (ebx & bit_SHA) ? 1 : 0;
}

#define SHA_TARGET __attribute__((target("sha,sse4.1,ssse3")))

// The sixteen message words of a block, big-endian in the file: SHA-256
// wants word 0 in the lowest lane of the first register, SHA-1 in the top.
#define SHA256_LOAD(n)                                                                             \
    _mm_shuffle_epi8(_mm_loadu_si128((const __m128i *)(blocks + 16 * (n))),                        \
                     _mm_set_epi64x(0x0c0d0e0f08090a0bll, 0x0405060700010203ll))
#define SHA1_LOAD(n)                                                                               \
    _mm_shuffle_epi8(_mm_loadu_si128((const __m128i *)(blocks + 16 * (n))),                        \
                     _mm_set_epi64x(0x0001020304050607ll, 0x08090a0b0c0d0e0fll))

// Words 4g to 4g + 3 of the schedule from the four groups before them, held
// in w0 (oldest) to w3 (newest); the result replaces w0.
#define SHA256_EXTEND(w0, w1, w2, w3)                                                              \
    (w0) = _mm_sha256msg2_epu32(                                                                   \
        _mm_add_epi32(_mm_sha256msg1_epu32((w0), (w1)), _mm_alignr_epi8((w3), (w2), 4)), (w3))
#define SHA1_EXTEND(w0, w1, w2, w3)                                                                \
    (w0) = _mm_sha1msg2_epu32(_mm_xor_si128(_mm_sha1msg1_epu32((w0), (w1)), (w2)), (w3))

// Rounds 4g to 4g + 3 of SHA-256 on message group w: two instructions, each
// leaving the new ABEF in the register that held CDGH.
#define SHA256_ROUNDS(w, g)                                                                        \
    wk = _mm_add_epi32((w), _mm_loadu_si128((const __m128i *)(Sha256Constants + 4 * (g))));        \
    cdgh = _mm_sha256rnds2_epu32(cdgh, abef, wk);                                                  \
    abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(wk, 0x0e));

SHA_TARGET void Sha256CompressNi(uint32_t *words, const uint8_t *blocks, uint32_t length) {
    // From H0..H7 in memory order to ABEF and CDGH.
    __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128((const __m128i *)words), 0xb1);
    __m128i efgh = _mm_shuffle_epi32(_mm_loadu_si128((const __m128i *)(words + 4)), 0x1b);
    __m128i abef = _mm_alignr_epi8(abcd, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, abcd, 0xf0);
    __m128i wk;
    for (const uint8_t *end = blocks + length; blocks != end; blocks += 64) {
        const __m128i savedAbef = abef, savedCdgh = cdgh;
        __m128i w0 = SHA256_LOAD(0), w1 = SHA256_LOAD(1);
        __m128i w2 = SHA256_LOAD(2), w3 = SHA256_LOAD(3);

        SHA256_ROUNDS(w0, 0)
        SHA256_ROUNDS(w1, 1)
        SHA256_ROUNDS(w2, 2)
        SHA256_ROUNDS(w3, 3)
        SHA256_EXTEND(w0, w1, w2, w3);
        SHA256_ROUNDS(w0, 4)
        SHA256_EXTEND(w1, w2, w3, w0);
        SHA256_ROUNDS(w1, 5)
        SHA256_EXTEND(w2, w3, w0, w1);
        SHA256_ROUNDS(w2, 6)
        SHA256_EXTEND(w3, w0, w1, w2);
        SHA256_ROUNDS(w3, 7)
        SHA256_EXTEND(w0, w1, w2, w3);
        SHA256_ROUNDS(w0, 8)
        SHA256_EXTEND(w1, w2, w3, w0);
        SHA256_ROUNDS(w1, 9)
        SHA256_EXTEND(w2, w3, w0, w1);
        SHA256_ROUNDS(w2, 10)
        SHA256_EXTEND(w3, w0, w1, w2);
        SHA256_ROUNDS(w3, 11)
        SHA256_EXTEND(w0, w1, w2, w3);
        SHA256_ROUNDS(w0, 12)
        SHA256_EXTEND(w1, w2, w3, w0);
        SHA256_ROUNDS(w1, 13)
        SHA256_EXTEND(w2, w3, w0, w1);
        SHA256_ROUNDS(w2, 14)
        SHA256_EXTEND(w3, w0, w1, w2);
        SHA256_ROUNDS(w3, 15)

        abef = _mm_add_epi32(abef, savedAbef);
        cdgh = _mm_add_epi32(cdgh, savedCdgh);
    }
    // Back from ABEF and CDGH to H0..H7.
    __m128i abef2 = _mm_shuffle_epi32(abef, 0x1b); // A B E F from the lowest lane
    __m128i cdgh2 = _mm_shuffle_epi32(cdgh, 0xb1); // G H C D
    _mm_storeu_si128((__m128i *)words, _mm_blend_epi16(abef2, cdgh2, 0xf0));
    _mm_storeu_si128((__m128i *)(words + 4), _mm_alignr_epi8(cdgh2, abef2, 8));
}

// Four rounds of SHA-1 with round function f (0 to 3) on message group w.
// E for these rounds is A of four rounds ago, rotated: sha1nexte adds it to
// the first word; the very first group adds the chaining E instead.
#define SHA1_ROUNDS(w, f)                                                                          \
    ew = _mm_sha1nexte_epu32(previous, (w));                                                       \
    previous = abcd;                                                                               \
    abcd = _mm_sha1rnds4_epu32(abcd, ew, (f));

SHA_TARGET void Sha1CompressNi(uint32_t *words, const uint8_t *blocks, uint32_t length) {
    __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128((const __m128i *)words), 0x1b);
    __m128i e = _mm_set_epi32((int)words[4], 0, 0, 0);
    __m128i ew, previous;
    for (const uint8_t *end = blocks + length; blocks != end; blocks += 64) {
        const __m128i savedAbcd = abcd, savedE = e;
        __m128i w0 = SHA1_LOAD(0), w1 = SHA1_LOAD(1), w2 = SHA1_LOAD(2), w3 = SHA1_LOAD(3);

        ew = _mm_add_epi32(e, w0);
        previous = abcd;
        abcd = _mm_sha1rnds4_epu32(abcd, ew, 0);
        SHA1_ROUNDS(w1, 0)
        SHA1_ROUNDS(w2, 0)
        SHA1_ROUNDS(w3, 0)
        SHA1_EXTEND(w0, w1, w2, w3);
        SHA1_ROUNDS(w0, 0)
        SHA1_EXTEND(w1, w2, w3, w0);
        SHA1_ROUNDS(w1, 1)
        SHA1_EXTEND(w2, w3, w0, w1);
        SHA1_ROUNDS(w2, 1)
        SHA1_EXTEND(w3, w0, w1, w2);
        SHA1_ROUNDS(w3, 1)
        SHA1_EXTEND(w0, w1, w2, w3);
        SHA1_ROUNDS(w0, 1)
        SHA1_EXTEND(w1, w2, w3, w0);
        SHA1_ROUNDS(w1, 1)
        SHA1_EXTEND(w2, w3, w0, w1);
        SHA1_ROUNDS(w2, 2)
        SHA1_EXTEND(w3, w0, w1, w2);
        SHA1_ROUNDS(w3, 2)
        SHA1_EXTEND(w0, w1, w2, w3);
        SHA1_ROUNDS(w0, 2)
        SHA1_EXTEND(w1, w2, w3, w0);
        SHA1_ROUNDS(w1, 2)
        SHA1_EXTEND(w2, w3, w0, w1);
        SHA1_ROUNDS(w2, 2)
        SHA1_EXTEND(w3, w0, w1, w2);
        SHA1_ROUNDS(w3, 3)
        SHA1_EXTEND(w0, w1, w2, w3);
        SHA1_ROUNDS(w0, 3)
        SHA1_EXTEND(w1, w2, w3, w0);
        SHA1_ROUNDS(w1, 3)
        SHA1_EXTEND(w2, w3, w0, w1);
        SHA1_ROUNDS(w2, 3)
        SHA1_EXTEND(w3, w0, w1, w2);
        SHA1_ROUNDS(w3, 3)

        // The new E is A of the last four rounds' start, rotated, plus the
        // chaining E.
        e = _mm_sha1nexte_epu32(previous, savedE);
        abcd = _mm_add_epi32(abcd, savedAbcd);
    }
    _mm_storeu_si128((__m128i *)words, _mm_shuffle_epi32(abcd, 0x1b));
    words[4] = (uint32_t)_mm_extract_epi32(e, 3);
}
