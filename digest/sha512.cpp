// SHA-512 (FIPS 180-4): the portable loop, the buffering and padding, and
// the choice of loop.
//
// Every round waits on the one before through e (and a), so a block takes
// its 80 rounds' chain; the portable loop is plain 64-bit arithmetic, which
// a 32-bit build does in pairs of registers and so runs several times
// slower. The vector loop (sha512_avx512.cpp) keeps the rounds in vector
// registers in either build.
#include "digest/sha512.h"

#include <cpuid.h>
#include <string.h>

#include "digest/loop_set.h"
#include "digest/md5_avx512.h"
#include "digest/sha512_loops.h"

const uint64_t Sha512Constants[80] = {
    0x428a2f98d728ae22, 0x7137449123ef65cd, 0xb5c0fbcfec4d3b2f, 0xe9b5dba58189dbbc,
    0x3956c25bf348b538, 0x59f111f1b605d019, 0x923f82a4af194f9b, 0xab1c5ed5da6d8118,
    0xd807aa98a3030242, 0x12835b0145706fbe, 0x243185be4ee4b28c, 0x550c7dc3d5ffb4e2,
    0x72be5d74f27b896f, 0x80deb1fe3b1696b1, 0x9bdc06a725c71235, 0xc19bf174cf692694,
    0xe49b69c19ef14ad2, 0xefbe4786384f25e3, 0x0fc19dc68b8cd5b5, 0x240ca1cc77ac9c65,
    0x2de92c6f592b0275, 0x4a7484aa6ea6e483, 0x5cb0a9dcbd41fbd4, 0x76f988da831153b5,
    0x983e5152ee66dfab, 0xa831c66d2db43210, 0xb00327c898fb213f, 0xbf597fc7beef0ee4,
    0xc6e00bf33da88fc2, 0xd5a79147930aa725, 0x06ca6351e003826f, 0x142929670a0e6e70,
    0x27b70a8546d22ffc, 0x2e1b21385c26c926, 0x4d2c6dfc5ac42aed, 0x53380d139d95b3df,
    0x650a73548baf63de, 0x766a0abb3c77b2a8, 0x81c2c92e47edaee6, 0x92722c851482353b,
    0xa2bfe8a14cf10364, 0xa81a664bbc423001, 0xc24b8b70d0f89791, 0xc76c51a30654be30,
    0xd192e819d6ef5218, 0xd69906245565a910, 0xf40e35855771202a, 0x106aa07032bbd1b8,
    0x19a4c116b8d2d0c8, 0x1e376c085141ab53, 0x2748774cdf8eeb99, 0x34b0bcb5e19b48a8,
    0x391c0cb3c5c95a63, 0x4ed8aa4ae3418acb, 0x5b9cca4f7763e373, 0x682e6ff3d6b2b8a3,
    0x748f82ee5defb2fc, 0x78a5636f43172f60, 0x84c87814a1f0ab72, 0x8cc702081a6439ec,
    0x90befffa23631e28, 0xa4506cebde82bde9, 0xbef9a3f7b2c67915, 0xc67178f2e372532b,
    0xca273eceea26619c, 0xd186b8c721c0c207, 0xeada7dd6cde0eb1e, 0xf57d4f7fee6ed178,
    0x06f067aa72176fba, 0x0a637dc5a2c898a6, 0x113f9804bef90dae, 0x1b710b35131c471b,
    0x28db77f523047d84, 0x32caab7b40c72493, 0x3c9ebe0a15c9bebc, 0x431d67c49c100d4c,
    0x4cc5d4becb3e42b6, 0x597f299cfc657e2a, 0x5fcb6fab3ad6faec, 0x6c44198c4a475817,
};

#define ROTR64(x, s) (((x) >> (s)) | ((x) << (64 - (s))))

static uint64_t LoadBigEndian64(const uint8_t *p) {
    uint64_t word = 0;
    for (int i = 0; i < 8; i++)
        word = word << 8 | p[i];
    return word;
}

void Sha512CompressScalar(uint64_t *words, const uint8_t *blocks, uint32_t length) {
    for (const uint8_t *end = blocks + length; blocks != end; blocks += 128) {
        uint64_t w[80];
        for (int t = 0; t < 16; t++)
            w[t] = LoadBigEndian64(blocks + 8 * t);
        for (int t = 16; t < 80; t++) {
            uint64_t s0 = ROTR64(w[t - 15], 1) ^ ROTR64(w[t - 15], 8) ^ (w[t - 15] >> 7);
            uint64_t s1 = ROTR64(w[t - 2], 19) ^ ROTR64(w[t - 2], 61) ^ (w[t - 2] >> 6);
            w[t] = w[t - 16] + s0 + w[t - 7] + s1;
        }
        uint64_t a = words[0], b = words[1], c = words[2], d = words[3];
        uint64_t e = words[4], f = words[5], g = words[6], h = words[7];
        for (int t = 0; t < 80; t++) {
            uint64_t s1 = ROTR64(e, 14) ^ ROTR64(e, 18) ^ ROTR64(e, 41);
            uint64_t choice = g ^ (e & (f ^ g));
            uint64_t temp1 = h + s1 + choice + Sha512Constants[t] + w[t];
            uint64_t s0 = ROTR64(a, 28) ^ ROTR64(a, 34) ^ ROTR64(a, 39);
            uint64_t majority = (a & b) ^ (a & c) ^ (b & c);
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

int Bmi2Usable() {
    unsigned eax, ebx, ecx, edx;
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx))
        return 0;
    return (ebx & bit_BMI) && (ebx & bit_BMI2) ? 1 : 0;
}

static int Avx512AndBmi2Usable() {
    return Avx512VlUsable() && Bmi2Usable();
}

static const Sha512Loop Loops[] = {Sha512CompressScalar, Sha512CompressBmi2, Sha512CompressAvx512,
                                   Sha512CompressRing, Sha512CompressBmi2Asm};
static const LoopEntrant Entrants[] = {{"scalar", nullptr},
                                       {"bmi2", Avx512AndBmi2Usable},
                                       {"avx512vl", Avx512VlUsable},
                                       {"avx512vl-ring", Avx512VlUsable},
                                       {"bmi2-asm", Sha512AsmRoundsUsable}};
static_assert(sizeof Loops / sizeof Loops[0] == sizeof Entrants / sizeof Entrants[0],
              "a name for every loop");

static void TimedTurn(void *scratch, int entrant, const uint8_t *blocks, uint32_t length) {
    Loops[entrant](static_cast<uint64_t *>(scratch), blocks, length);
}

static const LoopSet Sha512Loops = {AlgorithmSha512, Entrants, sizeof Entrants / sizeof Entrants[0],
                                    TimedTurn};

int Sha512ForceLoop(const char *name) {
    return ForceEntrant(&Sha512Loops, name);
}

const char *Sha512PathName() {
    return EntrantName(&Sha512Loops);
}

static void Compress(Sha512State *state, const uint8_t *blocks, uint32_t length) {
    state->ByteCount += length;
    Loops[ChosenEntrant(&Sha512Loops)](state->Words, blocks, length);
}

void Sha512Start(Sha512State *state) {
    static const uint64_t Initial[8] = {0x6a09e667f3bcc908, 0xbb67ae8584caa73b, 0x3c6ef372fe94f82b,
                                        0xa54ff53a5f1d36f1, 0x510e527fade682d1, 0x9b05688c2b3e6c1f,
                                        0x1f83d9abfb41bd6b, 0x5be0cd19137e2179};
    memcpy(state->Words, Initial, sizeof Initial);
    state->ByteCount = 0;
    state->BufferedLength = 0;
}

void Sha512Add(Sha512State *state, const void *bytes, uint32_t length) {
    const uint8_t *input = static_cast<const uint8_t *>(bytes);
    if (state->BufferedLength != 0) {
        uint32_t room = sizeof state->Buffer - state->BufferedLength;
        uint32_t n = length < room ? length : room;
        memcpy(state->Buffer + state->BufferedLength, input, n);
        state->BufferedLength += n;
        input += n;
        length -= n;
        if (state->BufferedLength < sizeof state->Buffer)
            return;
        Compress(state, state->Buffer, sizeof state->Buffer);
        state->BufferedLength = 0;
    }
    uint32_t whole = length & ~127u;
    if (whole != 0)
        Compress(state, input, whole);
    memcpy(state->Buffer, input + whole, length - whole);
    state->BufferedLength = length - whole;
}

static void StoreBigEndian64(uint8_t *p, uint64_t word) {
    for (int i = 0; i < 8; i++)
        p[i] = (uint8_t)(word >> (56 - 8 * i));
}

// The tail, 0x80, zeros and the length in bits as 128 bits, of which the
// top 61 stay zero for any message below 2^64 bytes.
uint32_t Sha512EndBlocks(const Sha512State *state, const uint8_t *tail, uint32_t tailLength,
                         uint8_t *end) {
    uint64_t total = state->ByteCount + tailLength;
    uint32_t length = tailLength < 112 ? 128 : 256;
    if (tailLength != 0)
        memcpy(end, tail, tailLength);
    end[tailLength] = 0x80;
    memset(end + tailLength + 1, 0, length - 16 - tailLength - 1);
    StoreBigEndian64(end + length - 16, total >> 61);
    StoreBigEndian64(end + length - 8, total << 3);
    return length;
}

void Sha512StoreDigest(const uint64_t *words, uint8_t *out) {
    for (int i = 0; i < 8; i++)
        StoreBigEndian64(out + 8 * i, words[i]);
}

void Sha512End(Sha512State *state, uint8_t *out) {
    uint8_t end[256];
    uint32_t length = Sha512EndBlocks(state, state->Buffer, state->BufferedLength, end);
    Compress(state, end, length);
    state->BufferedLength = 0;
    Sha512StoreDigest(state->Words, out);
}
