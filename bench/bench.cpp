// Contest timing and figure reports shared by the benchmark programs.
#include "bench/bench.h"

#include <stdio.h>
#include <stdlib.h>

#include <chrono>

int BenchRounds(int fallback) {
    const char *text = getenv("SUMBREL_BENCH_ROUNDS");
    int rounds = text ? atoi(text) : 0;
    return rounds > 0 ? rounds : fallback;
}

static double TimePiece(const Contender &contender) {
    auto start = std::chrono::steady_clock::now();
    contender.Run(contender.Context);
    std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
    return spent.count();
}

void RunContest(Contender *contenders, int count, int rounds, int pieces) {
    for (int i = 0; i < count; i++)
        contenders[i].Best = 1e30;
    for (int round = 0; round < rounds; round++) {
        for (int i = 0; i < count; i++)
            if (contenders[i].Begin)
                contenders[i].Begin(contenders[i].Context);
        for (int piece = 0; piece < pieces; piece++) {
            for (int k = 0; k < count; k++) {
                Contender &contender = contenders[(round + piece + k) % count];
                double seconds = TimePiece(contender);
                if (seconds < contender.Best)
                    contender.Best = seconds;
            }
        }
        for (int i = 0; i < count; i++)
            if (contenders[i].End)
                contenders[i].End(contenders[i].Context);
    }
}

double Megabytes(double bytes, double seconds) {
    return bytes / seconds / 1e6;
}

void ReportFigure(const char *name, double pieceBytes, const Contender &module,
                  const Contender &peer, const char *what) {
    double ours = Megabytes(pieceBytes, module.Best);
    double theirs = Megabytes(pieceBytes, peer.Best);
    printf("%-18s %6.3f  module %8.1f MB/s  peer %8.1f MB/s  (%s vs %s; %s)\n", name, ours / theirs,
           ours, theirs, module.Name, peer.Name, what);
    fflush(stdout);
}

void ReportThroughput(const char *name, double pieceBytes, const Contender &module,
                      const char *what) {
    printf("%-18s module %8.1f MB/s  (%s; %s)\n", name, Megabytes(pieceBytes, module.Best),
           module.Name, what);
    fflush(stdout);
}
