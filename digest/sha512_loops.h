// SHA-512's compression loops, shared by digest/sha512*.cpp.
#pragma once

#include <stdint.h>

// Compresses length / 128 blocks into the eight chaining words; length is a
// multiple of 128.
typedef void (*Sha512Loop)(uint64_t *words, const uint8_t *blocks, uint32_t length);

extern const uint64_t Sha512Constants[80];

void Sha512CompressScalar(uint64_t *words, const uint8_t *blocks, uint32_t length);

// Only to be called when Avx512VlUsable (digest/md5_avx512.h), the first
// also only where Bmi2Usable.
void Sha512CompressBmi2(uint64_t *words, const uint8_t *blocks, uint32_t length);
void Sha512CompressAvx512(uint64_t *words, const uint8_t *blocks, uint32_t length);
void Sha512CompressRing(uint64_t *words, const uint8_t *blocks, uint32_t length);

// Only to be called where Sha512AsmRoundsUsable: Avx512VlUsable and
// Bmi2Usable in a 64-bit build; 0 in a 32-bit one.
void Sha512CompressBmi2Asm(uint64_t *words, const uint8_t *blocks, uint32_t length);
int Sha512AsmRoundsUsable();

// 1 when the processor has BMI1 and BMI2 (andn, rorx), else 0.
int Bmi2Usable();
