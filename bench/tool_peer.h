// The peers of the digests whose own tools are the measure (b3sum, rhash):
// a program run on a file that holds the core figures' message, where the
// platform can run one.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Writes the file of passes copies of the buffer into directory unless it
// is there already, and reads it once so that it is in the page cache.
// Returns false where there is no such peer, or the file cannot be made.
bool ToolPeerPrepare(const char *directory, const uint8_t *buffer, size_t size, int passes);

// Runs the program given by argv, the file's path appended as its last
// argument; text receives the last word of its output, lowercase, and
// the result is the processor time it used, or a negative number on failure.
double ToolPeerRun(const char *const *argv, char *text, size_t size);
