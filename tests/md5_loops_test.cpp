// MD5's compression loops: each one reproduces the RFC 1321 suite, the
// AVX-512VL loop agrees with the scalar one over many blocks at once and at
// any alignment, and forcing a loop switches and switches back to the loop
// measured fastest.
#include <gtest/gtest.h>
#include <string.h>

#include <random>
#include <string>
#include <vector>

#include "digest/md5.h"
#include "digest/md5_avx512.h"
#include "tests/test_files.h"

// Leaves the fastest loop in place for the tests that follow.
struct Md5Loops : testing::Test {
    void TearDown() override {
        DigestForceLoop(nullptr);
    }
};

static const char *const LoopNames[] = {"scalar", "avx512vl"};

TEST_F(Md5Loops, EachLoopReproducesTheRfc1321Suite) {
    for (const char *loop : LoopNames) {
        if (!DigestForceLoop(loop))
            continue; // not on this processor
        for (const KnownDigest &known : Rfc1321Suite)
            EXPECT_EQ(DigestInPieces(known.message, strlen(known.message), 1000), known.digest)
                << DigestPathName() << " loop, \"" << known.message << '"';
    }
}

TEST_F(Md5Loops, ForcingALoopSwitchesAndSwitchesBack) {
    EXPECT_EQ(DigestForceLoop("scalar"), 1);
    EXPECT_STREQ(DigestPathName(), "scalar");
    EXPECT_EQ(DigestForceLoop("avx512vl"), Avx512VlUsable());
    EXPECT_STREQ(DigestPathName(), Avx512VlUsable() ? "avx512vl" : "scalar");
    EXPECT_EQ(DigestForceLoop("sse2"), 0);
    EXPECT_STREQ(DigestPathName(), Avx512VlUsable() ? "avx512vl" : "scalar");
    // Back to the loop measured fastest, the same every time.
    EXPECT_EQ(DigestForceLoop(nullptr), 1);
    std::string chosen = DigestPathName();
    if (!Avx512VlUsable()) {
        EXPECT_EQ(chosen, "scalar");
    }
    DigestForceLoop("scalar");
    DigestForceLoop(nullptr);
    EXPECT_EQ(DigestPathName(), chosen);
}

// Whole calls of many blocks keep the chaining words in registers from block
// to block; single bytes make every block go through BlockBuffer; the odd
// offsets make every message word an unaligned load.
TEST_F(Md5Loops, Avx512LoopAgreesWithTheScalarLoop) {
    if (!Avx512VlUsable())
        GTEST_SKIP() << "this processor runs only the scalar loop";
    std::mt19937 random(20261207);
    std::vector<uint8_t> storage(300000);
    for (uint8_t &byte : storage)
        byte = (uint8_t)random();
    for (size_t offset = 0; offset < 4; offset++) {
        for (size_t length : {0, 1, 63, 64, 65, 128, 129, 4096, 65536 + 17, 299990}) {
            for (size_t piece : {1, 64, 2048, 300000}) {
                if (piece == 1 && length > 5000)
                    continue;
                const uint8_t *bytes = storage.data() + offset;
                DigestForceLoop("scalar");
                std::string scalar = DigestInPieces(bytes, length, piece);
                DigestForceLoop("avx512vl");
                EXPECT_EQ(DigestInPieces(bytes, length, piece), scalar)
                    << "offset " << offset << ", length " << length << ", pieces of " << piece;
            }
        }
    }
}
