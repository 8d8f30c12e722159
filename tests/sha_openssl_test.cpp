// SHA-1 and SHA-256 against OpenSSL's: random messages fed in random pieces,
// through every loop this processor runs.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <random>
#include <vector>

#include "digest/algorithm.h"
#include "tests/kernels_covered.h"

TEST(ShaAgainstOpenSsl, RandomMessagesInRandomPieces) {
    const struct {
        DigestAlgorithm algorithm;
        uint32_t words;
        const EVP_MD *peer;
    } kinds[] = {{AlgorithmSha1, 5, EVP_sha1()}, {AlgorithmSha256, 8, EVP_sha256()}};
    std::mt19937 random(20261208);
    for (const char *loop : {"scalar", "shani"}) {
        for (const auto &kind : kinds) {
            if (!LoopRuns(AlgorithmTag(kind.algorithm), loop, ShaForceLoop(kind.words, loop)))
                continue;
            for (int round = 0; round < 100; round++) {
                std::vector<uint8_t> message(random() % 20000);
                for (uint8_t &byte : message)
                    byte = (uint8_t)random();
                AlgorithmState state;
                AlgorithmStart(&state, kind.algorithm);
                for (size_t done = 0; done < message.size();) {
                    size_t piece = random() % (random() % 2 ? 70 : 3000);
                    if (piece > message.size() - done)
                        piece = message.size() - done;
                    AlgorithmAdd(&state, message.data() + done, (uint32_t)piece);
                    done += piece;
                }
                char ours[LongestDigestTextSize];
                AlgorithmEnd(&state, ours, sizeof ours);
                uint8_t theirs[EVP_MAX_MD_SIZE];
                unsigned int size = 0;
                EVP_Digest(message.data(), message.size(), theirs, &size, kind.peer, nullptr);
                char text[LongestDigestTextSize];
                BytesToHex(theirs, size, text, sizeof text);
                ASSERT_STREQ(ours, text) << loop << ", length " << message.size();
            }
            ShaForceLoop(kind.words, nullptr);
        }
    }
}
