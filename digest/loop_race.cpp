// The race between compression loops. The time stamp counter needs no
// system call; each loop keeps its best of a few turns, so an interruption
// during one turn decides nothing.
#include "digest/loop_race.h"

#include <string.h>

#include <x86intrin.h>

static const uint32_t RaceBytes = 4096;
static const int RaceRounds = 8;

void RaceEntrants(RaceTurn turn, void *scratch, int count, uint64_t *best) {
    uint8_t blocks[RaceBytes];
    memset(blocks, 0x5a, sizeof blocks);
    for (int i = 0; i < count; i++)
        best[i] = UINT64_MAX;
    for (int round = 0; round < RaceRounds; round++) {
        for (int i = 0; i < count; i++) {
            uint64_t start = __rdtsc();
            turn(scratch, i, blocks, RaceBytes);
            uint64_t time = __rdtsc() - start;
            best[i] = time < best[i] ? time : best[i];
        }
    }
}

struct LoopRace {
    const CompressLoop *Loops;
    uint32_t Words[8];
};

static void LoopTurn(void *scratch, int entrant, const uint8_t *blocks, uint32_t length) {
    LoopRace *race = static_cast<LoopRace *>(scratch);
    race->Loops[entrant](race->Words, blocks, length);
}

// The index of the loop that compressed a few kilobytes fastest, the loops
// taking turns: 32 KiB a loop, raced once a process.
static int FastestLoop(const CompressLoop loops[2]) {
    LoopRace race = {loops, {0}};
    uint64_t best[2];
    RaceEntrants(LoopTurn, &race, 2, best);
    return best[1] < best[0] ? 1 : 0;
}

static int FastestOf(const LoopChoice *choice) {
    DigestChoice *record = DigestChoiceOf(choice->Algorithm);
    int fastest = record->FastestLoop.load(std::memory_order_relaxed);
    if (!fastest) {
        const CompressLoop loops[2] = {choice->Plain, choice->Accelerated};
        fastest = choice->AcceleratedUsable() && FastestLoop(loops) == 1 ? 2 : 1;
        record->FastestLoop.store(fastest, std::memory_order_relaxed);
    }
    return fastest;
}

static int Chosen(const LoopChoice *choice) {
    DigestChoice *record = DigestChoiceOf(choice->Algorithm);
    int loop = record->Loop.load(std::memory_order_relaxed);
    if (!loop) {
        loop = FastestOf(choice);
        record->Loop.store(loop, std::memory_order_relaxed);
    }
    return loop;
}

CompressLoop ChosenLoop(const LoopChoice *choice) {
    return Chosen(choice) == 2 ? choice->Accelerated : choice->Plain;
}

int ForceLoop(const LoopChoice *choice, const char *name) {
    int loop = FastestOf(choice);
    if (name && strcmp(name, "scalar") == 0)
        loop = 1;
    else if (name && strcmp(name, choice->AcceleratedName) == 0 && choice->AcceleratedUsable())
        loop = 2;
    else if (name)
        return 0;
    DigestChoiceOf(choice->Algorithm)->Loop.store(loop, std::memory_order_relaxed);
    return 1;
}

const char *LoopName(const LoopChoice *choice) {
    return Chosen(choice) == 2 ? choice->AcceleratedName : "scalar";
}
