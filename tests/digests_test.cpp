// The table of digests holds together: what the format decides by and
// what the jobs size buffers by agree for every row, those with code and
// those without, so that a row added later cannot make two digests claim
// one name or leave a shared digit count undecided.
#include <gtest/gtest.h>
#include <string.h>

#include <set>
#include <string>

#include "digest/algorithm.h"
#include "digest/digests.h"

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
        EXPECT_EQ(row->ForceLoop("scalar"), 1);
        EXPECT_STREQ(row->LoopName(), "scalar");
        EXPECT_EQ(row->ForceLoop(nullptr), 1);
        // The text it writes is as long as the row says.
        AlgorithmState state;
        AlgorithmStart(&state, algorithm);
        char text[LongestDigestTextSize + 1];
        memset(text, 'x', sizeof text);
        AlgorithmEnd(&state, text, sizeof text);
        EXPECT_EQ(strlen(text), row->DigitCount);
    }
    EXPECT_EQ(DigestRow(DigestAlgorithmCount), nullptr);
    EXPECT_FALSE(DigestAvailable(DigestAlgorithmCount, 32));
    EXPECT_TRUE(DigestAvailable(DefaultDigest, DigestTextLength(DefaultDigest)));
}
