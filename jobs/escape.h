// Escape during a job: the console is polled on a clock, and the answer
// goes to AbortRequested (host/host.h), which every loop of a job heeds.
#pragma once

#include <stdint.h>

// Begins a job's watch for Escape: the next poll comes at once, before the
// job's first read; later polls come whenever PollInterval (escape.cpp) has
// passed since the last, across files.
void StartEscapeWatch();

// Polls the console for Escape if a poll is due and stores the answer in
// AbortRequested; returns AbortRequested. Every loop of a job that may run
// long calls it, so that Escape reaches every wait; a job stops at the
// first answer of 1, so no later poll undoes it.
int PollEscapeWhenDue();
// The same with the clock already read.
int PollEscapeAt(uint64_t now);
