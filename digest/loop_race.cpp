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

static CompressLoop FastestOf(LoopChoice *choice) {
    CompressLoop fastest = choice->Fastest.load(std::memory_order_relaxed);
    if (!fastest) {
        fastest = choice->Plain;
        const CompressLoop loops[2] = {choice->Plain, choice->Accelerated};
        if (choice->AcceleratedUsable() && FastestLoop(loops) == 1)
            fastest = choice->Accelerated;
        choice->Fastest.store(fastest, std::memory_order_relaxed);
    }
    return fastest;
}

CompressLoop ChosenLoop(LoopChoice *choice) {
    CompressLoop loop = choice->Chosen.load(std::memory_order_relaxed);
    if (!loop) {
        loop = FastestOf(choice);
        choice->Chosen.store(loop, std::memory_order_relaxed);
    }
    return loop;
}

int ForceLoop(LoopChoice *choice, const char *name) {
    CompressLoop loop = FastestOf(choice);
    if (name && strcmp(name, "scalar") == 0)
        loop = choice->Plain;
    else if (name && strcmp(name, choice->AcceleratedName) == 0 && choice->AcceleratedUsable())
        loop = choice->Accelerated;
    else if (name)
        return 0;
    choice->Chosen.store(loop, std::memory_order_relaxed);
    return 1;
}

const char *LoopName(LoopChoice *choice) {
    return ChosenLoop(choice) == choice->Plain ? "scalar" : choice->AcceleratedName;
}
