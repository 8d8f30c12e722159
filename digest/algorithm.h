// The digest algorithms a signature file can name, as one kind of state:
// what the file digest feeds, whichever algorithm an entry asks for. Which
// algorithms there are, and all that is known of each, is the table of
// digests (digests.h).
#pragma once

#include <stdint.h>

#include "digest/digests.h"
#include "digest/md5.h"
#include "digest/sha.h"

struct AlgorithmState {
    DigestAlgorithm Algorithm;
    // Each digest's single-stream state; a new digest adds its own here
    // (DigestRecord::StateSize says what it needs).
    union {
        DigestState Md5;
        ShaState Sha;
    };
};

// Only for an algorithm DigestAvailable at its full length.
void AlgorithmStart(AlgorithmState *state, DigestAlgorithm algorithm);
void AlgorithmAdd(AlgorithmState *state, const void *bytes, uint32_t length);
// Finishes the digest and writes its text, lowercase digits, into text, a
// buffer of size bytes: as many digit pairs as fit, then a NUL if it fits.
void AlgorithmEnd(AlgorithmState *state, char *text, uint32_t size);
