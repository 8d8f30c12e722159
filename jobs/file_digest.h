// The digest of a whole file, read in chunks with Escape polls on a clock;
// a file that takes long reports its progress to the job. It reads on the
// calling thread, so a read that never returns holds the caller: the
// engine (digest_engine.h) reads on worker threads wherever it can start
// them, and comes here only where it cannot or is told to.
#pragma once

#include <stdint.h>

#include "digest/algorithm.h"
#include "platform/platform.h"

// Where a long file's progress goes while it is read: Show(Context, bytes
// read, file size) now and then, the job redrawing its notice.
struct ProgressReport {
    void (*Show)(void *context, uint64_t done, uint64_t total);
    void *Context;
};

// Writes the file's digest text by the given algorithm at digitCount digits
// (AlgorithmEnd of text and size; LongestDigestTextSize holds any) and
// returns true, also after Escape stopped the read (AbortRequested); returns
// false for a file that cannot be opened or read, with why in problem;
// nothing is reported. The text is the file's digest only when the result
// is true and AbortRequested is 0. progress may be null.
bool FileDigest(const char *name, NameEncoding encoding, DigestAlgorithm algorithm,
                uint32_t digitCount, char *text, uint32_t size, FileProblem *problem,
                const ProgressReport *progress);
