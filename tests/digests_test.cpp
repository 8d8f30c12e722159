// The table of digests holds together: what the format decides by and
// what the jobs size buffers by agree for every row, those with code and
// those without, so that a row added later cannot make two digests claim
// one name or leave a shared digit count undecided.
#include <gtest/gtest.h>
#include <string.h>

#include <set>
#include <string>

#include "digest/algorithm.h"
#include "digest/choices.h"
#include "digest/digests.h"
#include "digest/lanes.h"

static std::string Folded(const char *text) {
    std::string folded;
    for (; *text; text++)
        folded += (char)(*text >= 'a' && *text <= 'z' ? *text - 'a' + 'A' : *text);
    return folded;
}

TEST(DigestTable, RowsAgree) {
    std::set<std::string> tags, names;
    for (uint32_t i = 0; i < DigestAlgorithmCount; i++) {
        DigestAlgorithm algorithm = (DigestAlgorithm)i;
        const DigestRecord *row = DigestRow(algorithm);
        SCOPED_TRACE(row->Name);
        EXPECT_TRUE(tags.insert(row->Tag).second) << "a tag names one digest";
        ASSERT_NE(row->Endings[0], nullptr) << "creation and the notice need an ending";
        for (const char *const *list : {row->Endings, row->ListNames})
            for (uint32_t k = 0; k < MostDigestNames && list[k]; k++)
                EXPECT_TRUE(names.insert(Folded(list[k])).second) << list[k];
        EXPECT_LE(row->DigitCount, LongestDigestDigits);
        EXPECT_EQ(row->DigitCount % 2, 0u);
        EXPECT_LE(2 * row->ShortestBytes, row->DigitCount);
        EXPECT_TRUE(row->ShortestBytes > 0);
        // Of the digests sharing a count, exactly one is read when nothing
        // else decides.
        DigestAlgorithm sharing[DigestAlgorithmCount];
        uint32_t count = DigestsOfLength(row->DigitCount, sharing);
        int common = 0;
        for (uint32_t k = 0; k < count; k++)
            common += DigestRow(sharing[k])->Common ? 1 : 0;
        EXPECT_EQ(common, 1) << row->DigitCount << " digits";
        // A row with code has all of it, and its state fits the union.
        bool code = row->Start != nullptr;
        EXPECT_EQ(DigestAvailable(algorithm, row->DigitCount), code);
        if (!code)
            continue;
        EXPECT_TRUE(row->Add && row->End && row->ForceLoop && row->LoopName);
        EXPECT_GT(row->StateSize, 0u);
        EXPECT_LE(row->StateSize, sizeof(AlgorithmState));
        // Every digest has a plain loop any processor runs, by one of these names.
        const char *plain = nullptr;
        for (const char *name : {"scalar", "portable", "table"})
            if (!plain && row->ForceLoop(name) == 1)
                plain = name;
        ASSERT_NE(plain, nullptr);
        EXPECT_STREQ(row->LoopName(), plain);
        EXPECT_EQ(row->ForceLoop(nullptr), 1);
        // The text it writes is as long as the row says.
        AlgorithmState state;
        AlgorithmStart(&state, algorithm);
        char text[LongestDigestTextSize + 1];
        memset(text, 'x', sizeof text);
        AlgorithmEnd(&state, text, sizeof text);
        EXPECT_EQ(strlen(text), row->DigitCount);
    }
    // A digest of chosen length is computed at every whole number of bytes
    // down to its shortest, and writes as many digits as asked; the others
    // only at their own count.
    const struct {
        DigestAlgorithm algorithm;
        uint32_t digits;
        bool available;
    } lengths[] = {
        {AlgorithmBlake2b, 128, true},  {AlgorithmBlake2b, 64, true},  {AlgorithmBlake2b, 2, true},
        {AlgorithmBlake2b, 126, true},  {AlgorithmBlake2b, 63, false}, {AlgorithmBlake2b, 0, false},
        {AlgorithmBlake2b, 130, false}, {AlgorithmSha512, 64, false},  {AlgorithmMd5, 30, false},
        {AlgorithmBlake3, 32, false},   {AlgorithmCrc32, 8, true},
    };
    for (const auto &length : lengths) {
        SCOPED_TRACE(std::string(AlgorithmName(length.algorithm)) + " at " +
                     std::to_string(length.digits));
        ASSERT_EQ(DigestAvailable(length.algorithm, length.digits), length.available);
        if (!length.available)
            continue;
        AlgorithmState state;
        AlgorithmStartDigits(&state, length.algorithm, length.digits);
        char text[LongestDigestTextSize + 1];
        memset(text, 'x', sizeof text);
        AlgorithmEnd(&state, text, sizeof text);
        EXPECT_EQ(strlen(text), length.digits);
    }
    EXPECT_EQ(DigestRow(DigestAlgorithmCount), nullptr);
    EXPECT_FALSE(DigestAvailable(DigestAlgorithmCount, 32));
    EXPECT_TRUE(DigestAvailable(DefaultDigest, DigestTextLength(DefaultDigest)));
}

// Each digest keeps what its code chose in its own record of the table's
// choices: forcing one digest's plain loop and single lane leaves every
// other digest's loop and lane kernel as they were, and letting go brings
// its own back.
TEST(DigestTable, EachDigestKeepsItsOwnChoices) {
    std::string loops[DigestAlgorithmCount], lanes[DigestAlgorithmCount];
    for (uint32_t i = 0; i < DigestAlgorithmCount; i++) {
        // What an earlier test forced and left is not this one's to judge.
        DigestRow((DigestAlgorithm)i)->ForceLoop(nullptr);
        LanesForceKernel((DigestAlgorithm)i, nullptr);
        loops[i] = DigestRow((DigestAlgorithm)i)->LoopName();
        lanes[i] = LanesKernelName((DigestAlgorithm)i);
    }
    for (uint32_t i = 0; i < DigestAlgorithmCount; i++) {
        const DigestRecord *row = DigestRow((DigestAlgorithm)i);
        SCOPED_TRACE(row->Name);
        int forced = 0;
        for (const char *name : {"scalar", "portable", "table"})
            forced += row->ForceLoop(name);
        ASSERT_EQ(forced, 1) << "one plain loop";
        ASSERT_EQ(LanesForceKernel((DigestAlgorithm)i, "single"), 1);
        for (uint32_t j = 0; j < DigestAlgorithmCount; j++) {
            if (j == i)
                continue;
            EXPECT_EQ(DigestRow((DigestAlgorithm)j)->LoopName(), loops[j])
                << AlgorithmName((DigestAlgorithm)j);
            EXPECT_EQ(LanesKernelName((DigestAlgorithm)j), lanes[j])
                << AlgorithmName((DigestAlgorithm)j);
        }
        EXPECT_EQ(row->ForceLoop(nullptr), 1);
        EXPECT_EQ(LanesForceKernel((DigestAlgorithm)i, nullptr), 1);
        EXPECT_EQ(row->LoopName(), loops[i]);
        EXPECT_EQ(LanesKernelName((DigestAlgorithm)i), lanes[i]);
    }
}

#if !defined(_WIN32)
#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

static void *RaceEveryLaneDigest(void *) {
    for (uint32_t i = 0; i < DigestAlgorithmCount; i++)
        LaneCount((DigestAlgorithm)i);
    return nullptr;
}

// The lanes are raced on the calling thread, which is the host's: the race
// must fit a small stack, here the 64 KiB the module gives its own workers.
// Each digest is raced afresh in a child process, which a stack overflow
// ends by a signal.
TEST(DigestTable, LaneRaceFitsASmallStack) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        for (uint32_t i = 0; i < DigestAlgorithmCount; i++) {
            LanesForceKernel((DigestAlgorithm)i, nullptr);
            DigestChoiceOf((DigestAlgorithm)i)->LaneKernel.store(0);
        }
        pthread_attr_t attributes;
        pthread_t thread;
        pthread_attr_init(&attributes);
        pthread_attr_setstacksize(&attributes, 64 * 1024);
        if (pthread_create(&thread, &attributes, RaceEveryLaneDigest, nullptr) != 0)
            _exit(2);
        pthread_join(thread, nullptr);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the race ended its thread: status " << status;
}
#endif
