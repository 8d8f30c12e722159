// A caller of DigestLanes that keeps its lanes busy, as a digest of many
// files would.
#include "tests/side_by_side.h"

#include "digest/lanes.h"

namespace {
struct Lane {
    size_t Message; // SIZE_MAX: idle
    const uint8_t *Next;
    uint32_t BlocksLeft; // of the message's whole blocks, or of its end blocks once Ending
    bool Ending;
    uint8_t End[256];
    AlgorithmState State;
};
} // namespace

// After the lane's whole blocks: its end blocks next, or the message ended
// as a single stream. Returns whether the lane has more to digest.
static bool AfterWholeBlocks(Lane *lane, const std::string &message,
                             std::vector<std::string> &digests) {
    uint32_t tail = (uint32_t)(message.size() % LaneBlockSize(lane->State.Algorithm));
    if (lane->Message % 2 == 0) {
        lane->BlocksLeft = LaneEndBlocks(&lane->State, lane->Next, tail, lane->End);
        lane->Next = lane->End;
        lane->Ending = true;
        return true;
    }
    AlgorithmAdd(&lane->State, lane->Next, tail);
    char text[LongestDigestTextSize];
    AlgorithmEnd(&lane->State, text, sizeof text);
    digests[lane->Message] = text;
    return false;
}

static void Take(Lane *lane, DigestAlgorithm algorithm, size_t index,
                 const std::vector<std::string> &messages, std::vector<std::string> &digests) {
    lane->Message = index;
    lane->Next = reinterpret_cast<const uint8_t *>(messages[index].data());
    lane->BlocksLeft = (uint32_t)(messages[index].size() / LaneBlockSize(algorithm));
    lane->Ending = false;
    AlgorithmStart(&lane->State, algorithm);
    if (lane->BlocksLeft == 0 && !AfterWholeBlocks(lane, messages[index], digests))
        lane->Message = SIZE_MAX;
}

std::vector<std::string> DigestSideBySide(DigestAlgorithm algorithm,
                                          const std::vector<std::string> &messages,
                                          uint32_t mostBlocks) {
    std::vector<std::string> digests(messages.size());
    std::vector<Lane> lanes(LaneCount(algorithm) + 3);
    for (Lane &lane : lanes)
        lane.Message = SIZE_MAX;
    size_t next = 0;
    for (;;) {
        std::vector<Lane *> busy;
        std::vector<AlgorithmState *> states;
        std::vector<const uint8_t *> blocks;
        uint32_t blockCount = mostBlocks;
        for (Lane &lane : lanes) {
            while (lane.Message == SIZE_MAX && next < messages.size())
                Take(&lane, algorithm, next++, messages, digests);
            if (lane.Message == SIZE_MAX)
                continue;
            busy.push_back(&lane);
            states.push_back(&lane.State);
            blocks.push_back(lane.Next);
            blockCount = lane.BlocksLeft < blockCount ? lane.BlocksLeft : blockCount;
        }
        if (busy.empty())
            return digests;
        DigestLanes(algorithm, states.data(), blocks.data(), (uint32_t)busy.size(), blockCount);
        for (Lane *lane : busy) {
            lane->Next += LaneBlockSize(algorithm) * blockCount;
            lane->BlocksLeft -= blockCount;
            if (lane->BlocksLeft != 0)
                continue;
            if (lane->Ending) {
                char text[LongestDigestTextSize];
                LaneDigestText(&lane->State, text, sizeof text);
                digests[lane->Message] = text;
                lane->Message = SIZE_MAX;
            } else if (!AfterWholeBlocks(lane, messages[lane->Message], digests)) {
                lane->Message = SIZE_MAX;
            }
        }
    }
}

std::string DigestOneStream(DigestAlgorithm algorithm, const std::string &message) {
    AlgorithmState state;
    AlgorithmStart(&state, algorithm);
    AlgorithmAdd(&state, message.data(), (uint32_t)message.size());
    char text[LongestDigestTextSize];
    AlgorithmEnd(&state, text, sizeof text);
    return text;
}
