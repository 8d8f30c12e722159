// The table of digests; see digests.h. A row whose code is not in this
// build has no entry points: lists that name it are recognised, and every
// user of the table asks DigestAvailable before computing.
#include "digest/digests.h"

#include <stddef.h>

#include "digest/algorithm.h"
#include "digest/choices.h"

static void Sha512StartState(AlgorithmState *state) {
    Sha512Start(&state->Sha512);
}
static void Sha512AddState(AlgorithmState *state, const void *bytes, uint32_t length) {
    Sha512Add(&state->Sha512, bytes, length);
}
static void Sha512EndState(AlgorithmState *state, uint8_t *digest) {
    Sha512End(&state->Sha512, digest);
}
// Lists name BLAKE2b at its full 512 bits unless a tag or the list's name
// says less.
static void Blake2bStartState(AlgorithmState *state) {
    Blake2bStart(&state->Blake2b, state->DigitCount / 2);
}
static void Blake2bAddState(AlgorithmState *state, const void *bytes, uint32_t length) {
    Blake2bAdd(&state->Blake2b, bytes, length);
}
static void Blake2bEndState(AlgorithmState *state, uint8_t *digest) {
    Blake2bEnd(&state->Blake2b, digest);
}
static void Blake3StartState(AlgorithmState *state) {
    Blake3Start(&state->Blake3);
}
static void Blake3AddState(AlgorithmState *state, const void *bytes, uint32_t length) {
    Blake3Add(&state->Blake3, bytes, length);
}
static void Blake3EndState(AlgorithmState *state, uint8_t *digest) {
    Blake3End(&state->Blake3, digest);
}
static int Blake3AddSubtreeState(AlgorithmState *state, const uint32_t *value, uint64_t length) {
    return Blake3AddSubtree(&state->Blake3, value, length);
}
static void Crc32StartState(AlgorithmState *state) {
    Crc32Start(&state->Crc32);
}
static void Crc32AddState(AlgorithmState *state, const void *bytes, uint32_t length) {
    Crc32Add(&state->Crc32, bytes, length);
}
static void Crc32EndState(AlgorithmState *state, uint8_t *digest) {
    Crc32End(&state->Crc32, digest);
}

static void Md5Start(AlgorithmState *state) {
    DigestStart(&state->Md5);
}
static void Md5Add(AlgorithmState *state, const void *bytes, uint32_t length) {
    DigestAdd(&state->Md5, bytes, length);
}
static void Md5End(AlgorithmState *state, uint8_t *digest) {
    DigestEnd(&state->Md5, digest);
}
static int Md5ForceLoop(const char *name) {
    return DigestForceLoop(name);
}

static void Sha1StartState(AlgorithmState *state) {
    Sha1Start(&state->Sha);
}
static void Sha256StartState(AlgorithmState *state) {
    Sha256Start(&state->Sha);
}
static void ShaAddState(AlgorithmState *state, const void *bytes, uint32_t length) {
    ShaAdd(&state->Sha, bytes, length);
}
static void ShaEndState(AlgorithmState *state, uint8_t *digest) {
    ShaEnd(&state->Sha, digest);
}
static int Sha1ForceLoop(const char *name) {
    return ShaForceLoop(5, name);
}
static const char *Sha1LoopName() {
    return ShaPathName(5);
}
static int Sha256ForceLoop(const char *name) {
    return ShaForceLoop(8, name);
}
static const char *Sha256LoopName() {
    return ShaPathName(8);
}

// Indexed by DigestAlgorithm.
static const DigestRecord Digests[DigestAlgorithmCount] = {
    {"MD5",
     "MD5",
     {".md5"},
     {"MD5SUMS", "md5sums.txt"},
     32,
     16,
     true,
     AsteriskForm,
     false,
     64,
     sizeof(DigestState),
     Md5Start,
     Md5Add,
     Md5End,
     Md5ForceLoop,
     DigestPathName,
     0,
     nullptr,
     nullptr},
    {"SHA-1",
     "SHA1",
     {".sha1"},
     {"SHA1SUMS", "sha1sums.txt"},
     40,
     20,
     true,
     AsteriskForm,
     false,
     64,
     sizeof(ShaState),
     Sha1StartState,
     ShaAddState,
     ShaEndState,
     Sha1ForceLoop,
     Sha1LoopName,
     0,
     nullptr,
     nullptr},
    {"SHA-256",
     "SHA256",
     {".sha256"},
     {"SHA256SUMS", "sha256sums.txt"},
     64,
     32,
     true,
     AsteriskForm,
     false,
     64,
     sizeof(ShaState),
     Sha256StartState,
     ShaAddState,
     ShaEndState,
     Sha256ForceLoop,
     Sha256LoopName,
     0,
     nullptr,
     nullptr},
    {"SHA-512",
     "SHA512",
     {".sha512"},
     {"SHA512SUMS", "sha512sums.txt"},
     128,
     64,
     true,
     AsteriskForm,
     false,
     128,
     sizeof(Sha512State),
     Sha512StartState,
     Sha512AddState,
     Sha512EndState,
     Sha512ForceLoop,
     Sha512PathName,
     0,
     nullptr,
     nullptr},
    // b2sum writes "BLAKE2b-256" for a 256-bit digest and reads a shorter
    // untagged one by its digit count.
    {"BLAKE2b",
     "BLAKE2b",
     {".b2", ".blake2b"},
     {"B2SUMS", "b2sums.txt", "BLAKE2SUMS"},
     128,
     1,
     false,
     AsteriskForm,
     false,
     128,
     sizeof(Blake2bState),
     Blake2bStartState,
     Blake2bAddState,
     Blake2bEndState,
     Blake2bForceLoop,
     Blake2bPathName,
     0,
     nullptr,
     nullptr},
    // b3sum --check takes "digits  name" lines ending in LF only.
    {"BLAKE3",
     "BLAKE3",
     {".b3", ".blake3"},
     {"B3SUMS", "b3sums.txt"},
     64,
     32,
     false,
     TwoBlanksForm,
     true,
     64,
     sizeof(Blake3State),
     Blake3StartState,
     Blake3AddState,
     Blake3EndState,
     Blake3ForceKernel,
     Blake3KernelName,
     Blake3ChunkSize,
     Blake3Subtree,
     Blake3AddSubtreeState},
    {"CRC32",
     "CRC32",
     {".sfv"},
     {},
     8,
     4,
     true,
     SfvForm,
     false,
     1,
     sizeof(Crc32State),
     Crc32StartState,
     Crc32AddState,
     Crc32EndState,
     Crc32ForceLoop,
     Crc32LoopName,
     0,
     nullptr,
     nullptr},
};

const DigestRecord *DigestRow(DigestAlgorithm algorithm) {
    return (uint32_t)algorithm < DigestAlgorithmCount ? &Digests[algorithm] : nullptr;
}

// The table's one mutable part: what each row's code chose to run here
// (choices.h). Indexed by DigestAlgorithm.
static DigestChoice DigestChoices[DigestAlgorithmCount];

DigestChoice *DigestChoiceOf(DigestAlgorithm algorithm) {
    return &DigestChoices[algorithm];
}

static_assert(LongestDigestBytes * 2 == LongestDigestDigits, "whole bytes");

// What AlgorithmState must hold; checked once for every row with code.
static bool StateFits(const DigestRecord *row) {
    return row->StateSize <= sizeof(AlgorithmState) - offsetof(AlgorithmState, Md5);
}

bool DigestAvailable(DigestAlgorithm algorithm, uint32_t digitCount) {
    const DigestRecord *row = DigestRow(algorithm);
    return row && row->Start && DigestTakesDigits(algorithm, digitCount) && StateFits(row);
}

uint32_t DigestTextLength(DigestAlgorithm algorithm) {
    return Digests[algorithm].DigitCount;
}

const char *AlgorithmTag(DigestAlgorithm algorithm) {
    return Digests[algorithm].Tag;
}

const char *AlgorithmName(DigestAlgorithm algorithm) {
    return Digests[algorithm].Name;
}

bool DigestTakesDigits(DigestAlgorithm algorithm, uint32_t digitCount) {
    const DigestRecord *row = &Digests[algorithm];
    return digitCount == row->DigitCount ||
           (digitCount % 2 == 0 && digitCount >= 2 * row->ShortestBytes &&
            digitCount <= row->DigitCount);
}

uint32_t DigestsOfLength(uint32_t digitCount, DigestAlgorithm *found) {
    uint32_t count = 0;
    for (uint32_t i = 0; i < DigestAlgorithmCount; i++)
        if (Digests[i].DigitCount == digitCount)
            found[count++] = (DigestAlgorithm)i;
    return count;
}
