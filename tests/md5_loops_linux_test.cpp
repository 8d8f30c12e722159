// MD5's compression loops against OpenSSL, and the choice of loop against
// what the kernel reports of the processor.
#include <gtest/gtest.h>
#include <openssl/md5.h>
#include <stdio.h>
#include <string.h>

#include <random>
#include <string>
#include <vector>

#include "digest/md5.h"
#include "digest/md5_avx512.h"

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

struct Md5LoopsLinux : testing::Test {
    void TearDown() override {
        DigestForceLoop(nullptr);
    }
};

TEST_F(Md5LoopsLinux, BothLoopsMatchOpenSslOnRandomMessagesAndPieces) {
    std::mt19937 random(1321);
    std::vector<uint8_t> storage(70000);
    for (int round = 0; round < 200; round++) {
        size_t offset = random() % 4;
        size_t length = random() % (storage.size() - offset);
        for (size_t i = 0; i < length; i++)
            storage[offset + i] = (uint8_t)random();
        const uint8_t *message = storage.data() + offset;
        uint8_t theirs[MD5_DIGEST_LENGTH];
        MD5(message, length, theirs);
        for (const char *loop : {"scalar", "avx512vl"}) {
            if (!DigestForceLoop(loop))
                continue; // not on this processor
            std::mt19937 pieces(round);
            DigestState state;
            DigestStart(&state);
            for (size_t done = 0; done < length;) {
                size_t piece = 1 + pieces() % (pieces() % 2 ? 200 : 20000);
                if (piece > length - done)
                    piece = length - done;
                DigestAdd(&state, message + done, (uint32_t)piece);
                done += piece;
            }
            uint8_t ours[DigestSize];
            DigestEnd(&state, ours);
            ASSERT_EQ(0, memcmp(ours, theirs, DigestSize))
                << DigestPathName() << " loop, length " << length << ", offset " << offset;
        }
    }
}

// The kernel lists avx512f and avx512vl only when it also saves their state,
// which is what Avx512VlUsable asks of the processor and of XCR0.
TEST_F(Md5LoopsLinux, Avx512LoopRunsExactlyWhereTheKernelReportsAvx512Vl) {
    FILE *cpuinfo = fopen("/proc/cpuinfo", "r");
    ASSERT_NE(cpuinfo, nullptr);
    char line[8192];
    std::string flags;
    while (fgets(line, sizeof line, cpuinfo))
        if (strncmp(line, "flags", 5) == 0) {
            flags = std::string(line) + " ";
            break;
        }
    fclose(cpuinfo);
    ASSERT_FALSE(flags.empty());
    for (char &c : flags)
        if (c == '\t' || c == '\n' || c == ':')
            c = ' ';
    bool reported = flags.find(" avx512f ") != std::string::npos &&
                    flags.find(" avx512vl ") != std::string::npos;
    EXPECT_EQ(Avx512VlUsable() != 0, reported);
    // Only a loop the processor can run is ever taken; which of the two is
    // faster is the race's to say, not a test's.
    DigestForceLoop(nullptr);
    const char *chosen = DigestPathName();
    EXPECT_EQ(DigestForceLoop("avx512vl"), reported ? 1 : 0);
    EXPECT_STREQ(DigestPathName(), reported ? "avx512vl" : chosen);
    if (!reported) {
        EXPECT_STREQ(chosen, "scalar");
    }
    DigestForceLoop(nullptr);
    EXPECT_STREQ(DigestPathName(), chosen);
}
