// CRC-32 as .sfv files and zlib write it: IEEE 802.3's polynomial, bits
// taken least significant first, the register starting at all ones and
// inverted at the end. The digest is its 32 bits most significant first,
// so that its text is the eight digits those files hold.
#pragma once

#include <stdint.h>

struct Crc32State {
    uint32_t Register; // the running remainder, inverted
};

const uint32_t Crc32DigestSize = 4;

void Crc32Start(Crc32State *state);
void Crc32Add(Crc32State *state, const void *bytes, uint32_t length);
void Crc32End(Crc32State *state, uint8_t *out);

// As for the other digests, the loop in use is the one that proved fastest
// on this processor, raced once by the first digest: "table" (eight bytes a
// step through eight tables), "pclmul" (four 128-bit remainders folded by
// carry-less multiplication) or "vpclmul" (the same on four 512-bit
// registers, where there is AVX-512). Tests and benchmarks switch with
// Crc32ForceLoop (null: the fastest again), never while a digest runs; it
// returns 0, changing nothing, for a loop this processor cannot run.
int Crc32ForceLoop(const char *name);
const char *Crc32LoopName();
