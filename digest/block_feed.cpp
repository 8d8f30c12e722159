// The buffering and padding every digest here shares; see block_feed.h.
#include "digest/block_feed.h"

#include <string.h>

static void Compress(BlockFeed *feed, uint32_t *words, const LoopChoice *loops,
                     const uint8_t *blocks, uint32_t length) {
    feed->ByteCount += length;
    ChosenLoop(loops)(words, blocks, length);
}

void FeedStart(BlockFeed *feed) {
    feed->ByteCount = 0;
    feed->BufferedLength = 0;
}

void FeedBytes(BlockFeed *feed, uint32_t *words, const LoopChoice *loops, const void *bytes,
               uint32_t length) {
    const uint8_t *input = static_cast<const uint8_t *>(bytes);
    if (feed->BufferedLength != 0) {
        uint32_t room = sizeof feed->Buffer - feed->BufferedLength;
        uint32_t n = length < room ? length : room;
        memcpy(feed->Buffer + feed->BufferedLength, input, n);
        feed->BufferedLength += n;
        input += n;
        length -= n;
        if (feed->BufferedLength < sizeof feed->Buffer)
            return;
        Compress(feed, words, loops, feed->Buffer, sizeof feed->Buffer);
        feed->BufferedLength = 0;
    }
    uint32_t whole = length & ~63u;
    if (whole != 0)
        Compress(feed, words, loops, input, whole);
    memcpy(feed->Buffer, input + whole, length - whole);
    feed->BufferedLength = length - whole;
}

static void StoreWord(uint8_t *p, uint32_t word, ByteOrder order) {
    for (int i = 0; i < 4; i++)
        p[i] = (uint8_t)(word >> (order == LittleEndianWords ? 8 * i : 24 - 8 * i));
}

uint32_t FeedEndBlocks(const BlockFeed *feed, const uint8_t *tail, uint32_t tailLength,
                       ByteOrder order, uint8_t *end) {
    uint64_t bits = (feed->ByteCount + tailLength) * 8;
    uint32_t length = tailLength < 56 ? 64 : 128;
    if (tailLength != 0)
        memcpy(end, tail, tailLength);
    end[tailLength] = 0x80;
    memset(end + tailLength + 1, 0, length - 8 - tailLength - 1);
    uint32_t low = (uint32_t)bits, high = (uint32_t)(bits >> 32);
    bool little = order == LittleEndianWords;
    StoreWord(end + length - 8, little ? low : high, order);
    StoreWord(end + length - 4, little ? high : low, order);
    return length;
}

void FeedEnd(BlockFeed *feed, uint32_t *words, const LoopChoice *loops, ByteOrder order) {
    uint8_t end[128];
    uint32_t length = FeedEndBlocks(feed, feed->Buffer, feed->BufferedLength, order, end);
    Compress(feed, words, loops, end, length);
    feed->BufferedLength = 0;
}

void StoreWords(uint8_t *out, const uint32_t *words, uint32_t count, ByteOrder order) {
    for (uint32_t i = 0; i < count; i++)
        StoreWord(out + 4 * i, words[i], order);
}
