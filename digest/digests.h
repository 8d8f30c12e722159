// The one table of digests: every fact about a digest that code outside its
// own files needs (how lists name it, how long its text is, how it is
// computed) is one row here, so that a new digest is its own files and one
// row, and no chain of comparisons elsewhere can fall through to a default.
#pragma once

#include <stdint.h>

// The rows' order; the table is indexed by it.
enum DigestAlgorithm {
    AlgorithmMd5,
    AlgorithmSha1,
    AlgorithmSha256,
    AlgorithmSha512,
    AlgorithmBlake2b,
    AlgorithmBlake3,
    AlgorithmCrc32,
    DigestAlgorithmCount
};

struct AlgorithmState;

// How a created list writes an entry of the digest: the form its own tool
// checks.
enum EntryForm {
    AsteriskForm,  // "digits *name", the sum tools' binary mark
    TwoBlanksForm, // "digits  name", for a tool that takes no mark
    SfvForm,       // "name DIGITS", the .sfv line, capital digits
};

const uint32_t MostDigestNames = 4;

struct DigestRecord {
    const char *Name; // as texts name it: "SHA-256"
    // As a tagged entry names it: "SHA256 (name) = digits". A digest whose
    // length is chosen carries it in bits behind a dash ("BLAKE2b-256").
    const char *Tag;
    // Names of a list that say its entries are this digest, letter case
    // aside: endings (".sha256") and whole names ("SHA256SUMS"); null ends
    // each. The first ending is the one to suggest to a user.
    const char *Endings[MostDigestNames];
    const char *ListNames[MostDigestNames];
    uint32_t DigitCount;    // hexadecimal digits of the full digest
    uint32_t ShortestBytes; // the shortest length it may be asked for; = DigitCount / 2 if fixed
    // Of the digests whose text has the same count, the one read when
    // neither a tag nor the list's name decides.
    bool Common;
    EntryForm Form;
    // Lists written of it carry no header and end lines in LF alone: its
    // tool reads nothing else, taking a CR into the name and a comment line
    // for a broken entry.
    bool BareList;
    uint32_t BlockSize; // bytes one compression takes
    uint32_t StateSize; // bytes of its single-stream state
    // The single-stream code; Start null for a digest whose code is not
    // part of this build: lists may name it, nothing computes it. Start
    // finds the length asked for in the state (AlgorithmState::DigitCount),
    // End writes that many digits' bytes.
    void (*Start)(AlgorithmState *state);
    void (*Add)(AlgorithmState *state, const void *bytes, uint32_t length);
    void (*End)(AlgorithmState *state, uint8_t *digest);
    // The compression loops raced on this processor (loop_race.h), for
    // tests and benchmarks: ForceLoop by name or null for the fastest again,
    // 0 for a loop the processor cannot run; LoopName the one in use.
    int (*ForceLoop)(const char *name);
    const char *(*LoopName)();
    // A digest whose message is a tree of leaves (BLAKE3), so that parts
    // of one message can be hashed apart, on several threads: SubtreeLeaf
    // bytes a leaf, 0 for a digest that is one chain (the two below null).
    // Subtree hashes a run of whole leaves, a power of two of them that
    // starts at leaf firstLeaf, a multiple of its count, and is not the
    // whole message, to its value; AddSubtree puts the value into the
    // message where those bytes would be fed, returning 0, changing
    // nothing, where it does not fit.
    uint32_t SubtreeLeaf;
    void (*Subtree)(const uint8_t *bytes, uint64_t length, uint64_t firstLeaf, uint32_t *value);
    int (*AddSubtree)(AlgorithmState *state, const uint32_t *value, uint64_t length);
};

// The words of a subtree's value.
const uint32_t SubtreeValueWords = 8;

// The longest digest text of any row and its NUL: buffers are sized by it.
const uint32_t LongestDigestDigits = 128;
const uint32_t LongestDigestTextSize = LongestDigestDigits + 1;
const uint32_t LongestDigestBytes = LongestDigestDigits / 2;

// The digest a new list gets when its name asks for none this build
// computes: the one every checksum tool reads.
const DigestAlgorithm DefaultDigest = AlgorithmMd5;

const DigestRecord *DigestRow(DigestAlgorithm algorithm);

// Whether this build computes the digest at this many digits: its full
// count, or any other DigestTakesDigits allows.
bool DigestAvailable(DigestAlgorithm algorithm, uint32_t digitCount);

// The number of hexadecimal digits of the algorithm's full digest.
uint32_t DigestTextLength(DigestAlgorithm algorithm);
const char *AlgorithmTag(DigestAlgorithm algorithm);
const char *AlgorithmName(DigestAlgorithm algorithm);

// Whether a digest of the algorithm may have this many digits: its full
// count, or for one of chosen length any whole number of bytes down to its
// shortest.
bool DigestTakesDigits(DigestAlgorithm algorithm, uint32_t digitCount);

// The digests whose full text has this many digits, in the table's order;
// returns how many (at most DigestAlgorithmCount).
uint32_t DigestsOfLength(uint32_t digitCount, DigestAlgorithm *found);
