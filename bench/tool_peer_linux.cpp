// The tool peers on Linux: the file kept in the bench's data directory, the
// program timed by the processor time it and its threads used (wait4).
#include <ctype.h>
#include <stdio.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "bench/run.h"
#include "bench/tool_peer.h"

static std::string PeerFile;

bool ToolPeerPrepare(const char *directory, const uint8_t *buffer, size_t size, int passes) {
    PeerFile = std::string(directory) + "/core-bench-message.bin";
    struct stat status;
    if (stat(PeerFile.c_str(), &status) != 0 || (uint64_t)status.st_size != size * passes) {
        FILE *file = fopen(PeerFile.c_str(), "wb");
        if (!file)
            return false;
        for (int i = 0; i < passes; i++)
            fwrite(buffer, 1, size, file);
        if (fclose(file) != 0)
            return false;
    }
    FILE *file = fopen(PeerFile.c_str(), "rb");
    if (!file)
        return false;
    std::vector<char> chunk(1 << 20);
    while (fread(chunk.data(), 1, chunk.size(), file) == chunk.size()) {
    }
    fclose(file);
    return true;
}

double ToolPeerRun(const char *const *argv, char *text, size_t size) {
    std::vector<const char *> arguments;
    for (; *argv; argv++)
        arguments.push_back(*argv);
    arguments.push_back(PeerFile.c_str());
    arguments.push_back(nullptr);
    std::string output;
    double seconds = 0;
    if (RunProgram(arguments.data(), &output, &seconds) != 0)
        return -1;
    // The digest is the last word: b3sum --no-names prints nothing else,
    // rhash --crc32 an .sfv file's comments and line.
    size_t end = output.find_last_not_of(" \r\n");
    size_t start = output.find_last_of(" \r\n", end);
    start = start == std::string::npos ? 0 : start + 1;
    snprintf(text, size, "%s",
             end == std::string::npos ? "" : output.substr(start, end + 1 - start).c_str());
    for (char *c = text; *c; c++)
        *c = (char)tolower((unsigned char)*c);
    return seconds;
}
