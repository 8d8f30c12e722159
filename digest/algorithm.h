// The digest algorithms a signature file can name, as one kind of state:
// what the file digest feeds, whichever algorithm an entry asks for.
#pragma once

#include <stdint.h>

#include "digest/md5.h"
#include "digest/sha.h"

enum DigestAlgorithm { AlgorithmMd5, AlgorithmSha1, AlgorithmSha256 };

// The longest digest text, SHA-256's 64 digits, and its NUL.
const uint32_t LongestDigestTextSize = 65;

struct AlgorithmState {
    DigestAlgorithm Algorithm;
    union {
        DigestState Md5;
        ShaState Sha;
    };
};

void AlgorithmStart(AlgorithmState *state, DigestAlgorithm algorithm);
void AlgorithmAdd(AlgorithmState *state, const void *bytes, uint32_t length);
// Finishes the digest and writes its text, lowercase digits, into text, a
// buffer of size bytes: as many digit pairs as fit, then a NUL if it fits.
void AlgorithmEnd(AlgorithmState *state, char *text, uint32_t size);

// The number of hexadecimal digits of the algorithm's digest: 32, 40, 64.
uint32_t DigestTextLength(DigestAlgorithm algorithm);
// The algorithm whose digest text has this many digits; false for none.
bool AlgorithmOfTextLength(uint32_t length, DigestAlgorithm *algorithm);
// The algorithm's name as the tagged entry form writes it: "MD5", "SHA1",
// "SHA256".
const char *AlgorithmTag(DigestAlgorithm algorithm);
