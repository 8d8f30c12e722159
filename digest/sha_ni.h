// The compression loops of SHA-1 and SHA-256 on the processor's SHA
// instructions, and the test that decides whether they may run.
#pragma once

#include <stdint.h>

// 1 when the processor has the SHA extensions with SSSE3 and SSE4.1, else 0.
int ShaInstructionsUsable();

// Compress length / 64 blocks into the chaining words (5 or 8 of them).
// Only to be called when ShaInstructionsUsable.
void Sha1CompressNi(uint32_t *words, const uint8_t *blocks, uint32_t length);
void Sha256CompressNi(uint32_t *words, const uint8_t *blocks, uint32_t length);

// SHA-256's 64 round constants, shared with the portable loop.
extern const uint32_t Sha256Constants[64];
