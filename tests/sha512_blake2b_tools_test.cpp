// SHA-512 and BLAKE2b against their own tools, run here: files of every
// size around the first blocks and around larger reads, of pseudo-random
// bytes, digested by sha512sum and b2sum (with -l for the shorter lengths),
// and by every loop this processor runs, the bytes fed in pieces of varied
// sizes, and by every SHA-512 lane kernel, the files side by side.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <random>
#include <string>
#include <vector>

#include "digest/lanes.h"
#include "tests/kernels_covered.h"
#include "tests/side_by_side.h"
#include "tests/test_files.h"
#include "tests/wide_digests.h"

// The tool's digest text of each file, in order: one run over all of them.
static std::vector<std::string> ToolDigests(const char *tool,
                                            const std::vector<std::string> &files) {
    std::string command = std::string(tool) + " --";
    for (const std::string &file : files)
        command += " " + file;
    std::vector<std::string> digests;
    FILE *output = popen(command.c_str(), "r");
    if (!output)
        return digests;
    char line[512];
    while (fgets(line, sizeof line, output)) {
        std::string text = line;
        digests.push_back(text.substr(0, text.find(' ')));
    }
    EXPECT_EQ(pclose(output), 0) << command;
    return digests;
}

TEST(Sha512Blake2bTools, EveryLoopAgreesWithTheToolsOverEveryBoundary) {
    std::vector<size_t> sizes;
    for (size_t blocks = 0; blocks <= 3; blocks++)
        for (size_t size = blocks * 128 > 2 ? blocks * 128 - 2 : 0; size <= blocks * 128 + 2;
             size++)
            sizes.push_back(size);
    for (size_t size : {111u, 112u, 113u, 239u, 240u, 241u, 4095u, 4096u, 4097u, 32767u, 32768u,
                        32769u, 65553u, (1u << 20) + 3})
        sizes.push_back(size);

    EnterScratchDirectory();
    std::mt19937 random(20261208);
    std::vector<std::string> files, contents;
    for (size_t size : sizes) {
        std::string bytes(size, '\0');
        for (char &byte : bytes)
            byte = (char)random();
        files.push_back("m" + std::to_string(size));
        contents.push_back(bytes);
        WriteBytes(files.back(), bytes);
    }
    std::vector<std::vector<std::string>> expected;
    for (const WideDigest &digest : WideDigests) {
        expected.push_back(ToolDigests(digest.Tool, files));
        ASSERT_EQ(expected.back().size(), files.size()) << digest.Tool;
    }
    LeaveScratchDirectory();

    int loopsRun = 0;
    for (const char *loop : WideLoops) {
        std::string family(loop, strchr(loop, ':'));
        if (!LoopRuns(family == "sha512" ? "SHA512" : "BLAKE2b", strchr(loop, ':') + 1,
                      WideForceLoop(loop)))
            continue;
        loopsRun++;
        for (int column = 0; column < WideDigestCount; column++) {
            const WideDigest &digest = WideDigests[column];
            if (!WideLoopServes(loop, digest))
                continue;
            for (size_t i = 0; i < files.size(); i++) {
                std::vector<size_t> pieces;
                for (int n = 0; n < 64; n++)
                    pieces.push_back(random() % (random() % 2 ? 300 : 70000));
                const std::string &bytes = contents[i];
                EXPECT_EQ(
                    WideDigestFed(digest, (const uint8_t *)bytes.data(), bytes.size(), pieces),
                    expected[column][i])
                    << loop << ", " << digest.Name << " of " << bytes.size() << " bytes";
            }
        }
    }
    WideForceFastest();
    EXPECT_GE(loopsRun, 2);

    // The same files side by side through each SHA-512 lane kernel.
    for (const char *kernel : {"single", "sse2-2", "avx2-4", "avx512-8"}) {
        if (!LaneKernelRuns(AlgorithmSha512, kernel))
            continue;
        uint32_t mostBlocks = 1 + random() % 40;
        EXPECT_EQ(DigestSideBySide(AlgorithmSha512, contents, mostBlocks), expected[0])
            << kernel << ", " << mostBlocks << " blocks a call";
    }
    LanesForceKernel(AlgorithmSha512, nullptr);
}
