// BLAKE2b (RFC 7693): the portable loop, the buffering, and the choice of
// loop.
//
// Unlike the Merkle-Damgård digests here, BLAKE2b flags its last block and
// counts only the message's bytes in it, with no padding of its own: so the
// last block, full or not, waits in the buffer until the next bytes or the
// end say which it is.
#include "digest/blake2b.h"

#include <cpuid.h>
#include <string.h>

#include "digest/blake2b_loops.h"
#include "digest/lane_kernels.h"
#include "digest/loop_set.h"
#include "digest/md5_avx512.h"

const uint64_t Blake2bIv[8] = {0x6a09e667f3bcc908, 0xbb67ae8584caa73b, 0x3c6ef372fe94f82b,
                               0xa54ff53a5f1d36f1, 0x510e527fade682d1, 0x9b05688c2b3e6c1f,
                               0x1f83d9abfb41bd6b, 0x5be0cd19137e2179};

#define ROTR64(x, s) (((x) >> (s)) | ((x) << (64 - (s))))

#define G(a, b, c, d, x, y)                                                                        \
    a = a + b + (x);                                                                               \
    d = ROTR64(d ^ a, 32);                                                                         \
    c = c + d;                                                                                     \
    b = ROTR64(b ^ c, 24);                                                                         \
    a = a + b + (y);                                                                               \
    d = ROTR64(d ^ a, 16);                                                                         \
    c = c + d;                                                                                     \
    b = ROTR64(b ^ c, 63);

static uint64_t LoadLittleEndian64(const uint8_t *p) {
    uint64_t word;
    memcpy(&word, p, sizeof word);
    return word;
}

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "message words load as native words");

void Blake2bCompressScalar(uint64_t *chain, const uint8_t *blocks, uint32_t length,
                           uint64_t counted, int final) {
    for (const uint8_t *end = blocks + length; blocks != end; blocks += 128) {
        uint64_t m[16], v[16];
        for (int i = 0; i < 16; i++)
            m[i] = LoadLittleEndian64(blocks + 8 * i);
        counted += 128;
        for (int i = 0; i < 8; i++) {
            v[i] = chain[i];
            v[i + 8] = Blake2bIv[i];
        }
        v[12] ^= counted;
        if (final && blocks + 128 == end)
            v[14] = ~v[14];
        for (int r = 0; r < 12; r++) {
            const uint8_t *s = Blake2bSigma[r];
            G(v[0], v[4], v[8], v[12], m[s[0]], m[s[1]])
            G(v[1], v[5], v[9], v[13], m[s[2]], m[s[3]])
            G(v[2], v[6], v[10], v[14], m[s[4]], m[s[5]])
            G(v[3], v[7], v[11], v[15], m[s[6]], m[s[7]])
            G(v[0], v[5], v[10], v[15], m[s[8]], m[s[9]])
            G(v[1], v[6], v[11], v[12], m[s[10]], m[s[11]])
            G(v[2], v[7], v[8], v[13], m[s[12]], m[s[13]])
            G(v[3], v[4], v[9], v[14], m[s[14]], m[s[15]])
        }
        for (int i = 0; i < 8; i++)
            chain[i] ^= v[i] ^ v[i + 8];
    }
}

int Ssse3Usable() {
    unsigned eax, ebx, ecx, edx;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        return 0;
    return (ecx & bit_SSSE3) ? 1 : 0;
}

static const Blake2bLoop Loops[] = {Blake2bCompressScalar,  Blake2bCompressSsse3,
                                    Blake2bCompressAvx2,    Blake2bCompressAvx512,
                                    Blake2bCompressAvx2Acd, Blake2bCompressAvx512Acd};
static const LoopEntrant Entrants[] = {{"scalar", nullptr},      {"ssse3", Ssse3Usable},
                                       {"avx2", Avx2Usable},     {"avx512vl", Avx512VlUsable},
                                       {"avx2-acd", Avx2Usable}, {"avx512vl-acd", Avx512VlUsable}};
static_assert(sizeof Loops / sizeof Loops[0] == sizeof Entrants / sizeof Entrants[0],
              "a name for every loop");

static void TimedTurn(void *scratch, int entrant, const uint8_t *blocks, uint32_t length) {
    Loops[entrant](static_cast<uint64_t *>(scratch), blocks, length, 0, 0);
}

static const LoopSet Blake2bLoops = {AlgorithmBlake2b, Entrants,
                                     sizeof Entrants / sizeof Entrants[0], TimedTurn};

int Blake2bForceLoop(const char *name) {
    return ForceEntrant(&Blake2bLoops, name);
}

const char *Blake2bPathName() {
    return EntrantName(&Blake2bLoops);
}

static void Compress(Blake2bState *state, const uint8_t *blocks, uint32_t length) {
    Loops[ChosenEntrant(&Blake2bLoops)](state->Chain, blocks, length, state->ByteCount, 0);
    state->ByteCount += length;
}

void Blake2bStart(Blake2bState *state, uint32_t digestSize) {
    memcpy(state->Chain, Blake2bIv, sizeof state->Chain);
    // The parameter block: digest length, no key, fanout 1, depth 1.
    state->Chain[0] ^= 0x01010000 ^ (uint64_t)digestSize;
    state->ByteCount = 0;
    state->BufferedLength = 0;
    state->DigestSize = digestSize;
}

void Blake2bAdd(Blake2bState *state, const void *bytes, uint32_t length) {
    const uint8_t *input = static_cast<const uint8_t *>(bytes);
    if (length == 0)
        return;
    uint32_t room = sizeof state->Buffer - state->BufferedLength;
    if (length <= room) {
        memcpy(state->Buffer + state->BufferedLength, input, length);
        state->BufferedLength += length;
        return;
    }
    // More bytes follow the buffer's, so its block is not the last.
    if (state->BufferedLength != 0) {
        memcpy(state->Buffer + state->BufferedLength, input, room);
        Compress(state, state->Buffer, sizeof state->Buffer);
        input += room;
        length -= room;
    }
    // Whole blocks where they lie, all but the last, which waits.
    uint32_t whole = (length - 1) & ~127u;
    if (whole != 0)
        Compress(state, input, whole);
    memcpy(state->Buffer, input + whole, length - whole);
    state->BufferedLength = length - whole;
}

void Blake2bEnd(Blake2bState *state, uint8_t *out) {
    uint32_t tail = state->BufferedLength;
    memset(state->Buffer + tail, 0, sizeof state->Buffer - tail);
    // The counter of the last block is the message's length: counted is
    // taken that much less 128, modulo 2^64.
    Loops[ChosenEntrant(&Blake2bLoops)](state->Chain, state->Buffer, sizeof state->Buffer,
                                        state->ByteCount + tail - 128, 1);
    state->BufferedLength = 0;
    uint8_t digest[64];
    memcpy(digest, state->Chain, sizeof digest);
    memcpy(out, digest, state->DigestSize);
}
