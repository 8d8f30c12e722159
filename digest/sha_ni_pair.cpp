// SHA-1 and SHA-256 of two messages at once on the SHA instructions.
//
// One message's rounds form one chain of round instructions, each waiting
// for the one before (digest/sha_ni.cpp), so the units that run them stand
// idle most of the time. Two independent messages, their instructions
// alternating, keep them busy: each chain runs at its own pace, in the time
// one took. Stream x takes words[0] and blocks[0], stream y the others; the
// layouts and the round sequence are those of the single-stream loops.
//
// Only the two kernels are compiled for the SHA extensions;
// ShaInstructionsUsable guards them.
#include <immintrin.h>
#include <stddef.h>

#include "digest/lane_kernels.h"
#include "digest/sha_ni.h"

#define SHA_TARGET __attribute__((target("sha,sse4.1,ssse3")))

// The same step for stream x and then stream y.
#define BOTH(STEP, ...) STEP(x, __VA_ARGS__) STEP(y, __VA_ARGS__)

// Message group n of stream s's block, big-endian in the file: SHA-256 wants
// word 0 in the lowest lane, SHA-1 in the top.
#define SHA256_LOAD(s, n)                                                                          \
    w##n##s = _mm_shuffle_epi8(_mm_loadu_si128((const __m128i *)(in##s + 16 * (n))),               \
                               _mm_set_epi64x(0x0c0d0e0f08090a0bll, 0x0405060700010203ll));
#define SHA1_LOAD(s, n)                                                                            \
    w##n##s = _mm_shuffle_epi8(_mm_loadu_si128((const __m128i *)(in##s + 16 * (n))),               \
                               _mm_set_epi64x(0x0001020304050607ll, 0x08090a0b0c0d0e0fll));

// Message group i0 of stream s from the four before it, i0 (oldest) to i3.
#define SHA256_EXTEND(s, i0, i1, i2, i3)                                                           \
    w##i0##s = _mm_sha256msg2_epu32(_mm_add_epi32(_mm_sha256msg1_epu32(w##i0##s, w##i1##s),        \
                                                  _mm_alignr_epi8(w##i3##s, w##i2##s, 4)),         \
                                    w##i3##s);
#define SHA1_EXTEND(s, i0, i1, i2, i3)                                                             \
    w##i0##s = _mm_sha1msg2_epu32(_mm_xor_si128(_mm_sha1msg1_epu32(w##i0##s, w##i1##s), w##i2##s), \
                                  w##i3##s);

// Rounds 4g to 4g + 3 of SHA-256 on message group i of stream s.
#define SHA256_ROUNDS(s, i, g)                                                                     \
    wk##s = _mm_add_epi32(w##i##s, _mm_loadu_si128((const __m128i *)(Sha256Constants + 4 * (g)))); \
    cdgh##s = _mm_sha256rnds2_epu32(cdgh##s, abef##s, wk##s);                                      \
    abef##s = _mm_sha256rnds2_epu32(abef##s, cdgh##s, _mm_shuffle_epi32(wk##s, 0x0e));

// Group g from 4 on: extend group g % 4, then its rounds, for both streams.
#define SHA256_STAGE(g, i0, i1, i2, i3)                                                            \
    BOTH(SHA256_EXTEND, i0, i1, i2, i3)                                                            \
    BOTH(SHA256_ROUNDS, i0, g)

#define SHA256_UNPACK(s, words)                                                                    \
    {                                                                                              \
        __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128((const __m128i *)(words)), 0xb1);         \
        __m128i efgh = _mm_shuffle_epi32(_mm_loadu_si128((const __m128i *)((words) + 4)), 0x1b);   \
        abef##s = _mm_alignr_epi8(abcd, efgh, 8);                                                  \
        cdgh##s = _mm_blend_epi16(efgh, abcd, 0xf0);                                               \
    }
#define SHA256_PACK(s, words)                                                                      \
    {                                                                                              \
        __m128i abef2 = _mm_shuffle_epi32(abef##s, 0x1b);                                          \
        __m128i cdgh2 = _mm_shuffle_epi32(cdgh##s, 0xb1);                                          \
        _mm_storeu_si128((__m128i *)(words), _mm_blend_epi16(abef2, cdgh2, 0xf0));                 \
        _mm_storeu_si128((__m128i *)((words) + 4), _mm_alignr_epi8(cdgh2, abef2, 8));              \
    }

SHA_TARGET void Sha256PairNi(uint32_t *const words[], const uint8_t *const blocks[],
                             uint32_t blockCount) {
    __m128i abefx, cdghx, abefy, cdghy, wkx, wky;
    __m128i w0x, w1x, w2x, w3x, w0y, w1y, w2y, w3y;
    SHA256_UNPACK(x, words[0])
    SHA256_UNPACK(y, words[1])
    const uint8_t *inx = blocks[0], *iny = blocks[1];
    for (uint32_t block = 0; block < blockCount; block++, inx += 64, iny += 64) {
        const __m128i savedAbefx = abefx, savedCdghx = cdghx;
        const __m128i savedAbefy = abefy, savedCdghy = cdghy;
        BOTH(SHA256_LOAD, 0)
        BOTH(SHA256_LOAD, 1)
        BOTH(SHA256_LOAD, 2)
        BOTH(SHA256_LOAD, 3)

        BOTH(SHA256_ROUNDS, 0, 0)
        BOTH(SHA256_ROUNDS, 1, 1)
        BOTH(SHA256_ROUNDS, 2, 2)
        BOTH(SHA256_ROUNDS, 3, 3)
        SHA256_STAGE(4, 0, 1, 2, 3)
        SHA256_STAGE(5, 1, 2, 3, 0)
        SHA256_STAGE(6, 2, 3, 0, 1)
        SHA256_STAGE(7, 3, 0, 1, 2)
        SHA256_STAGE(8, 0, 1, 2, 3)
        SHA256_STAGE(9, 1, 2, 3, 0)
        SHA256_STAGE(10, 2, 3, 0, 1)
        SHA256_STAGE(11, 3, 0, 1, 2)
        SHA256_STAGE(12, 0, 1, 2, 3)
        SHA256_STAGE(13, 1, 2, 3, 0)
        SHA256_STAGE(14, 2, 3, 0, 1)
        SHA256_STAGE(15, 3, 0, 1, 2)

        abefx = _mm_add_epi32(abefx, savedAbefx);
        cdghx = _mm_add_epi32(cdghx, savedCdghx);
        abefy = _mm_add_epi32(abefy, savedAbefy);
        cdghy = _mm_add_epi32(cdghy, savedCdghy);
    }
    SHA256_PACK(x, words[0])
    SHA256_PACK(y, words[1])
}

// Four rounds of SHA-1 with round function f on message group i of stream
// s. E for these rounds is A of four rounds ago, rotated, added to the
// group's first word; the block's first group adds the chaining E instead.
#define SHA1_FIRST_ROUNDS(s)                                                                       \
    ew##s = _mm_add_epi32(e##s, w0##s);                                                            \
    previous##s = abcd##s;                                                                         \
    abcd##s = _mm_sha1rnds4_epu32(abcd##s, ew##s, 0);
#define SHA1_ROUNDS(s, i, f)                                                                       \
    ew##s = _mm_sha1nexte_epu32(previous##s, w##i##s);                                             \
    previous##s = abcd##s;                                                                         \
    abcd##s = _mm_sha1rnds4_epu32(abcd##s, ew##s, (f));

#define SHA1_STAGE(f, i0, i1, i2, i3)                                                              \
    BOTH(SHA1_EXTEND, i0, i1, i2, i3)                                                              \
    BOTH(SHA1_ROUNDS, i0, f)

#define SHA1_UNPACK(s, words)                                                                      \
    abcd##s = _mm_shuffle_epi32(_mm_loadu_si128((const __m128i *)(words)), 0x1b);                  \
    e##s = _mm_set_epi32((int)(words)[4], 0, 0, 0);
#define SHA1_PACK(s, words)                                                                        \
    _mm_storeu_si128((__m128i *)(words), _mm_shuffle_epi32(abcd##s, 0x1b));                        \
    (words)[4] = (uint32_t)_mm_extract_epi32(e##s, 3);

SHA_TARGET void Sha1PairNi(uint32_t *const words[], const uint8_t *const blocks[],
                           uint32_t blockCount) {
    __m128i abcdx, ex, ewx, previousx, abcdy, ey, ewy, previousy;
    __m128i w0x, w1x, w2x, w3x, w0y, w1y, w2y, w3y;
    SHA1_UNPACK(x, words[0])
    SHA1_UNPACK(y, words[1])
    const uint8_t *inx = blocks[0], *iny = blocks[1];
    for (uint32_t block = 0; block < blockCount; block++, inx += 64, iny += 64) {
        const __m128i savedAbcdx = abcdx, savedEx = ex, savedAbcdy = abcdy, savedEy = ey;
        BOTH(SHA1_LOAD, 0)
        BOTH(SHA1_LOAD, 1)
        BOTH(SHA1_LOAD, 2)
        BOTH(SHA1_LOAD, 3)

        SHA1_FIRST_ROUNDS(x)
        SHA1_FIRST_ROUNDS(y)
        BOTH(SHA1_ROUNDS, 1, 0)
        BOTH(SHA1_ROUNDS, 2, 0)
        BOTH(SHA1_ROUNDS, 3, 0)
        SHA1_STAGE(0, 0, 1, 2, 3)
        SHA1_STAGE(1, 1, 2, 3, 0)
        SHA1_STAGE(1, 2, 3, 0, 1)
        SHA1_STAGE(1, 3, 0, 1, 2)
        SHA1_STAGE(1, 0, 1, 2, 3)
        SHA1_STAGE(1, 1, 2, 3, 0)
        SHA1_STAGE(2, 2, 3, 0, 1)
        SHA1_STAGE(2, 3, 0, 1, 2)
        SHA1_STAGE(2, 0, 1, 2, 3)
        SHA1_STAGE(2, 1, 2, 3, 0)
        SHA1_STAGE(2, 2, 3, 0, 1)
        SHA1_STAGE(3, 3, 0, 1, 2)
        SHA1_STAGE(3, 0, 1, 2, 3)
        SHA1_STAGE(3, 1, 2, 3, 0)
        SHA1_STAGE(3, 2, 3, 0, 1)
        SHA1_STAGE(3, 3, 0, 1, 2)

        // The new E is A of the last four rounds' start, rotated, plus the
        // chaining E.
        ex = _mm_sha1nexte_epu32(previousx, savedEx);
        abcdx = _mm_add_epi32(abcdx, savedAbcdx);
        ey = _mm_sha1nexte_epu32(previousy, savedEy);
        abcdy = _mm_add_epi32(abcdy, savedAbcdy);
    }
    SHA1_PACK(x, words[0])
    SHA1_PACK(y, words[1])
}
