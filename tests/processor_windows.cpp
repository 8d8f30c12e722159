// Windows tells of no AVX-512VL (and Wine of no AVX-512 at all), so the
// processor is asked directly: the feature bits of cpuid leaf 7 and, in
// XCR0, the register state the system saves. The SHA extensions need no
// state of their own.
#include "tests/processor.h"

#include <intrin.h>

// Feature bits of cpuid leaf 7 (ebx), 0 where the processor has no leaf 7.
static unsigned Leaf7Features() {
    int registers[4]; // eax, ebx, ecx, edx
    __cpuid(registers, 0);
    if (registers[0] < 7)
        return 0;
    __cpuidex(registers, 7, 0);
    return (unsigned)registers[1];
}

// The system saves every register state of the mask (XCR0's bits).
static bool SystemSaves(unsigned states) {
    int registers[4];
    __cpuid(registers, 1);
    const int osxsave = 1 << 27;
    if (!(registers[2] & osxsave))
        return false;
    unsigned low, high;
    __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return (low & states) == states;
}

bool ProcessorReportsAvx512Vl() {
    // xmm, ymm, opmask, upper halves of zmm0-15, zmm16-31
    const unsigned avx512State = (1u << 1) | (1u << 2) | (1u << 5) | (1u << 6) | (1u << 7);
    const unsigned avx512f = 1u << 16, avx512vl = 1u << 31;
    return (Leaf7Features() & (avx512f | avx512vl)) == (avx512f | avx512vl) &&
           SystemSaves(avx512State);
}

bool ProcessorReportsAvx2() {
    const unsigned avxState = (1u << 1) | (1u << 2); // xmm, ymm
    const unsigned avx2 = 1u << 5;
    return (Leaf7Features() & avx2) && SystemSaves(avxState);
}

bool ProcessorReportsShaNi() {
    const unsigned sha = 1u << 29;
    return (Leaf7Features() & sha) != 0;
}

bool ProcessorReportsBmi2() {
    const unsigned bmi1 = 1u << 3, bmi2 = 1u << 8;
    return (Leaf7Features() & (bmi1 | bmi2)) == (bmi1 | bmi2);
}

bool ProcessorReportsSsse3() {
    int registers[4];
    __cpuid(registers, 1);
    const int ssse3 = 1 << 9;
    return (registers[2] & ssse3) != 0;
}

bool ProcessorReportsAvx512Bw() {
    const unsigned avx512bw = 1u << 30;
    return ProcessorReportsAvx512Vl() && (Leaf7Features() & avx512bw) != 0;
}
