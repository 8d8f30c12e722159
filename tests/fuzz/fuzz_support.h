// Small helpers shared by the fuzz targets: a failed invariant aborts with a
// message so that libFuzzer keeps the input, and scratch files live under
// the temporary directory, one set per process.
#pragma once

#include <string>

[[noreturn]] void FuzzFailure(const char *what);

inline void Require(bool condition, const char *what) {
    if (!condition)
        FuzzFailure(what);
}

// A path in this process's own scratch directory, made on first use and
// removed at exit.
std::string ScratchPath(const char *name);

void WriteWholeFile(const std::string &path, const std::string &bytes);

// The MD5 text of bytes according to OpenSSL.
std::string OpenSslMd5Text(const std::string &bytes);

// The digest text of bytes by the digest a list's tag names ("SHA256",
// "BLAKE2b"), at digits digits, each from code we did not write: OpenSSL
// for MD5, the SHAs and BLAKE2b of 512 bits, libb2 for BLAKE2b's other
// lengths, zlib for CRC32, the b3sum tool for BLAKE3.
std::string ReferenceDigestText(const std::string &tag, size_t digits, const std::string &bytes);
