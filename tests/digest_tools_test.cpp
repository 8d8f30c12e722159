// BLAKE3 and CRC-32 against tools we did not write, run here: b3sum, rhash
// and Python's zlib confirm every row of the reference table, and digest
// random messages fed in random pieces through every kernel and loop.
#include <gtest/gtest.h>
#include <stdio.h>

#include <random>
#include <string>

#include "digest/blake3.h"
#include "digest/crc32.h"
#include "tests/blake3_crc32_test.h"
#include "tests/test_files.h"

// The first word of what command prints, lowercase.
static std::string ToolOutput(const std::string &command) {
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe)
        return "cannot run " + command;
    char line[512] = "";
    if (!fgets(line, sizeof line, pipe))
        line[0] = 0;
    pclose(pipe);
    std::string word(line, strcspn(line, " \r\n"));
    for (char &c : word)
        c = (char)tolower((unsigned char)c);
    return word;
}

struct ToolDigests {
    std::string b3sum, rhash, zlib;
};

static ToolDigests DigestsOfFile(const char *name) {
    std::string file = std::string("'") + name + "'";
    return {ToolOutput("b3sum --no-names " + file), ToolOutput("rhash --printf=%C " + file),
            ToolOutput("python3 -c 'import sys, zlib; "
                       "print(\"%08x\" % zlib.crc32(open(sys.argv[1], \"rb\").read()))' " +
                       file)};
}

struct DigestTools : testing::Test {
    void SetUp() override {
        EnterScratchDirectory();
    }
    void TearDown() override {
        LeaveScratchDirectory();
    }
};

TEST_F(DigestTools, ConfirmTheReferenceTable) {
    for (size_t i = 0; i < PatternDigestCount; i++) {
        const PatternDigest &row = PatternDigests[i];
        WriteBytes("pattern", PatternMessage(row.length));
        ToolDigests tools = DigestsOfFile("pattern");
        EXPECT_EQ(tools.b3sum, row.blake3) << row.length << " bytes";
        EXPECT_EQ(tools.rhash, row.crc32) << row.length << " bytes";
        EXPECT_EQ(tools.zlib, row.crc32) << row.length << " bytes";
    }
}

TEST_F(DigestTools, AgreeOnRandomMessagesInRandomPieces) {
    std::mt19937 random(20261208);
    for (int round = 0; round < 24; round++) {
        std::string message(random() % (round % 4 == 0 ? 300000 : 20000), '\0');
        for (char &byte : message)
            byte = (char)random();
        WriteBytes("random", message);
        ToolDigests tools = DigestsOfFile("random");
        ASSERT_EQ(tools.rhash, tools.zlib);
        uint32_t seed = (uint32_t)random();
        for (const char *kernel : {"portable", "sse41-4", "avx2-8", "avx512-16"})
            if (Blake3ForceKernel(kernel)) {
                EXPECT_EQ(Blake3Text(message, 0, seed), tools.b3sum)
                    << kernel << ", " << message.size() << " bytes";
            }
        for (const char *loop : {"table", "pclmul", "vpclmul"})
            if (Crc32ForceLoop(loop)) {
                EXPECT_EQ(Crc32Text(message, 0, seed), tools.rhash)
                    << loop << ", " << message.size() << " bytes";
            }
    }
    Blake3ForceKernel(nullptr);
    Crc32ForceLoop(nullptr);
}
