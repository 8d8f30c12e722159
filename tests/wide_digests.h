// SHA-512 and BLAKE2b, whatever the length of the digest, through the
// table's entry points as the jobs reach them: each digest as its tool
// names it, and the loops of each family.
#pragma once

#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "digest/algorithm.h"

struct WideDigest {
    const char *Name;
    bool Blake2b;   // else SHA-512
    uint32_t Bytes; // of the digest
    const char *Tool;
};

static const WideDigest WideDigests[] = {
    {"SHA-512", false, 64, "sha512sum"},
    {"BLAKE2b", true, 64, "b2sum"},
    {"BLAKE2b-256", true, 32, "b2sum -l 256"},
    {"BLAKE2b-8", true, 1, "b2sum -l 8"},
};
const int WideDigestCount = sizeof WideDigests / sizeof WideDigests[0];

// Each family's loops, "family:loop", as the tests force them.
static const char *const WideLoops[] = {
    "sha512:scalar",    "sha512:bmi2",      "sha512:avx512vl",     "sha512:avx512vl-ring",
    "sha512:bmi2-asm",  "blake2b:scalar",   "blake2b:ssse3",       "blake2b:avx2",
    "blake2b:avx512vl", "blake2b:avx2-acd", "blake2b:avx512vl-acd"};

// Forces the loop named "family:loop"; 0 where this processor cannot run it.
static inline int WideForceLoop(const std::string &familyAndLoop) {
    size_t colon = familyAndLoop.find(':');
    std::string loop = familyAndLoop.substr(colon + 1);
    if (familyAndLoop.compare(0, colon, "sha512") == 0)
        return Sha512ForceLoop(loop.c_str());
    return Blake2bForceLoop(loop.c_str());
}

static inline bool WideLoopServes(const std::string &familyAndLoop, const WideDigest &digest) {
    return (familyAndLoop.compare(0, 7, "blake2b") == 0) == digest.Blake2b;
}

static inline void WideForceFastest() {
    Sha512ForceLoop(nullptr);
    Blake2bForceLoop(nullptr);
}

// The digest's text of the bytes fed in pieces of the given lengths in
// turn, the last repeated; a piece of 0 is a call with nothing. Empty where
// the table does not offer the digest at that length.
static inline std::string WideDigestFed(const WideDigest &digest, const uint8_t *bytes,
                                        size_t length, const std::vector<size_t> &pieces) {
    DigestAlgorithm algorithm = digest.Blake2b ? AlgorithmBlake2b : AlgorithmSha512;
    if (!DigestAvailable(algorithm, 2 * digest.Bytes))
        return "";
    AlgorithmState state;
    AlgorithmStartDigits(&state, algorithm, 2 * digest.Bytes);
    for (size_t done = 0, turn = 0; done < length || turn == 0; turn++) {
        size_t n = pieces[turn < pieces.size() ? turn : pieces.size() - 1];
        if (n > length - done)
            n = length - done;
        AlgorithmAdd(&state, bytes + done, (uint32_t)n);
        done += n;
    }
    char text[LongestDigestTextSize + 1];
    memset(text, 'x', sizeof text);
    AlgorithmEnd(&state, text, sizeof text);
    return text;
}
