// BLAKE3: the portable compression, the tree over the chunks, and the
// choice of kernel.
//
// Whole chunks are hashed a batch at a time, as many side by side as the
// kernel has lanes, and a batch's chaining values are merged into the
// subtrees its chunk numbers make, their parents side by side too; each
// complete subtree goes on the stack as its two halves, and the stack's
// pairs merge as a binary count carries once more chunks follow. So nothing
// hashed before the end is the root: the last two values pushed may be its
// children, and a message of one chunk is hashed only at the end.
#include "digest/blake3.h"

#include <string.h>

#include "digest/blake3_kernels.h"
#include "digest/choices.h"
#include "digest/lane_kernels.h"
#include "digest/loop_race.h"
#include "digest/md5_avx512.h"

static uint32_t LoadWord(const uint8_t *p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static uint32_t RotateRight(uint32_t x, int s) {
    return (x >> s) | (x << (32 - s));
}

static void Mix(uint32_t *v, int a, int b, int c, int d, uint32_t x, uint32_t y) {
    v[a] = v[a] + v[b] + x;
    v[d] = RotateRight(v[d] ^ v[a], 16);
    v[c] = v[c] + v[d];
    v[b] = RotateRight(v[b] ^ v[c], 12);
    v[a] = v[a] + v[b] + y;
    v[d] = RotateRight(v[d] ^ v[a], 8);
    v[c] = v[c] + v[d];
    v[b] = RotateRight(v[b] ^ v[c], 7);
}

void Blake3Compress(const uint32_t *chaining, const uint8_t *block, uint32_t blockLength,
                    uint64_t counter, uint32_t flags, uint32_t *out) {
    uint32_t m[16], v[16];
    for (int i = 0; i < 16; i++)
        m[i] = LoadWord(block + 4 * i);
    memcpy(v, chaining, 32);
    memcpy(v + 8, Blake3Iv, 16);
    v[12] = (uint32_t)counter;
    v[13] = (uint32_t)(counter >> 32);
    v[14] = blockLength;
    v[15] = flags;
    for (int round = 0; round < 7; round++) {
        const uint8_t *s = Blake3Schedule[round];
        Mix(v, 0, 4, 8, 12, m[s[0]], m[s[1]]);
        Mix(v, 1, 5, 9, 13, m[s[2]], m[s[3]]);
        Mix(v, 2, 6, 10, 14, m[s[4]], m[s[5]]);
        Mix(v, 3, 7, 11, 15, m[s[6]], m[s[7]]);
        Mix(v, 0, 5, 10, 15, m[s[8]], m[s[9]]);
        Mix(v, 1, 6, 11, 12, m[s[10]], m[s[11]]);
        Mix(v, 2, 7, 8, 13, m[s[12]], m[s[13]]);
        Mix(v, 3, 4, 9, 14, m[s[14]], m[s[15]]);
    }
    for (int i = 0; i < 8; i++)
        out[i] = v[i] ^ v[i + 8];
}

void Blake3Portable(const uint8_t *const inputs[], uint32_t count, uint32_t blockCount,
                    uint64_t counter, uint32_t counterStep, uint32_t flags, uint32_t startFlag,
                    uint32_t endFlag, uint32_t *out) {
    // One input at a time, so that an output written over the inputs
    // replaces only those already read.
    for (uint32_t i = 0; i < count; i++) {
        uint32_t chaining[8];
        memcpy(chaining, Blake3Iv, sizeof chaining);
        for (uint32_t block = 0; block < blockCount; block++) {
            uint32_t blockFlags =
                flags | (block == 0 ? startFlag : 0) | (block + 1 == blockCount ? endFlag : 0);
            Blake3Compress(chaining, inputs[i] + 64 * block, 64, counter + i * counterStep,
                           blockFlags, chaining);
        }
        memcpy(out + 8 * i, chaining, sizeof chaining);
    }
}

struct KernelEntry {
    const char *Name;
    uint32_t Width;
    int (*Usable)();
    Blake3Kernel Run;
};

static int AlwaysUsable() {
    return 1;
}

static const KernelEntry Kernels[] = {
    {"portable", 1, AlwaysUsable, Blake3Portable},
    {"sse41-4", 4, Sse41Usable, Blake3Sse41},
    {"avx2-8", 8, Avx2Usable, Blake3Avx2},
    {"avx512-16", 16, Avx512VlUsable, Blake3Avx512},
};
static const int KernelCount = (int)(sizeof Kernels / sizeof Kernels[0]);

// Each entrant hashes the same 16 chunks, the race's bytes over again, so
// that every kernel fills its lanes. Which kernels may run is asked before
// the race: the processor's answer can take longer than a kernel's turn
// (under a hypervisor, which traps it).
static void KernelTurn(void *usable, int entrant, const uint8_t *blocks, uint32_t length) {
    const KernelEntry &kernel = Kernels[entrant];
    if (!static_cast<const bool *>(usable)[entrant])
        return; // out of the race
    const uint8_t *inputs[Blake3MostLanes];
    for (uint32_t i = 0; i < Blake3MostLanes; i++)
        inputs[i] = blocks + (i * Blake3ChunkSize) % (length - length % Blake3ChunkSize);
    uint32_t values[Blake3MostLanes * 8];
    for (uint32_t i = 0; i < Blake3MostLanes; i += kernel.Width)
        kernel.Run(inputs + i, kernel.Width, 16, i, 1, 0, Blake3ChunkStart, Blake3ChunkEnd,
                   values + 8 * i);
}

// The kernel in use and the one measured fastest are BLAKE3's record in the
// table's choices (choices.h), each an index into Kernels plus one.
static int Fastest() {
    DigestChoice *record = DigestChoiceOf(AlgorithmBlake3);
    int fastest = record->FastestLoop.load(std::memory_order_relaxed) - 1;
    if (fastest < 0) {
        bool usable[KernelCount];
        for (int i = 0; i < KernelCount; i++)
            usable[i] = Kernels[i].Usable() != 0;
        uint64_t best[KernelCount];
        RaceEntrants(KernelTurn, usable, KernelCount, best);
        fastest = 0;
        for (int i = 1; i < KernelCount; i++)
            if (usable[i] && best[i] < best[fastest])
                fastest = i;
        record->FastestLoop.store(fastest + 1, std::memory_order_relaxed);
    }
    return fastest;
}

static const KernelEntry &Chosen() {
    DigestChoice *record = DigestChoiceOf(AlgorithmBlake3);
    int chosen = record->Loop.load(std::memory_order_relaxed) - 1;
    if (chosen < 0) {
        chosen = Fastest();
        record->Loop.store(chosen + 1, std::memory_order_relaxed);
    }
    return Kernels[chosen];
}

int Blake3ForceKernel(const char *name) {
    int chosen = Fastest();
    if (name) {
        chosen = -1;
        for (int i = 0; i < KernelCount; i++)
            if (strcmp(name, Kernels[i].Name) == 0 && Kernels[i].Usable())
                chosen = i;
        if (chosen < 0)
            return 0;
    }
    DigestChoiceOf(AlgorithmBlake3)->Loop.store(chosen + 1, std::memory_order_relaxed);
    return 1;
}

const char *Blake3KernelName() {
    return Chosen().Name;
}

// The most chunks hashed as one batch, whose chaining values wait on the
// stack of the call (a worker thread's stack is small): the largest
// subtree built in lanes.
static const uint32_t BatchChunks = 64;

// The chaining values of count whole chunks, the first numbered counter,
// into values, the kernel's width at a time.
static void HashChunks(const KernelEntry &kernel, const uint8_t *bytes, uint32_t count,
                       uint64_t counter, uint32_t *values) {
    const uint8_t *inputs[BatchChunks];
    for (uint32_t i = 0; i < count; i++)
        inputs[i] = bytes + (size_t)i * Blake3ChunkSize;
    for (uint32_t i = 0; i < count; i += kernel.Width) {
        uint32_t n = count - i < kernel.Width ? count - i : kernel.Width;
        kernel.Run(inputs + i, n, Blake3ChunkSize / 64, counter + i, 1, 0, Blake3ChunkStart,
                   Blake3ChunkEnd, values + 8 * i);
    }
}

// Merges count chaining values, a power of two, level by level until
// remaining are left at the front of values: each level's parents side by
// side, each parent's block the two values next to each other. A lone
// parent goes to the portable loop, quicker than a kernel's call for one.
static void MergeLevels(const KernelEntry &kernel, uint32_t *values, uint32_t count,
                        uint32_t remaining) {
    for (; count > remaining; count /= 2) {
        const uint8_t *inputs[BatchChunks / 2];
        uint32_t parents = count / 2;
        for (uint32_t i = 0; i < parents; i++)
            inputs[i] = reinterpret_cast<const uint8_t *>(values + 16 * i);
        Blake3Kernel run = parents == 1 ? Blake3Portable : kernel.Run;
        for (uint32_t i = 0; i < parents; i += kernel.Width) {
            uint32_t n = parents - i < kernel.Width ? parents - i : kernel.Width;
            run(inputs + i, n, 1, 0, 0, Blake3Parent, 0, 0, values + 8 * i);
        }
    }
}

static int BitCount(uint64_t x) {
    int count = 0;
    for (; x; x &= x - 1)
        count++;
    return count;
}

static void ParentValue(const uint32_t *left, const uint32_t *right, uint32_t flags,
                        uint32_t *out) {
    uint8_t block[64];
    memcpy(block, left, 32);
    memcpy(block + 32, right, 32);
    Blake3Compress(Blake3Iv, block, 64, 0, Blake3Parent | flags, out);
}

// Merges the stack's equal neighbours until it holds one value per set bit
// of count. Only done once more chunks are known to follow, since the last
// two values left unmerged may yet be the root's children.
static void MergeStack(Blake3State *state, uint64_t count) {
    while ((int)state->StackLength > BitCount(count)) {
        uint32_t *left = state->Stack[state->StackLength - 2];
        ParentValue(left, state->Stack[state->StackLength - 1], 0, left);
        state->StackLength--;
    }
}

// Pushes the value of a complete subtree of chunks chunks that starts at
// the state's chunk count: what came before it is merged now.
static void PushSubtree(Blake3State *state, const uint32_t *value, uint64_t chunks) {
    MergeStack(state, state->ChunkCount);
    memcpy(state->Stack[state->StackLength++], value, 32);
    state->ChunkCount += chunks;
}

// Hashes count whole chunks, numbered on from the state's chunk count, of a
// message longer than one chunk, a batch at a time: the batches after the
// first start at multiples of a batch, and each is pushed as the largest
// subtrees its chunk numbers allow, each as its two halves, which may yet
// be the root's children.
static void HashWholeChunks(Blake3State *state, const uint8_t *bytes, uint64_t count) {
    const KernelEntry &kernel = Chosen();
    uint32_t values[BatchChunks * 8];
    while (count > 0) {
        uint32_t toBoundary = BatchChunks - (uint32_t)(state->ChunkCount % BatchChunks);
        uint32_t batch = count < toBoundary ? (uint32_t)count : toBoundary;
        HashChunks(kernel, bytes, batch, state->ChunkCount, values);
        for (uint32_t done = 0; done < batch;) {
            uint32_t size = BatchChunks;
            while (size > batch - done || (state->ChunkCount & (size - 1)) != 0)
                size /= 2;
            uint32_t *subtree = values + 8 * done;
            if (size == 1) {
                PushSubtree(state, subtree, 1);
            } else {
                MergeLevels(kernel, subtree, size, 2);
                PushSubtree(state, subtree, size / 2);
                PushSubtree(state, subtree + 8, size / 2);
            }
            done += size;
        }
        bytes += (size_t)batch * Blake3ChunkSize;
        count -= batch;
    }
}

void Blake3Start(Blake3State *state) {
    state->ChunkCount = 0;
    state->StackLength = 0;
    state->BufferedLength = 0;
}

void Blake3Add(Blake3State *state, const void *bytes, uint32_t length) {
    const uint8_t *in = static_cast<const uint8_t *>(bytes);
    const uint32_t capacity = (uint32_t)sizeof state->Buffer;
    // Small pieces gather until they fill every lane.
    if (state->BufferedLength > 0 || length < capacity) {
        uint32_t room = capacity - state->BufferedLength;
        uint32_t taken = length < room ? length : room;
        memcpy(state->Buffer + state->BufferedLength, in, taken);
        state->BufferedLength += taken;
        in += taken;
        length -= taken;
        if (state->BufferedLength < capacity)
            return;
        HashWholeChunks(state, state->Buffer, Blake3MostLanes);
        state->BufferedLength = 0;
    }
    // Whole chunks of a piece that fills the lanes are hashed where they
    // lie, and what is left of a chunk waits.
    uint32_t chunks = length >= capacity ? length / Blake3ChunkSize : 0;
    HashWholeChunks(state, in, chunks);
    in += chunks * Blake3ChunkSize;
    length -= chunks * Blake3ChunkSize;
    memcpy(state->Buffer, in, length);
    state->BufferedLength = length;
}

// The last chunk, length bytes (none for the empty message), its chaining
// value into out, with the root flag when it is the whole message.
static void LastChunk(const uint8_t *bytes, uint32_t length, uint64_t counter, uint32_t rootFlag,
                      uint32_t *out) {
    uint32_t blocks = length == 0 ? 1 : (length + 63) / 64;
    uint32_t chaining[8];
    memcpy(chaining, Blake3Iv, sizeof chaining);
    for (uint32_t block = 0; block + 1 < blocks; block++)
        Blake3Compress(chaining, bytes + 64 * block, 64, counter, block == 0 ? Blake3ChunkStart : 0,
                       chaining);
    uint8_t last[64] = {0};
    uint32_t lastLength = length - 64 * (blocks - 1);
    memcpy(last, bytes + 64 * (blocks - 1), lastLength);
    uint32_t flags = Blake3ChunkEnd | rootFlag | (blocks == 1 ? Blake3ChunkStart : 0);
    Blake3Compress(chaining, last, lastLength, counter, flags, out);
}

void Blake3End(Blake3State *state, uint8_t *out) {
    // What waits is the last chunk, whole or not, and the whole chunks
    // before it; or nothing, the message having ended with a batch.
    uint32_t length = state->BufferedLength;
    uint32_t value[8];
    uint32_t depth = state->StackLength;
    if (length > 0 || depth == 0) {
        uint32_t before = length == 0 ? 0 : (length - 1) / Blake3ChunkSize;
        HashWholeChunks(state, state->Buffer, before);
        MergeStack(state, state->ChunkCount);
        depth = state->StackLength;
        LastChunk(state->Buffer + before * Blake3ChunkSize, length - before * Blake3ChunkSize,
                  state->ChunkCount, depth == 0 ? Blake3Root : 0, value);
    } else {
        memcpy(value, state->Stack[--depth], sizeof value);
    }
    // The stack's subtrees, right to left, take the last value in as their
    // right neighbour; the leftmost's parent is the root.
    while (depth > 0) {
        depth--;
        ParentValue(state->Stack[depth], value, depth == 0 ? Blake3Root : 0, value);
    }
    for (int i = 0; i < 8; i++) {
        out[4 * i] = (uint8_t)value[i];
        out[4 * i + 1] = (uint8_t)(value[i] >> 8);
        out[4 * i + 2] = (uint8_t)(value[i] >> 16);
        out[4 * i + 3] = (uint8_t)(value[i] >> 24);
    }
}

// A subtree of one batch or fewer, apart from the recursion above it, whose
// frames stay small.
static __attribute__((noinline)) void SmallSubtree(const uint8_t *bytes, uint32_t chunks,
                                                   uint64_t firstChunk, uint32_t *value) {
    const KernelEntry &kernel = Chosen();
    uint32_t values[BatchChunks * 8];
    HashChunks(kernel, bytes, chunks, firstChunk, values);
    MergeLevels(kernel, values, chunks, 1);
    memcpy(value, values, 32);
}

void Blake3Subtree(const uint8_t *bytes, uint64_t length, uint64_t firstChunk, uint32_t *value) {
    uint64_t chunks = length / Blake3ChunkSize;
    if (chunks <= BatchChunks) {
        SmallSubtree(bytes, (uint32_t)chunks, firstChunk, value);
        return;
    }
    uint32_t left[8], right[8];
    Blake3Subtree(bytes, length / 2, firstChunk, left);
    Blake3Subtree(bytes + length / 2, length / 2, firstChunk + chunks / 2, right);
    ParentValue(left, right, 0, value);
}

int Blake3AddSubtree(Blake3State *state, const uint32_t *value, uint64_t length) {
    uint64_t chunks = length / Blake3ChunkSize;
    uint32_t waiting = state->BufferedLength / Blake3ChunkSize;
    bool powerOfTwo = chunks > 0 && (chunks & (chunks - 1)) == 0;
    if (!powerOfTwo || length % Blake3ChunkSize != 0 ||
        state->BufferedLength % Blake3ChunkSize != 0 ||
        ((state->ChunkCount + waiting) & (chunks - 1)) != 0)
        return 0;
    // The chunks waiting have the subtree after them now.
    HashWholeChunks(state, state->Buffer, waiting);
    state->BufferedLength = 0;
    PushSubtree(state, value, chunks);
    return 1;
}
