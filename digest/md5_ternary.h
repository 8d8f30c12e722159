// MD5's round functions as vpternlogd immediates, for the AVX-512 loops.
// The immediate is the function's truth table, read off by feeding it 0xf0,
// 0xcc and 0xaa as its three inputs: d, c and b in that order, so that the
// first input, which is also the destination the compiler must copy first,
// is d, ready long before b. The functions are the RFC's.
#pragma once

#define MD5_IN_D 0xf0
#define MD5_IN_C 0xcc
#define MD5_IN_B 0xaa
#define MD5_F(x, y, z) (((x) & (y)) | (~(x) & (z)))
#define MD5_G(x, y, z) (((x) & (z)) | ((y) & ~(z)))
#define MD5_H(x, y, z) ((x) ^ (y) ^ (z))
#define MD5_I(x, y, z) ((y) ^ ((x) | ~(z)))
#define MD5_TABLE(f) ((MD5_##f(MD5_IN_B, MD5_IN_C, MD5_IN_D)) & 0xff)
