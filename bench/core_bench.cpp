// Core benchmark: DigestAdd over a 1 GiB message held in memory against the
// platform's peer over the same bytes, for each compression loop the
// processor can run. The message is a 64 MiB buffer fed 16 times, so that
// the 32-bit build holds it easily.
#include <stdio.h>
#include <string.h>

#include <vector>

#include "bench/bench.h"
#include "bench/core_peer.h"
#include "digest/md5.h"

static const size_t BufferSize = 64u << 20;
static const int Passes = 16;

struct Job {
    const uint8_t *Buffer;
    const char *Loop; // null: the one the module chose
    uint8_t Digest[DigestSize];
};

static double RunModule(void *context) {
    Job *job = static_cast<Job *>(context);
    DigestForceLoop(job->Loop);
    double start = ThreadSeconds();
    DigestState state;
    DigestStart(&state);
    for (int i = 0; i < Passes; i++)
        DigestAdd(&state, job->Buffer, (uint32_t)BufferSize);
    DigestEnd(&state, job->Digest);
    return ThreadSeconds() - start;
}

static double RunPeer(void *context) {
    Job *job = static_cast<Job *>(context);
    double start = ThreadSeconds();
    void *peer = CorePeerStart();
    for (int i = 0; i < Passes; i++)
        CorePeerAdd(peer, job->Buffer, BufferSize);
    CorePeerEnd(peer, job->Digest);
    return ThreadSeconds() - start;
}

int main(int argc, char **argv) {
    const char *name = argc > 1 ? argv[1] : "core";
    std::vector<uint8_t> buffer(BufferSize);
    FillPseudoRandom(buffer.data(), buffer.size(), 0x9e3779b9);

    // The first digest races the loops and keeps the faster; where there
    // are two, the other is raced against the peer as well.
    DigestForceLoop(nullptr);
    char processor[96];
    ProcessorName(processor, sizeof processor);
    printf("%-18s %s (%s loop chosen by racing the loops it can run)\n",
           strcmp(name, "core") == 0 ? "processor" : "processor-win32", processor,
           DigestPathName());
    static char fastestName[64], otherName[64];
    snprintf(fastestName, sizeof fastestName, "DigestAdd, %s loop", DigestPathName());
    const char *other = strcmp(DigestPathName(), "scalar") == 0 ? "avx512vl" : "scalar";
    snprintf(otherName, sizeof otherName, "DigestAdd, %s loop", other);
    bool twoLoops = DigestForceLoop(other) != 0;
    DigestForceLoop(nullptr);

    Job fastest = {buffer.data(), nullptr, {}};
    Job second = {buffer.data(), other, {}};
    Job peer = {buffer.data(), nullptr, {}};
    Contender contenders[3];
    int count = 0;
    contenders[count++] = {fastestName, RunModule, &fastest, 0};
    if (twoLoops)
        contenders[count++] = {otherName, RunModule, &second, 0};
    if (CorePeerName)
        contenders[count++] = {CorePeerName, RunPeer, &peer, 0};
    RunContest(contenders, count, BenchRounds(5));

    // A figure only counts if every side computed the same digest.
    if (twoLoops && memcmp(fastest.Digest, second.Digest, DigestSize) != 0) {
        fprintf(stderr, "core bench: the two loops disagree\n");
        return 1;
    }
    if (CorePeerName && memcmp(fastest.Digest, peer.Digest, DigestSize) != 0) {
        fprintf(stderr, "core bench: the module and %s disagree\n", CorePeerName);
        return 1;
    }

    const double bytes = (double)BufferSize * Passes;
    const char *what = "1 GiB message in memory";
    char otherFigure[64];
    snprintf(otherFigure, sizeof otherFigure, "%s-%s", name, other);
    const Contender &peerSide = contenders[count - 1];
    if (CorePeerName) {
        ReportFigure(name, bytes, contenders[0], peerSide, what);
        if (twoLoops)
            ReportFigure(otherFigure, bytes, contenders[1], peerSide, what);
    } else {
        ReportThroughput(name, bytes, contenders[0], what);
        if (twoLoops)
            ReportThroughput(otherFigure, bytes, contenders[1], what);
    }
    return 0;
}
