// The MD5 lane kernels' common body, included once by each instruction
// set's file (digest/md5_lanes_*.cpp) after it has defined:
//   LANE_TARGET             the target attribute of its functions
//   LANE_INLINE             the same for its helpers, which must inline
//   Vector, LaneWidth       the vector type and the 32-bit lanes it holds
//   Add, Splat              lane-wise addition, a constant in every lane
//   RoundF .. RoundI        MD5's round functions of b, c and d
//   ROTATE(x, s)            lane-wise left rotation by a constant
//   PIN(x)                  an empty asm that holds x in a vector register
//   LoadColumns             words 0-3 at each of LaneWidth places, word k
//                           of every place in w[k]
//   StoreColumns            the other way, back to the places
//   LANES_ONE, LANES_TWO    the names of the two kernels to define
// LANES_ONE runs one vector of lanes; LANES_TWO runs two side by side, whose
// independent steps fill the gaps in each other's chains.

#include <stddef.h>

#include "digest/md5_steps.h"

// One step on one vector of lanes: a = b + ((a + f(b, c, d) + w + k) <<< s),
// the word and the constant added to a first, off the chain through b. PIN
// keeps that sum a value of its own, which GCC would otherwise reassociate
// so as to add the word and the constant after f, on the chain.
#define LANE_STEP(f, a, b, c, d, w, constant, s)                                                   \
    a = Add(a, Add(w, Splat(constant)));                                                           \
    PIN(a);                                                                                        \
    a = Add(a, Round##f(b, c, d));                                                                 \
    a = ROTATE(a, s);                                                                              \
    a = Add(a, b);

#define ONE_VECTOR_STEP(f, a, b, c, d, n, constant, s)                                             \
    LANE_STEP(f, a##0, b##0, c##0, d##0, w0[n], constant, s)
#define TWO_VECTOR_STEP(f, a, b, c, d, n, constant, s)                                             \
    LANE_STEP(f, a##0, b##0, c##0, d##0, w0[n], constant, s)                                       \
    LANE_STEP(f, a##1, b##1, c##1, d##1, w1[n], constant, s)

// The chaining words of LaneWidth messages, word by word across the lanes:
// abcd[0] holds every message's A.
LANE_INLINE void LoadChaining(uint32_t *const words[], Vector *abcd) {
    const uint8_t *at[LaneWidth];
    for (int i = 0; i < LaneWidth; i++)
        at[i] = reinterpret_cast<const uint8_t *>(words[i]);
    LoadColumns(at, 0, abcd);
}

LANE_INLINE void StoreChaining(uint32_t *const words[], const Vector *abcd) {
    uint8_t *at[LaneWidth];
    for (int i = 0; i < LaneWidth; i++)
        at[i] = reinterpret_cast<uint8_t *>(words[i]);
    StoreColumns(at, abcd);
}

// The sixteen words of one block of each of LaneWidth messages, word n of
// every message in w[n].
LANE_INLINE void LoadMessage(const uint8_t *const blocks[], size_t offset, Vector *w) {
    for (int quarter = 0; quarter < 4; quarter++)
        LoadColumns(blocks, offset + 16 * quarter, w + 4 * quarter);
}

LANE_TARGET void LANES_ONE(uint32_t *const words[], const uint8_t *const blocks[],
                           uint32_t blockCount) {
    Vector chaining0[4];
    LoadChaining(words, chaining0);
    Vector a0 = chaining0[0], b0 = chaining0[1], c0 = chaining0[2], d0 = chaining0[3];
    for (size_t offset = 0, end = (size_t)64 * blockCount; offset != end; offset += 64) {
        Vector w0[16];
        LoadMessage(blocks, offset, w0);
        const Vector saved_a0 = a0, saved_b0 = b0, saved_c0 = c0, saved_d0 = d0;

        MD5_STEPS(ONE_VECTOR_STEP)

        a0 = Add(a0, saved_a0);
        b0 = Add(b0, saved_b0);
        c0 = Add(c0, saved_c0);
        d0 = Add(d0, saved_d0);
    }
    const Vector end0[4] = {a0, b0, c0, d0};
    StoreChaining(words, end0);
}

LANE_TARGET void LANES_TWO(uint32_t *const words[], const uint8_t *const blocks[],
                           uint32_t blockCount) {
    Vector chaining0[4], chaining1[4];
    LoadChaining(words, chaining0);
    LoadChaining(words + LaneWidth, chaining1);
    Vector a0 = chaining0[0], b0 = chaining0[1], c0 = chaining0[2], d0 = chaining0[3];
    Vector a1 = chaining1[0], b1 = chaining1[1], c1 = chaining1[2], d1 = chaining1[3];
    for (size_t offset = 0, end = (size_t)64 * blockCount; offset != end; offset += 64) {
        Vector w0[16], w1[16];
        LoadMessage(blocks, offset, w0);
        LoadMessage(blocks + LaneWidth, offset, w1);
        const Vector saved_a0 = a0, saved_b0 = b0, saved_c0 = c0, saved_d0 = d0;
        const Vector saved_a1 = a1, saved_b1 = b1, saved_c1 = c1, saved_d1 = d1;

        MD5_STEPS(TWO_VECTOR_STEP)

        a0 = Add(a0, saved_a0);
        b0 = Add(b0, saved_b0);
        c0 = Add(c0, saved_c0);
        d0 = Add(d0, saved_d0);
        a1 = Add(a1, saved_a1);
        b1 = Add(b1, saved_b1);
        c1 = Add(c1, saved_c1);
        d1 = Add(d1, saved_d1);
    }
    const Vector end0[4] = {a0, b0, c0, d0}, end1[4] = {a1, b1, c1, d1};
    StoreChaining(words, end0);
    StoreChaining(words + LaneWidth, end1);
}
