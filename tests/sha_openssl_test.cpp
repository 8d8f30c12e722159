// SHA-1, SHA-256, SHA-512 and BLAKE2b against OpenSSL's: random messages fed
// in random pieces, through every loop this processor runs.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <random>
#include <vector>

#include "digest/algorithm.h"
#include "tests/wide_digests.h"

TEST(ShaAgainstOpenSsl, RandomMessagesInRandomPieces) {
    const struct {
        DigestAlgorithm algorithm;
        uint32_t words;
        const EVP_MD *peer;
    } kinds[] = {{AlgorithmSha1, 5, EVP_sha1()}, {AlgorithmSha256, 8, EVP_sha256()}};
    std::mt19937 random(20261208);
    for (const char *loop : {"scalar", "shani"}) {
        for (const auto &kind : kinds) {
            if (!ShaForceLoop(kind.words, loop))
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

TEST(Sha512Blake2bAgainstOpenSsl, RandomMessagesInRandomPieces) {
    const struct {
        const WideDigest &digest;
        const EVP_MD *peer;
    } kinds[] = {{WideDigests[0], EVP_sha512()}, {WideDigests[1], EVP_blake2b512()}};
    std::mt19937 random(20261209);
    for (const char *loop : WideLoops) {
        if (!WideForceLoop(loop))
            continue;
        for (const auto &kind : kinds) {
            if (!WideLoopServes(loop, kind.digest))
                continue;
            for (int round = 0; round < 100; round++) {
                std::string message(random() % 20000, '\0');
                for (char &byte : message)
                    byte = (char)random();
                std::vector<size_t> pieces;
                for (int n = 0; n < 100; n++)
                    pieces.push_back(random() % (random() % 2 ? 140 : 3000));
                uint8_t theirs[EVP_MAX_MD_SIZE];
                unsigned int size = 0;
                EVP_Digest(message.data(), message.size(), theirs, &size, kind.peer, nullptr);
                char text[2 * EVP_MAX_MD_SIZE + 1];
                BytesToHex(theirs, size, text, sizeof text);
                ASSERT_EQ(WideDigestFed(kind.digest, (const uint8_t *)message.data(),
                                        message.size(), pieces),
                          text)
                    << loop << ", length " << message.size();
            }
        }
    }
    WideForceFastest();
}
