// MD5 (RFC 1321): the compression function, buffering and the text form.
//
// Every step of MD5 depends on the one before, so speed comes from keeping
// each step's critical path through b short: the message word and the
// constant are added to a before the round function joins in, and the round
// functions are written so that b enters last, in as few operations as the
// instruction set allows. The resulting chain per step is 5 operations in
// rounds 1 and 4 and 4 in rounds 2 and 3, as short as two-input integer
// instructions go; processors with AVX-512VL take digest/md5_avx512.cpp,
// whose three-input logic makes every step 4.
#include "digest/md5.h"

#include <string.h>

#include <atomic>

#include "digest/md5_avx512.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "message words are loaded as native little-endian words");

// The round functions, each written so that x (b) is used once and last:
// F and I need two operations after it, G and H one. G is the RFC's
// (x & z) | (y & ~z) as a sum, since the two halves share no bits; the sum
// lets the compiler add the half without b to a first.
#define F(x, y, z) ((((y) ^ (z)) & (x)) ^ (z))
#define G(x, y, z) (((y) & ~(z)) + ((x) & (z)))
#define H(x, y, z) (((y) ^ (z)) ^ (x))
#define I(x, y, z) ((y) ^ ((x) | ~(z)))

#define ROTATE(x, s) (((x) << (s)) | ((x) >> (32 - (s))))

// One step: a = b + ((a + f(b, c, d) + word + constant) <<< s). The word and
// the constant go into a first, as a is four steps old and ready long before
// b. The empty asm holds that sum as a value of its own, so that no compiler
// reassociates the word or the constant behind f, onto the chain: GCC 12
// happens not to, clang 14 does (407 cycles a block; 343 with the asm, where
// it still folds G back into a mux; GCC's loop takes 289, 291 for i686).
#define STEP(f, a, b, c, d, word, constant, s)                                                     \
    (a) += (word) + (constant);                                                                    \
    __asm__("" : "+r"(a));                                                                         \
    (a) += f((b), (c), (d));                                                                       \
    (a) = ROTATE((a), (s));                                                                        \
    (a) += (b);

static inline uint32_t LoadWord(const uint8_t *p) {
    uint32_t word;
    memcpy(&word, p, 4); // one unaligned load on both targets
    return word;
}

static void AddToByteCount(DigestState *state, uint32_t length) {
    uint32_t low = state->ByteCountLow + length;
    if (low < state->ByteCountLow)
        state->ByteCountHigh++;
    state->ByteCountLow = low;
}

// The message words are read where they lie, each as it is needed.
#define X(n) LoadWord(blocks + 4 * (n))

static void CompressScalar(DigestState *state, const uint8_t *blocks, uint32_t length) {
    uint32_t a = state->A, b = state->B, c = state->C, d = state->D;
    for (const uint8_t *end = blocks + length; blocks != end; blocks += 64) {
        const uint32_t saved_a = a, saved_b = b, saved_c = c, saved_d = d;

        STEP(F, a, b, c, d, X(0), 0xd76aa478, 7)
        STEP(F, d, a, b, c, X(1), 0xe8c7b756, 12)
        STEP(F, c, d, a, b, X(2), 0x242070db, 17)
        STEP(F, b, c, d, a, X(3), 0xc1bdceee, 22)
        STEP(F, a, b, c, d, X(4), 0xf57c0faf, 7)
        STEP(F, d, a, b, c, X(5), 0x4787c62a, 12)
        STEP(F, c, d, a, b, X(6), 0xa8304613, 17)
        STEP(F, b, c, d, a, X(7), 0xfd469501, 22)
        STEP(F, a, b, c, d, X(8), 0x698098d8, 7)
        STEP(F, d, a, b, c, X(9), 0x8b44f7af, 12)
        STEP(F, c, d, a, b, X(10), 0xffff5bb1, 17)
        STEP(F, b, c, d, a, X(11), 0x895cd7be, 22)
        STEP(F, a, b, c, d, X(12), 0x6b901122, 7)
        STEP(F, d, a, b, c, X(13), 0xfd987193, 12)
        STEP(F, c, d, a, b, X(14), 0xa679438e, 17)
        STEP(F, b, c, d, a, X(15), 0x49b40821, 22)

        STEP(G, a, b, c, d, X(1), 0xf61e2562, 5)
        STEP(G, d, a, b, c, X(6), 0xc040b340, 9)
        STEP(G, c, d, a, b, X(11), 0x265e5a51, 14)
        STEP(G, b, c, d, a, X(0), 0xe9b6c7aa, 20)
        STEP(G, a, b, c, d, X(5), 0xd62f105d, 5)
        STEP(G, d, a, b, c, X(10), 0x02441453, 9)
        STEP(G, c, d, a, b, X(15), 0xd8a1e681, 14)
        STEP(G, b, c, d, a, X(4), 0xe7d3fbc8, 20)
        STEP(G, a, b, c, d, X(9), 0x21e1cde6, 5)
        STEP(G, d, a, b, c, X(14), 0xc33707d6, 9)
        STEP(G, c, d, a, b, X(3), 0xf4d50d87, 14)
        STEP(G, b, c, d, a, X(8), 0x455a14ed, 20)
        STEP(G, a, b, c, d, X(13), 0xa9e3e905, 5)
        STEP(G, d, a, b, c, X(2), 0xfcefa3f8, 9)
        STEP(G, c, d, a, b, X(7), 0x676f02d9, 14)
        STEP(G, b, c, d, a, X(12), 0x8d2a4c8a, 20)

        STEP(H, a, b, c, d, X(5), 0xfffa3942, 4)
        STEP(H, d, a, b, c, X(8), 0x8771f681, 11)
        STEP(H, c, d, a, b, X(11), 0x6d9d6122, 16)
        STEP(H, b, c, d, a, X(14), 0xfde5380c, 23)
        STEP(H, a, b, c, d, X(1), 0xa4beea44, 4)
        STEP(H, d, a, b, c, X(4), 0x4bdecfa9, 11)
        STEP(H, c, d, a, b, X(7), 0xf6bb4b60, 16)
        STEP(H, b, c, d, a, X(10), 0xbebfbc70, 23)
        STEP(H, a, b, c, d, X(13), 0x289b7ec6, 4)
        STEP(H, d, a, b, c, X(0), 0xeaa127fa, 11)
        STEP(H, c, d, a, b, X(3), 0xd4ef3085, 16)
        STEP(H, b, c, d, a, X(6), 0x04881d05, 23)
        STEP(H, a, b, c, d, X(9), 0xd9d4d039, 4)
        STEP(H, d, a, b, c, X(12), 0xe6db99e5, 11)
        STEP(H, c, d, a, b, X(15), 0x1fa27cf8, 16)
        STEP(H, b, c, d, a, X(2), 0xc4ac5665, 23)

        STEP(I, a, b, c, d, X(0), 0xf4292244, 6)
        STEP(I, d, a, b, c, X(7), 0x432aff97, 10)
        STEP(I, c, d, a, b, X(14), 0xab9423a7, 15)
        STEP(I, b, c, d, a, X(5), 0xfc93a039, 21)
        STEP(I, a, b, c, d, X(12), 0x655b59c3, 6)
        STEP(I, d, a, b, c, X(3), 0x8f0ccc92, 10)
        STEP(I, c, d, a, b, X(10), 0xffeff47d, 15)
        STEP(I, b, c, d, a, X(1), 0x85845dd1, 21)
        STEP(I, a, b, c, d, X(8), 0x6fa87e4f, 6)
        STEP(I, d, a, b, c, X(15), 0xfe2ce6e0, 10)
        STEP(I, c, d, a, b, X(6), 0xa3014314, 15)
        STEP(I, b, c, d, a, X(13), 0x4e0811a1, 21)
        STEP(I, a, b, c, d, X(4), 0xf7537e82, 6)
        STEP(I, d, a, b, c, X(11), 0xbd3af235, 10)
        STEP(I, c, d, a, b, X(2), 0x2ad7d2bb, 15)
        STEP(I, b, c, d, a, X(9), 0xeb86d391, 21)

        a += saved_a;
        b += saved_b;
        c += saved_c;
        d += saved_d;
    }
    state->A = a;
    state->B = b;
    state->C = c;
    state->D = d;
}

typedef void (*CompressLoop)(DigestState *state, const uint8_t *blocks, uint32_t length);

static CompressLoop FastestLoop() {
    return Avx512VlUsable() ? CompressAvx512 : CompressScalar;
}

static void ChooseLoop(DigestState *state, const uint8_t *blocks, uint32_t length);

// The md5 module's only module-wide state. It starts as ChooseLoop, a
// constant, so that the first digest finds it set whatever order static
// objects are built in (a test's static digest runs before a dynamic
// initialiser here would); the first digest then fixes the loop for good.
// Relaxed atomic, because digests of separate states may run on several
// threads; on x86 its loads and stores are plain moves. DigestForceScalar is
// for tests and benchmarks, which call it while nothing digests.
static std::atomic<CompressLoop> Compress{ChooseLoop};

static void ChooseLoop(DigestState *state, const uint8_t *blocks, uint32_t length) {
    CompressLoop fastest = FastestLoop();
    Compress.store(fastest, std::memory_order_relaxed);
    fastest(state, blocks, length);
}

void DigestForceScalar(int scalar) {
    Compress.store(scalar ? CompressScalar : FastestLoop(), std::memory_order_relaxed);
}

const char *DigestPathName() {
    CompressLoop loop = Compress.load(std::memory_order_relaxed);
    if (loop == ChooseLoop)
        loop = FastestLoop();
    return loop == CompressScalar ? "scalar" : "avx512vl";
}

void DigestBlocks(DigestState *state, const uint8_t *blocks, uint32_t length) {
    AddToByteCount(state, length);
    Compress.load(std::memory_order_relaxed)(state, blocks, length);
}

void DigestStart(DigestState *state) {
    state->A = 0x67452301;
    state->B = 0xefcdab89;
    state->C = 0x98badcfe;
    state->D = 0x10325476;
    state->ByteCountLow = 0;
    state->ByteCountHigh = 0;
    state->BufferedLength = 0;
}

// Input is copied only while a block is incomplete; whole blocks in the
// caller's memory are compressed where they lie. A lone 64-byte remainder is
// held back, so DigestEnd may find up to 64 bytes waiting.
void DigestAdd(DigestState *state, const void *bytes, uint32_t length) {
    const uint8_t *input = static_cast<const uint8_t *>(bytes);

    if (state->BufferedLength != 0) {
        uint32_t room = sizeof state->BlockBuffer - state->BufferedLength;
        uint32_t n = length < room ? length : room;
        memcpy(state->BlockBuffer + state->BufferedLength, input, n);
        state->BufferedLength += n;
        if (state->BufferedLength > 64) {
            uint32_t whole = state->BufferedLength & ~63u;
            uint32_t rest = state->BufferedLength & 63u;
            DigestBlocks(state, state->BlockBuffer, whole);
            memmove(state->BlockBuffer, state->BlockBuffer + whole, rest);
            state->BufferedLength = rest;
        }
        input += n;
        length -= n;
    }
    if (length > 64) {
        uint32_t whole = length & ~63u;
        DigestBlocks(state, input, whole);
        input += whole;
        length &= 63u;
    }
    if (length != 0) {
        memcpy(state->BlockBuffer, input, length);
        state->BufferedLength = length;
    }
}

static void StoreWord(uint8_t *p, uint32_t word) {
    p[0] = (uint8_t)word;
    p[1] = (uint8_t)(word >> 8);
    p[2] = (uint8_t)(word >> 16);
    p[3] = (uint8_t)(word >> 24);
}

void DigestEnd(DigestState *state, uint8_t *out) {
    uint32_t waiting = state->BufferedLength;
    AddToByteCount(state, waiting);

    uint32_t lengthField = waiting < 56 ? 56 : 120;
    state->BlockBuffer[waiting] = 0x80;
    memset(state->BlockBuffer + waiting + 1, 0, lengthField - waiting - 1);
    StoreWord(state->BlockBuffer + lengthField, state->ByteCountLow << 3);
    StoreWord(state->BlockBuffer + lengthField + 4,
              (state->ByteCountHigh << 3) | (state->ByteCountLow >> 29));
    DigestBlocks(state, state->BlockBuffer, lengthField + 8);

    StoreWord(out, state->A);
    StoreWord(out + 4, state->B);
    StoreWord(out + 8, state->C);
    StoreWord(out + 12, state->D);
}

void DigestToHex(const uint8_t *digest, char *text, uint32_t size) {
    static const char hex[] = "0123456789abcdef";
    uint32_t position = 0;
    for (uint32_t i = 0; i < DigestSize && position + 2 <= size; i++) {
        text[position++] = hex[digest[i] >> 4];
        text[position++] = hex[digest[i] & 15];
    }
    if (position < size)
        text[position] = 0;
}
