// The choice of MD5's compression loop and lane kernel against what the
// processor and the system say of AVX2 and AVX-512VL, learnt apart from the
// module's own checks: a loop or kernel is taken exactly where it can run,
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
    const struct {
        const char *name;
        uint32_t lanes;
        bool runs;
    } kernels[] = {
        {"single", 1, true},
        {"sse2-4", 4, true},
        {"sse2-8", 8, true},
        {"avx2-8", 8, ProcessorReportsAvx2()},
        {"avx2-16", 16, ProcessorReportsAvx2()},
        {"avx512-16", 16, ProcessorReportsAvx512Vl()},
        {"avx512-32", 32, ProcessorReportsAvx512Vl()},
    };
    LanesForceKernel(AlgorithmMd5, nullptr);
    std::string chosen = LanesKernelName(AlgorithmMd5);
    uint32_t chosenLanes = LaneCount(AlgorithmMd5);
    bool chosenRuns = false;
    for (const auto &kernel : kernels) {
        chosenRuns |= kernel.runs && chosen == kernel.name && chosenLanes == kernel.lanes;
        EXPECT_EQ(LanesForceKernel(AlgorithmMd5, kernel.name), kernel.runs ? 1 : 0) << kernel.name;
        if (kernel.runs) {
            EXPECT_STREQ(LanesKernelName(AlgorithmMd5), kernel.name);
            EXPECT_EQ(LaneCount(AlgorithmMd5), kernel.lanes) << kernel.name;
        }
    }
    EXPECT_TRUE(chosenRuns) << chosen << " with " << chosenLanes << " lanes";
    EXPECT_EQ(LanesForceKernel(AlgorithmMd5, "shani-2"), 0) << "no such kernel for MD5";
    EXPECT_EQ(LanesForceKernel(AlgorithmMd5, nullptr), 1);
    EXPECT_EQ(LanesKernelName(AlgorithmMd5), chosen);
}
