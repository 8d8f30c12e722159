// The engine of many files at once against the one-file digest: every
// file's result, in the order given, whatever the lanes, the files in
// flight or the sizes that make lanes end at different times; no thread or
// handle of its own left behind.
#include <gtest/gtest.h>
#include <stdio.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "digest/lanes.h"
#include "host/host.h"
#include "jobs/digest_engine.h"
#include "jobs/escape.h"
#include "platform/faults.h"
#include "platform/system_calls.h"
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

// What a run through the engine showed besides its results.
struct RunSeen {
    uint32_t filesAtOnce = 0;
    uint32_t leftRunningAtStart = 0; // readers of an earlier run still running
    uint32_t chunksHeld = 0;         // after the last result
    uint64_t stopMicroseconds = 0;   // StopDigestEngine's time
};

// Escape, as the job's poll finds it, once the test has run this long: a
// run that cannot end fails its test instead of hanging it, and every run
// after it ends at once.
static const uint64_t TestLimit = 120 * 1000 * 1000;
static uint64_t TestDeadline;

// What a whole test may take: the watchdog's limit (SUMBREL_TEST_SECONDS,
// longer under valgrind) less ten seconds, so that Escape ends a slow run
// and its results are compared before the watchdog ends the program.
static uint64_t WholeTestMicroseconds() {
    const char *text = getenv("SUMBREL_TEST_SECONDS");
    long seconds = text ? strtol(text, nullptr, 10) : 0;
    if (seconds <= 0)
        seconds = 120;
    return (uint64_t)(seconds > 20 ? seconds - 10 : seconds) * 1000 * 1000;
}

static void PressEscapeWhenDue(void *context, const EngineWait *) {
    if (MonotonicMicroseconds() >= *static_cast<const uint64_t *>(context))
        AbortRequested = 1;
}

// The folder's disk decides how the engine reads: file after file where it
// seeks slowly, many at once elsewhere.
static std::vector<std::string> ThroughEngine(const std::vector<Given> &files,
                                              DigestAlgorithm algorithm, uint32_t filesAtOnce,
                                              size_t stopAfter = SIZE_MAX, const char *folder = ".",
                                              RunSeen *seen = nullptr,
                                              uint64_t escapeAfter = TestLimit) {
    RunSeen unseen;
    if (!seen)
        seen = &unseen;
    AbortRequested = 0;
    uint64_t escapeAt = std::min(MonotonicMicroseconds() + escapeAfter, TestDeadline);
    WaitReport watchdog = {PressEscapeWhenDue, &escapeAt};
    std::unique_ptr<DigestEngine> engine(new DigestEngine);
    StartDigestEngine(engine.get(), folder, filesAtOnce);
    seen->leftRunningAtStart = WorkersLeftRunning();
    seen->filesAtOnce = EngineFilesAtOnce(engine.get());
    std::vector<std::string> lines;
    size_t next = 0;
    while (lines.size() < stopAfter) {
        for (; next < files.size() && EngineHasRoom(engine.get()); next++)
            if (files[next].passed)
                GiveUnread(engine.get(), (int64_t)next, files[next].name.c_str(), NameInCodePage,
                           ProblemNotReached);
            else
                GiveFile(engine.get(), (int64_t)next, files[next].name.c_str(), NameInCodePage,
                         algorithm, DigestTextLength(algorithm));
        EngineResult result;
        if (!NextResult(engine.get(), &result, &watchdog))
            break;
        EXPECT_EQ(result.tag, (int64_t)lines.size()) << "handed back out of order";
        lines.push_back(ResultLine(result));
    }
    seen->chunksHeld = EngineChunksHeld(engine.get());
    uint64_t stopping = MonotonicMicroseconds();
    StopDigestEngine(engine.get());
    seen->stopMicroseconds = MonotonicMicroseconds() - stopping;
    AbortRequested = 0;
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
        else if (FileDigest(file.name.c_str(), NameInCodePage, algorithm,
                            DigestTextLength(algorithm), text, sizeof text, &problem, nullptr))
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
        TestDeadline = MonotonicMicroseconds() + WholeTestMicroseconds();
        EnterScratchDirectory();
    }
    void TearDown() override {
        ReleaseHungReads();
        for (int i = 0; i < 1000 && WorkersLeftRunning() > 0; i++)
            PauseMicroseconds(1000);
        RemoveFaults();
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

    const char *const kernels[] = {nullptr,   "single",  "sse2-4",    "sse2-8",
                                   "avx2-8",  "avx2-16", "avx512-16", "avx512-32",
                                   "shani-2", "sse2-2",  "avx2-4",    "avx512-8"};
    size_t before = ThreadsAndHandles();
    for (DigestAlgorithm algorithm : {AlgorithmMd5, AlgorithmSha1, AlgorithmSha256, AlgorithmSha512,
                                      AlgorithmBlake2b, AlgorithmBlake3, AlgorithmCrc32}) {
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
        LaneKernelRuns(algorithm, nullptr); // the measured kernel again for the tests after
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
    // Large ones, whose trees are being hashed apart when BLAKE3's run stops.
    for (uint32_t i = 0; i < 4; i++) {
        std::string name = "large" + std::to_string(i);
        WriteBytes(name, Pattern((4 << 20) + i * 1000, i));
        files.insert(files.begin() + 2 * i, {name, false});
    }
    size_t before = ThreadsAndHandles();
    for (DigestAlgorithm algorithm : {AlgorithmMd5, AlgorithmBlake3})
        for (size_t stopAfter : {0, 1, 7, 150})
            EXPECT_EQ(ThroughEngine(files, algorithm, 0, stopAfter).size(), stopAfter)
                << AlgorithmTag(algorithm);
    EXPECT_EQ(ThreadsAndHandles(), before);
}

// Runs of exactly one batch of files in flight, one more and one less, and
// twice as many: the slots are given again as they come free. The same
// about the files handed to the readers together, and about half the slots,
// where a run starts giving again; among them names passed unread, which
// are through as soon as given, and a file that cannot be opened.
TEST_F(DigestEngineTest, BatchBoundaries) {
    std::vector<Given> all;
    for (uint32_t i = 0; i < 2 * MostFilesInFlight + 1; i++) {
        std::string name = "b" + std::to_string(i);
        WriteBytes(name, Pattern(i % 7 == 3 ? 70000 + i : i * 13, i));
        all.push_back({name, false});
    }
    std::vector<Given> mixed = all;
    for (uint32_t i = 5; i < mixed.size(); i += 11)
        mixed[i] = {"passed-" + std::to_string(i), true};
    mixed[FilesGivenTogether] = {"missing", false};
    const uint32_t together = FilesGivenTogether, half = MostFilesInFlight / 2;
    for (const std::vector<Given> *set : {&all, &mixed})
        for (uint32_t count : {together - 1, together, together + 1, half - 1, half, half + 1}) {
            std::vector<Given> files(set->begin(), set->begin() + count);
            std::vector<std::string> got = ThroughEngine(files, AlgorithmMd5, 0);
            std::vector<std::string> expected = OneByOne(files, AlgorithmMd5);
            EXPECT_TRUE(got == expected) << count << " files; " << FirstDifference(got, expected);
        }
    for (uint32_t atOnce : {2u, 3u, FilesGivenTogether, MostFilesInFlight})
        for (uint32_t count : {atOnce - 1, atOnce, atOnce + 1, 2 * atOnce}) {
            std::vector<Given> files(all.begin(), all.begin() + count);
            std::vector<std::string> got = ThroughEngine(files, AlgorithmMd5, atOnce);
            std::vector<std::string> expected = OneByOne(files, AlgorithmMd5);
            EXPECT_TRUE(got == expected)
                << count << " files, " << atOnce << " at once; " << FirstDifference(got, expected);
        }
}

// Faults put into the system table: each case is what the run must still
// give, the oracle the same files one at a time through the same faults.

static std::vector<Given> MixedFiles(const char *prefix, uint32_t count, size_t size) {
    std::vector<Given> files;
    for (uint32_t i = 0; i < count; i++) {
        std::string name = std::string(i % 3 == 1 ? "bad-" : "good-") + prefix + std::to_string(i);
        WriteBytes(name, Pattern(size + i * 1000, i));
        files.push_back({name, false});
    }
    return files;
}

// A read that fails part way through files of several chunks: they fail as
// they do one at a time, the others are digested, and every chunk the
// failed files held goes back to the pool.
TEST_F(DigestEngineTest, ReadFailingPartWay) {
    std::vector<Given> files = MixedFiles("f", 90, 1 << 20);
    for (const char *faults :
         {"read-fails-after=0,only=bad-", "read-fails-after=1000,only=bad-",
          "read-fails-after=65536,only=bad-", "read-fails-after=700000,only=bad-"}) {
        ASSERT_TRUE(InstallFaults(faults));
        // BLAKE3's files are hashed apart by several threads at once.
        for (DigestAlgorithm algorithm : {AlgorithmMd5, AlgorithmBlake3}) {
            std::vector<std::string> expected = OneByOne(files, algorithm);
            EXPECT_EQ(std::count(expected.begin(), expected.end(),
                                 "problem " + std::to_string(ProblemCannotRead)),
                      30);
            for (uint32_t atOnce : {2u, 64u})
                for (const char *disk : Disks) {
                    RunSeen seen;
                    std::vector<std::string> got =
                        ThroughEngine(files, algorithm, atOnce, SIZE_MAX, disk, &seen);
                    EXPECT_TRUE(got == expected)
                        << faults << ", " << AlgorithmTag(algorithm) << ", " << atOnce
                        << " at once, disk of " << disk << "; " << FirstDifference(got, expected);
                    EXPECT_EQ(seen.chunksHeld, 0u) << faults << ", " << atOnce << " at once";
                }
        }
    }
}

// The reads of a run as the system table saw them: which file each read,
// and the most under way at once.
struct ReadLog {
    std::mutex lock;
    std::map<FILE *, std::string> names;
    std::vector<std::string> reads;
    int underWay = 0;
    int mostUnderWay = 0;
};
static ReadLog Log;
// How long each logged read takes: a disk's time, unless a test says less.
static uint32_t ReadPause = 300;

static FILE *LoggedOpen(const char *name, NameEncoding encoding) {
    FILE *stream = RealSystemCalls.open(name, encoding);
    std::lock_guard<std::mutex> hold(Log.lock);
    Log.names[stream] = name;
    return stream;
}

static bool LoggedRead(FILE *stream, void *buffer, size_t size, size_t *got) {
    {
        std::lock_guard<std::mutex> hold(Log.lock);
        Log.reads.push_back(Log.names[stream]);
        Log.mostUnderWay = std::max(Log.mostUnderWay, ++Log.underWay);
    }
    // A read that takes a while, as a disk's does, so that a second reader
    // would be seen starting meanwhile.
    PauseMicroseconds(ReadPause);
    bool read = RealSystemCalls.read(stream, buffer, size, got);
    std::lock_guard<std::mutex> hold(Log.lock);
    Log.underWay--;
    return read;
}

static bool SeeksSlowly(const char *) {
    return true;
}

// A disk that seeks slowly is read one read at a time, file after file in
// the order given, each file's reads together.
TEST_F(DigestEngineTest, SlowDiskReadsInOrder) {
    std::vector<Given> files;
    std::map<std::string, size_t> places;
    for (uint32_t i = 0; i < 40; i++) {
        std::string name = "o" + std::to_string(i);
        WriteBytes(name, Pattern(i * 23000, i));
        files.push_back({name, false});
        places[name] = i;
    }
    std::vector<std::string> expected = OneByOne(files, AlgorithmSha256);
    System.seeksSlowly = SeeksSlowly;
    System.open = LoggedOpen;
    System.read = LoggedRead;
    Log.reads.clear();
    Log.mostUnderWay = 0;
    std::vector<std::string> got = ThroughEngine(files, AlgorithmSha256, 64);
    System = RealSystemCalls;
    EXPECT_TRUE(got == expected) << FirstDifference(got, expected);
    EXPECT_EQ(Log.mostUnderWay, 1);
    for (size_t i = 1; i < Log.reads.size(); i++)
        ASSERT_LE(places[Log.reads[i - 1]], places[Log.reads[i]])
            << "read " << i << " of " << Log.reads[i] << " after " << Log.reads[i - 1];
}

// A disk that says it seeks slowly but whose reads come at the page
// cache's speed is read by several readers at once after a few files; one
// whose reads take a disk's time is read in order throughout, whatever the
// files' sizes, small ones (one read each) or several chunks long.
TEST_F(DigestEngineTest, SlowDiskReadsOverlapOnlyWhileQuick) {
    struct Case {
        uint32_t pause; // each read's, in microseconds
        size_t size;
        bool overlap;
    } cases[] = {{0, 4096, true}, {0, 150000, true}, {2000, 4096, false}, {2000, 150000, false}};
    // Under valgrind or a sanitizer even a read from memory takes longer
    // than a quick one: there the reads are only seen to stay in order.
    WriteBytes("timed", Pattern(65536, 1));
    uint32_t slow = 0;
    for (int i = 0; i < 32; i++) {
        FILE *stream = RealSystemCalls.open("timed", NameInCodePage);
        ASSERT_TRUE(stream);
        char chunk[65536];
        size_t got;
        uint64_t start = MonotonicMicroseconds();
        RealSystemCalls.read(stream, chunk, sizeof chunk, &got);
        slow += MonotonicMicroseconds() - start >= QuickReadMicroseconds / 4;
        RealSystemCalls.close(stream);
    }
    bool quickHere = slow < 8;
    for (const Case &c : cases) {
        if (c.overlap && !quickHere) {
            printf("Reads from memory take %u of 32 times a quarter of a quick read here\n", slow);
            continue;
        }
        std::vector<Given> files;
        for (uint32_t i = 0; i < 200; i++) {
            std::string name = "q" + std::to_string(i);
            WriteBytes(name, Pattern(c.size + i, i));
            files.push_back({name, false});
        }
        std::vector<std::string> expected = OneByOne(files, AlgorithmMd5);
        // One read slowed by a busy machine rightly puts the readers back in
        // order: a quick disk gets three runs to be seen overlapping.
        for (int run = 0; run < (c.overlap ? 3 : 1); run++) {
            System.seeksSlowly = SeeksSlowly;
            System.open = LoggedOpen;
            System.read = LoggedRead;
            ReadPause = c.pause;
            Log.mostUnderWay = 0;
            std::vector<std::string> got = ThroughEngine(files, AlgorithmMd5, 64);
            System = RealSystemCalls;
            ReadPause = 300;
            EXPECT_TRUE(got == expected) << c.pause << " us; " << FirstDifference(got, expected);
            if (Log.mostUnderWay >= 2)
                break;
        }
        if (c.overlap)
            EXPECT_GE(Log.mostUnderWay, 2) << c.pause << " us a read, files of " << c.size;
        else
            EXPECT_EQ(Log.mostUnderWay, 1) << c.pause << " us a read, files of " << c.size;
    }
}

// Memory for the pool, as much as the host's address space has room for.
static size_t MostBytes;
static std::vector<size_t> Granted;

static void *ShortAllocate(size_t size) {
    if (size > MostBytes)
        return nullptr;
    Granted.push_back(size);
    return RealSystemCalls.allocate(size);
}

// Where the whole pool cannot be had the engine takes half as much, and
// half again, down to a sixteenth; below that it goes one file at a time.
TEST_F(DigestEngineTest, PoolHalvesWhenMemoryIsShort) {
    std::vector<Given> files = MixedFiles("m", 40, 100000);
    std::vector<std::string> expected = OneByOne(files, AlgorithmMd5);
    const uint64_t MiB = 1 << 20;
    struct Case {
        size_t mostBytes;
        uint64_t poolBytes; // 0: one file at a time
    } cases[] = {{SIZE_MAX, 32 * MiB},
                 {31 * MiB, 16 * MiB},
                 {9 * MiB, 8 * MiB},
                 {3 * MiB, 2 * MiB},
                 {MiB, 0}};
    // The files' own records come with the pool, whatever its size: what
    // the whole pool takes beyond 32 MiB is added to every ceiling.
    size_t records = 0;
    for (const Case &c : cases) {
        MostBytes = c.mostBytes == SIZE_MAX ? SIZE_MAX : c.mostBytes + records;
        Granted.clear();
        System.allocate = ShortAllocate;
        RunSeen seen;
        std::vector<std::string> got = ThroughEngine(files, AlgorithmMd5, 0, SIZE_MAX, ".", &seen);
        System = RealSystemCalls;
        EXPECT_TRUE(got == expected) << c.mostBytes << " bytes; " << FirstDifference(got, expected);
        EXPECT_EQ(seen.filesAtOnce, c.poolBytes ? MostFilesInFlight : 1u) << c.mostBytes;
        size_t largest = Granted.empty() ? 0 : *std::max_element(Granted.begin(), Granted.end());
        if (c.mostBytes == SIZE_MAX)
            records = largest - 32 * MiB;
        if (c.poolBytes) {
            EXPECT_GE(largest, c.poolBytes) << c.mostBytes;
            EXPECT_LT(largest - records, 2 * c.poolBytes) << c.mostBytes;
        }
    }
}

// A read that never returns: Escape still ends the run at once. A read the
// stop can cancel leaves no reader running; one that ignores it is left to
// end on its own once its read returns, and the next run waits for it.
TEST_F(DigestEngineTest, HungReadDoesNotHoldEscape) {
    std::vector<Given> files;
    for (uint32_t i = 0; i < 12; i++) {
        std::string name = (i == 4 ? "hang-" : "a-") + std::to_string(i);
        WriteBytes(name, Pattern(150000, i));
        files.push_back({name, false});
    }
    std::vector<Given> later(files.begin(), files.begin() + 3);
    struct Case {
        const char *faults;
        uint32_t leftRunning;
    } cases[] = {{"read-hangs,only=hang", 0},
                 {"read-hangs-after=70000,only=hang", 0},
                 {"read-hangs,only=hang,cancel-ignored", 1},
                 {"read-hangs-after=65536,only=hang,cancel-ignored", 1}};
    size_t before = ThreadsAndHandles();
    for (const Case &c : cases) {
        ASSERT_TRUE(InstallFaults(c.faults));
        RunSeen seen;
        std::vector<std::string> got =
            ThroughEngine(files, AlgorithmMd5, 64, SIZE_MAX, ".", &seen, 300 * 1000);
        EXPECT_EQ(got.size(), 4u) << c.faults;
        // A tenth of a second is the goal; the bound leaves room for a
        // machine busy with other work.
        EXPECT_LT(seen.stopMicroseconds, 500 * 1000u) << c.faults;
        EXPECT_EQ(WorkersLeftRunning(), c.leftRunning) << c.faults;
        // Released a while after the next run begins, which waits for it.
        std::thread release([] {
            PauseMicroseconds(100 * 1000);
            ReleaseHungReads();
        });
        RunSeen next;
        EXPECT_EQ(ThroughEngine(later, AlgorithmMd5, 64, SIZE_MAX, ".", &next).size(), 3u);
        EXPECT_EQ(next.leftRunningAtStart, 0u) << c.faults;
        release.join();
        RemoveFaults();
    }
    size_t after = ThreadsAndHandles();
    for (int i = 0; i < 100 && after != before; i++) {
        PauseMicroseconds(10 * 1000);
        after = ThreadsAndHandles();
    }
    EXPECT_EQ(after, before);
}

#ifdef __linux__
// b3sum's digest text of each file, in order: one run over all of them.
static std::vector<std::string> Blake3Oracle(const std::vector<Given> &files) {
    std::string command = "b3sum --";
    for (const Given &file : files)
        command += " " + file.name;
    std::vector<std::string> digests;
    FILE *output = popen(command.c_str(), "r");
    if (!output)
        return digests;
    char line[512];
    while (fgets(line, sizeof line, output))
        digests.push_back(std::string(line).substr(0, 64));
    EXPECT_EQ(pclose(output), 0) << command;
    return digests;
}
#else
// Where b3sum cannot run, the one-file digest, which the table of b3sum's
// digests checks.
static std::vector<std::string> Blake3Oracle(const std::vector<Given> &files) {
    return OneByOne(files, AlgorithmBlake3);
}
#endif

// One large BLAKE3 file's tree hashed apart a pool chunk at a time on
// several threads: files whose 1 KiB chunks end at every kind of boundary
// of the tree and of the engine's 64 KiB reads (a whole power of two of
// chunks, one byte more or less, a last chunk cut short inside a read, a
// read that is the whole message, more reads than the pool holds), each
// alone and all together among tiny ones, against b3sum where it runs.
TEST_F(DigestEngineTest, Blake3TreeAcrossThreads) {
    const size_t KiB = 1024;
    std::vector<size_t> sizes;
    for (size_t chunks : {1u, 63u, 64u, 65u, 128u, 192u, 256u, 1024u, 4096u})
        for (size_t size : {chunks * KiB - 1, chunks * KiB, chunks * KiB + 1})
            sizes.push_back(size);
    for (size_t size : {64 * KiB + 512, 3 * 64 * KiB + KiB + 1, 5 * 1024 * KiB + 3 * KiB,
                        17 * 1024 * KiB + 64 * KiB, 40 * 1024 * KiB + 1})
        sizes.push_back(size);
    std::mt19937 random(20261208);
    std::vector<Given> files;
    for (size_t i = 0; i < sizes.size(); i++) {
        std::string bytes(sizes[i], 0);
        for (char &place : bytes)
            place = (char)random();
        files.push_back({"big" + std::to_string(i), false});
        WriteBytes(files.back().name, bytes);
        files.push_back({"tiny" + std::to_string(i), false});
        WriteBytes(files.back().name, Pattern(i * 37, (uint32_t)i));
    }
    std::vector<std::string> expected = Blake3Oracle(files);
    ASSERT_EQ(expected.size(), files.size());
    size_t before = ThreadsAndHandles();
    for (uint32_t atOnce : {2u, 64u})
        for (const char *disk : Disks) {
            std::vector<std::string> got =
                ThroughEngine(files, AlgorithmBlake3, atOnce, SIZE_MAX, disk);
            EXPECT_TRUE(got == expected)
                << atOnce << " at once, disk of " << disk << "; " << FirstDifference(got, expected);
        }
    for (size_t i = 0; i < files.size(); i += 2) {
        std::vector<std::string> got = ThroughEngine({files[i]}, AlgorithmBlake3, 0);
        EXPECT_TRUE(got.size() == 1 && got[0] == expected[i]) << sizes[i / 2] << " bytes alone";
    }
    EXPECT_EQ(ThreadsAndHandles(), before);
}

#ifdef __linux__
// Two to four readers, one per processor within those bounds, as the help
// tells users.
TEST_F(DigestEngineTest, StartsTwoToFourReaders) {
    uint32_t processors = ProcessorCount();
    size_t expected = processors < 2 ? 2 : processors > 4 ? 4 : processors;
    size_t before = EntriesIn("/proc/self/task");
    DigestEngine engine;
    StartDigestEngine(&engine, ".", 0);
    size_t during = EntriesIn("/proc/self/task");
    StopDigestEngine(&engine);
    EXPECT_EQ(during - before, expected);
    EXPECT_EQ(EntriesIn("/proc/self/task"), before);
}

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
    for (DigestAlgorithm algorithm :
         {AlgorithmMd5, AlgorithmSha1, AlgorithmSha256, AlgorithmSha512, AlgorithmBlake2b}) {
        std::vector<std::string> expected;
        for (const std::string &bytes : contents)
            expected.push_back(OpenSslText(algorithm, bytes));
        std::vector<std::string> got = ThroughEngine(files, algorithm, 0);
        EXPECT_TRUE(got == expected)
            << AlgorithmTag(algorithm) << "; " << FirstDifference(got, expected);
    }
}
#endif
