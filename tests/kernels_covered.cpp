#include "tests/kernels_covered.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <set>
#include <string>

#include "digest/lanes.h"

namespace {

// The lane kernels of each algorithm, by the names digest/lanes.h gives.
const char *const Md5Kernels[] = {"single",  "sse2-4",    "sse2-8",   "avx2-8",
                                  "avx2-16", "avx512-16", "avx512-32"};
const char *const ShaKernels[] = {"single", "shani-2"};
const char *const Blake2bKernels[] = {"single", "avx2-4", "avx512-8"};
const char *const Sha512Kernels[] = {"single", "sse2-2", "avx2-4", "avx512-8"};

std::set<std::string> Covered, Skipped;

// Marks the running test skipped with the kernel's name; GTEST_SKIP returns
// from here only, so the test goes on, and a failure elsewhere in it still
// fails it.
void ReportSkipped(const std::string &name) {
    GTEST_SKIP() << name << ": this processor lacks it (the test went on with the others)";
}

bool Recorded(const std::string &name, bool runs) {
    (runs ? Covered : Skipped).insert(name);
    if (!runs)
        ReportSkipped(name);
    return runs;
}

template <size_t N> bool Among(const char *const (&names)[N], const char *name) {
    for (const char *known : names)
        if (strcmp(known, name) == 0)
            return true;
    return false;
}

struct CoverageLines : testing::EmptyTestEventListener {
    static std::string Joined(const std::set<std::string> &names) {
        std::string line;
        for (const std::string &name : names)
            line += (line.empty() ? "" : ", ") + name;
        return line.empty() ? "none" : line;
    }
    void OnTestProgramEnd(const testing::UnitTest &) override {
        if (Covered.empty() && Skipped.empty())
            return;
        printf("Kernels covered: %s\nKernels skipped: %s\n", Joined(Covered).c_str(),
               Joined(Skipped).c_str());
        fflush(stdout);
    }
};

// Linked into the test program beside gtest_main, which parses the command
// line after this has put the lines among the listeners.
const bool Installed = [] {
    testing::UnitTest::GetInstance()->listeners().Append(new CoverageLines);
    return true;
}();

} // namespace

bool LaneKernelRuns(DigestAlgorithm algorithm, const char *kernel) {
    if (!kernel)
        return LanesForceKernel(algorithm, nullptr) == 1;
    // A digest without lane kernels of its own runs "single" only.
    bool ours = !HasLaneKernels(algorithm)      ? strcmp(kernel, "single") == 0
                : algorithm == AlgorithmMd5     ? Among(Md5Kernels, kernel)
                : algorithm == AlgorithmSha512  ? Among(Sha512Kernels, kernel)
                : algorithm == AlgorithmBlake2b ? Among(Blake2bKernels, kernel)
                                                : Among(ShaKernels, kernel);
    if (!ours)
        return false;
    return Recorded(std::string(AlgorithmTag(algorithm)) + " lanes " + kernel,
                    LanesForceKernel(algorithm, kernel) == 1);
}

bool LoopRuns(const char *algorithms, const char *loop, bool runs) {
    return Recorded(std::string(algorithms) + " loop " + loop, runs);
}
