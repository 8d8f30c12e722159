// The BLAKE3 kernels' common body, included once by each instruction set's
// file (digest/blake3_*.cpp) after it has defined:
//   LANE_TARGET, LANE_INLINE  the target attributes of the kernel and of
//                             its helpers, which must inline
//   Vector, LaneWidth         the vector type and the 32-bit lanes it holds
//   Add, Xor, Splat           lane-wise addition and exclusive or, a word in
//                             every lane
//   Rotate16, 12, 8, 7        lane-wise right rotations
//   LoadWords                 LaneWidth words from memory, one to a lane
//   LoadMessage               one block of each of LaneWidth inputs, word n
//                             of every input in m[n]
//   KERNEL_NAME               the name of the kernel to define
// Each lane hashes its own input: word n of the state is vector v[n].

#include <string.h>

#include "digest/blake3_kernels.h"

LANE_INLINE void Mix(Vector *v, int a, int b, int c, int d, Vector x, Vector y) {
    v[a] = Add(Add(v[a], x), v[b]);
    v[d] = Rotate16(Xor(v[d], v[a]));
    v[c] = Add(v[c], v[d]);
    v[b] = Rotate12(Xor(v[b], v[c]));
    v[a] = Add(Add(v[a], y), v[b]);
    v[d] = Rotate8(Xor(v[d], v[a]));
    v[c] = Add(v[c], v[d]);
    v[b] = Rotate7(Xor(v[b], v[c]));
}

LANE_INLINE void Round(Vector *v, const Vector *m, int round) {
    const uint8_t *s = Blake3Schedule[round];
    Mix(v, 0, 4, 8, 12, m[s[0]], m[s[1]]);
    Mix(v, 1, 5, 9, 13, m[s[2]], m[s[3]]);
    Mix(v, 2, 6, 10, 14, m[s[4]], m[s[5]]);
    Mix(v, 3, 7, 11, 15, m[s[6]], m[s[7]]);
    Mix(v, 0, 5, 10, 15, m[s[8]], m[s[9]]);
    Mix(v, 1, 6, 11, 12, m[s[10]], m[s[11]]);
    Mix(v, 2, 7, 8, 13, m[s[12]], m[s[13]]);
    Mix(v, 3, 4, 9, 14, m[s[14]], m[s[15]]);
}

LANE_TARGET void KERNEL_NAME(const uint8_t *const inputs[], uint32_t count, uint32_t blockCount,
                             uint64_t counter, uint32_t counterStep, uint32_t flags,
                             uint32_t startFlag, uint32_t endFlag, uint32_t *out) {
    // Lanes without an input hash the first one again, for nobody.
    const uint8_t *at[LaneWidth];
    uint32_t low[LaneWidth], high[LaneWidth];
    for (uint32_t i = 0; i < (uint32_t)LaneWidth; i++) {
        at[i] = inputs[i < count ? i : 0];
        uint64_t laneCounter = counter + (uint64_t)i * counterStep;
        low[i] = (uint32_t)laneCounter;
        high[i] = (uint32_t)(laneCounter >> 32);
    }
    const Vector counterLow = LoadWords(low), counterHigh = LoadWords(high);
    Vector h[8];
    for (int i = 0; i < 8; i++)
        h[i] = Splat(Blake3Iv[i]);
    for (uint32_t block = 0; block < blockCount; block++) {
        Vector m[16];
        LoadMessage(at, 64 * (size_t)block, m);
        uint32_t blockFlags =
            flags | (block == 0 ? startFlag : 0) | (block + 1 == blockCount ? endFlag : 0);
        Vector v[16] = {h[0],
                        h[1],
                        h[2],
                        h[3],
                        h[4],
                        h[5],
                        h[6],
                        h[7],
                        Splat(Blake3Iv[0]),
                        Splat(Blake3Iv[1]),
                        Splat(Blake3Iv[2]),
                        Splat(Blake3Iv[3]),
                        counterLow,
                        counterHigh,
                        Splat(64),
                        Splat(blockFlags)};
        Round(v, m, 0);
        Round(v, m, 1);
        Round(v, m, 2);
        Round(v, m, 3);
        Round(v, m, 4);
        Round(v, m, 5);
        Round(v, m, 6);
        for (int i = 0; i < 8; i++)
            h[i] = Xor(v[i], v[i + 8]);
    }
    // Word n of every lane's value is in h[n]: turned lane by lane through
    // memory, which costs little beside the blocks hashed.
    uint32_t words[8][LaneWidth];
    memcpy(words, h, sizeof words);
    for (uint32_t i = 0; i < count; i++)
        for (int n = 0; n < 8; n++)
            out[8 * i + n] = words[n][i];
}
