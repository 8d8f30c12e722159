// MD5 by its results: the one table of reference digests, which every
// compression loop and every lane kernel this processor runs must reproduce
// however the same bytes are fed; and the text form.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "digest/lanes.h"
#include "digest/md5.h"
#include "tests/kernels_covered.h"
#include "tests/side_by_side.h"

// The message is the pattern repeated up to length bytes; no pattern means
// zero bytes. Digests from md5sum and the RFC 1321 suite (its appendix A.5).
struct ReferenceDigest {
    const char *pattern;
    uint64_t length;
    const char *digest;
};

static const uint64_t LongLength = (1ull << 32) + 65; // the byte count carries

static const ReferenceDigest References[] = {
    {"", 0, "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", 1, "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", 3, "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", 14, "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", 26, "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", 62,
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"1234567890", 80, "57edf4a22be3c955ac49da2e2107b67a"},
    // Around the padding's one block or two and the block boundaries.
    {"a", 55, "ef1772b6dff9a122358552954ad0df65"},
    {"a", 56, "3b0c8ac703f828b04c6c197006d17218"},
    {"a", 63, "b06521f39153d618550606be297466d5"},
    {"a", 64, "014842d480b571495a4a0363793f7367"},
    {"a", 65, "c743a45e0d2e6a95cb859adae0248435"},
    {"a", 119, "8a7bd0732ed6a28ce75f6dabc90e1613"},
    {"a", 120, "5f61c0ccad4cac44c75ff505e1f1e537"},
    {"a", 127, "020406e1d05cdc2aa287641f7ae2cc39"},
    {"a", 128, "e510683b3f5ffe4093d021808bc6ff70"},
    {"a", 129, "b325dc1c6f5e7a2b7cf465b9feab7948"},
    // A pattern of 43 bytes makes every block different.
    {"The quick brown fox jumps over the lazy dog", 65553, "9576b8364ed6ada32f0f411822fbc90a"},
    {nullptr, LongLength, "6ae96928b07744bdabfe9dd4ce7b7767"},
};

static std::string Message(const ReferenceDigest &reference) {
    std::string bytes((size_t)reference.length, '\0');
    size_t period = reference.pattern ? strlen(reference.pattern) : 0;
    for (size_t i = 0; period && i < bytes.size(); i++)
        bytes[i] = reference.pattern[i % period];
    return bytes;
}

static std::string Finish(DigestState *state) {
    uint8_t digest[DigestSize];
    DigestEnd(state, digest);
    char text[DigestTextSize];
    DigestToHex(digest, text, sizeof text);
    return text;
}

// The bytes fed in pieces of the given lengths in turn, the last repeated;
// a piece of 0 is a call with nothing.
static std::string DigestFed(const uint8_t *bytes, size_t length,
                             const std::vector<size_t> &pieces) {
    DigestState state;
    DigestStart(&state);
    for (size_t done = 0, turn = 0; done < length; turn++) {
        size_t n = pieces[turn < pieces.size() ? turn : pieces.size() - 1];
        if (n > length - done)
            n = length - done;
        DigestAdd(&state, bytes + done, (uint32_t)n);
        done += n;
    }
    return Finish(&state);
}

static const char *const Loops[] = {"scalar", "avx512vl"};

struct Md5 : testing::Test {
    void TearDown() override {
        DigestForceLoop(nullptr); // the loop measured fastest, for the tests that follow
    }
};

// Whole calls of many blocks, single bytes, pieces across every buffering
// boundary, empty calls, and odd offsets that make every load unaligned.
TEST_F(Md5, EveryLoopReproducesTheReferencesHoweverTheBytesAreFed) {
    const std::vector<std::vector<size_t>> feedings = {{SIZE_MAX},
                                                       {1},
                                                       {2},
                                                       {3},
                                                       {55},
                                                       {63},
                                                       {64},
                                                       {65},
                                                       {127},
                                                       {128},
                                                       {129},
                                                       {2048},
                                                       {0, 10, 0, 118, 10, 150},
                                                       {64, 1, 0, 63, 129}};
    int loopsRun = 0;
    for (const char *loop : Loops) {
        if (!LoopRuns("MD5", loop, DigestForceLoop(loop)))
            continue; // not on this processor
        loopsRun++;
        for (const ReferenceDigest &reference : References) {
            if (reference.length == LongLength)
                continue; // Md5Long's
            std::string message = Message(reference);
            std::vector<uint8_t> storage(message.size() + 3);
            for (size_t offset = 0; offset < 4; offset++) {
                memcpy(storage.data() + offset, message.data(), message.size());
                for (const std::vector<size_t> &pieces : feedings)
                    EXPECT_EQ(DigestFed(storage.data() + offset, message.size(), pieces),
                              reference.digest)
                        << loop << " loop, " << message.size() << " bytes of \""
                        << reference.pattern << "\" at offset " << offset << ", first piece "
                        << pieces[0];
            }
        }
    }
    EXPECT_GE(loopsRun, 1);
}

// The references side by side, three rounds of them so that lanes take
// messages of every length at every stage of the others, in calls of one
// block, a few, and as many as every lane has.
TEST(Md5Lanes, EveryKernelReproducesTheReferences) {
    std::vector<std::string> messages, expected;
    for (int round = 0; round < 3; round++) {
        for (const ReferenceDigest &reference : References) {
            if (reference.length != LongLength) {
                messages.push_back(Message(reference));
                expected.push_back(reference.digest);
            }
        }
    }
    const char *const kernels[] = {"single",  "sse2-4",    "sse2-8",    "avx2-8",
                                   "avx2-16", "avx512-16", "avx512-32", nullptr};
    int kernelsRun = 0;
    for (const char *kernel : kernels) {
        if (!LaneKernelRuns(AlgorithmMd5, kernel))
            continue; // not on this processor
        kernelsRun++;
        for (uint32_t mostBlocks : {1u, 7u, 4096u})
            EXPECT_EQ(DigestSideBySide(AlgorithmMd5, messages, mostBlocks), expected)
                << (kernel ? kernel : "measured choice") << ", " << mostBlocks << " blocks a call";
    }
    EXPECT_GE(kernelsRun, 3);
}

TEST(Md5Text, FitsTheBufferItIsGiven) {
    uint8_t digest[DigestSize];
    for (uint32_t i = 0; i < DigestSize; i++)
        digest[i] = (uint8_t)(0xab + i * 0x11);
    const char full[] = "abbccddeef00112233445566778899aa";
    for (uint32_t size = 0; size <= 34; size++) {
        char text[40];
        memset(text, '#', sizeof text);
        DigestToHex(digest, text, size);
        uint32_t pairs = size / 2 > 16 ? 16 : size / 2;
        bool terminated = size > 2 * pairs;
        EXPECT_EQ(std::string(text, 2 * pairs), std::string(full, 2 * pairs)) << size;
        EXPECT_EQ(text[2 * pairs], terminated ? 0 : '#') << size;
        EXPECT_EQ(text[2 * pairs + 1], '#') << size;
    }
}

// More than 2^32 bytes, in the pieces a file digest reads: the byte count
// must carry past 32 bits. Seconds of work, run apart with the long tests.
TEST(Md5Long, MessagePastFourGigabytes) {
    static uint8_t zeros[1 << 20];
    const ReferenceDigest &reference = References[sizeof References / sizeof References[0] - 1];
    ASSERT_EQ(reference.length, LongLength);
    DigestState state;
    DigestStart(&state);
    for (uint64_t done = 0; done < reference.length;) {
        uint64_t n =
            reference.length - done < sizeof zeros ? reference.length - done : sizeof zeros;
        DigestAdd(&state, zeros, (uint32_t)n);
        done += n;
    }
    EXPECT_EQ(Finish(&state), reference.digest);
}
