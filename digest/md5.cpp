// MD5 (RFC 1321): the compression loop and the text form; the buffering and
// padding are block_feed.cpp's, shared with SHA.
//
// Every step of MD5 depends on the one before, so speed comes from keeping
// each step's critical path through b short: the message word and the
// constant are added to a before the round function joins in, and the round
// functions are written so that b enters last, in as few operations as the
// instruction set allows. The resulting chain per step is 5 operations in
// rounds 1 and 4 and 4 in rounds 2 and 3, as short as two-input integer
// instructions go; digest/md5_avx512.cpp, whose three-input logic makes
// every step 4, runs instead where AVX-512VL exists and proves faster.
#include "digest/md5.h"

#include <string.h>

#include "digest/md5_avx512.h"
#include "digest/md5_steps.h"

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
// reassociates the word or the constant behind f, onto the chain: GCC
// happens not to, clang does, and still folds G back into a mux with the asm
// (bench/README.md has what each costs).
#define STEP(f, a, b, c, d, n, constant, s)                                                        \
    (a) += MessageWord(blocks, (n)) + (constant);                                                  \
    __asm__("" : "+r"(a));                                                                         \
    (a) += f((b), (c), (d));                                                                       \
    (a) = ROTATE((a), (s));                                                                        \
    (a) += (b);

static void CompressScalar(uint32_t *words, const uint8_t *blocks, uint32_t length) {
    uint32_t a = words[0], b = words[1], c = words[2], d = words[3];
    for (const uint8_t *end = blocks + length; blocks != end; blocks += 64) {
        const uint32_t saved_a = a, saved_b = b, saved_c = c, saved_d = d;

        MD5_STEPS(STEP)

        a += saved_a;
        b += saved_b;
        c += saved_c;
        d += saved_d;
    }
    words[0] = a;
    words[1] = b;
    words[2] = c;
    words[3] = d;
}

// On some processors with AVX-512VL the plain loop is the quicker one (where
// vprold takes two cycles, as on AMD's Zen 4, the vector step is no shorter
// than the plain loop's longest; see bench/README.md): they race.
static const LoopChoice Md5Loops = {AlgorithmMd5, CompressScalar, CompressAvx512, "avx512vl",
                                    Avx512VlUsable};

int DigestForceLoop(const char *name) {
    return ForceLoop(&Md5Loops, name);
}

const char *DigestPathName() {
    return LoopName(&Md5Loops);
}

void DigestStart(DigestState *state) {
    state->Words[0] = 0x67452301;
    state->Words[1] = 0xefcdab89;
    state->Words[2] = 0x98badcfe;
    state->Words[3] = 0x10325476;
    FeedStart(&state->Feed);
}

void DigestAdd(DigestState *state, const void *bytes, uint32_t length) {
    FeedBytes(&state->Feed, state->Words, &Md5Loops, bytes, length);
}

void DigestEnd(DigestState *state, uint8_t *out) {
    FeedEnd(&state->Feed, state->Words, &Md5Loops, LittleEndianWords);
    StoreWords(out, state->Words, 4, LittleEndianWords);
}

void BytesToHex(const uint8_t *bytes, uint32_t count, char *text, uint32_t size) {
    static const char hex[] = "0123456789abcdef";
    uint32_t position = 0;
    for (uint32_t i = 0; i < count && position + 2 <= size; i++) {
        text[position++] = hex[bytes[i] >> 4];
        text[position++] = hex[bytes[i] & 15];
    }
    if (position < size)
        text[position] = 0;
}

void DigestToHex(const uint8_t *digest, char *text, uint32_t size) {
    BytesToHex(digest, DigestSize, text, size);
}
