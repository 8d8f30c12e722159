// The race between compression loops. The time stamp counter needs no
// system call; each loop keeps its best of a few turns, so an interruption
// during one turn decides nothing.
#include "digest/loop_race.h"

#include <string.h>

#include <x86intrin.h>

static const uint32_t RaceBytes = 4096;
static const int RaceRounds = 8;

// The index of the loop that compressed a few kilobytes fastest, the loops
// taking turns: 32 KiB a loop, raced once a process.
static int FastestLoop(const CompressLoop loops[2]) {
    uint8_t blocks[RaceBytes];
    memset(blocks, 0x5a, sizeof blocks);
    uint32_t words[8] = {0};
    uint64_t best[2] = {UINT64_MAX, UINT64_MAX};
    for (int round = 0; round < RaceRounds; round++) {
        for (int i = 0; i < 2; i++) {
            uint64_t start = __rdtsc();
            loops[i](words, blocks, RaceBytes);
            uint64_t time = __rdtsc() - start;
            best[i] = time < best[i] ? time : best[i];
        }
    }
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
