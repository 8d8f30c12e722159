#include "tests/test_files.h"

#include <stdio.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "digest/md5.h"
#include "jobs/file_digest.h"

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
    DigestState state;
    DigestStart(&state);
    DigestAdd(&state, bytes.data(), (uint32_t)bytes.size());
    uint8_t digest[DigestSize];
    DigestEnd(&state, digest);
    char text[DigestTextSize];
    DigestToHex(digest, text, sizeof text);
    return text;
}

bool ReadFileDigest(const char *name, char *text, uint32_t size, FileProblem *problem) {
    FileProblem ignored;
    return FileDigest(name, NameInCodePage, AlgorithmMd5, DigestTextLength(AlgorithmMd5), text,
                      size, problem ? problem : &ignored, nullptr);
}
