// The table of BLAKE3 and CRC-32 reference digests, shared by the tests of
// both builds and, on Linux, confirmed by the tools that gave them.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

struct PatternDigest {
    size_t length;
    const char *blake3; // b3sum's digest
    const char *crc32;  // rhash's, in lowercase
};

extern const PatternDigest PatternDigests[];
extern const size_t PatternDigestCount;

// length bytes of BLAKE3's test pattern: byte i is i mod 251.
std::string PatternMessage(size_t length);

// The digest texts of message fed in pieces of piece bytes, or of random
// sizes from seed when piece is 0.
std::string Blake3Text(const std::string &message, size_t piece, uint32_t seed);
std::string Crc32Text(const std::string &message, size_t piece, uint32_t seed);
