// SHA-512's "bmi2-asm" loop: the "bmi2" loop's rounds, the same
// instructions in an order of this loop's own, written in assembly so that
// the compiler keeps it; the 64-bit build only, which has the registers.
//
// Two things differ from what the compiler makes of the same sums. Σ0 of
// the new a is added to it at the start of the next round, not at the end
// of this one: the Maj and the rest of the round's sum reach the new a
// first, so that a's chain from one round to the next is Σ0 and one add.
// And each instruction stands where its inputs are ready and its result is
// soon needed, e's chain (Σ1, the sum, the add to d) first, so that the
// integer units take the chains' instructions as early as they can; the
// schedule of the next block runs on the vector units as in "bmi2".
#include "digest/sha512_loops.h"

#if defined(__x86_64__)

#include "digest/md5_avx512.h"
#include "digest/sha512_schedule.h"

// One round; the callers rename the words. On entry a still lacks s0, the
// Σ0 of its own value, which the round adds first; bc is b ^ c, and the
// round leaves a ^ b there for the next. Ch as two disjoint halves added
// (andn leaves e intact), Maj as b ^ ((a ^ b) & (b ^ c)).
#define ASM_ROUND(a, b, c, d, e, f, g, h, t)                                                       \
    __asm__("add %[wk], %[rh]\n\t"                                                                 \
            "add %[s0], %[ra]\n\t"                                                                 \
            "rorx $14, %[re], %[s0]\n\t"                                                           \
            "rorx $18, %[re], %[t1]\n\t"                                                           \
            "mov %[rf], %[t2]\n\t"                                                                 \
            "and %[re], %[t2]\n\t"                                                                 \
            "andn %[rg], %[re], %[t3]\n\t"                                                         \
            "add %[t2], %[rh]\n\t"                                                                 \
            "xor %[t1], %[s0]\n\t"                                                                 \
            "rorx $41, %[re], %[t1]\n\t"                                                           \
            "add %[t3], %[rh]\n\t"                                                                 \
            "xor %[t1], %[s0]\n\t"                                                                 \
            "add %[s0], %[rh]\n\t"                                                                 \
            "rorx $28, %[ra], %[s0]\n\t"                                                           \
            "rorx $34, %[ra], %[t1]\n\t"                                                           \
            "mov %[ra], %[t2]\n\t"                                                                 \
            "xor %[rb], %[t2]\n\t"                                                                 \
            "add %[rh], %[rd]\n\t"                                                                 \
            "xor %[t1], %[s0]\n\t"                                                                 \
            "rorx $39, %[ra], %[t1]\n\t"                                                           \
            "and %[t2], %[bc]\n\t"                                                                 \
            "xor %[t1], %[s0]\n\t"                                                                 \
            "xor %[rb], %[bc]\n\t"                                                                 \
            "add %[bc], %[rh]\n\t"                                                                 \
            "mov %[t2], %[bc]"                                                                     \
            : [ra] "+r"(a), [rd] "+r"(d), [rh] "+r"(h), [s0] "+r"(s0), [bc] "+r"(bc),              \
              [t1] "=&r"(t1), [t2] "=&r"(t2), [t3] "=&r"(t3)                                       \
            : [rb] "r"(b), [re] "r"(e), [rf] "r"(f), [rg] "r"(g), [wk] "m"(wk[t])                  \
            : "cc");

#define ASM_ROUNDS(t)                                                                              \
    if ((t) % 8 == 0) {                                                                            \
        ASM_ROUND(a, b, c, d, e, f, g, h, (t))                                                     \
        ASM_ROUND(h, a, b, c, d, e, f, g, (t) + 1)                                                 \
        ASM_ROUND(g, h, a, b, c, d, e, f, (t) + 2)                                                 \
        ASM_ROUND(f, g, h, a, b, c, d, e, (t) + 3)                                                 \
    } else {                                                                                       \
        ASM_ROUND(e, f, g, h, a, b, c, d, (t))                                                     \
        ASM_ROUND(d, e, f, g, h, a, b, c, (t) + 1)                                                 \
        ASM_ROUND(c, d, e, f, g, h, a, b, (t) + 2)                                                 \
        ASM_ROUND(b, c, d, e, f, g, h, a, (t) + 3)                                                 \
    }

#define ASM_ADD_BLOCK                                                                              \
    a += s0;                                                                                       \
    s0 = 0;                                                                                        \
    a = words[0] += a;                                                                             \
    b = words[1] += b;                                                                             \
    c = words[2] += c;                                                                             \
    d = words[3] += d;                                                                             \
    e = words[4] += e;                                                                             \
    f = words[5] += f;                                                                             \
    g = words[6] += g;                                                                             \
    h = words[7] += h;                                                                             \
    bc = b ^ c;

__attribute__((target("avx512f,avx512vl,bmi,bmi2"))) void
Sha512CompressBmi2Asm(uint64_t *words, const uint8_t *blocks, uint32_t length) {
    uint64_t a = words[0], b = words[1], c = words[2], d = words[3];
    uint64_t e = words[4], f = words[5], g = words[6], h = words[7];
    uint64_t s0 = 0, bc = b ^ c, t1, t2, t3;
    SCHEDULED_BLOCKS(ASM_ROUNDS, ASM_ADD_BLOCK)
}

int Sha512AsmRoundsUsable() {
    return Avx512VlUsable() && Bmi2Usable();
}

#else

// Never run: the 32-bit build has no 64-bit integer registers.
void Sha512CompressBmi2Asm(uint64_t *words, const uint8_t *blocks, uint32_t length) {
    Sha512CompressScalar(words, blocks, length);
}

int Sha512AsmRoundsUsable() {
    return 0;
}

#endif
