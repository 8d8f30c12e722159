// The multi-buffer manager alone, driven as the engine drives it: messages
// of sizes around a block, its padding and a piece, submitted piece by piece
// as lanes come free and flushed when none is left to start, against each
// message's single-stream digest, through every lane kernel this processor
// runs.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "digest/lane_manager.h"
#include "tests/side_by_side.h"

struct Fed {
    std::string bytes;
    size_t offset;
    LaneMessage message;
};

// Submits the message's next piece of at most pieceSize bytes. With
// emptyEnd a full piece is never the last, as a reader that asked for a
// full chunk and got one does not know the end yet: the last piece of a
// message that ends on a piece's end is then empty.
static LaneMessage *SubmitNext(LaneManager *lanes, Fed *fed, size_t pieceSize, bool emptyEnd) {
    size_t left = fed->bytes.size() - fed->offset;
    size_t length = left < pieceSize ? left : pieceSize;
    bool last = length == left && !(emptyEnd && length == pieceSize);
    const uint8_t *at = reinterpret_cast<const uint8_t *>(fed->bytes.data()) + fed->offset;
    fed->offset += length;
    return SubmitPiece(lanes, &fed->message, at, (uint32_t)length, last);
}

// The digest texts, each message tagged with its place; a message handed
// back goes to the end of the queue for its next piece.
static std::vector<std::string> ThroughManager(DigestAlgorithm algorithm,
                                               const std::vector<std::string> &messages,
                                               size_t pieceSize, bool emptyEnd) {
    std::vector<Fed> fed(messages.size());
    std::deque<size_t> ready;
    for (size_t i = 0; i < messages.size(); i++) {
        fed[i].bytes = messages[i];
        fed[i].offset = 0;
        StartLaneMessage(&fed[i].message, algorithm, DigestTextLength(algorithm), (int64_t)i);
        ready.push_back(i);
    }
    std::vector<std::string> texts(messages.size(), "never handed back");
    LaneManager lanes;
    StartLaneManager(&lanes, algorithm);
    auto handBack = [&](LaneMessage *message) {
        size_t i = (size_t)message->tag;
        if (message->ended)
            texts[i] = message->text;
        else
            ready.push_back(i);
    };
    for (;;) {
        while (LaneManagerHasRoom(&lanes) && !ready.empty()) {
            size_t i = ready.front();
            ready.pop_front();
            LaneMessage *through = SubmitNext(&lanes, &fed[i], pieceSize, emptyEnd);
            if (through)
                handBack(through);
        }
        if (!ready.empty())
            continue;
        LaneMessage *through = FlushLanes(&lanes);
        if (!through)
            return texts;
        handBack(through);
    }
}

TEST(LaneManager, SizesAgainstOneStream) {
    const size_t sizes[] = {0,   1,   55,   56,   63,    64,    65,    119,   120,
                            127, 128, 129,  1000, 4095,  4096,  65535, 65536, 65537,
                            5,   300, 9000, 200,  70000, 12345, 64,    0,     131072};
    std::vector<std::string> messages;
    for (size_t i = 0; i < sizeof sizes / sizeof sizes[0]; i++) {
        std::string bytes(sizes[i], 0);
        for (size_t b = 0; b < bytes.size(); b++)
            bytes[b] = (char)((b * 131 + i * 7919) >> 3);
        messages.push_back(bytes);
    }
    const char *const kernels[] = {"single",  "sse2-4",    "sse2-8",    "avx2-8",
                                   "avx2-16", "avx512-16", "avx512-32", "shani-2",
                                   "sse2-2",  "avx2-4",    "avx512-8",  nullptr};
    for (DigestAlgorithm algorithm : {AlgorithmMd5, AlgorithmSha1, AlgorithmSha256, AlgorithmSha512,
                                      AlgorithmBlake2b, AlgorithmBlake3, AlgorithmCrc32}) {
        std::vector<std::string> expected;
        for (const std::string &message : messages)
            expected.push_back(DigestOneStream(algorithm, message));
        for (const char *kernel : kernels) {
            if (!LanesForceKernel(algorithm, kernel))
                continue;
            // A block a piece, a few, and the engine's chunk.
            for (size_t pieceSize : {(size_t)LaneBlockSize(algorithm), (size_t)640, (size_t)65536})
                for (bool emptyEnd : {false, true})
                    EXPECT_EQ(ThroughManager(algorithm, messages, pieceSize, emptyEnd), expected)
                        << AlgorithmTag(algorithm) << ", " << (kernel ? kernel : "measured choice")
                        << ", pieces of " << pieceSize
                        << (emptyEnd ? ", an empty last piece after a full one" : "");
        }
        LanesForceKernel(algorithm, nullptr);
    }
}

// Lanes fill before they run: nothing comes back while a lane is free and
// no piece is through, and a flush hands back every message, each once.
TEST(LaneManager, WaitsForFullLanesUntilFlushed) {
    struct Kernel {
        DigestAlgorithm algorithm;
        const char *name;
    } kernels[] = {
        {AlgorithmMd5, "sse2-4"}, {AlgorithmMd5, "avx2-16"}, {AlgorithmSha256, "shani-2"}};
    for (const Kernel &kernel : kernels) {
        if (!LanesForceKernel(kernel.algorithm, kernel.name))
            continue;
        LaneManager lanes;
        StartLaneManager(&lanes, kernel.algorithm);
        std::string bytes(64 * 3, 'x');
        std::vector<LaneMessage> messages(lanes.width);
        for (uint32_t i = 0; i + 1 < lanes.width; i++) {
            StartLaneMessage(&messages[i], kernel.algorithm, DigestTextLength(kernel.algorithm), i);
            EXPECT_EQ(SubmitPiece(&lanes, &messages[i],
                                  reinterpret_cast<const uint8_t *>(bytes.data()), 64 * 3, false),
                      nullptr)
                << kernel.name << ", message " << i;
        }
        std::vector<int> handedBack(lanes.width, 0);
        while (LaneMessage *through = FlushLanes(&lanes))
            handedBack[(size_t)through->tag]++;
        for (uint32_t i = 0; i + 1 < lanes.width; i++)
            EXPECT_EQ(handedBack[i], 1) << kernel.name << ", message " << i;
        EXPECT_EQ(lanes.busy, 0u);
        LanesForceKernel(kernel.algorithm, nullptr);
    }
}
