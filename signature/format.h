// The signature file format: the text layout, the header and entry lines,
// the bounded line reader and the entry parser.
#pragma once

#include <stdint.h>
#include <stdio.h>

// A line keeps at most 295 characters and its NUL.
const uint32_t SignatureLineSize = 296;

void WriteSignatureHeader(FILE *stream);
void WriteSignatureEntry(FILE *stream, const char *digestText, const char *name);

// Reads one line without its line feed; the caller checks feof and ferror.
void ReadSignatureLine(FILE *stream, char *buffer, uint32_t size);

// Splits an entry line in place into name and digest text; false for any
// line that is neither an asterisk nor a parenthesised entry.
bool ParseSignatureLine(char *line, char **name, char **digestText);

// Platform layer (signature/platform_*.cpp).

// Opens a signature file in text mode, "r" or "w": every LF written is stored
// as CR LF; on reading CR LF arrives as LF, a lone CR as itself, and the first
// 0x1A ends the data. Null on failure; nothing is reported.
FILE *OpenSignatureFile(const char *name, const char *mode);

// True when both names lead to the same file on disk (same device and inode;
// on Windows the same volume and file index); false if either cannot be
// examined.
bool SameFileOnDisk(const char *first, const char *second);

// The name the file's own directory holds for it, the last part of the path
// as stored on disk (on Windows the long name in its stored letter case,
// also for a short 8.3 name). False if the file cannot be examined.
bool NameInDirectory(const char *path, char *name, size_t size);
