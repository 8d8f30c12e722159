// SHA-1 and SHA-256 (FIPS 180-4): the portable compression loops and the
// choice of loop for each.
//
// Where the processor has SHA instructions (digest/sha_ni.cpp) they run
// several times faster than any loop written in C; the portable loops serve
// the processors without them.
#include "digest/sha.h"

#include <string.h>

#include "digest/sha_ni.h"

#define ROTL(x, s) (((x) << (s)) | ((x) >> (32 - (s))))
#define ROTR(x, s) (((x) >> (s)) | ((x) << (32 - (s))))

static uint32_t LoadBigEndian(const uint8_t *p) {
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}

#define SHA1_ROUND(f, k)                                                                           \
    {                                                                                              \
        uint32_t temp = ROTL(a, 5) + (f) + e + (k) + w[t];                                         \
        e = d;                                                                                     \
        d = c;                                                                                     \
        c = ROTL(b, 30);                                                                           \
        b = a;                                                                                     \
        a = temp;                                                                                  \
    }

static void Sha1CompressScalar(uint32_t *words, const uint8_t *blocks, uint32_t length) {
    for (const uint8_t *end = blocks + length; blocks != end; blocks += 64) {
        uint32_t w[80];
        for (int t = 0; t < 16; t++)
            w[t] = LoadBigEndian(blocks + 4 * t);
        for (int t = 16; t < 80; t++)
            w[t] = ROTL(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
        uint32_t a = words[0], b = words[1], c = words[2], d = words[3], e = words[4];
        int t = 0;
        // One loop per round function, so that none of them branches.
        for (; t < 20; t++)
            SHA1_ROUND((b & c) | (~b & d), 0x5a827999)
        for (; t < 40; t++)
            SHA1_ROUND(b ^ c ^ d, 0x6ed9eba1)
        for (; t < 60; t++)
            SHA1_ROUND((b & c) | (b & d) | (c & d), 0x8f1bbcdc)
        for (; t < 80; t++)
            SHA1_ROUND(b ^ c ^ d, 0xca62c1d6)
        words[0] += a;
        words[1] += b;
        words[2] += c;
        words[3] += d;
        words[4] += e;
    }
}

const uint32_t Sha256Constants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

static void Sha256CompressScalar(uint32_t *words, const uint8_t *blocks, uint32_t length) {
    for (const uint8_t *end = blocks + length; blocks != end; blocks += 64) {
        uint32_t w[64];
        for (int t = 0; t < 16; t++)
            w[t] = LoadBigEndian(blocks + 4 * t);
        for (int t = 16; t < 64; t++) {
            uint32_t s0 = ROTR(w[t - 15], 7) ^ ROTR(w[t - 15], 18) ^ (w[t - 15] >> 3);
            uint32_t s1 = ROTR(w[t - 2], 17) ^ ROTR(w[t - 2], 19) ^ (w[t - 2] >> 10);
            w[t] = w[t - 16] + s0 + w[t - 7] + s1;
        }
        uint32_t a = words[0], b = words[1], c = words[2], d = words[3];
        uint32_t e = words[4], f = words[5], g = words[6], h = words[7];
        for (int t = 0; t < 64; t++) {
            uint32_t s1 = ROTR(e, 6) ^ ROTR(e, 11) ^ ROTR(e, 25);
            uint32_t choice = (e & f) ^ (~e & g);
            uint32_t temp1 = h + s1 + choice + Sha256Constants[t] + w[t];
            uint32_t s0 = ROTR(a, 2) ^ ROTR(a, 13) ^ ROTR(a, 22);
            uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
            h = g;
            g = f;
            f = e;
            e = d + temp1;
            d = c;
            c = b;
            b = a;
            a = temp1 + s0 + majority;
        }
        words[0] += a;
        words[1] += b;
        words[2] += c;
        words[3] += d;
        words[4] += e;
        words[5] += f;
        words[6] += g;
        words[7] += h;
    }
}

// Each algorithm's loops race as MD5's do.
static const LoopChoice Sha1Loops = {AlgorithmSha1, Sha1CompressScalar, Sha1CompressNi, "shani",
                                     ShaInstructionsUsable};
static const LoopChoice Sha256Loops = {AlgorithmSha256, Sha256CompressScalar, Sha256CompressNi,
                                       "shani", ShaInstructionsUsable};

static const LoopChoice *LoopsOf(uint32_t wordCount) {
    return wordCount == 5 ? &Sha1Loops : &Sha256Loops;
}

int ShaForceLoop(uint32_t wordCount, const char *name) {
    return ForceLoop(LoopsOf(wordCount), name);
}

const char *ShaPathName(uint32_t wordCount) {
    return LoopName(LoopsOf(wordCount));
}

static void StartWith(ShaState *state, const uint32_t *initial, uint32_t wordCount) {
    memcpy(state->Words, initial, wordCount * sizeof(uint32_t));
    state->WordCount = wordCount;
    FeedStart(&state->Feed);
}

void Sha1Start(ShaState *state) {
    static const uint32_t Initial[5] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476, 0xc3d2e1f0};
    StartWith(state, Initial, 5);
}

void Sha256Start(ShaState *state) {
    static const uint32_t Initial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                        0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    StartWith(state, Initial, 8);
}

void ShaAdd(ShaState *state, const void *bytes, uint32_t length) {
    FeedBytes(&state->Feed, state->Words, LoopsOf(state->WordCount), bytes, length);
}

void ShaEnd(ShaState *state, uint8_t *out) {
    FeedEnd(&state->Feed, state->Words, LoopsOf(state->WordCount), BigEndianWords);
    StoreWords(out, state->Words, state->WordCount, BigEndianWords);
}
