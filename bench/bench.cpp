// Contest timing and figure reports shared by the benchmark programs.
#include "bench/bench.h"

#include <stdio.h>
#include <stdlib.h>

int BenchRounds(int fallback) {
    const char *text = getenv("SUMBREL_BENCH_ROUNDS");
    int rounds = text ? atoi(text) : 0;
    return rounds > 0 ? rounds : fallback;
}

void RunContest(Contender *contenders, int count, int rounds) {
    for (int i = 0; i < count; i++)
        contenders[i].Best = 1e30;
    for (int round = 0; round < rounds; round++) {
        for (int k = 0; k < count; k++) {
            Contender &contender = contenders[(round + k) % count];
            double seconds = contender.Run(contender.Context);
            if (seconds < contender.Best)
                contender.Best = seconds;
        }
    }
}

double Megabytes(double bytes, double seconds) {
    return bytes / seconds / 1e6;
}

void ReportFigure(const char *name, double bytes, const Contender &module, const Contender &peer,
                  const char *what) {
    double ours = Megabytes(bytes, module.Best);
    double theirs = Megabytes(bytes, peer.Best);
    printf("%-18s %6.3f  module %8.1f MB/s  peer %8.1f MB/s  (%s vs %s; %s)\n", name, ours / theirs,
           ours, theirs, module.Name, peer.Name, what);
    fflush(stdout);
}

void ReportThroughput(const char *name, double bytes, const Contender &module, const char *what) {
    printf("%-18s module %8.1f MB/s  (%s; %s)\n", name, Megabytes(bytes, module.Best), module.Name,
           what);
    fflush(stdout);
}
