// MD5 (RFC 1321): the compression function, buffering and the text form.
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

#include <atomic>

#include "digest/loop_race.h"
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

static void AddToByteCount(DigestState *state, uint32_t length) {
    uint32_t low = state->ByteCountLow + length;
    if (low < state->ByteCountLow)
        state->ByteCountHigh++;
    state->ByteCountLow = low;
}

static void CompressScalar(DigestState *state, const uint8_t *blocks, uint32_t length) {
    uint32_t a = state->A, b = state->B, c = state->C, d = state->D;
    for (const uint8_t *end = blocks + length; blocks != end; blocks += 64) {
        const uint32_t saved_a = a, saved_b = b, saved_c = c, saved_d = d;

        MD5_STEPS(STEP)

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

// Feature flags say which loops a processor can run, not which runs faster:
// on some processors with AVX-512VL the plain loop is the quicker one (where
// vprold takes two cycles, as on AMD's Zen 4, the vector step is no shorter
// than the plain loop's longest; see bench/README.md). So the candidates race.
static void RaceScalar(void *scratch, const uint8_t *blocks, uint32_t length) {
    CompressScalar(static_cast<DigestState *>(scratch), blocks, length);
}
static void RaceAvx512(void *scratch, const uint8_t *blocks, uint32_t length) {
    CompressAvx512(static_cast<DigestState *>(scratch), blocks, length);
}

static CompressLoop MeasureFastestLoop() {
    if (!Avx512VlUsable())
        return CompressScalar;
    DigestState scratch;
    DigestStart(&scratch);
    const RacedLoop loops[2] = {RaceScalar, RaceAvx512};
    return FastestLoop(loops, 2, &scratch) == 1 ? CompressAvx512 : CompressScalar;
}

static void ChooseLoop(DigestState *state, const uint8_t *blocks, uint32_t length);

// The md5 module's module-wide state. Compress starts as ChooseLoop, a
// constant, so that the first digest finds it set whatever order static
// objects are built in (a test's static digest runs before a dynamic
// initialiser here would); the first digest then races the loops and fixes
// the winner, kept in Fastest for DigestForceLoop. Relaxed atomics,
// because digests of separate states may run on several threads, which may
// each race once; on x86 their loads and stores are plain moves.
// DigestForceLoop is for tests and benchmarks, which call it while
// nothing digests.
static std::atomic<CompressLoop> Compress{ChooseLoop};
static std::atomic<CompressLoop> Fastest{nullptr};

static CompressLoop FastestCompressLoop() {
    CompressLoop fastest = Fastest.load(std::memory_order_relaxed);
    if (!fastest) {
        fastest = MeasureFastestLoop();
        Fastest.store(fastest, std::memory_order_relaxed);
    }
    return fastest;
}

static void ChooseLoop(DigestState *state, const uint8_t *blocks, uint32_t length) {
    CompressLoop fastest = FastestCompressLoop();
    Compress.store(fastest, std::memory_order_relaxed);
    fastest(state, blocks, length);
}

int DigestForceLoop(const char *name) {
    CompressLoop loop = FastestCompressLoop();
    if (name && strcmp(name, "scalar") == 0)
        loop = CompressScalar;
    else if (name && strcmp(name, "avx512vl") == 0 && Avx512VlUsable())
        loop = CompressAvx512;
    else if (name)
        return 0;
    Compress.store(loop, std::memory_order_relaxed);
    return 1;
}

const char *DigestPathName() {
    CompressLoop loop = Compress.load(std::memory_order_relaxed);
    if (loop == ChooseLoop)
        loop = FastestCompressLoop();
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
