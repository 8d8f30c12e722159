// BLAKE3 and CRC-32 by their results: one table of reference digests over
// the sizes where chunks, blocks, lanes, batches and the tree change shape,
// which every kernel and loop this processor runs must reproduce however
// the bytes are fed; and BLAKE3's subtrees hashed apart and put together.
// The table's digests are b3sum's and rhash's; on Linux the tools confirm
// them in the run (tests/digest_tools_test.cpp).
#include "tests/blake3_crc32_test.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "digest/blake3.h"
#include "digest/crc32.h"
#include "digest/md5.h"
#include "tests/processor.h"

// Byte i of a message is i mod 251, the pattern of BLAKE3's own test
// vectors, so that no two blocks or chunks of one message are alike.
const PatternDigest PatternDigests[] = {
    {0, "af1349b9f5f9a1a6a0404dea36dcc9499bcb25c9adc112b7cc9a93cae41f3262", "00000000"},
    {1, "2d3adedff11b61f14c886e35afa036736dcd87a74d27b5c1510225d0f592e213", "d202ef8d"},
    {63, "e9bc37a594daad83be9470df7f7b3798297c3d834ce80ba85d6e207627b7db7b", "dbdea683"},
    {64, "4eed7141ea4a5cd4b788606bd23f46e212af9cacebacdc7d1f4c6dc7f2511b98", "100ece8c"},
    {65, "de1e5fa0be70df6d2be8fffd0e99ceaa8eb6e8c93a63f2d8d1c30ecb6b263dee", "40c06fd8"},
    {1023, "10108970eeda3eb932baac1428c7a2163b0e924c9a9e25b35bba72b28f70bd11", "5a9e0eff"},
    {1024, "42214739f095a406f3fc83deb889744ac00df831c10daa55189b5d121c855af7", "7be4dfd0"},
    {1025, "d00278ae47eb27b34faecf67b4fe263f82d5412916c1ffd97c8cb7fb814b8444", "4e700dfb"},
    {2047, "58830fbf51a4423c573b164471690570e544cfe793bead46225664796b4b1467", "36bbd86e"},
    {2048, "e776b6028c7cd22a4d0ba182a8bf62205d2ef576467e838ed6f2529b85fba24a", "dd34ad61"},
    {2049, "5f4d72f40d7a5f82b15ca2b2e44b1de3c2ef86c426c95c1af0b6879522563030", "dddf2214"},
    {3072, "b98cb0ff3623be03326b373de6b9095218513e64f1ee2edd2525c7ad1e5cffd2", "3eb7fb7d"},
    {4095, "0cdbdde4d038f0509412a5d1c3b1fb767d5e8c8a0eb2aae963fd36d1f544791a", "d1a3950a"},
    {4096, "015094013f57a5277b59d8475c0501042c0b642e531b0a1c8f58d2163229e969", "d465f907"},
    {4097, "9b4052b38f1c5fc8b1f9ff7ac7b27cd242487b3d890d15c96a1c25b8aa0fb995", "27d94e23"},
    // Five chunks and a byte, seven chunks: trees of uneven shape.
    {5121, "628bd2cb2004694adaab7bbd778a25df25c47b9d4155a55f8fbd79f2fe154cff", "e471cacc"},
    {7168, "61da957ec2499a95d6b8023e2b0e604ec7f6b50e80a9678b89d2628e99ada77a", "d7b30e30"},
    {8192, "aae792484c8efe4f19e2ca7d371d8c467ffb10748d8a5a1ae579948f718a2a63", "fe7c712f"},
    // Around the state's buffer of sixteen chunks.
    {15361, "0d1ebcb99b783dfd4bd6f1864b71b465d35105bf8d6af2ef275d4a4850d84049", "0e06bf4a"},
    {16384, "f875d6646de28985646f34ee13be9a576fd515f76b5b0a26bb324735041ddde4", "e93e4269"},
    {16385, "1dabe216be2578830263b049de1639f39f05a4da616b9b78c7a5e4e41662fd1f", "e033bd2c"},
    {17413, "1f9195a8508626e67f39d64136e9e4b3cff6f6373445f96bc28be025c483c055", "b3e3e3b5"},
    {31744, "62b6960e1a44bcc1eb1a611a8d6235b6b4b78f32e7abc4fb4c6cdcce94895c47", "7dfb41c3"},
    {32767, "be214034ea329f1cdc64246946da7c4287d93bd61b68c6c3a634a4345f58ff21", "fe4522ad"},
    {32768, "162183d1f9184474f5a5c9e6224e66720cdb6523f822e52d9b1efa30893f48f9", "eeff4e7e"},
    {32769, "da589428d9b32c97658a04a21c0c8a38aad2ac402120819d956fd6d62bbfa36e", "683c26c6"},
    {33792, "2e87991ba4054e53240ccea4ee7eb6f6b24c366c8dfe8e52306026918870c229", "0a1955be"},
    // Around a batch of 64 chunks, and past it by a chunk and 7 bytes.
    {64512, "6368822b487e803d8a7be9d7996bcf932f7847252bbb0f54a5316452dd4ca6fc", "4ac16c4f"},
    {65535, "de7d0f4c044c56f56e0c5f7ab247be9491c4520e8688f0f0d25406f46fdfbd03", "cf371872"},
    {65536, "68d647e619a930e7b1082f74f334b0c65a315725569bdc123f0ee11881717bfe", "7faa50d3"},
    {65537, "7c99f9840a73dfcb6e5bfe4ff6d1558acab7e015640790c26411818bdbe17eca", "a9cc6e73"},
    {66567, "6505cff33c51867d1e406cdfacbcd7949cfc0cff8a9bff21c9c8c0cd3f579a32", "34a0bcce"},
    {132097, "d3bffd4815c1159749bd0b24688731909d251e76b4baede86dd151475e481d53", "8368dc2d"},
    {1048577, "2f053cd7472cf0cd2f9adaf45c1180255b91b9a865404a63671a0ee5f792ed33", "3e8e13cb"},
};
const size_t PatternDigestCount = sizeof PatternDigests / sizeof PatternDigests[0];

std::string PatternMessage(size_t length) {
    std::string bytes(length, '\0');
    for (size_t i = 0; i < length; i++)
        bytes[i] = (char)(i % 251);
    return bytes;
}

// A piece size of 0 stands for pieces of random sizes, some small, some of
// many chunks.
std::string Blake3Text(const std::string &message, size_t piece, uint32_t seed) {
    static Blake3State state; // 16 KiB, off the stack
    std::mt19937 random(seed);
    Blake3Start(&state);
    for (size_t done = 0; done < message.size();) {
        size_t n = piece ? piece : random() % (random() % 2 ? 200 : 70000);
        n = n < message.size() - done ? n : message.size() - done;
        Blake3Add(&state, message.data() + done, (uint32_t)n);
        done += n;
    }
    uint8_t digest[Blake3DigestSize];
    Blake3End(&state, digest);
    char text[2 * Blake3DigestSize + 1];
    BytesToHex(digest, Blake3DigestSize, text, sizeof text);
    return text;
}

std::string Crc32Text(const std::string &message, size_t piece, uint32_t seed) {
    std::mt19937 random(seed);
    Crc32State state;
    Crc32Start(&state);
    for (size_t done = 0; done < message.size();) {
        size_t n = piece ? piece : random() % (random() % 2 ? 200 : 70000);
        n = n < message.size() - done ? n : message.size() - done;
        Crc32Add(&state, message.data() + done, (uint32_t)n);
        done += n;
    }
    uint8_t digest[Crc32DigestSize];
    Crc32End(&state, digest);
    char text[2 * Crc32DigestSize + 1];
    BytesToHex(digest, Crc32DigestSize, text, sizeof text);
    return text;
}

// Whole, and in pieces either side of a block, a chunk, the buffer, and at
// random.
static const size_t Pieces[] = {SIZE_MAX, 1, 63, 64, 1000, 1024, 1025, 16383, 16384, 16385, 0};

struct Blake3Kernels : testing::TestWithParam<const char *> {
    void SetUp() override {
        if (!Blake3ForceKernel(GetParam()))
            GTEST_SKIP() << "kernel " << GetParam() << " is not on this processor";
    }
    void TearDown() override {
        Blake3ForceKernel(nullptr);
    }
};

TEST_P(Blake3Kernels, ReproduceTheTableHoweverTheBytesAreFed) {
    for (const PatternDigest &row : PatternDigests) {
        std::string message = PatternMessage(row.length);
        for (size_t piece : Pieces) {
            if (piece == 1 && row.length > 70000)
                continue; // a byte at a time is the same path as at 65537
            EXPECT_EQ(Blake3Text(message, piece, (uint32_t)row.length), row.blake3)
                << GetParam() << ", " << row.length << " bytes in pieces of " << piece;
        }
    }
}

// A message's subtrees hashed on their own and put in their places give the
// message's digest: the first 2^k chunks, then smaller ones, then the rest
// fed as bytes; and a subtree out of place is refused.
TEST_P(Blake3Kernels, SubtreesPutTogetherGiveTheWholeDigest) {
    const PatternDigest &row = PatternDigests[PatternDigestCount - 1]; // 1 MiB and a byte
    std::string message = PatternMessage(row.length);
    const uint8_t *bytes = reinterpret_cast<const uint8_t *>(message.data());
    const struct {
        uint32_t lead; // bytes fed before the subtrees
        uint64_t sizes[3];
    } splits[] = {
        {0, {1u << 19, 1u << 18, 1u << 17}}, // larger than one batch
        {0, {1u << 20, 0, 0}},               // all but the last byte
        {3 * 1024, {1024, 4096, 8192}},      // after whole chunks waiting
        {0, {65536, 65536, 32768}},          // a batch, then another
    };
    static Blake3State state;
    for (const auto &split : splits) {
        Blake3Start(&state);
        Blake3Add(&state, bytes, split.lead);
        uint64_t done = split.lead;
        for (uint64_t size : split.sizes) {
            if (!size)
                continue;
            uint32_t value[8];
            Blake3Subtree(bytes + done, size, done / Blake3ChunkSize, value);
            ASSERT_EQ(Blake3AddSubtree(&state, value, size), 1) << done << " + " << size;
            done += size;
        }
        Blake3Add(&state, bytes + done, (uint32_t)(message.size() - done));
        uint8_t digest[Blake3DigestSize];
        Blake3End(&state, digest);
        char text[2 * Blake3DigestSize + 1];
        BytesToHex(digest, Blake3DigestSize, text, sizeof text);
        EXPECT_STREQ(text, row.blake3) << GetParam() << ", lead " << split.lead;
    }
    uint32_t value[8] = {0};
    Blake3Start(&state);
    Blake3Add(&state, bytes, 1024);
    EXPECT_EQ(Blake3AddSubtree(&state, value, 2048), 0) << "starts at chunk 1, not a multiple of 2";
    EXPECT_EQ(Blake3AddSubtree(&state, value, 3072), 0) << "three chunks";
    Blake3Add(&state, bytes + 1024, 100);
    EXPECT_EQ(Blake3AddSubtree(&state, value, 1024), 0) << "after part of a chunk";
}

// Test names from the kernels' names, which hold a '-' gtest refuses.
static std::string NameOf(const testing::TestParamInfo<const char *> &info) {
    std::string name = info.param;
    for (char &c : name)
        c = c == '-' ? '_' : c;
    return name;
}

INSTANTIATE_TEST_SUITE_P(Each, Blake3Kernels,
                         testing::Values("portable", "sse41-4", "avx2-8", "avx512-16"), NameOf);

struct Crc32Loops : testing::TestWithParam<const char *> {
    void SetUp() override {
        if (!Crc32ForceLoop(GetParam()))
            GTEST_SKIP() << "loop " << GetParam() << " is not on this processor";
    }
    void TearDown() override {
        Crc32ForceLoop(nullptr);
    }
};

TEST_P(Crc32Loops, ReproduceTheTableHoweverTheBytesAreFed) {
    for (const PatternDigest &row : PatternDigests) {
        std::string message = PatternMessage(row.length);
        for (size_t piece : Pieces) {
            if (piece == 1 && row.length > 70000)
                continue;
            EXPECT_EQ(Crc32Text(message, piece, (uint32_t)row.length), row.crc32)
                << GetParam() << ", " << row.length << " bytes in pieces of " << piece;
        }
        // Every start within a block of 16 and a register of 64 bytes.
        for (size_t offset = 1; offset < 80 && offset < message.size(); offset += 7) {
            Crc32State state;
            Crc32Start(&state);
            Crc32Add(&state, message.data(), (uint32_t)offset);
            Crc32Add(&state, message.data() + offset, (uint32_t)(message.size() - offset));
            uint8_t digest[Crc32DigestSize];
            Crc32End(&state, digest);
            char text[2 * Crc32DigestSize + 1];
            BytesToHex(digest, Crc32DigestSize, text, sizeof text);
            EXPECT_STREQ(text, row.crc32) << GetParam() << ", " << row.length << " at " << offset;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Each, Crc32Loops, testing::Values("table", "pclmul", "vpclmul"), NameOf);

// The choice runs a loop the processor has, names it, and comes back after
// a forced one; a name nobody has changes nothing.
TEST(Blake3Crc32Choice, ForcedKernelsComeBackToTheMeasuredOne) {
    std::string kernel = Blake3KernelName(), loop = Crc32LoopName();
    EXPECT_EQ(Blake3ForceKernel("portable"), 1);
    EXPECT_STREQ(Blake3KernelName(), "portable");
    EXPECT_EQ(Blake3ForceKernel("avx512-32"), 0);
    EXPECT_STREQ(Blake3KernelName(), "portable");
    EXPECT_EQ(Blake3ForceKernel(nullptr), 1);
    EXPECT_EQ(Blake3KernelName(), kernel);
    EXPECT_EQ(Crc32ForceLoop("table"), 1);
    EXPECT_STREQ(Crc32LoopName(), "table");
    EXPECT_EQ(Crc32ForceLoop("shani"), 0);
    EXPECT_EQ(Crc32ForceLoop(nullptr), 1);
    EXPECT_EQ(Crc32LoopName(), loop);
}

// The vector kernels run exactly where the processor and system report
// their registers.
TEST(Blake3Crc32Choice, KernelsRunExactlyWhereTheProcessorReportsThem) {
    EXPECT_EQ(Blake3ForceKernel("avx2-8"), ProcessorReportsAvx2() ? 1 : 0);
    EXPECT_EQ(Blake3ForceKernel("avx512-16"), ProcessorReportsAvx512Vl() ? 1 : 0);
    Blake3ForceKernel(nullptr);
}
