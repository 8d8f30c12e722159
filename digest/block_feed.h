// What MD5, SHA-1 and SHA-256 share besides the choice of loop: a message
// fed in pieces of any size is compressed in 64-byte blocks, and its last
// block is padded with 0x80, zeros and the message's length in bits.
#pragma once

#include <stdint.h>

#include "digest/loop_race.h"

struct BlockFeed {
    uint64_t ByteCount;      // bytes that went through the compression
    uint32_t BufferedLength; // input bytes waiting at the front of Buffer
    uint8_t Buffer[64];
};

// The order of the bytes in each word of the bit count and the digest:
// MD5's or SHA's.
enum ByteOrder { LittleEndianWords, BigEndianWords };

void FeedStart(BlockFeed *feed);

// Compresses what makes whole blocks into words by the loop chosen; input
// is copied only to complete a block, whole blocks in the caller's memory
// are compressed where they lie.
void FeedBytes(BlockFeed *feed, uint32_t *words, const LoopChoice *loops, const void *bytes,
               uint32_t length);

// Pads what waits and compresses it: the words hold the digest then.
void FeedEnd(BlockFeed *feed, uint32_t *words, const LoopChoice *loops, ByteOrder order);

// The one or two blocks that end a message, written to end (128 bytes): the
// tailLength bytes at tail (fewer than 64; tail may be null when there are
// none) that follow the feed's compressed bytes, 0x80, zeros and the length
// in bits. FeedEnd pads the feed's own buffer; a caller that compresses the
// end itself (digest/lanes.cpp) pads its own tail. Returns 64 or 128.
uint32_t FeedEndBlocks(const BlockFeed *feed, const uint8_t *tail, uint32_t tailLength,
                       ByteOrder order, uint8_t *end);

// The digest's bytes: count words, each in the given order.
void StoreWords(uint8_t *out, const uint32_t *words, uint32_t count, ByteOrder order);
