// Messages of random lengths side by side against OpenSSL's digests of each,
// through every lane kernel this processor runs.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <random>

#include "digest/lanes.h"
#include "tests/side_by_side.h"

TEST(LanesAgainstOpenSsl, RandomLengthsSideBySide) {
    const struct {
        DigestAlgorithm algorithm;
        const EVP_MD *peer;
    } kinds[] = {
        {AlgorithmMd5, EVP_md5()}, {AlgorithmSha1, EVP_sha1()}, {AlgorithmSha256, EVP_sha256()}};
    const char *const kernels[] = {"single",    "sse2-4",    "sse2-8",  "avx2-8", "avx2-16",
                                   "avx512-16", "avx512-32", "shani-2", nullptr};
    std::mt19937 random(20261209);
    for (const auto &kind : kinds) {
        // Mostly a few blocks long, one in ten up to 300.
        std::vector<std::string> messages(200);
        std::vector<std::string> expected;
        for (std::string &message : messages) {
            message.resize(random() % (random() % 10 ? 300 : 20000));
            for (char &byte : message)
                byte = (char)random();
            uint8_t digest[EVP_MAX_MD_SIZE];
            unsigned int size = 0;
            EVP_Digest(message.data(), message.size(), digest, &size, kind.peer, nullptr);
            char text[LongestDigestTextSize];
            BytesToHex(digest, size, text, sizeof text);
            expected.push_back(text);
        }
        for (const char *kernel : kernels) {
            if (!LanesForceKernel(kind.algorithm, kernel))
                continue;
            uint32_t mostBlocks = 1 + random() % 40;
            EXPECT_EQ(DigestSideBySide(kind.algorithm, messages, mostBlocks), expected)
                << AlgorithmTag(kind.algorithm) << ", " << (kernel ? kernel : "measured choice")
                << ", " << mostBlocks << " blocks a call";
        }
    }
}
