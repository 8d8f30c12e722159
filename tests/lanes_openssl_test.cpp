// Messages of random lengths side by side against OpenSSL's digests of each,
// through every lane kernel this processor runs.
#include <gtest/gtest.h>

#include <random>

#include "digest/lanes.h"
#include "tests/kernels_covered.h"
#include "tests/openssl_peer.h"
#include "tests/side_by_side.h"

TEST(LanesAgainstOpenSsl, RandomLengthsSideBySide) {
    const char *const kernels[] = {"single",  "sse2-4",    "sse2-8",    "avx2-8",
                                   "avx2-16", "avx512-16", "avx512-32", "shani-2",
                                   "sse2-2",  "avx2-4",    "avx512-8",  nullptr};
    std::mt19937 random(20261209);
    for (DigestAlgorithm algorithm :
         {AlgorithmMd5, AlgorithmSha1, AlgorithmSha256, AlgorithmSha512, AlgorithmBlake2b}) {
        // Mostly a few blocks long, one in ten up to 300; BLAKE2b's messages
        // also of exactly 0 to 4 blocks, its last block held back whole.
        std::vector<std::string> messages(200);
        std::vector<std::string> expected;
        for (std::string &message : messages) {
            message.resize(random() % (random() % 10 ? 300 : 20000));
            for (char &byte : message)
                byte = (char)random();
            expected.push_back(OpenSslText(algorithm, message));
        }
        if (algorithm == AlgorithmBlake2b)
            for (size_t blocks = 0; blocks <= 4; blocks++) {
                messages.push_back(std::string(128 * blocks, (char)blocks));
                expected.push_back(OpenSslText(algorithm, messages.back()));
            }
        for (const char *kernel : kernels) {
            if (!LaneKernelRuns(algorithm, kernel))
                continue;
            uint32_t mostBlocks = 1 + random() % 40;
            EXPECT_EQ(DigestSideBySide(algorithm, messages, mostBlocks), expected)
                << AlgorithmTag(algorithm) << ", " << (kernel ? kernel : "measured choice") << ", "
                << mostBlocks << " blocks a call";
        }
    }
}
