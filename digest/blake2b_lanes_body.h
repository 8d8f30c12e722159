// The body of BLAKE2b's lane kernels (digest/blake2b_lanes_*.cpp): the
// sixteen words of the state, each in a vector of its own with one message
// per lane, so that the columns and the diagonals are alike and nothing
// turns; the message words come transposed the same way, one vector per
// word. The file that includes this defines the vector type and its
// operations (VEC, LANES, TARGET, ADD, XOR, ROR, SET1, LOADU, STOREU,
// TRANSPOSE, where TRANSPOSE(rows) turns LANES vectors of a lane's words
// each into vectors of a word's lanes) and the kernel's NAME.
#include <string.h>

#include "digest/blake2b.h"
#include "digest/blake2b_loops.h"

#define LANE_G(a, b, c, d, x, y)                                                                   \
    v[a] = ADD(ADD(v[a], m[x]), v[b]);                                                             \
    v[d] = ROR(XOR(v[d], v[a]), 32);                                                               \
    v[c] = ADD(v[c], v[d]);                                                                        \
    v[b] = ROR(XOR(v[b], v[c]), 24);                                                               \
    v[a] = ADD(ADD(v[a], m[y]), v[b]);                                                             \
    v[d] = ROR(XOR(v[d], v[a]), 16);                                                               \
    v[c] = ADD(v[c], v[d]);                                                                        \
    v[b] = ROR(XOR(v[b], v[c]), 63);

// The LANES lanes' words from word first on, as vectors of one word each:
// LANES of them, word first + i in out[i].
TARGET static inline void LoadWords(const uint8_t *const blocks[], uint32_t offset, VEC *out) {
    for (int j = 0; j < LANES; j++)
        out[j] = LOADU(blocks[j] + offset);
    TRANSPOSE(out);
}

// Advances each lane's chaining words by blockCount blocks, none of them a
// message's last, and its byte count with them.
TARGET void NAME(Blake2bState *const states[], const uint8_t *const blocks[], uint32_t blockCount) {
    VEC h[8], counted;
    {
        VEC rows[LANES];
        uint64_t counts[LANES];
        for (int j = 0; j < LANES; j++)
            counts[j] = states[j]->ByteCount;
        for (int part = 0; part < 8; part += LANES) {
            for (int j = 0; j < LANES; j++)
                rows[j] = LOADU(states[j]->Chain + part);
            TRANSPOSE(rows);
            for (int i = 0; i < LANES; i++)
                h[part + i] = rows[i];
        }
        counted = LOADU(counts);
    }
    const VEC step = SET1(128);
    for (uint32_t n = 0; n < blockCount; n++) {
        VEC m[16];
        for (uint32_t word = 0; word < 16; word += LANES)
            LoadWords(blocks, 128 * n + 8 * word, m + word);
        counted = ADD(counted, step);
        VEC v[16];
        for (int i = 0; i < 8; i++) {
            v[i] = h[i];
            v[i + 8] = SET1(Blake2bIv[i]);
        }
        v[12] = XOR(v[12], counted);
        for (int r = 0; r < 12; r++) {
            const uint8_t *s = Blake2bSigma[r];
            LANE_G(0, 4, 8, 12, s[0], s[1])
            LANE_G(1, 5, 9, 13, s[2], s[3])
            LANE_G(2, 6, 10, 14, s[4], s[5])
            LANE_G(3, 7, 11, 15, s[6], s[7])
            LANE_G(0, 5, 10, 15, s[8], s[9])
            LANE_G(1, 6, 11, 12, s[10], s[11])
            LANE_G(2, 7, 8, 13, s[12], s[13])
            LANE_G(3, 4, 9, 14, s[14], s[15])
        }
        for (int i = 0; i < 8; i++)
            h[i] = XOR(h[i], XOR(v[i], v[i + 8]));
    }
    for (int part = 0; part < 8; part += LANES) {
        VEC rows[LANES];
        for (int i = 0; i < LANES; i++)
            rows[i] = h[part + i];
        TRANSPOSE(rows);
        for (int j = 0; j < LANES; j++)
            STOREU(states[j]->Chain + part, rows[j]);
    }
    for (int j = 0; j < LANES; j++)
        states[j]->ByteCount += 128 * (uint64_t)blockCount;
}

#undef LANE_G
