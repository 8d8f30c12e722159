// MD5's compression loop for processors with AVX-512VL.
//
// The chaining words live in lane 0 of four xmm registers. vpternlogd
// computes any round function of b, c and d in one instruction and vprold
// rotates in one, so every step's chain through b is four one-cycle
// operations (round function, add, rotate, add) where the integer loop
// needs five in rounds 1 and 4. The other lanes carry values nobody reads.
//
// Only CompressAvx512 is compiled for AVX-512; Avx512VlUsable, which guards
// it, and the rest of the module run on any x86 processor.
#include "digest/md5_avx512.h"

#include <cpuid.h>
#include <immintrin.h>
#include <string.h>

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

static inline uint32_t LoadWord(const uint8_t *p) {
    uint32_t word;
    memcpy(&word, p, 4);
    return word;
}

// vpternlogd's immediate is the function's truth table, read off by feeding
// it 0xf0, 0xcc and 0xaa as its three inputs. The first input is also the
// destination, which the compiler must copy first, so it is d: ready long
// before b, the copy costs the chain nothing. The functions are the RFC's.
#define IN_D 0xf0
#define IN_C 0xcc
#define IN_B 0xaa
#define TABLE(f) ((f(IN_B, IN_C, IN_D)) & 0xff)
#define F(x, y, z) (((x) & (y)) | (~(x) & (z)))
#define G(x, y, z) (((x) & (z)) | ((y) & ~(z)))
#define H(x, y, z) ((x) ^ (y) ^ (z))
#define I(x, y, z) ((y) ^ ((x) | ~(z)))

// The word and the constant are added in the integer unit and moved across
// as one value. The empty asm pins a + word + constant as a value of its
// own: left alone, GCC reassociates the sum as a + f + (word + constant),
// putting a second add behind f on the chain (674 MB/s instead of 811).
#define STEP(f, a, b, c, d, n, constant, s)                                                        \
    (a) = _mm_add_epi32((a), _mm_cvtsi32_si128((int)(LoadWord(blocks + 4 * (n)) + (constant))));   \
    __asm__("" : "+v"(a));                                                                         \
    (a) = _mm_add_epi32((a), _mm_ternarylogic_epi32((d), (c), (b), TABLE(f)));                     \
    (a) = _mm_rol_epi32((a), (s));                                                                 \
    (a) = _mm_add_epi32((a), (b));

__attribute__((target("avx512f,avx512vl"))) void
CompressAvx512(DigestState *state, const uint8_t *blocks, uint32_t length) {
    __m128i a = _mm_cvtsi32_si128((int)state->A), b = _mm_cvtsi32_si128((int)state->B);
    __m128i c = _mm_cvtsi32_si128((int)state->C), d = _mm_cvtsi32_si128((int)state->D);
    for (const uint8_t *end = blocks + length; blocks != end; blocks += 64) {
        const __m128i saved_a = a, saved_b = b, saved_c = c, saved_d = d;

        STEP(F, a, b, c, d, 0, 0xd76aa478, 7)
        STEP(F, d, a, b, c, 1, 0xe8c7b756, 12)
        STEP(F, c, d, a, b, 2, 0x242070db, 17)
        STEP(F, b, c, d, a, 3, 0xc1bdceee, 22)
        STEP(F, a, b, c, d, 4, 0xf57c0faf, 7)
        STEP(F, d, a, b, c, 5, 0x4787c62a, 12)
        STEP(F, c, d, a, b, 6, 0xa8304613, 17)
        STEP(F, b, c, d, a, 7, 0xfd469501, 22)
        STEP(F, a, b, c, d, 8, 0x698098d8, 7)
        STEP(F, d, a, b, c, 9, 0x8b44f7af, 12)
        STEP(F, c, d, a, b, 10, 0xffff5bb1, 17)
        STEP(F, b, c, d, a, 11, 0x895cd7be, 22)
        STEP(F, a, b, c, d, 12, 0x6b901122, 7)
        STEP(F, d, a, b, c, 13, 0xfd987193, 12)
        STEP(F, c, d, a, b, 14, 0xa679438e, 17)
        STEP(F, b, c, d, a, 15, 0x49b40821, 22)

        STEP(G, a, b, c, d, 1, 0xf61e2562, 5)
        STEP(G, d, a, b, c, 6, 0xc040b340, 9)
        STEP(G, c, d, a, b, 11, 0x265e5a51, 14)
        STEP(G, b, c, d, a, 0, 0xe9b6c7aa, 20)
        STEP(G, a, b, c, d, 5, 0xd62f105d, 5)
        STEP(G, d, a, b, c, 10, 0x02441453, 9)
        STEP(G, c, d, a, b, 15, 0xd8a1e681, 14)
        STEP(G, b, c, d, a, 4, 0xe7d3fbc8, 20)
        STEP(G, a, b, c, d, 9, 0x21e1cde6, 5)
        STEP(G, d, a, b, c, 14, 0xc33707d6, 9)
        STEP(G, c, d, a, b, 3, 0xf4d50d87, 14)
        STEP(G, b, c, d, a, 8, 0x455a14ed, 20)
        STEP(G, a, b, c, d, 13, 0xa9e3e905, 5)
        STEP(G, d, a, b, c, 2, 0xfcefa3f8, 9)
        STEP(G, c, d, a, b, 7, 0x676f02d9, 14)
        STEP(G, b, c, d, a, 12, 0x8d2a4c8a, 20)

        STEP(H, a, b, c, d, 5, 0xfffa3942, 4)
        STEP(H, d, a, b, c, 8, 0x8771f681, 11)
        STEP(H, c, d, a, b, 11, 0x6d9d6122, 16)
        STEP(H, b, c, d, a, 14, 0xfde5380c, 23)
        STEP(H, a, b, c, d, 1, 0xa4beea44, 4)
        STEP(H, d, a, b, c, 4, 0x4bdecfa9, 11)
        STEP(H, c, d, a, b, 7, 0xf6bb4b60, 16)
        STEP(H, b, c, d, a, 10, 0xbebfbc70, 23)
        STEP(H, a, b, c, d, 13, 0x289b7ec6, 4)
        STEP(H, d, a, b, c, 0, 0xeaa127fa, 11)
        STEP(H, c, d, a, b, 3, 0xd4ef3085, 16)
        STEP(H, b, c, d, a, 6, 0x04881d05, 23)
        STEP(H, a, b, c, d, 9, 0xd9d4d039, 4)
        STEP(H, d, a, b, c, 12, 0xe6db99e5, 11)
        STEP(H, c, d, a, b, 15, 0x1fa27cf8, 16)
        STEP(H, b, c, d, a, 2, 0xc4ac5665, 23)

        STEP(I, a, b, c, d, 0, 0xf4292244, 6)
        STEP(I, d, a, b, c, 7, 0x432aff97, 10)
        STEP(I, c, d, a, b, 14, 0xab9423a7, 15)
        STEP(I, b, c, d, a, 5, 0xfc93a039, 21)
        STEP(I, a, b, c, d, 12, 0x655b59c3, 6)
        STEP(I, d, a, b, c, 3, 0x8f0ccc92, 10)
        STEP(I, c, d, a, b, 10, 0xffeff47d, 15)
        STEP(I, b, c, d, a, 1, 0x85845dd1, 21)
        STEP(I, a, b, c, d, 8, 0x6fa87e4f, 6)
        STEP(I, d, a, b, c, 15, 0xfe2ce6e0, 10)
        STEP(I, c, d, a, b, 6, 0xa3014314, 15)
        STEP(I, b, c, d, a, 13, 0x4e0811a1, 21)
        STEP(I, a, b, c, d, 4, 0xf7537e82, 6)
        STEP(I, d, a, b, c, 11, 0xbd3af235, 10)
        STEP(I, c, d, a, b, 2, 0x2ad7d2bb, 15)
        STEP(I, b, c, d, a, 9, 0xeb86d391, 21)

        a = _mm_add_epi32(a, saved_a);
        b = _mm_add_epi32(b, saved_b);
        c = _mm_add_epi32(c, saved_c);
        d = _mm_add_epi32(d, saved_d);
    }
    state->A = (uint32_t)_mm_cvtsi128_si32(a);
    state->B = (uint32_t)_mm_cvtsi128_si32(b);
    state->C = (uint32_t)_mm_cvtsi128_si32(c);
    state->D = (uint32_t)_mm_cvtsi128_si32(d);
}
