// Scratch directories and files for tests that touch the disk.
#pragma once

#include <stddef.h>

#include <string>

// Makes a fresh empty directory, enters it and returns its path; the previous
// directory is entered again by LeaveScratchDirectory, which removes it.
std::string EnterScratchDirectory();
void LeaveScratchDirectory();

void WriteBytes(const std::string &path, const std::string &bytes);
std::string ReadBytes(const std::string &path);
struct KnownDigest {
    const char *message;
    const char *digest;
};
// The test suite of RFC 1321, appendix A.5.
extern const KnownDigest Rfc1321Suite[7];

// The MD5 text of the given bytes, computed in memory.
std::string DigestOf(const std::string &bytes);
// The same, fed to DigestAdd in pieces of the given size.
std::string DigestInPieces(const void *data, size_t length, size_t piece);
