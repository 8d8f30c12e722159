// The digest of a whole file, read in chunks with Escape polls on a clock,
// and the module-wide cancellation flag it sets.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include "digest/algorithm.h"
#include "platform/platform.h"

// 1 once a poll found an Escape key-down waiting; cleared by OpenPlugin.
extern int AbortRequested;

// Writes the file's digest text by the given algorithm (AlgorithmEnd of text
// and size; LongestDigestTextSize holds any) and returns 0, also after a
// cancellation; returns -1 after reporting a file that cannot be opened or
// read. The text is the file's digest only when the result is 0 and
// AbortRequested is 0.
int FileDigest(const char *name, char *text, uint32_t size,
               DigestAlgorithm algorithm = AlgorithmMd5);
int FileDigestOf(const char *name, NameEncoding encoding, char *text, uint32_t size,
                 DigestAlgorithm algorithm = AlgorithmMd5);

// Begins a job's watch for Escape: the next FileDigest polls before its
// first read; later polls come whenever the poll interval (PollInterval in
// file_digest.cpp) has passed since the last, across files.
void StartEscapeWatch();

// Polls the console for Escape if a poll is due by the same clock and
// stores the answer in AbortRequested, as FileDigest's polls do. A loop of a
// job that may run long without reading a file to digest (the list reader)
// calls it, so that Escape reaches every wait; a job stops at the first
// answer of 1, so no later poll undoes it.
void PollEscapeWhenDue();
