// A choice among several compression loops of one algorithm, for the
// digests whose loops take more than the 32-bit chaining words of
// loop_race.h's LoopChoice (SHA-512's 64-bit words, BLAKE2b's counter and
// final flag). The loops are the algorithm's own array; this record holds
// which of them runs, chosen by the same race (RaceEntrants).
#pragma once

#include <stdint.h>

#include "digest/loop_race.h"

struct LoopEntrant {
    const char *Name;
    int (*Usable)(); // null: runs everywhere
};

// Entrant 0 runs everywhere and is the one the others are measured against.
// Which entrant runs is the algorithm's record in the table's choices
// (choices.h), an index plus one, 0 until the first digest races them. Turn
// runs entrant i over whole blocks into a scratch of 32 zeroed 64-bit words.
struct LoopSet {
    DigestAlgorithm Algorithm;
    const LoopEntrant *Entrants;
    int Count;
    RaceTurn Turn;
};

// The index of the loop to run, raced at the first call.
int ChosenEntrant(const LoopSet *set);

// Tests and benchmarks switch loops by name, never while a digest runs; null
// is the fastest again. Returns 0, changing nothing, for a loop this
// processor cannot run or that does not exist.
int ForceEntrant(const LoopSet *set, const char *name);

// The name of the loop in use.
const char *EntrantName(const LoopSet *set);
