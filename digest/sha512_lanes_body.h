// The SHA-512 lane kernels' common body, included once by each instruction
// set's file (digest/sha512_lanes_*.cpp) after it has defined:
//   LANE_TARGET, LANE_INLINE  the target attributes of its kernel and helpers
//   Vector, LaneWidth         the vector type and the 64-bit lanes it holds
//   Add, Splat                lane-wise addition, a constant in every lane
//   BigSigma0, BigSigma1      Σ0 and Σ1 of the rounds
//   SmallSigma0, SmallSigma1  σ0 and σ1 of the message schedule
//   Choose, Majority          Ch(e, f, g) and Maj(a, b, c)
//   LoadColumns               eight words at each of LaneWidth places, word
//                             k of every place in w[k]; at most eight, and
//                             byte-swapped when asked
//   StoreColumns              the chaining words the other way, back to the
//                             places
//   LANES_KERNEL              the name of the kernel to define
// Every lane runs the rounds of one message: the same instructions, each on
// all of them, so one round's chain serves LaneWidth messages.

#include <stddef.h>

#include "digest/sha512_loops.h"

// One round; the callers rename the words. The word plus its constant goes
// in first, off the chain through e.
#define SHA512_LANE_ROUND(a, b, c, d, e, f, g, h, i, t)                                            \
    {                                                                                              \
        Vector x = Add(h, Add(w[i], Splat(Sha512Constants[(t) + (i)])));                           \
        x = Add(x, Choose(e, f, g));                                                               \
        x = Add(x, BigSigma1(e));                                                                  \
        d = Add(d, x);                                                                             \
        h = Add(Add(x, Majority(a, b, c)), BigSigma0(a));                                          \
    }

// Word t + i of the schedule in place of word t + i - 16, w holding the
// sixteen words before it in a ring.
#define SHA512_LANE_SCHEDULE(i)                                                                    \
    w[i] = Add(Add(w[i], SmallSigma0(w[((i) + 1) % 16])),                                          \
               Add(w[((i) + 9) % 16], SmallSigma1(w[((i) + 14) % 16])));

#define SHA512_LANE_EIGHT(t, first, SCHEDULE)                                                      \
    SCHEDULE((first));                                                                             \
    SHA512_LANE_ROUND(a, b, c, d, e, f, g, h, (first), t);                                         \
    SCHEDULE((first) + 1);                                                                         \
    SHA512_LANE_ROUND(h, a, b, c, d, e, f, g, (first) + 1, t);                                     \
    SCHEDULE((first) + 2);                                                                         \
    SHA512_LANE_ROUND(g, h, a, b, c, d, e, f, (first) + 2, t);                                     \
    SCHEDULE((first) + 3);                                                                         \
    SHA512_LANE_ROUND(f, g, h, a, b, c, d, e, (first) + 3, t);                                     \
    SCHEDULE((first) + 4);                                                                         \
    SHA512_LANE_ROUND(e, f, g, h, a, b, c, d, (first) + 4, t);                                     \
    SCHEDULE((first) + 5);                                                                         \
    SHA512_LANE_ROUND(d, e, f, g, h, a, b, c, (first) + 5, t);                                     \
    SCHEDULE((first) + 6);                                                                         \
    SHA512_LANE_ROUND(c, d, e, f, g, h, a, b, (first) + 6, t);                                     \
    SCHEDULE((first) + 7);                                                                         \
    SHA512_LANE_ROUND(b, c, d, e, f, g, h, a, (first) + 7, t);

#define SHA512_LANE_NO_SCHEDULE(i)

LANE_TARGET void LANES_KERNEL(uint32_t *const words[], const uint8_t *const blocks[],
                              uint32_t blockCount) {
    const uint8_t *chaining[LaneWidth];
    for (int i = 0; i < LaneWidth; i++)
        chaining[i] = reinterpret_cast<const uint8_t *>(words[i]);
    Vector saved[8];
    LoadColumns(chaining, 0, saved, false);
    for (size_t offset = 0, end = (size_t)128 * blockCount; offset != end; offset += 128) {
        Vector w[16];
        LoadColumns(blocks, offset, w, true);
        LoadColumns(blocks, offset + 64, w + 8, true);
        Vector a = saved[0], b = saved[1], c = saved[2], d = saved[3];
        Vector e = saved[4], f = saved[5], g = saved[6], h = saved[7];
        SHA512_LANE_EIGHT(0, 0, SHA512_LANE_NO_SCHEDULE)
        SHA512_LANE_EIGHT(0, 8, SHA512_LANE_NO_SCHEDULE)
        for (int t = 16; t < 80; t += 16) {
            SHA512_LANE_EIGHT(t, 0, SHA512_LANE_SCHEDULE)
            SHA512_LANE_EIGHT(t, 8, SHA512_LANE_SCHEDULE)
        }
        saved[0] = Add(saved[0], a);
        saved[1] = Add(saved[1], b);
        saved[2] = Add(saved[2], c);
        saved[3] = Add(saved[3], d);
        saved[4] = Add(saved[4], e);
        saved[5] = Add(saved[5], f);
        saved[6] = Add(saved[6], g);
        saved[7] = Add(saved[7], h);
    }
    uint8_t *places[LaneWidth];
    for (int i = 0; i < LaneWidth; i++)
        places[i] = reinterpret_cast<uint8_t *>(words[i]);
    StoreColumns(places, saved);
}
