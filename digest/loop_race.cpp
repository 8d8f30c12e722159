// The race between compression loops. The time stamp counter needs no
// system call; each loop keeps its best of a few turns, so an interruption
// during one turn decides nothing.
#include "digest/loop_race.h"

#include <string.h>

#include <x86intrin.h>

static const uint32_t RaceBytes = 4096;
static const int RaceRounds = 8;
static const int MostLoops = 4;

int FastestLoop(const RacedLoop *loops, int count, void *scratch) {
    uint8_t blocks[RaceBytes];
    memset(blocks, 0x5a, sizeof blocks);
    uint64_t best[MostLoops];
    for (int i = 0; i < count; i++)
        best[i] = UINT64_MAX;
    for (int round = 0; round < RaceRounds; round++) {
        for (int i = 0; i < count; i++) {
            uint64_t start = __rdtsc();
            loops[i](scratch, blocks, RaceBytes);
            uint64_t time = __rdtsc() - start;
            best[i] = time < best[i] ? time : best[i];
        }
    }
    int fastest = 0;
    for (int i = 1; i < count; i++)
        if (best[i] < best[fastest])
            fastest = i;
    return fastest;
}
