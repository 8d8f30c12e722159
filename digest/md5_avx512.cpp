// MD5's compression loop for processors with AVX-512VL.
//
// The chaining words live in lane 0 of four xmm registers. vpternlogd
// computes any round function of b, c and d in one instruction and vprold
// rotates in one, so every step's chain through b is four operations (round
// function, add, rotate, add) where the integer loop needs five in rounds 1
// and 4. That wins only where the vector rotate takes one cycle; where it
// takes two (AMD's Zen 4, see bench/README.md) the plain loop wins the race.
// The other lanes carry values nobody reads.
//
// Only CompressAvx512 is compiled for AVX-512; Avx512VlUsable, which guards
// it, and the rest of the module run on any x86 processor.
#include "digest/md5_avx512.h"

#include <cpuid.h>
#include <immintrin.h>
#include <string.h>

#include "digest/md5_steps.h"
#include "digest/md5_ternary.h"

int Avx512VlUsable() {
    unsigned eax, ebx, ecx, edx;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx) || !(ecx & bit_OSXSAVE))
        return 0;
    // XCR0 must show the system saving the SSE, AVX, mask and both upper
    // zmm states (bits 1, 2, 5, 6 and 7).
    unsigned low, high;
    __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    if ((low & 0xe6) != 0xe6)
        return 0;
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx))
        return 0;
    return (ebx & bit_AVX512F) && (ebx & bit_AVX512VL) ? 1 : 0;
}

// The round functions as vpternlogd immediates (md5_ternary.h).

// The word and the constant are added in the integer unit and moved across
// as one value. The empty asm pins a + word + constant as a value of its
// own: left alone, GCC reassociates the sum as a + f + (word + constant),
// putting a second add behind f on the chain (bench/README.md has the cost).
#define STEP(f, a, b, c, d, n, constant, s)                                                        \
    (a) = _mm_add_epi32((a), _mm_cvtsi32_si128((int)(MessageWord(blocks, (n)) + (constant))));     \
    __asm__("" : "+v"(a));                                                                         \
    (a) = _mm_add_epi32((a), _mm_ternarylogic_epi32((d), (c), (b), MD5_TABLE(f)));                 \
    (a) = _mm_rol_epi32((a), (s));                                                                 \
    (a) = _mm_add_epi32((a), (b));

__attribute__((target("avx512f,avx512vl"))) void
CompressAvx512(uint32_t *words, const uint8_t *blocks, uint32_t length) {
    __m128i a = _mm_cvtsi32_si128((int)words[0]), b = _mm_cvtsi32_si128((int)words[1]);
    __m128i c = _mm_cvtsi32_si128((int)words[2]), d = _mm_cvtsi32_si128((int)words[3]);
    for (const uint8_t *end = blocks + length; blocks != end; blocks += 64) {
        const __m128i saved_a = a, saved_b = b, saved_c = c, saved_d = d;

        MD5_STEPS(STEP)

        a = _mm_add_epi32(a, saved_a);
        b = _mm_add_epi32(b, saved_b);
        c = _mm_add_epi32(c, saved_c);
        d = _mm_add_epi32(d, saved_d);
    }
    words[0] = (uint32_t)_mm_cvtsi128_si32(a);
    words[1] = (uint32_t)_mm_cvtsi128_si32(b);
    words[2] = (uint32_t)_mm_cvtsi128_si32(c);
    words[3] = (uint32_t)_mm_cvtsi128_si32(d);
}
