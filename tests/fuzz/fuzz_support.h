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
// MD5, or SHA-1 for 40 digits, SHA-256 for 64.
std::string OpenSslDigestText(const std::string &bytes, size_t digits = 32);
