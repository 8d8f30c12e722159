// The digest algorithms a signature file can name, as one kind of state:
// what the file digest feeds, whichever algorithm an entry asks for. Which
// algorithms there are, and all that is known of each, is the table of
// digests (digests.h).
#pragma once

#include <stdint.h>

#include "digest/blake2b.h"
#include "digest/blake3.h"
#include "digest/crc32.h"
#include "digest/digests.h"
#include "digest/md5.h"
#include "digest/sha.h"
#include "digest/sha512.h"

struct AlgorithmState {
    DigestAlgorithm Algorithm;
    uint32_t DigitCount; // of its text: the row's, or a chosen length's
    // Each digest's single-stream state; a new digest adds its own here
    // (DigestRecord::StateSize says what it needs).
    union {
        DigestState Md5;
        ShaState Sha;
        Sha512State Sha512;
        Blake2bState Blake2b;
        Blake3State Blake3;
        Crc32State Crc32;
    };
};

// Only for an algorithm DigestAvailable at its full length.
void AlgorithmStart(AlgorithmState *state, DigestAlgorithm algorithm);
// At digitCount digits, a length DigestAvailable for the algorithm: a
// digest of chosen length ("BLAKE2b-256") computes its own, not the full
// one cut short.
void AlgorithmStartDigits(AlgorithmState *state, DigestAlgorithm algorithm, uint32_t digitCount);
void AlgorithmAdd(AlgorithmState *state, const void *bytes, uint32_t length);
// Finishes the digest and writes its text, lowercase digits, into text, a
// buffer of size bytes: as many digit pairs as fit, then a NUL if it fits.
void AlgorithmEnd(AlgorithmState *state, char *text, uint32_t size);
