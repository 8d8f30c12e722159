// The multi-buffer manager: lanes of messages in pieces, run as far as the
// shortest piece goes once every lane is filled, or part full on a flush.
#include "digest/lane_manager.h"

#include <stddef.h>

void StartLaneMessage(LaneMessage *message, DigestAlgorithm algorithm, uint32_t digitCount,
                      int64_t tag) {
    message->tag = tag;
    AlgorithmStartDigits(&message->state, algorithm, digitCount);
    message->ended = false;
    message->text[0] = 0;
    message->next = nullptr;
    message->blocksLeft = message->tailLength = 0;
    message->last = message->ending = false;
}

void StartLaneManager(LaneManager *manager, DigestAlgorithm algorithm) {
    manager->algorithm = algorithm;
    manager->width = LaneCount(algorithm);
    manager->blockSize = LaneBlockSize(algorithm);
    manager->busy = 0;
    for (uint32_t i = 0; i < MostLanes; i++)
        manager->lanes[i] = nullptr;
}

bool LaneManagerHasRoom(const LaneManager *manager) {
    return manager->busy < manager->width;
}

// A message whose whole blocks are digested: its end blocks next when its
// last piece is, else its piece is through. The tail still lies in the
// caller's bytes, right after the whole blocks.
static void AfterWholeBlocks(LaneMessage *message) {
    if (!message->last || message->ending)
        return;
    message->ending = true;
    if (!EndsInLanes(message->state.Algorithm)) {
        AlgorithmAdd(&message->state, message->next, message->tailLength);
        message->blocksLeft = 0;
        return;
    }
    message->blocksLeft =
        LaneEndBlocks(&message->state, message->next, message->tailLength, message->end);
    message->next = message->end;
}

static bool Through(const LaneMessage *message) {
    return message->blocksLeft == 0;
}

LaneMessage *ThroughMessage(LaneManager *manager) {
    for (uint32_t i = 0; i < manager->width; i++) {
        LaneMessage *message = manager->lanes[i];
        if (!message || !Through(message))
            continue;
        manager->lanes[i] = nullptr;
        manager->busy--;
        if (message->ending) {
            if (EndsInLanes(message->state.Algorithm))
                LaneDigestText(&message->state, message->text, sizeof message->text);
            else
                AlgorithmEnd(&message->state, message->text, sizeof message->text);
            message->ended = true;
        }
        return message;
    }
    return nullptr;
}

LaneMessage *SubmitPiece(LaneManager *manager, LaneMessage *message, const uint8_t *bytes,
                         uint32_t length, bool last) {
    message->next = bytes;
    message->blocksLeft = length / manager->blockSize;
    message->tailLength = last ? length % manager->blockSize : 0;
    message->last = last;
    message->ending = false;
    if (message->blocksLeft == 0)
        AfterWholeBlocks(message);
    for (uint32_t i = 0; i < manager->width; i++)
        if (!manager->lanes[i]) {
            manager->lanes[i] = message;
            manager->busy++;
            break;
        }
    LaneMessage *through = ThroughMessage(manager);
    if (through || manager->busy < manager->width)
        return through;
    return FlushLanes(manager);
}

// Runs every lane holding blocks as far as the shortest goes.
static void RunLanes(LaneManager *manager) {
    AlgorithmState *states[MostLanes] = {};
    const uint8_t *blocks[MostLanes] = {};
    LaneMessage *running[MostLanes];
    uint32_t count = 0, blockCount = UINT32_MAX;
    for (uint32_t i = 0; i < manager->width; i++) {
        LaneMessage *message = manager->lanes[i];
        if (!message)
            continue;
        running[count] = message;
        states[count] = &message->state;
        blocks[count++] = message->next;
        if (message->blocksLeft < blockCount)
            blockCount = message->blocksLeft;
    }
    DigestLanes(manager->algorithm, states, blocks, count, blockCount);
    for (uint32_t i = 0; i < count; i++) {
        LaneMessage *message = running[i];
        message->next += (size_t)blockCount * manager->blockSize;
        message->blocksLeft -= blockCount;
        if (message->blocksLeft == 0)
            AfterWholeBlocks(message);
    }
}

LaneMessage *FlushLanes(LaneManager *manager) {
    for (;;) {
        LaneMessage *through = ThroughMessage(manager);
        if (through || manager->busy == 0)
            return through;
        RunLanes(manager);
    }
}
