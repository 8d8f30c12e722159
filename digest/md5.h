// MD5 message digest (RFC 1321) over bytes fed in pieces of any size.
#pragma once

#include <stdint.h>

#include "digest/block_feed.h"

// The running state of one digest, owned by the caller.
struct DigestState {
    uint32_t Words[4]; // the RFC 1321 chaining words A, B, C, D
    BlockFeed Feed;
};

const uint32_t DigestSize = 16;
const uint32_t DigestTextSize = 33; // 32 hexadecimal characters and a NUL

void DigestStart(DigestState *state);
void DigestAdd(DigestState *state, const void *bytes, uint32_t length);
void DigestEnd(DigestState *state, uint8_t *out);
void DigestToHex(const uint8_t *digest, char *text, uint32_t size);
// Writes count bytes as lowercase hexadecimal digit pairs into text, a
// buffer of size bytes, DigestToHex's form for any digest length.
void BytesToHex(const uint8_t *bytes, uint32_t count, char *text, uint32_t size);

// The digest runs the compression loop that proved fastest on this
// processor among those it and the system allow, measured once by the first
// digest (loop_race.h). Tests and benchmarks switch loops with
// DigestForceLoop ("scalar", "avx512vl", or null for the fastest again),
// never while a digest runs; it returns 0, changing nothing, for a loop this
// processor cannot run. DigestPathName names the loop in use.
int DigestForceLoop(const char *name);
const char *DigestPathName();
