// Many messages digested side by side as their bytes arrive, piece by
// piece: the multi-buffer manager over DigestLanes. A message is submitted
// with its next piece and stays in a lane until that piece is digested;
// once every lane holds a piece the lanes run, as far as the shortest piece
// goes, and the message whose piece is through is handed back for its next
// one. Flush runs the lanes part full, for when no more pieces are coming
// now. No I/O and no threads: the caller owns the messages and their bytes,
// and one thread at a time drives a manager.
//
// Each algorithm is a row of its own: its block size (LaneBlockSize) and
// its kernels (digest/lanes.cpp); nothing here assumes a block's length.
#pragma once

#include <stdint.h>

#include "digest/algorithm.h"
#include "digest/lanes.h"

// The longest block of any algorithm, so the room a message's end takes:
// its last partial block, the padding and the length, two blocks at most.
const uint32_t MostBlockSize = 128;

// A message the caller owns, which the manager advances while it is in a
// lane. Once its last piece is through, ended is set and text holds its
// digest.
struct LaneMessage {
    int64_t tag; // the caller's own, never read here
    AlgorithmState state;
    bool ended;
    char text[LongestDigestTextSize];
    // The manager's while in a lane: the piece's blocks not yet digested,
    // whether it is the message's last, and, once only its end is left,
    // the end blocks made from its tail.
    const uint8_t *next;
    uint32_t blocksLeft;
    uint32_t tailLength;
    bool last;
    bool ending;
    uint8_t end[2 * MostBlockSize];
};

struct LaneManager {
    DigestAlgorithm algorithm;
    uint32_t width;                // lanes filled before they run: LaneCount
    uint32_t blockSize;            // LaneBlockSize
    uint32_t busy;                 // lanes holding a message, through or not
    LaneMessage *lanes[MostLanes]; // null: a free lane
};

// Starts a message of the algorithm at digitCount digits (AlgorithmStartDigits)
// with the caller's tag.
void StartLaneMessage(LaneMessage *message, DigestAlgorithm algorithm, uint32_t digitCount,
                      int64_t tag);

// Starts a manager with every lane free for messages of the algorithm.
void StartLaneManager(LaneManager *manager, DigestAlgorithm algorithm);

// True while a lane is free for a submission.
bool LaneManagerHasRoom(const LaneManager *manager);

// Puts the message into a free lane with its next piece: length bytes at
// bytes, whole blocks unless last (the message's final piece, of any
// length, perhaps 0). The bytes stay untouched and must stay valid until
// the message is handed back. Returns a message whose piece is through,
// this one or another, once every lane is filled or one was already
// through; null while the lanes wait for more.
LaneMessage *SubmitPiece(LaneManager *manager, LaneMessage *message, const uint8_t *bytes,
                         uint32_t length, bool last);

// A message whose piece is through, without running the lanes; null for
// none.
LaneMessage *ThroughMessage(LaneManager *manager);

// Hands back a message whose piece is through, running the lanes part full
// until one is; null when no lane holds a message.
LaneMessage *FlushLanes(LaneManager *manager);
