// MD5: the RFC 1321 vectors, feeding in pieces, the buffering rules, the
// final padding, the byte count's carry and the text form.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "digest/md5.h"
#include "tests/test_files.h"

TEST(Md5, ReproducesTheRfc1321Suite) {
    for (const KnownDigest &known : Rfc1321Suite)
        EXPECT_EQ(DigestInPieces(known.message, strlen(known.message), 1 << 20), known.digest)
            << '"' << known.message << '"';
}

TEST(Md5, PieceSizesDoNotChangeTheDigest) {
    std::vector<uint8_t> message(5000);
    for (size_t i = 0; i < message.size(); i++)
        message[i] = (uint8_t)(i * 131 + (i >> 8));
    // Lengths around every buffering boundary, each fed in pieces of all the
    // awkward sizes; the one-call digest is the reference.
    for (size_t length : {0, 1, 55, 56, 63, 64, 65, 119, 120, 127, 128, 129, 2048, 4999}) {
        std::string whole = DigestInPieces(message.data(), length, length + 1);
        for (size_t piece : {1, 2, 63, 64, 65, 127, 128, 129, 2048})
            EXPECT_EQ(DigestInPieces(message.data(), length, piece), whole)
                << "length " << length << " in pieces of " << piece;
    }
}

TEST(Md5, LoneBlockWaitsUntilMoreInputArrives) {
    uint8_t block[129];
    memset(block, 'x', sizeof block);
    DigestState state;
    DigestStart(&state);
    DigestAdd(&state, block, 64);
    EXPECT_EQ(state.BufferedLength, 64u);
    EXPECT_EQ(state.ByteCountLow, 0u);
    DigestAdd(&state, block, 1);
    EXPECT_EQ(state.BufferedLength, 1u);
    EXPECT_EQ(state.ByteCountLow, 64u);
    DigestAdd(&state, block, 0);
    EXPECT_EQ(state.BufferedLength, 1u);
    EXPECT_EQ(state.ByteCountLow, 64u);
}

TEST(Md5, TwoWholeBlocksAreCompressedInPlace) {
    uint8_t blocks[128] = {0};
    DigestState state;
    DigestStart(&state);
    DigestAdd(&state, blocks, 128);
    EXPECT_EQ(state.BufferedLength, 0u);
    EXPECT_EQ(state.ByteCountLow, 128u);
}

TEST(Md5, BufferFilledToTheBrimIsEmptiedCompletely) {
    uint8_t bytes[200] = {0};
    DigestState state;
    DigestStart(&state);
    DigestAdd(&state, bytes, 10);
    DigestAdd(&state, bytes, 118); // fills BlockBuffer to exactly 128
    EXPECT_EQ(state.BufferedLength, 0u);
    EXPECT_EQ(state.ByteCountLow, 128u);
    DigestAdd(&state, bytes, 10);
    DigestAdd(&state, bytes, 150); // 118 fill the buffer, 32 come after
    EXPECT_EQ(state.BufferedLength, 32u);
    EXPECT_EQ(state.ByteCountLow, 256u);
}

// The final padding compresses one block while fewer than 56 bytes wait and
// two from 56 up to a full waiting block; the byte count shows which.
TEST(Md5, FinalPaddingTakesOneOrTwoBlocks) {
    const struct {
        uint32_t waiting;
        uint32_t finalBytes;
    } cases[] = {{0, 64}, {1, 64}, {55, 64}, {56, 128}, {63, 128}, {64, 128}};
    for (const auto &c : cases) {
        uint8_t bytes[64];
        memset(bytes, 'a', sizeof bytes);
        DigestState state;
        DigestStart(&state);
        DigestAdd(&state, bytes, c.waiting);
        uint8_t digest[DigestSize];
        DigestEnd(&state, digest);
        EXPECT_EQ(state.ByteCountLow, c.waiting + c.finalBytes) << c.waiting << " waiting";
        EXPECT_EQ(DigestInPieces(bytes, c.waiting, 1), DigestInPieces(bytes, c.waiting, 64));
    }
}

TEST(Md5, FiftyFiveWaitingBytesPutTheLengthRightAfterThePadByte) {
    uint8_t bytes[55];
    memset(bytes, 'a', sizeof bytes);
    DigestState state;
    DigestStart(&state);
    DigestAdd(&state, bytes, sizeof bytes);
    uint8_t digest[DigestSize];
    DigestEnd(&state, digest);
    EXPECT_EQ(state.BlockBuffer[55], 0x80);
    EXPECT_EQ(state.BlockBuffer[56], (55 * 8) & 0xff);
    EXPECT_EQ(state.BlockBuffer[57], (55 * 8) >> 8);
    EXPECT_EQ(DigestInPieces(bytes, 55, 55), "ef1772b6dff9a122358552954ad0df65");
}

TEST(Md5, TextFormFitsTheBufferItIsGiven) {
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

// A message longer than 2^32 bytes: the count must carry into the high word
// and the length field must hold all of it.
TEST(Md5Long, ByteCountCarriesPastFourGigabytes) {
    static uint8_t zeros[1 << 20];
    const uint64_t length = (1ull << 32) + 65;
    DigestState state;
    DigestStart(&state);
    for (uint64_t done = 0; done < length;) {
        uint64_t n = length - done < sizeof zeros ? length - done : sizeof zeros;
        DigestAdd(&state, zeros, (uint32_t)n);
        done += n;
    }
    EXPECT_EQ(state.ByteCountHigh, 1u);
    uint8_t digest[DigestSize];
    DigestEnd(&state, digest);
    char text[DigestTextSize];
    DigestToHex(digest, text, sizeof text);
    // md5sum of 4294967361 zero bytes
    EXPECT_STREQ(text, "6ae96928b07744bdabfe9dd4ce7b7767");
}
