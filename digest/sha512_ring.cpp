// SHA-512's "avx512vl-ring" loop: the rounds in vector registers as the
// "avx512vl" loop runs them, for a build with eight vector registers.
//
// A round needs the eight working words, three rotations at once and a sum:
// more than eight registers, so a compiler left to place them spills what
// it likes, and it spills the newest e and a too, storing each and loading
// it back at once, which puts a trip through memory on the chain every
// round waits on. Here only e, f, a and b stay in registers; each round
// writes its new e and a to a ring of four slots each in memory as well,
// and reads g, h, c and d from there, written two and three rounds before,
// long done. The rest is the same sums: Ch, Maj and each Σ in a vpternlogq,
// every rotation a vprorq. The round is written in assembly so that the
// registers are these and nothing else. Only the low word of each register
// and slot counts.
#include <immintrin.h>
#include <string.h>

#include "digest/sha512_loops.h"
#include "digest/sha512_schedule.h"

// Round t: e_t, f, a_t and b in registers, the older words in the rings
// (e_t at ringE[t % 4], a_t at ringA[t % 4]). The new e goes to f's
// register, the new a to x's; the callers rename.
#define RING_ROUND(t)                                                                              \
    __asm__("vmovq %[wk], %[x]\n\t"                                                                \
            "vpaddq %[h], %[x], %[x]\n\t"                                                          \
            "vmovdqa %[e], %[t1]\n\t"                                                              \
            "vpternlogq $0xca, %[g], %[f], %[t1]\n\t"                                              \
            "vpaddq %[t1], %[x], %[x]\n\t"                                                         \
            "vpaddq %[d], %[x], %[f]\n\t"                                                          \
            "vprorq $14, %[e], %[t1]\n\t"                                                          \
            "vprorq $18, %[e], %[t2]\n\t"                                                          \
            "vprorq $41, %[e], %[t3]\n\t"                                                          \
            "vpternlogq $0x96, %[t3], %[t2], %[t1]\n\t"                                            \
            "vpaddq %[t1], %[f], %[f]\n\t"                                                         \
            "vmovdqu %[f], %[newE]\n\t"                                                            \
            "vpaddq %[t1], %[x], %[x]\n\t"                                                         \
            "vmovdqa %[a], %[t1]\n\t"                                                              \
            "vpternlogq $0xe8, %[c], %[b], %[t1]\n\t"                                              \
            "vpaddq %[t1], %[x], %[x]\n\t"                                                         \
            "vprorq $28, %[a], %[t1]\n\t"                                                          \
            "vprorq $34, %[a], %[t2]\n\t"                                                          \
            "vprorq $39, %[a], %[t3]\n\t"                                                          \
            "vpternlogq $0x96, %[t3], %[t2], %[t1]\n\t"                                            \
            "vpaddq %[t1], %[x], %[x]\n\t"                                                         \
            "vmovdqu %[x], %[newA]"                                                                \
            : [x] "=&x"(x), [t1] "=&x"(t1), [t2] "=&x"(t2), [t3] "=&x"(t3), [f] "+x"(f),           \
              [newE] "=m"(ringE[((t) + 1) % 4]), [newA] "=m"(ringA[((t) + 1) % 4])                 \
            : [e] "x"(e), [a] "x"(a), [b] "x"(b), [wk] "m"(wk[t]), [h] "m"(ringE[((t) + 1) % 4]),  \
              [g] "m"(ringE[((t) + 2) % 4]), [d] "m"(ringA[((t) + 1) % 4]),                        \
              [c] "m"(ringA[((t) + 2) % 4]));                                                      \
    {                                                                                              \
        __m128i last = e;                                                                          \
        e = f;                                                                                     \
        f = last;                                                                                  \
        b = a;                                                                                     \
        a = x;                                                                                     \
    }

#define RING_ROUNDS(t) RING_ROUND(t) RING_ROUND((t) + 1) RING_ROUND((t) + 2) RING_ROUND((t) + 3)

// After a block's 80 rounds the ring holds its words where they began:
// a at ringA[0], b at ringA[3], c at ringA[2], d at ringA[1], and e to h
// the same in ringE.
#define RING_ADD_BLOCK                                                                             \
    for (int i = 0; i < 4; i++) {                                                                  \
        words[i] += LowWord(ringA[(4 - i) % 4]);                                                   \
        words[4 + i] += LowWord(ringE[(4 - i) % 4]);                                               \
        ringA[(4 - i) % 4] = _mm_loadl_epi64((const __m128i *)(words + i));                        \
        ringE[(4 - i) % 4] = _mm_loadl_epi64((const __m128i *)(words + 4 + i));                    \
    }                                                                                              \
    a = ringA[0];                                                                                  \
    b = ringA[3];                                                                                  \
    e = ringE[0];                                                                                  \
    f = ringE[3];

static inline uint64_t LowWord(__m128i x) {
    uint64_t word;
    memcpy(&word, &x, sizeof word);
    return word;
}

__attribute__((target("avx512f,avx512vl"))) void
Sha512CompressRing(uint64_t *words, const uint8_t *blocks, uint32_t length) {
    // Whole registers go to the ring and come back, so that each read is
    // served from the store before it.
    __m128i ringA[4], ringE[4];
    for (int i = 0; i < 4; i++) {
        ringA[(4 - i) % 4] = _mm_loadl_epi64((const __m128i *)(words + i));
        ringE[(4 - i) % 4] = _mm_loadl_epi64((const __m128i *)(words + 4 + i));
    }
    __m128i a = ringA[0], b = ringA[3], e = ringE[0], f = ringE[3];
    __m128i x, t1, t2, t3;
    SCHEDULED_BLOCKS(RING_ROUNDS, RING_ADD_BLOCK)
}
