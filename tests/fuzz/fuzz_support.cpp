// Helpers for the fuzz targets.
#include "tests/fuzz/fuzz_support.h"

#include <openssl/evp.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

namespace fs = std::filesystem;

void FuzzFailure(const char *what) {
    fprintf(stderr, "invariant broken: %s\n", what);
    abort();
}

static fs::path ScratchDirectory;

static void RemoveScratchDirectory() {
    std::error_code ignored;
    fs::remove_all(ScratchDirectory, ignored);
}

std::string ScratchPath(const char *name) {
    if (ScratchDirectory.empty()) {
        ScratchDirectory = fs::temp_directory_path() / ("sumbrel-fuzz-" + std::to_string(getpid()));
        fs::remove_all(ScratchDirectory);
        fs::create_directory(ScratchDirectory);
        atexit(RemoveScratchDirectory);
    }
    return (ScratchDirectory / name).string();
}

void WriteWholeFile(const std::string &path, const std::string &bytes) {
    FILE *file = fopen(path.c_str(), "wb");
    Require(file != nullptr, "scratch file cannot be created");
    Require(fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() && fclose(file) == 0,
            "scratch file cannot be written");
}

std::string OpenSslDigestText(const std::string &bytes, size_t digits) {
    const EVP_MD *kind = digits == 40    ? EVP_sha1()
                         : digits == 64  ? EVP_sha256()
                         : digits == 128 ? EVP_sha512()
                                         : EVP_md5();
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    Require(EVP_Digest(bytes.data(), bytes.size(), digest, &length, kind, nullptr) == 1 &&
                (length == 16 || 2 * length == digits),
            "OpenSSL digest failed");
    static const char Hex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; i++) {
        text += Hex[digest[i] >> 4];
        text += Hex[digest[i] & 15];
    }
    return text;
}
