// One state for every digest algorithm: the file digest reads a file the
// same way whichever of them an entry names.
#include "digest/algorithm.h"

void AlgorithmStart(AlgorithmState *state, DigestAlgorithm algorithm) {
    state->Algorithm = algorithm;
    if (algorithm == AlgorithmMd5)
        DigestStart(&state->Md5);
    else if (algorithm == AlgorithmSha1)
        Sha1Start(&state->Sha);
    else
        Sha256Start(&state->Sha);
}

void AlgorithmAdd(AlgorithmState *state, const void *bytes, uint32_t length) {
    if (state->Algorithm == AlgorithmMd5)
        DigestAdd(&state->Md5, bytes, length);
    else
        ShaAdd(&state->Sha, bytes, length);
}

void AlgorithmEnd(AlgorithmState *state, char *text, uint32_t size) {
    uint8_t digest[Sha256DigestSize];
    if (state->Algorithm == AlgorithmMd5) {
        DigestEnd(&state->Md5, digest);
        DigestToHex(digest, text, size);
        return;
    }
    ShaEnd(&state->Sha, digest);
    BytesToHex(digest, 4 * state->Sha.WordCount, text, size);
}

uint32_t DigestTextLength(DigestAlgorithm algorithm) {
    return algorithm == AlgorithmMd5 ? 32 : algorithm == AlgorithmSha1 ? 40 : 64;
}

bool AlgorithmOfTextLength(uint32_t length, DigestAlgorithm *algorithm) {
    if (length == 32)
        *algorithm = AlgorithmMd5;
    else if (length == 40)
        *algorithm = AlgorithmSha1;
    else if (length == 64)
        *algorithm = AlgorithmSha256;
    else
        return false;
    return true;
}

const char *AlgorithmTag(DigestAlgorithm algorithm) {
    return algorithm == AlgorithmMd5 ? "MD5" : algorithm == AlgorithmSha1 ? "SHA1" : "SHA256";
}
