// The core figures of BLAKE3 and CRC-32, whose measure is their own tools
// (b3sum, rhash) rather than OpenSSL: the module digests the core message
// in memory, each kernel it can run, and the tool the same bytes from a file
// in the page cache, every side timed by the processor time it used.
#include "bench/core_tool_bench.h"

#include <stdio.h>
#include <string.h>

#include "bench/bench.h"
#include "bench/tool_peer.h"
#include "digest/blake3.h"
#include "digest/crc32.h"
#include "digest/md5.h"

struct ToolDigest {
    const char *Algorithm; // as the bench's command line names it
    const char *Call;
    const char *Kernels[4];
    int (*Force)(const char *name);
    const char *(*Name)();
    // Each peer program, without the file's path; the first is the figure's.
    const char *Peers[2][6];
    const char *PeerFigures[2]; // the figure name's ending for each peer
};

static const ToolDigest Digests[] = {
    {"blake3",
     "Blake3Add",
     {"portable", "sse41-4", "avx2-8", "avx512-16"},
     Blake3ForceKernel,
     Blake3KernelName,
     {{"b3sum", "--no-names", nullptr}, {"b3sum", "--no-names", "--num-threads", "1", nullptr}},
     {"", "-one-thread"}},
    {"crc32",
     "Crc32Add",
     {"table", "pclmul", "vpclmul", nullptr},
     Crc32ForceLoop,
     Crc32LoopName,
     {{"rhash", "--crc32", nullptr}, {nullptr}},
     {"", nullptr}},
};

struct ModuleJob {
    const ToolDigest *Digest;
    const char *Kernel;
    const uint8_t *Buffer;
    size_t Size;
    int Passes;
    char Text[65];
};

static double RunModule(void *context) {
    ModuleJob *job = static_cast<ModuleJob *>(context);
    job->Digest->Force(job->Kernel);
    double start = ThreadSeconds();
    uint8_t digest[Blake3DigestSize];
    uint32_t digestSize = Blake3DigestSize;
    if (job->Digest == &Digests[0]) {
        static Blake3State state;
        Blake3Start(&state);
        for (int i = 0; i < job->Passes; i++)
            Blake3Add(&state, job->Buffer, (uint32_t)job->Size);
        Blake3End(&state, digest);
    } else {
        Crc32State state;
        Crc32Start(&state);
        for (int i = 0; i < job->Passes; i++)
            Crc32Add(&state, job->Buffer, (uint32_t)job->Size);
        Crc32End(&state, digest);
        digestSize = Crc32DigestSize;
    }
    double seconds = ThreadSeconds() - start;
    BytesToHex(digest, digestSize, job->Text, sizeof job->Text);
    return seconds;
}

struct PeerJob {
    const char *const *Argv;
    char Text[65];
    bool Failed;
};

static double RunPeer(void *context) {
    PeerJob *job = static_cast<PeerJob *>(context);
    double seconds = ToolPeerRun(job->Argv, job->Text, sizeof job->Text);
    job->Failed = job->Failed || seconds < 0;
    return seconds < 0 ? 1e9 : seconds;
}

int ToolDigestFigures(const char *name, const char *algorithm, const uint8_t *buffer, size_t size,
                      int passes, const char *directory) {
    const ToolDigest *digest = strcmp(algorithm, "blake3") == 0 ? &Digests[0] : &Digests[1];
    const char *suffix = strstr(name, "-win32");
    bool win32 = suffix && suffix[6] == '\0';
    digest->Force(nullptr);
    const char *chosen = digest->Name();
    char processor[96];
    ProcessorName(processor, sizeof processor);
    printf("%-18s %s (%s kernel chosen by racing the kernels it can run)\n",
           win32 ? (digest == &Digests[0] ? "processor-b3-win32" : "processor-crc32-win32")
                 : (digest == &Digests[0] ? "processor-b3" : "processor-crc32"),
           processor, chosen);

    // The chosen kernel first, then every other this processor runs.
    static ModuleJob modules[4];
    static char moduleNames[4][64];
    Contender contenders[6];
    int count = 0;
    const char *kernels[4] = {chosen};
    int kernelCount = 1;
    for (const char *kernel : digest->Kernels)
        if (kernel && strcmp(kernel, chosen) != 0 && digest->Force(kernel))
            kernels[kernelCount++] = kernel;
    digest->Force(nullptr);
    for (int k = 0; k < kernelCount; k++) {
        modules[k] = {digest, kernels[k], buffer, size, passes, {}};
        snprintf(moduleNames[k], sizeof moduleNames[k], "%s, %s kernel", digest->Call, kernels[k]);
        contenders[count++] = {moduleNames[k], RunModule, &modules[k], 0};
    }
    static PeerJob peers[2];
    static char peerNames[2][64];
    int peerCount = 0;
    if (directory && ToolPeerPrepare(directory, buffer, size, passes)) {
        for (int p = 0; p < 2 && digest->Peers[p][0]; p++, peerCount++) {
            peers[p] = {digest->Peers[p], {}, false};
            snprintf(peerNames[p], sizeof peerNames[p], "%s", digest->Peers[p][0]);
            for (int a = 1; digest->Peers[p][a]; a++)
                if (digest->Peers[p][a][0] == '-' && strcmp(digest->Peers[p][a], "--no-names"))
                    snprintf(peerNames[p] + strlen(peerNames[p]),
                             sizeof peerNames[p] - strlen(peerNames[p]), " %s%s%s",
                             digest->Peers[p][a], digest->Peers[p][a + 1] ? " " : "",
                             digest->Peers[p][a + 1] && digest->Peers[p][a + 1][0] != '-'
                                 ? digest->Peers[p][a + 1]
                                 : "");
            contenders[count++] = {peerNames[p], RunPeer, &peers[p], 0};
        }
    }
    RunContest(contenders, count, BenchRounds(5));
    digest->Force(nullptr);

    // A figure only counts if every side computed the same digest.
    for (int k = 1; k < kernelCount; k++)
        if (strcmp(modules[k].Text, modules[0].Text) != 0) {
            fprintf(stderr, "core bench: the %s and %s kernels disagree\n", kernels[0], kernels[k]);
            return 1;
        }
    for (int p = 0; p < peerCount; p++)
        if (peers[p].Failed || strcmp(peers[p].Text, modules[0].Text) != 0) {
            fprintf(stderr, "core bench: the module (%s) and %s (%s) disagree\n", modules[0].Text,
                    peerNames[p], peers[p].Failed ? "failed" : peers[p].Text);
            return 1;
        }

    const double bytes = (double)size * passes;
    const char *what = peerCount ? "1 GiB message in memory, the peer's in a file in the page cache"
                                 : "1 GiB message in memory";
    char figure[64];
    for (int k = 0; k < kernelCount; k++) {
        snprintf(figure, sizeof figure, k == 0 ? "%s" : "%s-%s", name, kernels[k]);
        if (peerCount == 0) {
            ReportThroughput(figure, bytes, contenders[k], what);
            continue;
        }
        ReportFigure(figure, bytes, contenders[k], contenders[kernelCount], what);
        if (k == 0)
            for (int p = 1; p < peerCount; p++) {
                snprintf(figure, sizeof figure, "%s%s", name, digest->PeerFigures[p]);
                ReportFigure(figure, bytes, contenders[0], contenders[kernelCount + p], what);
            }
    }
    return 0;
}
