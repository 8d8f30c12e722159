// The core figures of the digests measured against their own tools
// (bench/core_tool_bench.cpp).
#pragma once

#include <stddef.h>
#include <stdint.h>

// Prints the figures of algorithm ("blake3" or "crc32") over passes copies
// of the buffer, under the figure name given; the tools' file is made in
// directory (null, or a build without tools: the module's throughput only).
// Returns the program's exit status.
int ToolDigestFigures(const char *name, const char *algorithm, const uint8_t *buffer, size_t size,
                      int passes, const char *directory);
