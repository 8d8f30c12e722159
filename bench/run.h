// Running a peer program (md5sum, the development host) from a benchmark.
#pragma once

#include <string>

// A data set kept between runs in directory is whole once its marker is
// written, last; one cut short is made again.
bool DataSetComplete(const std::string &directory);
bool MarkDataSetComplete(const std::string &directory);

// Runs argv[0] (searched on PATH) with the given arguments, standard input
// from /dev/null and standard output collected into output (if not null);
// returns its exit status, or -1 if it could not be run or did not exit.
// seconds receives the processor time the program used, user and system.
int RunProgram(const char *const *argv, std::string *output, double *seconds);

// The same with standard input from the descriptor input (-1: /dev/null),
// and wallSeconds (if not null) receiving the time from start to exit.
int RunProgramOn(const char *const *argv, int input, std::string *output, double *seconds,
                 double *wallSeconds);

// Seconds on a monotonic wall clock, for the figures timed from start to end.
double WallSeconds();
