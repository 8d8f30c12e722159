// Helpers for the fuzz targets.
#include "tests/fuzz/fuzz_support.h"

#include <blake2.h>
#include <openssl/evp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <zlib.h>

#include <filesystem>
#include <map>

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

static std::string Hex(const unsigned char *bytes, size_t count) {
    static const char Digits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < count; i++) {
        text += Digits[bytes[i] >> 4];
        text += Digits[bytes[i] & 15];
    }
    return text;
}

static std::string OpenSslText(const std::string &bytes, const EVP_MD *kind) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    Require(EVP_Digest(bytes.data(), bytes.size(), digest, &length, kind, nullptr) == 1,
            "OpenSSL digest failed");
    return Hex(digest, length);
}

std::string OpenSslMd5Text(const std::string &bytes) {
    return OpenSslText(bytes, EVP_md5());
}

// b3sum of the bytes written to a scratch file; each text asked for once
// a process, since a run of the tool costs more than a fuzz input.
static std::string B3sumText(const std::string &bytes) {
    static std::map<std::string, std::string> known;
    auto found = known.find(bytes);
    if (found != known.end())
        return found->second;
    std::string path = ScratchPath("b3sum-input");
    WriteWholeFile(path, bytes);
    FILE *output = popen(("b3sum --no-names '" + path + "'").c_str(), "r");
    Require(output != nullptr, "b3sum does not run");
    char line[80] = "";
    bool read = fgets(line, sizeof line, output) != nullptr;
    Require(pclose(output) == 0 && read && strlen(line) == 65, "b3sum failed");
    return known[bytes] = std::string(line, 64);
}

std::string ReferenceDigestText(const std::string &tag, size_t digits, const std::string &bytes) {
    if (tag == "MD5")
        return OpenSslText(bytes, EVP_md5());
    if (tag == "SHA1")
        return OpenSslText(bytes, EVP_sha1());
    if (tag == "SHA256")
        return OpenSslText(bytes, EVP_sha256());
    if (tag == "SHA512")
        return OpenSslText(bytes, EVP_sha512());
    if (tag == "BLAKE2b" && digits == 128)
        return OpenSslText(bytes, EVP_blake2b512());
    if (tag == "BLAKE2b") {
        unsigned char digest[64];
        Require(digits % 2 == 0 && digits >= 2 && digits <= 128 &&
                    blake2b(digest, bytes.data(), nullptr, digits / 2, bytes.size(), 0) == 0,
                "libb2 digest failed");
        return Hex(digest, digits / 2);
    }
    if (tag == "CRC32") {
        uLong crc = crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef *>(bytes.data()),
                          (uInt)bytes.size());
        char text[9];
        snprintf(text, sizeof text, "%08lx", crc & 0xffffffffUL);
        return text;
    }
    Require(tag == "BLAKE3", "no reference for the digest");
    return B3sumText(bytes);
}
