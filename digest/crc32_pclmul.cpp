// CRC-32 by carry-less multiplication. The message is a polynomial over
// GF(2), and its remainder modulo P is unchanged when a part of it is
// replaced by that part times x^d mod P, moved d bits on: so four 128-bit
// accumulators each fold in the block 512 bits (or, on 512-bit registers,
// 2048 bits) further on, two multiplications a fold, without a chain from
// one block to the next. At the end the accumulators fold into one, which
// a Barrett reduction turns into the 32-bit remainder.
//
// The bits run least significant first, so each constant is x^k mod P with
// its 32 bits reversed and moved one place up, where the reversed product of
// two 64-bit halves lands. The low half of a block holds its earlier bits,
// which are 64 further from the end than the high half's: the pair for a
// fold of d bits is x^(d+32) and x^(d-32) mod P.
//
// Only the loops are compiled for the instructions; the tests that guard
// them run on any x86 processor.
#include <cpuid.h>
#include <immintrin.h>

#include "digest/crc32_kernels.h"
#include "digest/md5_avx512.h"

int PclmulUsable() {
    unsigned eax, ebx, ecx, edx;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        return 0;
    return (ecx & bit_PCLMUL) && (ecx & bit_SSE4_1) ? 1 : 0;
}

int VpclmulUsable() {
    unsigned eax, ebx, ecx, edx;
    if (!PclmulUsable() || !Avx512VlUsable() || !__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx))
        return 0;
    return (ecx & bit_VPCLMULQDQ) ? 1 : 0;
}

#define PCLMUL_TARGET "pclmul,sse4.1"
#define PCLMUL_INLINE static inline __attribute__((target(PCLMUL_TARGET), always_inline))

// Fold constants: the low 64 bits multiply a block's low half.
#define FOLD_BY_512 0x1c6e41596, 0x154442bd4
#define FOLD_BY_384 0x174359406, 0x03db1ecdc
#define FOLD_BY_256 0x15a546366, 0x0f1da05aa
#define FOLD_BY_128 0x0ccaa009e, 0x1751997d0
#define FOLD_BY_2048 0x1322d1430, 0x11542778a
// x^64 mod P, for the last 32 bits.
static const long long FoldBy32 = 0x163cd6124;
// Barrett's quotient x^64 / P and P itself, both reversed to 33 bits.
#define BARRETT 0x1f7011641, 0x1db710641

PCLMUL_INLINE __m128i Fold(__m128i x, __m128i constants, __m128i next) {
    __m128i low = _mm_clmulepi64_si128(x, constants, 0x00);
    __m128i high = _mm_clmulepi64_si128(x, constants, 0x11);
    return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

PCLMUL_INLINE __m128i Load(const uint8_t *p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}

// The remainder of the 128 bits in x, followed by 32 zero bits: fold to 64
// bits, to 32, then the Barrett reduction.
PCLMUL_INLINE uint32_t Reduce(__m128i x) {
    const __m128i low32 = _mm_set_epi32(0, 0, 0, -1);
    __m128i t = _mm_clmulepi64_si128(x, _mm_set_epi64x(FOLD_BY_128), 0x10);
    x = _mm_xor_si128(_mm_srli_si128(x, 8), t);
    t = _mm_clmulepi64_si128(_mm_and_si128(x, low32), _mm_set_epi64x(0, FoldBy32), 0x00);
    x = _mm_xor_si128(_mm_srli_si128(x, 4), t);
    const __m128i barrett = _mm_set_epi64x(BARRETT);
    t = _mm_clmulepi64_si128(_mm_and_si128(x, low32), barrett, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), barrett, 0x00);
    return (uint32_t)_mm_extract_epi32(_mm_xor_si128(x, t), 1);
}

// The 16-byte blocks past the last whole fold, one by one, and the end.
PCLMUL_INLINE uint32_t FoldRest(__m128i x, const uint8_t *bytes, uint32_t length) {
    const __m128i by128 = _mm_set_epi64x(FOLD_BY_128);
    for (; length >= 16; length -= 16, bytes += 16)
        x = Fold(x, by128, Load(bytes));
    return Reduce(x);
}

__attribute__((target(PCLMUL_TARGET))) uint32_t Crc32Pclmul(uint32_t crc, const uint8_t *bytes,
                                                            uint32_t length) {
    __m128i x0 = _mm_xor_si128(Load(bytes), _mm_cvtsi32_si128((int)crc));
    __m128i x1 = Load(bytes + 16), x2 = Load(bytes + 32), x3 = Load(bytes + 48);
    bytes += 64;
    length -= 64;
    const __m128i by512 = _mm_set_epi64x(FOLD_BY_512);
    for (; length >= 64; length -= 64, bytes += 64) {
        x0 = Fold(x0, by512, Load(bytes));
        x1 = Fold(x1, by512, Load(bytes + 16));
        x2 = Fold(x2, by512, Load(bytes + 32));
        x3 = Fold(x3, by512, Load(bytes + 48));
    }
    const __m128i by128 = _mm_set_epi64x(FOLD_BY_128);
    __m128i x = Fold(Fold(Fold(x0, by128, x1), by128, x2), by128, x3);
    return FoldRest(x, bytes, length);
}

#define VPCLMUL_TARGET "avx512f,avx512vl,vpclmulqdq," PCLMUL_TARGET
#define VPCLMUL_INLINE static inline __attribute__((target(VPCLMUL_TARGET), always_inline))

VPCLMUL_INLINE __m512i Fold512(__m512i x, __m512i constants, __m512i next) {
    __m512i low = _mm512_clmulepi64_epi128(x, constants, 0x00);
    __m512i high = _mm512_clmulepi64_epi128(x, constants, 0x11);
    return _mm512_ternarylogic_epi64(low, high, next, 0x96); // three-way exclusive or
}

VPCLMUL_INLINE __m512i Splat(long long high, long long low) {
    return _mm512_set_epi64(high, low, high, low, high, low, high, low);
}

// The all-words mask spells out what the plain form leaves undefined, which
// GCC 12 takes for a read of an uninitialised value.
const __mmask8 AllWords = 0xf;

// Each lane of x folded on by the bits between its end and the register's.
VPCLMUL_INLINE __m128i FoldLanes(__m512i x) {
    __m128i last = _mm512_maskz_extracti32x4_epi32(AllWords, x, 3);
    __m128i t =
        Fold(_mm512_maskz_extracti32x4_epi32(AllWords, x, 0), _mm_set_epi64x(FOLD_BY_384), last);
    t = Fold(_mm512_maskz_extracti32x4_epi32(AllWords, x, 1), _mm_set_epi64x(FOLD_BY_256), t);
    return Fold(_mm512_maskz_extracti32x4_epi32(AllWords, x, 2), _mm_set_epi64x(FOLD_BY_128), t);
}

__attribute__((target(VPCLMUL_TARGET))) uint32_t Crc32Vpclmul(uint32_t crc, const uint8_t *bytes,
                                                              uint32_t length) {
    if (length < 256)
        return Crc32Pclmul(crc, bytes, length);
    __m512i x0 = _mm512_xor_si512(_mm512_loadu_si512(bytes),
                                  _mm512_castsi128_si512(_mm_cvtsi32_si128((int)crc)));
    __m512i x1 = _mm512_loadu_si512(bytes + 64), x2 = _mm512_loadu_si512(bytes + 128);
    __m512i x3 = _mm512_loadu_si512(bytes + 192);
    bytes += 256;
    length -= 256;
    const __m512i by2048 = Splat(FOLD_BY_2048);
    for (; length >= 256; length -= 256, bytes += 256) {
        x0 = Fold512(x0, by2048, _mm512_loadu_si512(bytes));
        x1 = Fold512(x1, by2048, _mm512_loadu_si512(bytes + 64));
        x2 = Fold512(x2, by2048, _mm512_loadu_si512(bytes + 128));
        x3 = Fold512(x3, by2048, _mm512_loadu_si512(bytes + 192));
    }
    const __m512i by512 = Splat(FOLD_BY_512);
    __m512i x = Fold512(Fold512(Fold512(x0, by512, x1), by512, x2), by512, x3);
    for (; length >= 64; length -= 64, bytes += 64)
        x = Fold512(x, by512, _mm512_loadu_si512(bytes));
    return FoldRest(FoldLanes(x), bytes, length);
}
