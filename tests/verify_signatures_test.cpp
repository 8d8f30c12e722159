// Signature verification against a recording host, for what the development
// host cannot show: a panel listing one name twice. The rest is checked end
// to end (tests/e2e/module_test.py).
#include <gtest/gtest.h>

#include "jobs/jobs.h"
#include "tests/fake_host.h"
#include "tests/test_files.h"

struct VerifySignaturesTest : testing::Test {
    void SetUp() override {
        StartFakeHost();
        EnterScratchDirectory();
        AbortRequested = 0;
        WriteBytes("a.txt", "alpha\n");
        Host.items = {MakeItem("..", true), MakeItem("a.txt"), MakeItem("a.txt")};
    }
    void TearDown() override {
        LeaveScratchDirectory();
    }
};

static const std::string Wrong = DigestOf("something else");

// Two items of one name (a host may list them): the first one wins.
TEST_F(VerifySignaturesTest, FirstItemOfTheNameIsMarked) {
    WriteBytes("sigfile.md5", Wrong + " *a.txt\n");
    VerifySignatures("sigfile.md5");
    EXPECT_EQ(Host.items[1].Flags & ItemSelectedFlag, ItemSelectedFlag);
    EXPECT_EQ(Host.items[2].Flags & ItemSelectedFlag, 0u);
}
