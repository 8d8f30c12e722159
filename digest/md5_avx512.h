// The AVX-512VL compression loop of MD5 and the test that decides whether
// this processor and system may run it.
#pragma once

#include <stdint.h>

// 1 when the processor has AVX512F and AVX512VL and the system saves the
// AVX-512 registers on a task switch, else 0.
int Avx512VlUsable();

// Compresses length / 64 blocks into the four chaining words. Only to be
// called when Avx512VlUsable.
void CompressAvx512(uint32_t *words, const uint8_t *blocks, uint32_t length);
