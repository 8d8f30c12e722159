// One state for every digest algorithm: the file digest reads a file the
// same way whichever of them an entry names.
#include "digest/algorithm.h"

void AlgorithmStart(AlgorithmState *state, DigestAlgorithm algorithm) {
    AlgorithmStartDigits(state, algorithm, DigestTextLength(algorithm));
}

void AlgorithmStartDigits(AlgorithmState *state, DigestAlgorithm algorithm, uint32_t digitCount) {
    state->Algorithm = algorithm;
    state->DigitCount = digitCount;
    DigestRow(algorithm)->Start(state);
}

void AlgorithmAdd(AlgorithmState *state, const void *bytes, uint32_t length) {
    DigestRow(state->Algorithm)->Add(state, bytes, length);
}

void AlgorithmEnd(AlgorithmState *state, char *text, uint32_t size) {
    const DigestRecord *row = DigestRow(state->Algorithm);
    uint8_t digest[LongestDigestBytes];
    row->End(state, digest);
    BytesToHex(digest, state->DigitCount / 2, text, size);
}
