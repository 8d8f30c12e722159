// Messages side by side: the choice of kernel, the lanes no message fills,
// the byte counts, and the end of a message padded into its lane.
//
// Feature flags say which kernels can run, not which runs fastest: a wider
// register may run at a lower clock or split into halves, and the second
// vector of the paired kernels helps only where there are registers and
// units to spare (the 32-bit build has eight vector registers). So the
// kernels race, in the single-stream loops' race (RaceEntrants,
// digest/loop_race.h), on the same bytes spread over each one's lanes. What
// is made of the times is the lanes' own: the fastest kernel sets LaneCount,
// and a call with fewer messages than that goes to the kernel that digests
// that many fastest, since a kernel's call costs the same however few of its
// lanes carry a message, and one message alone is fastest on the
// single-stream loop.
#include "digest/lanes.h"

#include <stdlib.h>
#include <string.h>

#include "digest/blake2b_lanes.h"
#include "digest/block_feed.h"
#include "digest/choices.h"
#include "digest/lane_kernels.h"
#include "digest/loop_race.h"
#include "digest/md5_avx512.h"
#include "digest/sha_ni.h"

struct KernelEntry {
    const char *Name;
    uint32_t Width; // messages at once
    int (*Usable)();
    LaneKernel Run; // null: one message after another on the single-stream loop
};

static int AlwaysUsable() {
    return 1;
}

static const KernelEntry Md5Kernels[] = {
    {"single", 1, AlwaysUsable, nullptr},
    {"sse2-4", 4, Sse2Usable, Md5LanesSse2},
    {"sse2-8", 8, Sse2Usable, Md5LanesSse2Pair},
    {"avx2-8", 8, Avx2Usable, Md5LanesAvx2},
    {"avx2-16", 16, Avx2Usable, Md5LanesAvx2Pair},
    {"avx512-16", 16, Avx512VlUsable, Md5LanesAvx512},
    {"avx512-32", 32, Avx512VlUsable, Md5LanesAvx512Pair},
};
static const KernelEntry Sha1Kernels[] = {
    {"single", 1, AlwaysUsable, nullptr},
    {"shani-2", 2, ShaInstructionsUsable, Sha1PairNi},
};
static const KernelEntry Sha256Kernels[] = {
    {"single", 1, AlwaysUsable, nullptr},
    {"shani-2", 2, ShaInstructionsUsable, Sha256PairNi},
};
static const KernelEntry Blake2bKernels[] = {
    {"single", 1, AlwaysUsable, nullptr},
    {"avx2-4", 4, Avx2Usable, Blake2bLanesAvx2},
    {"avx512-8", 8, Avx512VlUsable, Blake2bLanesAvx512},
};
static const KernelEntry Sha512Kernels[] = {
    {"single", 1, AlwaysUsable, nullptr},
    {"sse2-2", 2, Sse2Usable, Sha512LanesSse2},
    {"avx2-4", 4, Avx2Usable, Sha512LanesAvx2},
    {"avx512-8", 8, Avx512BwUsable, Sha512LanesAvx512},
};

// One algorithm's kernels. Which of them runs is the algorithm's record in
// the table's choices (choices.h): LaneKernel, 0 until the first call races
// the kernels; LaneKernelFor[n], the kernel for a call of n messages, fewer
// than the winner's width; ForcedLaneKernel, 0 for none. Each an index
// into Kernels plus one.
struct LaneChoice {
    DigestAlgorithm Algorithm;
    uint32_t BlockSize;
    const KernelEntry *Kernels;
    int KernelCount;
};

#define COUNT_OF(table) ((int)(sizeof table / sizeof table[0]))

static const LaneChoice Md5Choice = {AlgorithmMd5, 64, Md5Kernels, COUNT_OF(Md5Kernels)};
static const LaneChoice Sha1Choice = {AlgorithmSha1, 64, Sha1Kernels, COUNT_OF(Sha1Kernels)};
static const LaneChoice Sha256Choice = {AlgorithmSha256, 64, Sha256Kernels,
                                        COUNT_OF(Sha256Kernels)};
static const LaneChoice Sha512Choice = {AlgorithmSha512, 128, Sha512Kernels,
                                        COUNT_OF(Sha512Kernels)};
static const LaneChoice Blake2bChoice = {AlgorithmBlake2b, 128, Blake2bKernels,
                                         COUNT_OF(Blake2bKernels)};

// Each digest's lane kernels by its row; null for a digest that has none,
// which goes one message after another through its own single-stream code.
static const LaneChoice *const Choices[DigestAlgorithmCount] = {
    &Md5Choice, &Sha1Choice, &Sha256Choice, &Sha512Choice, &Blake2bChoice};

static const LaneChoice *ChoiceOf(DigestAlgorithm algorithm) {
    return (uint32_t)algorithm < DigestAlgorithmCount ? Choices[algorithm] : nullptr;
}

bool HasLaneKernels(DigestAlgorithm algorithm) {
    return ChoiceOf(algorithm) != nullptr;
}

bool EndsInLanes(DigestAlgorithm algorithm) {
    return HasLaneKernels(algorithm) && algorithm != AlgorithmBlake2b;
}

// SHA-512's kernels take its 64-bit chaining words through the same
// pointers as bytes; BLAKE2b's a whole state.
static uint32_t *WordsOf(AlgorithmState *state) {
    if (state->Algorithm == AlgorithmBlake2b)
        return Blake2bLaneWords(&state->Blake2b);
    if (state->Algorithm == AlgorithmSha512)
        return reinterpret_cast<uint32_t *>(state->Sha512.Words);
    return state->Algorithm == AlgorithmMd5 ? state->Md5.Words : state->Sha.Words;
}

static BlockFeed *FeedOf(AlgorithmState *state) {
    return state->Algorithm == AlgorithmMd5 ? &state->Md5.Feed : &state->Sha.Feed;
}

static const BlockFeed *FeedOf(const AlgorithmState *state) {
    return state->Algorithm == AlgorithmMd5 ? &state->Md5.Feed : &state->Sha.Feed;
}

// Runs the kernel over its first lanes messages, lanes no more than its
// width; the single-stream path counts its bytes in its own feed, a kernel's
// are counted here in the feeds of the states it advanced, but BLAKE2b's,
// whose kernels count in the states themselves.
static void RunKernel(const LaneChoice *choice, const KernelEntry *kernel,
                      AlgorithmState *const states[], const uint8_t *const blocks[], uint32_t lanes,
                      uint32_t blockCount) {
    uint32_t length = choice->BlockSize * blockCount;
    if (!kernel->Run) {
        for (uint32_t i = 0; i < lanes; i++)
            AlgorithmAdd(states[i], blocks[i], length);
        return;
    }
    // What the lanes no message fills work on; BLAKE2b's kernels take a
    // whole state there. A worker's stack is small: not a whole
    // AlgorithmState.
    uint32_t idleWords[16] = {0}; // room for any chaining words
    Blake2bState idleBlake2b;
    uint32_t *idle = idleWords;
    if (choice->Algorithm == AlgorithmBlake2b && lanes < kernel->Width) {
        Blake2bStart(&idleBlake2b, Blake2bLongestDigestSize);
        idle = Blake2bLaneWords(&idleBlake2b);
    }
    uint32_t *laneWords[MostLanes];
    const uint8_t *laneBlocks[MostLanes];
    for (uint32_t i = 0; i < kernel->Width; i++) {
        laneWords[i] = i < lanes ? WordsOf(states[i]) : idle;
        laneBlocks[i] = i < lanes ? blocks[i] : blocks[0];
    }
    kernel->Run(laneWords, laneBlocks, blockCount);
    if (choice->Algorithm == AlgorithmBlake2b)
        return;
    for (uint32_t i = 0; i < lanes; i++) {
        if (states[i]->Algorithm == AlgorithmSha512)
            states[i]->Sha512.ByteCount += length;
        else
            FeedOf(states[i])->ByteCount += length;
    }
}

// What the race digests with: each kernel takes the raced bytes as one
// stretch per lane.
struct RaceScratch {
    const LaneChoice *Choice;
    const KernelEntry *Kernels;
    const int *Raced; // indices into Kernels of the kernels that run here
    AlgorithmState States[MostLanes];
    AlgorithmState *Pointers[MostLanes];
};

static void KernelTurn(void *scratch, int entrant, const uint8_t *blocks, uint32_t length) {
    RaceScratch *race = static_cast<RaceScratch *>(scratch);
    const KernelEntry *kernel = &race->Kernels[race->Raced[entrant]];
    uint32_t blockSize = race->Choice->BlockSize;
    uint32_t blockCount = length / blockSize / kernel->Width;
    const uint8_t *laneBlocks[MostLanes];
    for (uint32_t i = 0; i < kernel->Width; i++)
        laneBlocks[i] = blocks + (size_t)blockSize * blockCount * i;
    RunKernel(race->Choice, kernel, race->Pointers, laneBlocks, kernel->Width, blockCount);
}

// The kernel digesting n messages at the least cost, from each kernel's
// best time in the race, all having raced the same bytes: a call of a
// kernel costs its time by its width, whatever n; n messages one after
// another cost n single-stream times.
static int CheapestFor(const KernelEntry *kernels, const int *raced, const uint64_t *best,
                       int count, uint32_t n) {
    int cheapest = 0;
    uint64_t least = UINT64_MAX;
    for (int i = 0; i < count; i++) {
        const KernelEntry &kernel = kernels[raced[i]];
        if (kernel.Width < n && kernel.Run)
            continue;
        uint64_t cost = best[i] * (kernel.Run ? kernel.Width : n);
        if (cost < least) {
            least = cost;
            cheapest = raced[i];
        }
    }
    return cheapest;
}

// The race's states are whole AlgorithmStates, BLAKE3's buffer making each
// some 18 KiB: 32 of them would take much of the calling thread's stack,
// which is the host's. -1 when there is no memory for them: kernel 0, which
// runs everywhere, until a later call races.
static int Measure(const LaneChoice *choice) {
    static_assert(COUNT_OF(Md5Kernels) <= MostLanes, "one best time a kernel");
    RaceScratch *scratch = static_cast<RaceScratch *>(malloc(sizeof(RaceScratch)));
    if (!scratch)
        return -1;
    RaceScratch &race = *scratch;
    race.Choice = choice;
    race.Kernels = choice->Kernels;
    for (uint32_t i = 0; i < MostLanes; i++) {
        AlgorithmStart(&race.States[i], choice->Algorithm);
        race.Pointers[i] = &race.States[i];
    }
    int raced[MostLanes], count = 0;
    for (int k = 0; k < choice->KernelCount; k++)
        if (choice->Kernels[k].Usable())
            raced[count++] = k;
    race.Raced = raced;
    uint64_t best[MostLanes];
    RaceEntrants(KernelTurn, &race, count, best);
    int fastest = 0;
    for (int i = 1; i < count; i++)
        if (best[i] < best[fastest])
            fastest = i;
    DigestChoice *record = DigestChoiceOf(choice->Algorithm);
    for (uint32_t n = 1; n < MostLanes; n++)
        record->LaneKernelFor[n].store(CheapestFor(choice->Kernels, raced, best, count, n) + 1,
                                       std::memory_order_relaxed);
    free(scratch);
    return raced[fastest];
}

// The kernel for a full call: the forced one, else the measured winner.
static int FullKernel(const LaneChoice *choice) {
    DigestChoice *record = DigestChoiceOf(choice->Algorithm);
    int forced = record->ForcedLaneKernel.load(std::memory_order_relaxed);
    if (forced)
        return forced - 1;
    int measured = record->LaneKernel.load(std::memory_order_relaxed) - 1;
    if (measured < 0) {
        measured = Measure(choice);
        if (measured < 0)
            return 0;
        record->LaneKernel.store(measured + 1, std::memory_order_relaxed);
    }
    return measured;
}

uint32_t LaneBlockSize(DigestAlgorithm algorithm) {
    const LaneChoice *choice = ChoiceOf(algorithm);
    return choice ? choice->BlockSize : DigestRow(algorithm)->BlockSize;
}

uint32_t LaneCount(DigestAlgorithm algorithm) {
    const LaneChoice *choice = ChoiceOf(algorithm);
    return choice ? choice->Kernels[FullKernel(choice)].Width : 1;
}

void DigestLanes(DigestAlgorithm algorithm, AlgorithmState *const states[],
                 const uint8_t *const blocks[], uint32_t count, uint32_t blockCount) {
    const LaneChoice *choice = ChoiceOf(algorithm);
    if (!choice) {
        uint32_t length = blockCount * LaneBlockSize(algorithm);
        for (uint32_t i = 0; i < count; i++)
            AlgorithmAdd(states[i], blocks[i], length);
        return;
    }
    int full = FullKernel(choice);
    DigestChoice *record = DigestChoiceOf(algorithm);
    bool forced = record->ForcedLaneKernel.load(std::memory_order_relaxed) != 0;
    while (count != 0) {
        int k = full;
        // Another thread's race may have stored the winner and not yet the
        // kernels for fewer: kernel 0, which runs everywhere, meanwhile.
        if (count < choice->Kernels[full].Width && !forced) {
            int fewer = record->LaneKernelFor[count].load(std::memory_order_relaxed);
            k = fewer > 0 ? fewer - 1 : 0;
        }
        const KernelEntry *kernel = &choice->Kernels[k];
        uint32_t lanes = count < kernel->Width ? count : kernel->Width;
        RunKernel(choice, kernel, states, blocks, lanes, blockCount);
        states += lanes;
        blocks += lanes;
        count -= lanes;
    }
}

static ByteOrder OrderOf(const AlgorithmState *state) {
    return state->Algorithm == AlgorithmMd5 ? LittleEndianWords : BigEndianWords;
}

uint32_t LaneEndBlocks(const AlgorithmState *state, const uint8_t *tail, uint32_t tailLength,
                       uint8_t *end) {
    if (state->Algorithm == AlgorithmSha512)
        return Sha512EndBlocks(&state->Sha512, tail, tailLength, end) / 128;
    return FeedEndBlocks(FeedOf(state), tail, tailLength, OrderOf(state), end) /
           ChoiceOf(state->Algorithm)->BlockSize;
}

void LaneDigestText(const AlgorithmState *state, char *text, uint32_t size) {
    uint8_t digest[Sha512DigestSize];
    if (state->Algorithm == AlgorithmSha512) {
        Sha512StoreDigest(state->Sha512.Words, digest);
        BytesToHex(digest, Sha512DigestSize, text, size);
        return;
    }
    uint32_t count = state->Algorithm == AlgorithmMd5 ? 4 : state->Sha.WordCount;
    const uint32_t *words = state->Algorithm == AlgorithmMd5 ? state->Md5.Words : state->Sha.Words;
    StoreWords(digest, words, count, OrderOf(state));
    BytesToHex(digest, 4 * count, text, size);
}

int LanesForceKernel(DigestAlgorithm algorithm, const char *name) {
    const LaneChoice *choice = ChoiceOf(algorithm);
    if (!choice)
        return !name || strcmp(name, "single") == 0;
    DigestChoice *record = DigestChoiceOf(algorithm);
    if (!name) {
        record->ForcedLaneKernel.store(0, std::memory_order_relaxed);
        return 1;
    }
    for (int k = 0; k < choice->KernelCount; k++) {
        if (strcmp(choice->Kernels[k].Name, name) == 0 && choice->Kernels[k].Usable()) {
            record->ForcedLaneKernel.store(k + 1, std::memory_order_relaxed);
            return 1;
        }
    }
    return 0;
}

const char *LanesKernelName(DigestAlgorithm algorithm) {
    const LaneChoice *choice = ChoiceOf(algorithm);
    if (!choice)
        return "single";
    return choice->Kernels[FullKernel(choice)].Name;
}
