// The digest of a whole file, read in chunks with Escape polls on a clock,
// and the module-wide cancellation flag it sets.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include "digest/algorithm.h"

// 1 once a poll found an Escape key-down waiting; cleared by OpenPlugin.
extern int AbortRequested;

// How the bytes of a name are taken: in the code page of the platform's
// narrow file calls, as panel items and most lists give them, or as UTF-8,
// for names that code page cannot hold. On Linux names are bytes either way.
enum NameEncoding { NameInCodePage, NameInUtf8 };

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

// Why a file could not be used, as the file error notice tells the user.
enum FileProblem {
    ProblemUntold,     // nothing more to say than the name (two files fit it)
    ProblemNotFound,   // no such file, or no folder on the way
    ProblemCannotRead, // locked by another program, access denied, or a read failed
    ProblemNotAFile,   // a folder, a device or a pipe
    ProblemNotReached, // a name in the device namespace, never opened
    ProblemNotWritten, // a signature file that could not be written completely
};

// Platform layer (digest/file_and_escape_*.cpp).

// After an open of the name failed: whether it names nothing, something
// that is no file, or a file that would not open (locked or denied).
FileProblem WhyNotOpened(const char *name, NameEncoding encoding);

// 1 if a key-down of the given virtual key waits in the console input; the
// events ahead of it are removed, it and those behind it stay.
int EscapePressed(uint16_t virtualKey);

// Opens a regular file for untranslated reading ("rb"), sharing reading and
// writing with other processes. Anything else (a directory, a device, a pipe)
// is refused without blocking. Null on failure; nothing is reported.
FILE *OpenFileToDigest(const char *name, NameEncoding encoding);

// True when a file, directory or device answers to the name.
bool NameHasFile(const char *name, NameEncoding encoding);

// The name as the host shows it: in its code page, '?' for every letter the
// code page lacks. Returns name itself when it needs no conversion, else
// buffer.
const char *NameForHost(const char *name, NameEncoding encoding, char *buffer, size_t size);

// The first character of the host's text that starts at or after byte at:
// a cut there leaves no half of a letter (a UTF-8 sequence, or in a
// double-byte code page a lead or trail byte).
size_t CharacterStart(const char *text, size_t at);

// The name in UTF-8: a code-page name converted, a UTF-8 one copied. False
// when it does not fit.
bool NameInUtf8Form(const char *name, NameEncoding encoding, char *buffer, size_t size);

// The size of the file behind a stream from OpenFileToDigest, or -1.
int64_t FileSizeToDigest(FILE *stream);

// The width of the console in columns, 0 when there is none to ask.
int ConsoleColumns();

// A clock that only goes forward, in microseconds from an arbitrary start.
uint64_t MonotonicMicroseconds();

// Drops the key events taken from the terminal that nobody removed and asks
// again whether standard input is a terminal; for a new run or a changed
// standard input. The Windows console keeps its own queue: nothing to do.
void ForgetConsoleInput();

const uint16_t EscapeVirtualKey = 27;
