// Core benchmark: the digest of a 1 GiB message held in memory, by MD5,
// SHA-1, SHA-256, SHA-512 or BLAKE2b, against the platform's peer over the
// same bytes, for each compression loop the processor can run. The message is a 64 MiB
// buffer fed 16 times, so that the 32-bit build holds it easily. The lanes
// figures digest the same bytes as many messages side by side, for each
// lane kernel the processor can run, against the peer digesting them one
// stream at a time.
#include <stdio.h>
#include <string.h>

#include <vector>

#include "bench/bench.h"
#include "bench/core_peer.h"
#include "bench/core_tool_bench.h"
#include "digest/algorithm.h"
#include "digest/blake2b.h"
#include "digest/lanes.h"
#include "digest/sha512.h"

static const size_t BufferSize = 64u << 20;
static const int Passes = 16;

// The most loops an algorithm has.
static const int MostLoops = 6;

// What differs between the algorithms beyond their rows in the table of
// digests: the benchmark's own names for each and the names of its loops.
struct Algorithm {
    DigestAlgorithm Kind;
    const char *Argument; // as the command line names it
    const char *Label;    // for the processor line; MD5's line keeps its old text
    const char *Call;     // the module's routine that is timed
    const char *Loops[MostLoops];
};

static const Algorithm Algorithms[] = {
    {AlgorithmMd5, "md5", "", "DigestAdd", {"scalar", "avx512vl"}},
    {AlgorithmSha1, "sha1", "SHA-1 ", "ShaAdd", {"scalar", "shani"}},
    {AlgorithmSha256, "sha256", "SHA-256 ", "ShaAdd", {"scalar", "shani"}},
    {AlgorithmSha512,
     "sha512",
     "SHA-512 ",
     "Sha512Add",
     {"scalar", "bmi2", "avx512vl", "avx512vl-ring", "bmi2-asm"}},
    {AlgorithmBlake2b,
     "b2",
     "BLAKE2b ",
     "Blake2bAdd",
     {"scalar", "ssse3", "avx2", "avx512vl", "avx2-acd", "avx512vl-acd"}},
};

static const Algorithm *Chosen;

static int ForceLoop(const char *loop) {
    return DigestRow(Chosen->Kind)->ForceLoop(loop);
}

static const char *PathName() {
    return DigestRow(Chosen->Kind)->LoopName();
}

static uint32_t DigestBytes() {
    return DigestTextLength(Chosen->Kind) / 2;
}

struct Job {
    const uint8_t *Buffer;
    const char *Loop; // null: the one the module chose
    uint8_t Digest[LongestDigestBytes];
};

// Each digest's single-stream code, as the table reaches it: one indirect
// call per 64 MiB costs nothing measurable.
static double RunModule(void *context) {
    Job *job = static_cast<Job *>(context);
    ForceLoop(job->Loop);
    const DigestRecord *row = DigestRow(Chosen->Kind);
    double start = ThreadSeconds();
    AlgorithmState state;
    AlgorithmStart(&state, Chosen->Kind); // the length asked for, then the row's start
    for (int i = 0; i < Passes; i++)
        row->Add(&state, job->Buffer, (uint32_t)BufferSize);
    row->End(&state, job->Digest);
    return ThreadSeconds() - start;
}

static double RunPeer(void *context) {
    Job *job = static_cast<Job *>(context);
    double start = ThreadSeconds();
    void *peer = CorePeerStart(Chosen->Kind);
    for (int i = 0; i < Passes; i++)
        CorePeerAdd(peer, job->Buffer, BufferSize);
    CorePeerEnd(peer, job->Digest);
    return ThreadSeconds() - start;
}

// The lanes figures: MostLanes messages digested side by side in calls of
// 32 KiB a message, as a digest of many files would read them, each message
// the same 32 KiB of the buffer fed 1,024 times: the bytes of a call stay in
// the processor's cache, as those of a read just copied out of the system's
// file cache would, so the figures measure the digest, not the memory. The
// peer takes the same pieces in the same order, each into its own message's
// state, one stream at a time.
static const size_t LaneSlice = 32 << 10;
static const int LanePasses = (int)(BufferSize * Passes / (MostLanes * LaneSlice));

struct LanesJob {
    const uint8_t *Buffer;
    const char *Kernel; // null: the one the module chose
    char Digests[MostLanes][LongestDigestTextSize];
};

static double RunLanes(void *context) {
    LanesJob *job = static_cast<LanesJob *>(context);
    DigestAlgorithm kind = Chosen->Kind;
    LanesForceKernel(kind, job->Kernel);
    double start = ThreadSeconds();
    AlgorithmState states[MostLanes];
    AlgorithmState *pointers[MostLanes];
    const uint8_t *blocks[MostLanes];
    for (uint32_t i = 0; i < MostLanes; i++) {
        AlgorithmStart(&states[i], kind);
        pointers[i] = &states[i];
    }
    for (uint32_t i = 0; i < MostLanes; i++)
        blocks[i] = job->Buffer + i * LaneSlice;
    for (int pass = 0; pass < LanePasses; pass++)
        DigestLanes(kind, pointers, blocks, MostLanes, (uint32_t)LaneSlice / LaneBlockSize(kind));
    if (!EndsInLanes(kind)) {
        for (uint32_t i = 0; i < MostLanes; i++)
            AlgorithmEnd(&states[i], job->Digests[i], LongestDigestTextSize);
        return ThreadSeconds() - start;
    }
    static uint8_t ends[MostLanes][256];
    uint32_t endBlocks = 0;
    for (uint32_t i = 0; i < MostLanes; i++) {
        endBlocks = LaneEndBlocks(&states[i], nullptr, 0, ends[i]);
        blocks[i] = ends[i];
    }
    DigestLanes(kind, pointers, blocks, MostLanes, endBlocks);
    for (uint32_t i = 0; i < MostLanes; i++)
        LaneDigestText(&states[i], job->Digests[i], LongestDigestTextSize);
    return ThreadSeconds() - start;
}

static double RunLanesPeer(void *context) {
    LanesJob *job = static_cast<LanesJob *>(context);
    double start = ThreadSeconds();
    void *peers[MostLanes];
    for (uint32_t i = 0; i < MostLanes; i++)
        peers[i] = CorePeerStart(Chosen->Kind);
    for (int pass = 0; pass < LanePasses; pass++)
        for (uint32_t i = 0; i < MostLanes; i++)
            CorePeerAdd(peers[i], job->Buffer + i * LaneSlice, LaneSlice);
    for (uint32_t i = 0; i < MostLanes; i++) {
        uint8_t digest[LongestDigestBytes];
        CorePeerEnd(peers[i], digest);
        BytesToHex(digest, DigestBytes(), job->Digests[i], LongestDigestTextSize);
    }
    return ThreadSeconds() - start;
}

static const char *const LaneKernels[] = {"single",  "sse2-4",    "sse2-8",    "avx2-8",
                                          "avx2-16", "avx512-16", "avx512-32", "shani-2",
                                          "sse2-2",  "avx2-4",    "avx512-8"};
static const int LaneKernelCount = sizeof LaneKernels / sizeof LaneKernels[0];

// The kernel the module chose as the figure NAME, then each other one it can
// run as NAME-KERNEL, all against the same peer run.
static int LanesFigures(const char *name, const uint8_t *buffer, const char *processorFigure,
                        const char *processor) {
    DigestAlgorithm kind = Chosen->Kind;
    LanesForceKernel(kind, nullptr);
    const char *chosen = LanesKernelName(kind);
    printf("%-18s %s (%s%s kernel chosen by racing the kernels it can run: %u messages at "
           "once)\n",
           processorFigure, processor, Chosen->Label, chosen, LaneCount(kind));
    const char *kernels[LaneKernelCount] = {chosen};
    int count = 1;
    for (const char *kernel : LaneKernels)
        if (strcmp(kernel, chosen) != 0 && LanesForceKernel(kind, kernel))
            kernels[count++] = kernel;
    LanesForceKernel(kind, nullptr);

    static LanesJob jobs[LaneKernelCount + 1];
    static char names[LaneKernelCount][64], figures[LaneKernelCount][64];
    Contender contenders[LaneKernelCount + 1];
    for (int k = 0; k < count; k++) {
        jobs[k] = {buffer, kernels[k], {}};
        snprintf(names[k], sizeof names[k], "DigestLanes, %s kernel", kernels[k]);
        snprintf(figures[k], sizeof figures[k], "%s-%s", name, kernels[k]);
        contenders[k] = {names[k], RunLanes, &jobs[k], 0};
    }
    const char *peerName = CorePeerName(kind);
    jobs[count] = {buffer, nullptr, {}};
    contenders[count] = {peerName, RunLanesPeer, &jobs[count], 0};
    int sides = peerName ? count + 1 : count;
    RunContest(contenders, sides, BenchRounds(5));
    LanesForceKernel(kind, nullptr);

    // A figure only counts if every side computed the same digests.
    for (int k = 1; k < sides; k++) {
        if (memcmp(jobs[k].Digests, jobs[0].Digests, sizeof jobs[0].Digests) != 0) {
            fprintf(stderr, "core bench: %s and %s disagree\n", contenders[k].Name,
                    contenders[0].Name);
            return 1;
        }
    }
    const double bytes = (double)BufferSize * Passes;
    char what[96];
    snprintf(what, sizeof what, "1 GiB as %u messages of 32 MiB, 32 KiB a call from the cache",
             MostLanes);
    for (int k = 0; k < count; k++) {
        const char *figure = k == 0 ? name : figures[k];
        if (peerName)
            ReportFigure(figure, bytes, contenders[k], contenders[count], what);
        else
            ReportThroughput(figure, bytes, contenders[k], what);
    }
    return 0;
}

// sumbrel-core-bench [FIGURE [md5|sha1|sha256|blake3|crc32 [DIRECTORY]]]:
// FIGURE names the lines printed, "core" by default; a name that holds
// "lanes" asks for the lanes figures; a name ending in "-win32" marks the
// 32-bit build's processor line. BLAKE3 and CRC-32 race their own tools on
// a file made in DIRECTORY (bench/core_tool_bench.h).
int main(int argc, char **argv) {
    const char *name = argc > 1 ? argv[1] : "core";
    const char *algorithmName = argc > 2 ? argv[2] : "md5";
    if (strcmp(algorithmName, "blake3") == 0 || strcmp(algorithmName, "crc32") == 0) {
        std::vector<uint8_t> message(BufferSize);
        FillPseudoRandom(message.data(), message.size(), 0x9e3779b9);
        return ToolDigestFigures(name, algorithmName, message.data(), BufferSize, Passes,
                                 argc > 3 ? argv[3] : nullptr);
    }
    for (const Algorithm &algorithm : Algorithms)
        if (strcmp(algorithmName, algorithm.Argument) == 0)
            Chosen = &algorithm;
    if (!Chosen) {
        fprintf(stderr, "core bench: no digest named %s\n", algorithmName);
        return 2;
    }
    const char *peerName = CorePeerName(Chosen->Kind);
    std::vector<uint8_t> buffer(BufferSize);
    FillPseudoRandom(buffer.data(), buffer.size(), 0x9e3779b9);

    // The first digest races the loops and keeps the faster; where there
    // are two, the other is raced against the peer as well.
    ForceLoop(nullptr);
    char processor[96];
    ProcessorName(processor, sizeof processor);
    const char *suffix = strstr(name, "-win32");
    bool win32 = suffix && suffix[6] == '\0';
    bool lanes = strstr(name, "lanes") != nullptr;
    char processorFigure[64];
    snprintf(processorFigure, sizeof processorFigure, "processor%s%s%s%s", lanes ? "-lanes" : "",
             Chosen->Kind == AlgorithmMd5 ? "" : "-",
             Chosen->Kind == AlgorithmMd5 ? "" : algorithmName, win32 ? "-win32" : "");
    if (lanes && !HasLaneKernels(Chosen->Kind)) {
        fprintf(stderr, "core bench: no lanes for %s yet\n", algorithmName);
        return 2;
    }
    if (lanes)
        return LanesFigures(name, buffer.data(), processorFigure, processor);
    printf("%-18s %s (%s%s loop chosen by racing the loops it can run)\n", processorFigure,
           processor, Chosen->Label, PathName());
    // The chosen loop, then each other one this processor runs, then the peer.
    static char names[MostLoops][64];
    static Job jobs[MostLoops + 1];
    const char *loops[MostLoops] = {PathName()};
    int loopCount = 1;
    for (const char *loop : Chosen->Loops)
        if (loop && strcmp(loop, loops[0]) != 0 && ForceLoop(loop))
            loops[loopCount++] = loop;
    ForceLoop(nullptr);
    Contender contenders[MostLoops + 1];
    int count = 0;
    for (int i = 0; i < loopCount; i++) {
        snprintf(names[i], sizeof names[i], "%s, %s loop", Chosen->Call, loops[i]);
        jobs[i] = {buffer.data(), i == 0 ? nullptr : loops[i], {}};
        contenders[count++] = {names[i], RunModule, &jobs[i], 0};
    }
    jobs[loopCount] = {buffer.data(), nullptr, {}};
    if (peerName)
        contenders[count++] = {peerName, RunPeer, &jobs[loopCount], 0};
    RunContest(contenders, count, BenchRounds(5));

    // A figure only counts if every side computed the same digest.
    for (int i = 1; i < count; i++) {
        if (memcmp(jobs[i].Digest, jobs[0].Digest, DigestBytes()) != 0) {
            fprintf(stderr, "core bench: %s and %s disagree\n", contenders[i].Name,
                    contenders[0].Name);
            return 1;
        }
    }

    const double bytes = (double)BufferSize * Passes;
    const char *what = "1 GiB message in memory";
    const Contender &peerSide = contenders[count - 1];
    for (int i = 0; i < loopCount; i++) {
        char figure[64];
        snprintf(figure, sizeof figure, "%s-%s", name, loops[i]);
        if (peerName)
            ReportFigure(i == 0 ? name : figure, bytes, contenders[i], peerSide, what);
        else
            ReportThroughput(i == 0 ? name : figure, bytes, contenders[i], what);
    }
    return 0;
}
