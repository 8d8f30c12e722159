// Every digest this build computes against OpenSSL's, where OpenSSL has
// it: random messages fed in random pieces, through every loop this
// processor runs.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <random>
#include <vector>

#include "digest/algorithm.h"
#include "tests/openssl_peer.h"

TEST(DigestsAgainstOpenSsl, RandomMessagesInRandomPieces) {
    std::mt19937 random(20261208);
    for (uint32_t i = 0; i < DigestAlgorithmCount; i++) {
        DigestAlgorithm algorithm = (DigestAlgorithm)i;
        const DigestRecord *row = DigestRow(algorithm);
        const EVP_MD *peer = OpenSslDigest(algorithm);
        if (!DigestAvailable(algorithm, row->DigitCount) || !peer)
            continue;
        for (const char *loop : {"scalar", "shani", "avx512vl"}) {
            if (!row->ForceLoop(loop))
                continue;
            for (int round = 0; round < 100; round++) {
                std::vector<uint8_t> message(random() % 20000);
                for (uint8_t &byte : message)
                    byte = (uint8_t)random();
                AlgorithmState state;
                AlgorithmStart(&state, algorithm);
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
                EVP_Digest(message.data(), message.size(), theirs, &size, peer, nullptr);
                char text[LongestDigestTextSize];
                BytesToHex(theirs, size, text, sizeof text);
                ASSERT_STREQ(ours, text)
                    << row->Name << ", " << loop << ", length " << message.size();
            }
            row->ForceLoop(nullptr);
        }
    }
}
