// The engine of many files at once against the one-file digest: every
// file's result, in the order given, whatever the lanes, the files in
// flight or the sizes that make lanes end at different times; no thread or
// handle of its own left behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "digest/lanes.h"
#include "host/host.h"
#include "jobs/digest_engine.h"
#include "jobs/escape.h"
#include "tests/fake_host.h"
#include "tests/kernels_covered.h"
#include "tests/test_files.h"

#ifdef __linux__
// The process's threads and open descriptors, to see the engine leave none.
static size_t EntriesIn(const char *folder) {
    size_t count = 0;
    for (const auto &entry : std::filesystem::directory_iterator(folder)) {
        (void)entry;
        count++;
    }
    return count;
}
static size_t ThreadsAndHandles() {
    return EntriesIn("/proc/self/task") * 1000 + EntriesIn("/proc/self/fd");
}
#else
#include <windows.h>
static size_t ThreadsAndHandles() {
    DWORD handles = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles);
    return handles;
}
#endif

// The scratch folder's disk, and on Linux memory, which never seeks.
#ifdef __linux__
static const char *const Disks[] = {".", "/dev/shm"};
#else
static const char *const Disks[] = {"."};
#endif

// A name given to the engine: a file, or a name passed unread.
struct Given {
    std::string name;
    bool passed;
};

// Each file's result as a line: its digest, "passed", or why it failed.
static std::string ResultLine(const EngineResult &result) {
    if (result.passed)
        return "passed " + std::string(result.name);
    if (!result.read)
        return "problem " + std::to_string(result.problem);
    return result.text;
}

// The folder's disk decides how the engine reads: file after file where it
// seeks slowly, many at once elsewhere.
static std::vector<std::string> ThroughEngine(const std::vector<Given> &files,
                                              DigestAlgorithm algorithm, uint32_t filesAtOnce,
                                              size_t stopAfter = SIZE_MAX,
                                              const char *folder = ".") {
    std::unique_ptr<DigestEngine> engine(new DigestEngine);
    StartDigestEngine(engine.get(), folder, filesAtOnce);
    std::vector<std::string> lines;
    size_t next = 0;
    while (lines.size() < stopAfter) {
        for (; next < files.size() && EngineHasRoom(engine.get()); next++)
            if (files[next].passed)
                GiveUnread(engine.get(), (int64_t)next, files[next].name.c_str(), NameInCodePage,
                           ProblemNotReached);
            else
                GiveFile(engine.get(), (int64_t)next, files[next].name.c_str(), NameInCodePage,
                         algorithm);
        EngineResult result;
        if (!NextResult(engine.get(), &result, nullptr))
            break;
        EXPECT_EQ(result.tag, (int64_t)lines.size()) << "handed back out of order";
        lines.push_back(ResultLine(result));
    }
    StopDigestEngine(engine.get());
    return lines;
}

static std::vector<std::string> OneByOne(const std::vector<Given> &files,
                                         DigestAlgorithm algorithm) {
    std::vector<std::string> lines;
    for (const Given &file : files) {
        char text[LongestDigestTextSize];
        FileProblem problem = ProblemUntold;
        if (file.passed)
            lines.push_back("passed " + file.name);
        else if (FileDigest(file.name.c_str(), NameInCodePage, algorithm, text, sizeof text,
                            &problem, nullptr))
            lines.push_back(text);
        else
            lines.push_back("problem " + std::to_string(problem));
    }
    return lines;
}

// The first entry where two runs differ, for a readable failure.
static std::string FirstDifference(const std::vector<std::string> &got,
                                   const std::vector<std::string> &want) {
    for (size_t i = 0; i < got.size() && i < want.size(); i++)
        if (got[i] != want[i])
            return "entry " + std::to_string(i) + ": " + got[i] + " instead of " + want[i];
    return got.size() == want.size() ? "none" : "lengths " + std::to_string(got.size());
}

static std::string Pattern(size_t length, uint32_t seed) {
    std::string bytes(length, 0);
    for (size_t i = 0; i < length; i++)
        bytes[i] = (char)((i * 131 + seed * 7919) >> 3);
    return bytes;
}

class DigestEngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        StartFakeHost();
        ForgetConsoleInput();
        StartEscapeWatch();
        AbortRequested = 0;
        EnterScratchDirectory();
    }
    void TearDown() override {
        for (DigestAlgorithm algorithm : {AlgorithmMd5, AlgorithmSha1, AlgorithmSha256})
            LanesForceKernel(algorithm, nullptr);
        LeaveScratchDirectory();
    }
};

// Sizes around a block, its padding, and the engine's 64 KiB chunks, twice
// over in a different order, among names that cannot be read and names
// passed unread: every kernel this processor runs, each number of files in
// flight, one file at a time included.
TEST_F(DigestEngineTest, SameResultsAsOneFileAtATime) {
    const size_t sizes[] = {0,   1,    55,    56,    63,    64,     65,     119,     120,
                            128, 4096, 65535, 65536, 65537, 131072, 393233, 1 << 20, 3 * 65536 + 17,
                            200, 5};
    std::vector<Given> files;
    uint32_t seed = 0;
    for (int round = 0; round < 2; round++)
        for (size_t i = 0; i < sizeof sizes / sizeof sizes[0]; i++) {
            size_t size = sizes[round ? sizeof sizes / sizeof sizes[0] - 1 - i : i];
            std::string name = "f" + std::to_string(seed) + ".bin";
            WriteBytes(name, Pattern(size, seed++));
            files.push_back({name, false});
        }
    std::filesystem::create_directory("folder");
    files.insert(files.begin() + 3, {"missing.bin", false});
    files.insert(files.begin() + 9, {"folder", false});
    files.insert(files.begin() + 12, {"\\\\127.0.0.1\\share\\x", true});
    files.push_back({"missing-last.bin", false});

    const char *const kernels[] = {nullptr,   "single",    "sse2-4",    "sse2-8", "avx2-8",
                                   "avx2-16", "avx512-16", "avx512-32", "shani-2"};
    size_t before = ThreadsAndHandles();
    for (DigestAlgorithm algorithm : {AlgorithmMd5, AlgorithmSha1, AlgorithmSha256}) {
        std::vector<std::string> expected = OneByOne(files, algorithm);
        for (const char *kernel : kernels) {
            if (!LaneKernelRuns(algorithm, kernel))
                continue;
            for (uint32_t atOnce : {1u, 2u, 3u, 64u})
                for (const char *disk : Disks) {
                    std::vector<std::string> got =
                        ThroughEngine(files, algorithm, atOnce, SIZE_MAX, disk);
                    EXPECT_TRUE(got == expected)
                        << AlgorithmTag(algorithm) << ", " << (kernel ? kernel : "measured") << ", "
                        << atOnce << " at once, disk of " << disk << "; "
                        << FirstDifference(got, expected);
                }
        }
    }
    EXPECT_EQ(ThreadsAndHandles(), before);
}

// One large file among a thousand tiny ones: the tiny ones behind it wait
// with their digests done, and it goes on alone.
TEST_F(DigestEngineTest, LargeFileAmongTinyOnes) {
    std::vector<Given> files;
    for (uint32_t i = 0; i < 1000; i++) {
        std::string name = "t" + std::to_string(i);
        if (i == 10) {
            WriteBytes(name, Pattern(1000, i));
            std::filesystem::resize_file(name, 64 << 20);
        } else {
            WriteBytes(name, Pattern(i % 130, i));
        }
        files.push_back({name, false});
    }
    for (DigestAlgorithm algorithm : {AlgorithmMd5, AlgorithmSha256}) {
        std::vector<std::string> got = ThroughEngine(files, algorithm, 0);
        std::vector<std::string> expected = OneByOne(files, algorithm);
        EXPECT_TRUE(got == expected)
            << AlgorithmTag(algorithm) << "; " << FirstDifference(got, expected);
    }
}

// A run stopped with files in flight, read or not, leaves nothing running.
TEST_F(DigestEngineTest, StoppedRunLeavesNoThreadOrHandle) {
    std::vector<Given> files;
    for (uint32_t i = 0; i < 200; i++) {
        std::string name = "s" + std::to_string(i);
        WriteBytes(name, Pattern(i * 1000, i));
        files.push_back({name, false});
    }
    size_t before = ThreadsAndHandles();
    for (size_t stopAfter : {0, 1, 7, 150})
        EXPECT_EQ(ThroughEngine(files, AlgorithmMd5, 0, stopAfter).size(), stopAfter);
    EXPECT_EQ(ThreadsAndHandles(), before);
}

#ifdef __linux__
#include <random>

#include "tests/openssl_peer.h"

// Random sizes, mostly small, some past a chunk, against OpenSSL.
TEST_F(DigestEngineTest, RandomSizesAgainstOpenSsl) {
    std::mt19937 random(20261208);
    std::vector<Given> files;
    std::vector<std::string> contents;
    for (int i = 0; i < 300; i++) {
        std::string bytes(random() % (random() % 8 ? 5000 : 400000), 0);
        for (char &byte : bytes)
            byte = (char)random();
        std::string name = "r" + std::to_string(i);
        WriteBytes(name, bytes);
        files.push_back({name, false});
        contents.push_back(bytes);
    }
    for (DigestAlgorithm algorithm : {AlgorithmMd5, AlgorithmSha1, AlgorithmSha256}) {
        std::vector<std::string> expected;
        for (const std::string &bytes : contents)
            expected.push_back(OpenSslText(algorithm, bytes));
        std::vector<std::string> got = ThroughEngine(files, algorithm, 0);
        EXPECT_TRUE(got == expected)
            << AlgorithmTag(algorithm) << "; " << FirstDifference(got, expected);
    }
}
#endif
