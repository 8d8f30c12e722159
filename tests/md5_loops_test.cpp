// The choice of MD5's compression loop and lane kernel, and of SHA-512's
// lane kernel, against what the processor and the system say of AVX2 and
// AVX-512, learnt apart from the module's own checks: a loop or kernel is
// taken exactly where it can run,
// and the measured choice comes back after one was forced. Which is faster
// is the race's to say.
#include <gtest/gtest.h>

#include <string>

#include "digest/lanes.h"
#include "digest/md5.h"
#include "tests/processor.h"

TEST(Md5LoopChoice, Avx512LoopRunsExactlyWhereTheProcessorReportsIt) {
    bool reported = ProcessorReportsAvx512Vl();
    DigestForceLoop(nullptr);
    std::string chosen = DigestPathName();
    EXPECT_TRUE(chosen == "scalar" || (reported && chosen == "avx512vl")) << chosen;
    EXPECT_EQ(DigestForceLoop("scalar"), 1);
    EXPECT_STREQ(DigestPathName(), "scalar");
    EXPECT_EQ(DigestForceLoop("avx512vl"), reported ? 1 : 0);
    EXPECT_STREQ(DigestPathName(), reported ? "avx512vl" : "scalar");
    EXPECT_EQ(DigestForceLoop("sse2"), 0) << "no such loop";
    EXPECT_EQ(DigestForceLoop(nullptr), 1);
    EXPECT_EQ(DigestPathName(), chosen);
}

TEST(Md5LoopChoice, LaneKernelsRunExactlyWhereTheProcessorReportsThem) {
    const bool avx2 = ProcessorReportsAvx2(), avx512 = ProcessorReportsAvx512Vl();
    const struct {
        DigestAlgorithm algorithm;
        const char *name;
        uint32_t lanes;
        bool runs;
    } kernels[] = {
        {AlgorithmMd5, "single", 1, true},
        {AlgorithmMd5, "sse2-4", 4, true},
        {AlgorithmMd5, "sse2-8", 8, true},
        {AlgorithmMd5, "avx2-8", 8, avx2},
        {AlgorithmMd5, "avx2-16", 16, avx2},
        {AlgorithmMd5, "avx512-16", 16, avx512},
        {AlgorithmMd5, "avx512-32", 32, avx512},
        {AlgorithmSha512, "single", 1, true},
        {AlgorithmSha512, "sse2-2", 2, true},
        {AlgorithmSha512, "avx2-4", 4, avx2},
        {AlgorithmSha512, "avx512-8", 8, ProcessorReportsAvx512Bw()},
    };
    for (DigestAlgorithm algorithm : {AlgorithmMd5, AlgorithmSha512}) {
        const char *tag = AlgorithmTag(algorithm);
        LanesForceKernel(algorithm, nullptr);
        std::string chosen = LanesKernelName(algorithm);
        uint32_t chosenLanes = LaneCount(algorithm);
        bool chosenRuns = false;
        for (const auto &kernel : kernels) {
            if (kernel.algorithm != algorithm)
                continue;
            chosenRuns |= kernel.runs && chosen == kernel.name && chosenLanes == kernel.lanes;
            EXPECT_EQ(LanesForceKernel(algorithm, kernel.name), kernel.runs ? 1 : 0)
                << tag << " " << kernel.name;
            if (kernel.runs) {
                EXPECT_STREQ(LanesKernelName(algorithm), kernel.name) << tag;
                EXPECT_EQ(LaneCount(algorithm), kernel.lanes) << tag << " " << kernel.name;
            }
        }
        EXPECT_TRUE(chosenRuns) << tag << ": " << chosen << " with " << chosenLanes << " lanes";
        EXPECT_EQ(LanesForceKernel(algorithm, "shani-2"), 0) << "no such kernel for " << tag;
        EXPECT_EQ(LanesForceKernel(algorithm, nullptr), 1);
        EXPECT_EQ(LanesKernelName(algorithm), chosen) << tag;
    }
}
