// What the processor and the system report of themselves, read apart from
// the module's own checks (tests/processor_*.cpp), for tests of its choices.
#pragma once

// The processor has AVX512F and AVX512VL and the system keeps their state
// across task switches.
bool ProcessorReportsAvx512Vl();

// The processor has AVX2 and the system keeps the ymm registers' state.
bool ProcessorReportsAvx2();

// The processor has the SHA extensions (with SSSE3 and SSE4.1, which every
// processor that has them has too).
bool ProcessorReportsShaNi();

// The processor has BMI1 and BMI2 (andn, rorx).
bool ProcessorReportsBmi2();

// The processor has SSSE3.
bool ProcessorReportsSsse3();

// ProcessorReportsAvx512Vl, and the processor has AVX512BW too.
bool ProcessorReportsAvx512Bw();
