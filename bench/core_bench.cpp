// Core benchmark: DigestAdd over a 1 GiB message held in memory against the
// platform's peer over the same bytes, for each compression loop the
// processor can run. The message is a 64 MiB buffer fed 16 times (so that
// the 32-bit build holds it easily); each 64 MiB piece is timed on its own.
#include <stdio.h>
#include <string.h>

#include <vector>

#include "bench/bench.h"
#include "bench/core_peer.h"
#include "digest/md5.h"

static const size_t PieceSize = 64u << 20;
static const int Pieces = 16;

struct Job {
    const uint8_t *Buffer;
    int Scalar;
    DigestState State;
    void *Peer;
    uint8_t Digest[DigestSize];
};

static void BeginModule(void *context) {
    Job *job = static_cast<Job *>(context);
    DigestStart(&job->State);
}

static void RunModule(void *context) {
    Job *job = static_cast<Job *>(context);
    DigestForceScalar(job->Scalar);
    DigestAdd(&job->State, job->Buffer, (uint32_t)PieceSize);
}

static void EndModule(void *context) {
    Job *job = static_cast<Job *>(context);
    DigestEnd(&job->State, job->Digest);
}

static void BeginPeer(void *context) {
    Job *job = static_cast<Job *>(context);
    job->Peer = CorePeerStart();
}

static void RunPeer(void *context) {
    Job *job = static_cast<Job *>(context);
    CorePeerAdd(job->Peer, job->Buffer, PieceSize);
}

static void EndPeer(void *context) {
    Job *job = static_cast<Job *>(context);
    CorePeerEnd(job->Peer, job->Digest);
}

int main(int argc, char **argv) {
    const char *name = argc > 1 ? argv[1] : "core";
    std::vector<uint8_t> buffer(PieceSize);
    uint32_t seed = 0x9e3779b9;
    for (uint8_t &byte : buffer) {
        seed = seed * 1664525 + 1013904223;
        byte = (uint8_t)(seed >> 24);
    }

    DigestForceScalar(0);
    static char fastestName[64];
    snprintf(fastestName, sizeof fastestName, "DigestAdd, %s loop", DigestPathName());
    bool twoLoops = strcmp(DigestPathName(), "scalar") != 0;

    Job fastest = {buffer.data(), 0, {}, nullptr, {}};
    Job scalar = {buffer.data(), 1, {}, nullptr, {}};
    Job peer = {buffer.data(), 0, {}, nullptr, {}};
    Contender contenders[3];
    int count = 0;
    contenders[count++] = {fastestName, BeginModule, RunModule, EndModule, &fastest, 0};
    if (twoLoops)
        contenders[count++] = {
            "DigestAdd, scalar loop", BeginModule, RunModule, EndModule, &scalar, 0};
    if (CorePeerName)
        contenders[count++] = {CorePeerName, BeginPeer, RunPeer, EndPeer, &peer, 0};
    RunContest(contenders, count, BenchRounds(5), Pieces);

    // A figure only counts if every side computed the same digest.
    if (twoLoops && memcmp(fastest.Digest, scalar.Digest, DigestSize) != 0) {
        fprintf(stderr, "core bench: the two loops disagree\n");
        return 1;
    }
    if (CorePeerName && memcmp(fastest.Digest, peer.Digest, DigestSize) != 0) {
        fprintf(stderr, "core bench: the module and %s disagree\n", CorePeerName);
        return 1;
    }

    const char *what = "1 GiB message, best 64 MiB piece";
    char scalarFigure[64];
    snprintf(scalarFigure, sizeof scalarFigure, "%s-scalar", name);
    const Contender &peerSide = contenders[count - 1];
    if (CorePeerName) {
        ReportFigure(name, PieceSize, contenders[0], peerSide, what);
        if (twoLoops)
            ReportFigure(scalarFigure, PieceSize, contenders[1], peerSide, what);
    } else {
        ReportThroughput(name, PieceSize, contenders[0], what);
        if (twoLoops)
            ReportThroughput(scalarFigure, PieceSize, contenders[1], what);
    }
    return 0;
}
