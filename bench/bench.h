// Shared pieces of the benchmark programs: the contest that times the module
// and its peer in alternating turns, and the one-line report of a figure.
//
// Every side is timed by the processor time it used, user and system, not
// by the wall clock: on these shared machines a program also waits for a
// processor, for as long as the neighbours please, and that is not its own
// speed. The figures over many files are the exception: a job with several
// files in flight works on more than one processor and waits for reads, so
// they are timed by the wall clock (WallSeconds, bench/run.h).
#pragma once

#include <stddef.h>
#include <stdint.h>

// Processor time used by the calling thread so far, in seconds
// (bench/clock_*.cpp).
double ThreadSeconds();

// One side of a contest. Run does the measured job once and returns the
// time it took, by the contest's clock; Best is the shortest of its runs.
struct Contender {
    const char *Name;
    double (*Run)(void *context);
    void *Context;
    double Best;
};

// The processor's name as it gives it (its brand string) with its family and
// model numbers, for the report.
void ProcessorName(char *name, size_t size);

// Rounds per contest: SUMBREL_BENCH_ROUNDS, or the given default.
int BenchRounds(int fallback);

// Runs every side once a round, the order turning by one each round so that
// none always follows the same neighbour.
void RunContest(Contender *contenders, int count, int rounds);

double Megabytes(double bytes, double seconds);

// Fills the bytes from a linear congruential sequence started at seed and
// returns the seed that carries on, so a long stretch can be made in pieces.
uint32_t FillPseudoRandom(uint8_t *bytes, size_t count, uint32_t seed);

// The 32-digit digest text of the bytes, as the module writes it.
void DigestTextOf(const void *bytes, uint32_t length, char *text);

// name, module-over-peer ratio, both throughputs (bytes of a run over the
// best run) and what was measured.
void ReportFigure(const char *name, double bytes, const Contender &module, const Contender &peer,
                  const char *what);
// A figure whose peer runs elsewhere (the script that runs this program
// makes the ratio): name and the module's throughput only.
void ReportThroughput(const char *name, double bytes, const Contender &module, const char *what);
