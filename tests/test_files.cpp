#include "tests/test_files.h"

#include <stdio.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "digest/md5.h"

namespace fs = std::filesystem;

static fs::path PreviousDirectory;
static fs::path ScratchDirectory;
static int ScratchCount;

std::string EnterScratchDirectory() {
    PreviousDirectory = fs::current_path();
    for (;;) {
        ScratchDirectory = fs::temp_directory_path() / ("sumbrel-test-" + std::to_string(rand()) +
                                                        "-" + std::to_string(++ScratchCount));
        if (fs::create_directory(ScratchDirectory))
            break;
    }
    fs::current_path(ScratchDirectory);
    return ScratchDirectory.string();
}

void LeaveScratchDirectory() {
    fs::current_path(PreviousDirectory);
    std::error_code ignored;
    fs::remove_all(ScratchDirectory, ignored);
}

void WriteBytes(const std::string &path, const std::string &bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), (std::streamsize)bytes.size());
}

std::string ReadBytes(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

std::string DigestOf(const std::string &bytes) {
    return DigestInPieces(bytes.data(), bytes.size(), bytes.size() + 1);
}

std::string DigestInPieces(const void *data, size_t length, size_t piece) {
    const uint8_t *bytes = static_cast<const uint8_t *>(data);
    DigestState state;
    DigestStart(&state);
    for (size_t done = 0; done < length;) {
        size_t n = length - done < piece ? length - done : piece;
        DigestAdd(&state, bytes + done, (uint32_t)n);
        done += n;
    }
    uint8_t digest[DigestSize];
    DigestEnd(&state, digest);
    char text[DigestTextSize];
    DigestToHex(digest, text, sizeof text);
    return text;
}

const KnownDigest Rfc1321Suite[7] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"1234567890123456789012345678901234567890"
     "1234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};
