// Contest timing and figure reports shared by the benchmark programs.
#include "bench/bench.h"

#include "digest/md5.h"

#include <cpuid.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

void ProcessorName(char *name, size_t size) {
    unsigned words[12] = {};
    unsigned highest = __get_cpuid_max(0x80000000, nullptr);
    if (highest >= 0x80000004)
        for (unsigned leaf = 0; leaf < 3; leaf++)
            __get_cpuid(0x80000002 + leaf, &words[4 * leaf], &words[4 * leaf + 1],
                        &words[4 * leaf + 2], &words[4 * leaf + 3]);
    char brand[sizeof words + 1] = {};
    memcpy(brand, words, sizeof words);
    const char *start = brand;
    while (*start == ' ')
        start++;
    // Virtual machines often give only the maker's line; the family and
    // model tell the generation.
    unsigned eax = 0, ebx, ecx, edx;
    __get_cpuid(1, &eax, &ebx, &ecx, &edx);
    unsigned family = (eax >> 8) & 15, model = (eax >> 4) & 15;
    if (family == 15)
        family += (eax >> 20) & 255;
    if (family >= 6)
        model += ((eax >> 16) & 15) << 4;
    snprintf(name, size, "%s, family %u model %u", *start ? start : "unknown processor", family,
             model);
}

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

uint32_t FillPseudoRandom(uint8_t *bytes, size_t count, uint32_t seed) {
    for (size_t i = 0; i < count; i++) {
        seed = seed * 1664525 + 1013904223;
        bytes[i] = (uint8_t)(seed >> 24);
    }
    return seed;
}

void DigestTextOf(const void *bytes, uint32_t length, char *text) {
    DigestState state;
    DigestStart(&state);
    DigestAdd(&state, bytes, length);
    uint8_t digest[DigestSize];
    DigestEnd(&state, digest);
    DigestToHex(digest, text, DigestTextSize);
}
