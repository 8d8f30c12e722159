// SHA-1 and SHA-256: NIST's examples, one table per algorithm, reproduced by
// every loop this processor runs, whatever the pieces the message comes in,
// and by every lane kernel, the examples side by side; a message past 4 GiB;
// the loop choice.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "digest/algorithm.h"
#include "digest/lanes.h"
#include "digest/sha.h"
#include "tests/kernels_covered.h"
#include "tests/processor.h"
#include "tests/side_by_side.h"

struct ShaVector {
    std::string message;
    const char *digest;
};

static const std::string MillionA(1000000, 'a');
static const char TwoBlocks[] = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
static const char FourBlocks[] = "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmn"
                                 "hijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu";

// FIPS 180-2's examples, the empty message and the lengths either side of a
// padding that needs a second block (55 and 56 bytes) and of a whole block
// (63, 64, 65); the digests as OpenSSL gives them.
static const ShaVector Sha1Vectors[] = {
    {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
    {"a", "86f7e437faa5a7fce15d1ddcb9eaeaea377667b8"},
    {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
    {std::string(55, 'a'), "c1c8bbdc22796e28c0e15163d20899b65621d65a"},
    {TwoBlocks, "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
    {std::string(63, 'a'), "03f09f5b158a7a8cdad920bddc29b81c18a551f5"},
    {std::string(64, 'a'), "0098ba824b5c16427bd7a1122a5a442a25ec644d"},
    {std::string(65, 'a'), "11655326c708d70319be2610e8a57d9a5b959d3b"},
    {FourBlocks, "a49b2446a02c645bf419f995b67091253a04a259"},
    {MillionA, "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
};
static const ShaVector Sha256Vectors[] = {
    {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {"a", "ca978112ca1bbdcafac231b39a23dc4da786eff8147c4e72b9807785afee48bb"},
    {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
    {TwoBlocks, "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {std::string(63, 'a'), "7d3e74a05d7db15bce4ad9ec0658ea98e3f06eeecf16b4c6fff2da457ddc2f34"},
    {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
    {std::string(65, 'a'), "635361c48bb9eab14198e76ea8ab7f1a41685d6ad62aa9146d301d4f17eb0ae0"},
    {FourBlocks, "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
    {MillionA, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
};

static const char *const LoopNames[] = {"scalar", "shani"};
static const uint32_t WordCounts[] = {5, 8};

static std::string TextInPieces(DigestAlgorithm algorithm, const std::string &message,
                                size_t piece) {
    AlgorithmState state;
    AlgorithmStart(&state, algorithm);
    for (size_t done = 0; done < message.size(); done += piece) {
        size_t n = message.size() - done < piece ? message.size() - done : piece;
        AlgorithmAdd(&state, message.data() + done, (uint32_t)n);
    }
    char text[LongestDigestTextSize];
    AlgorithmEnd(&state, text, sizeof text);
    return text;
}

// Leaves the fastest loops in place for the tests that follow.
struct ShaLoops : testing::Test {
    void TearDown() override {
        ShaForceLoop(5, nullptr);
        ShaForceLoop(8, nullptr);
    }
};

TEST_F(ShaLoops, EachLoopReproducesTheNistExamplesInAnyPieces) {
    const size_t pieces[] = {1, 55, 63, 64, 65, 1000, 32768, 1u << 20};
    for (const char *loop : LoopNames) {
        if (!LoopRuns("SHA1 and SHA256", loop, ShaForceLoop(5, loop) && ShaForceLoop(8, loop)))
            continue; // not on this processor
        for (size_t piece : pieces) {
            for (const ShaVector &v : Sha1Vectors)
                EXPECT_EQ(TextInPieces(AlgorithmSha1, v.message, piece), v.digest)
                    << loop << " SHA-1 of " << v.message.size() << " bytes in " << piece;
            for (const ShaVector &v : Sha256Vectors)
                EXPECT_EQ(TextInPieces(AlgorithmSha256, v.message, piece), v.digest)
                    << loop << " SHA-256 of " << v.message.size() << " bytes in " << piece;
        }
    }
}

// The examples side by side, twice over, with the million a's among the
// short ones: in calls of one block, a few, and as many as every lane has.
TEST(ShaLanes, EveryKernelReproducesTheExamples) {
    const struct {
        DigestAlgorithm algorithm;
        const ShaVector *vectors;
        size_t count;
    } kinds[] = {{AlgorithmSha1, Sha1Vectors, sizeof Sha1Vectors / sizeof Sha1Vectors[0]},
                 {AlgorithmSha256, Sha256Vectors, sizeof Sha256Vectors / sizeof Sha256Vectors[0]}};
    for (const auto &kind : kinds) {
        std::vector<std::string> messages, expected;
        for (int round = 0; round < 2; round++) {
            for (size_t i = 0; i < kind.count; i++) {
                messages.push_back(kind.vectors[i].message);
                expected.push_back(kind.vectors[i].digest);
            }
        }
        for (const char *kernel : {"single", "shani-2", (const char *)nullptr}) {
            if (!LaneKernelRuns(kind.algorithm, kernel))
                continue; // not on this processor
            for (uint32_t mostBlocks : {1u, 7u, 4096u})
                EXPECT_EQ(DigestSideBySide(kind.algorithm, messages, mostBlocks), expected)
                    << (kernel ? kernel : "measured choice") << ", " << mostBlocks
                    << " blocks a call";
        }
    }
}

// The SHA loop is taken exactly where the processor reports the extensions,
// and the loop measured fastest comes back after a forced one.
TEST(ShaLoopChoice, ShaLoopRunsExactlyWhereTheProcessorReportsIt) {
    bool reported = ProcessorReportsShaNi();
    for (uint32_t words : WordCounts) {
        ShaForceLoop(words, nullptr);
        std::string chosen = ShaPathName(words);
        EXPECT_TRUE(chosen == "scalar" || (reported && chosen == "shani")) << chosen;
        EXPECT_EQ(ShaForceLoop(words, "scalar"), 1);
        EXPECT_STREQ(ShaPathName(words), "scalar");
        EXPECT_EQ(ShaForceLoop(words, "shani"), reported ? 1 : 0);
        EXPECT_STREQ(ShaPathName(words), reported ? "shani" : "scalar");
        EXPECT_EQ(ShaForceLoop(words, "avx2"), 0) << "no such loop";
        EXPECT_EQ(ShaForceLoop(words, nullptr), 1);
        EXPECT_EQ(ShaPathName(words), chosen);
    }
    // And the kernel of two messages at once, likewise.
    for (DigestAlgorithm algorithm : {AlgorithmSha1, AlgorithmSha256}) {
        LanesForceKernel(algorithm, nullptr);
        std::string chosen = LanesKernelName(algorithm);
        EXPECT_TRUE(chosen == "single" || (reported && chosen == "shani-2")) << chosen;
        EXPECT_EQ(LaneCount(algorithm), chosen == "single" ? 1u : 2u);
        EXPECT_EQ(LanesForceKernel(algorithm, "shani-2"), reported ? 1 : 0);
        EXPECT_EQ(LaneCount(algorithm), reported ? 2u : 1u);
        EXPECT_EQ(LanesForceKernel(algorithm, "avx2-8"), 0) << "no such kernel for SHA";
        EXPECT_EQ(LanesForceKernel(algorithm, nullptr), 1);
        EXPECT_EQ(LanesKernelName(algorithm), chosen);
    }
}

// The bit count passes 2^35: 2^32 + 65 zero bytes, fed a megabyte at a time.
TEST(ShaLong, MessagePastFourGigabytes) {
    static uint8_t zeros[1 << 20];
    const uint64_t length = (1ull << 32) + 65;
    const struct {
        DigestAlgorithm algorithm;
        const char *digest; // openssl dgst of 4294967361 zero bytes
    } cases[] = {
        {AlgorithmSha1, "a7f455bf4d4c042999a720fa87f4b4d2d56a2a17"},
        {AlgorithmSha256, "9ea0597e74b9cb058f2d853f86b3c3b1bb43cf71f6b4113ada747653470bb24c"},
    };
    for (const auto &c : cases) {
        AlgorithmState state;
        AlgorithmStart(&state, c.algorithm);
        for (uint64_t done = 0; done < length;) {
            uint64_t n = length - done < sizeof zeros ? length - done : sizeof zeros;
            AlgorithmAdd(&state, zeros, (uint32_t)n);
            done += n;
        }
        char text[LongestDigestTextSize];
        AlgorithmEnd(&state, text, sizeof text);
        EXPECT_STREQ(text, c.digest);
    }
}
