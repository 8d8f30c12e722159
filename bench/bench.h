// Shared pieces of the benchmark programs: the contest that times the module
// and its peer in alternating turns, and the one-line report of a figure.
#pragma once

#include <stdint.h>

// One side of a contest. A round is Begin, Pieces calls of Run, then End;
// the pieces of all sides are interleaved, so that a noisy moment on this
// shared machine hits every side alike. Best is the shortest piece, in
// seconds. Begin and End may be null.
struct Contender {
    const char *Name;
    void (*Begin)(void *context);
    void (*Run)(void *context);
    void (*End)(void *context);
    void *Context;
    double Best;
};

// Rounds per contest: SUMBREL_BENCH_ROUNDS, or the given default.
int BenchRounds(int fallback);

// The order of the sides turns by one at every piece, so that none always
// follows the same neighbour.
void RunContest(Contender *contenders, int count, int rounds, int pieces);

double Megabytes(double bytes, double seconds);

// name, module-over-peer ratio, both throughputs (bytes per piece over the
// best piece) and what was measured.
void ReportFigure(const char *name, double pieceBytes, const Contender &module,
                  const Contender &peer, const char *what);
// A figure whose peer runs elsewhere (the script that runs this program
// makes the ratio): name and the module's throughput only.
void ReportThroughput(const char *name, double pieceBytes, const Contender &module,
                      const char *what);
