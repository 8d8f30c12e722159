// MD5 against OpenSSL's: random messages fed in random pieces.
#include <gtest/gtest.h>
#include <openssl/md5.h>

#include <random>
#include <vector>

#include "digest/md5.h"

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

TEST(Md5AgainstOpenSsl, RandomMessagesInRandomPieces) {
    std::mt19937 random(20261207);
    for (int round = 0; round < 300; round++) {
        std::vector<uint8_t> message(random() % 20000);
        for (uint8_t &byte : message)
            byte = (uint8_t)random();
        DigestState state;
        DigestStart(&state);
        for (size_t done = 0; done < message.size();) {
            size_t piece = random() % (random() % 2 ? 70 : 3000);
            if (piece > message.size() - done)
                piece = message.size() - done;
            DigestAdd(&state, message.data() + done, (uint32_t)piece);
            done += piece;
        }
        uint8_t ours[DigestSize], theirs[MD5_DIGEST_LENGTH];
        DigestEnd(&state, ours);
        MD5(message.data(), message.size(), theirs);
        ASSERT_EQ(0, memcmp(ours, theirs, DigestSize)) << "length " << message.size();
    }
}
