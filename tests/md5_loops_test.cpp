// The choice of MD5's compression loop against what the processor and the
// system say of AVX-512VL, learnt apart from the module's own check: the AVX-512VL
// loop is taken exactly where it can run, and the measured choice comes back
// after a loop was forced. Which loop is faster is the race's to say.
#include <gtest/gtest.h>

#include <string>

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
