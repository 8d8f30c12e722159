// CRC-32's loops on the carry-less multiplication (digest/crc32_pclmul.cpp)
// and the tests that decide whether they may run. Each advances the
// inverted register over length bytes, a multiple of 16 and at least 64,
// and returns it; the table loop takes what is left over.
#pragma once

#include <stdint.h>

// 1 when the processor has PCLMULQDQ and SSE4.1.
int PclmulUsable();
// 1 when it has VPCLMULQDQ besides, with AVX-512 the system saves.
int VpclmulUsable();

uint32_t Crc32Pclmul(uint32_t crc, const uint8_t *bytes, uint32_t length);
uint32_t Crc32Vpclmul(uint32_t crc, const uint8_t *bytes, uint32_t length);
