// FileDigest on ordinary files: chunk boundaries, the text it hands on, and
// why a name cannot be opened.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include "digest/md5.h"
#include "host/host.h"
#include "jobs/escape.h"
#include "platform/exact_path.h"
#include "tests/fake_host.h"
#include "tests/test_files.h"

static const char EmptyDigest[] = "d41d8cd98f00b204e9800998ecf8427e";
static const char Untouched[] = "untouched untouched untouched un";

static std::string Pattern(size_t length) {
    std::string bytes(length, 0);
    for (size_t i = 0; i < length; i++)
        bytes[i] = (char)(i * 7 + (i >> 11));
    return bytes;
}

static std::string MemoryDigest(const std::string &bytes, uint32_t size = DigestTextSize) {
    DigestState state;
    DigestStart(&state);
    DigestAdd(&state, bytes.data(), (uint32_t)bytes.size());
    uint8_t digest[DigestSize];
    DigestEnd(&state, digest);
    char text[DigestTextSize];
    memcpy(text, Untouched, sizeof text);
    DigestToHex(digest, text, size);
    return std::string(text, sizeof text);
}

class FileDigestTest : public ::testing::Test {
  protected:
    void SetUp() override {
        StartFakeHost();
        ForgetConsoleInput();
        StartEscapeWatch();
        memcpy(text, Untouched, sizeof text);
        // Each poll stores its answer, so a stale value shows a missing poll.
        AbortRequested = 5;
    }
    void TearDown() override {
        remove(FileName);
    }
    // All 33 bytes, so that writes past the terminator show too.
    std::string Text() const {
        return std::string(text, sizeof text);
    }
    const char *FileName = "digest-test.bin";
    char text[DigestTextSize];
};

TEST_F(FileDigestTest, DigestsWholeFilesAcrossChunkBoundaries) {
    // Around the stream's buffer and the reads, and whole reads that take
    // one more, empty, read; each a job of its own, whose first read is
    // polled.
    for (size_t length : {0, 1, 4095, 4096, 4097, 65535, 65536, 65537, 131072, 200000}) {
        std::string bytes = Pattern(length);
        WriteBytes(FileName, bytes);
        memcpy(text, Untouched, sizeof text);
        StartEscapeWatch();
        AbortRequested = 5;
        EXPECT_TRUE(ReadFileDigest(FileName, text, sizeof text)) << length;
        EXPECT_EQ(Text(), MemoryDigest(bytes)) << length;
        EXPECT_EQ(AbortRequested, 0) << length;
    }
    EXPECT_TRUE(Host.calls.empty());
}

TEST_F(FileDigestTest, EmptyFileGivesTheDigestOfNothing) {
    WriteBytes(FileName, "");
    EXPECT_TRUE(ReadFileDigest(FileName, text, sizeof text));
    EXPECT_STREQ(text, EmptyDigest);
    EXPECT_EQ(AbortRequested, 0);
}

TEST_F(FileDigestTest, BytesAreReadUntranslated) {
    std::string bytes("a\r\nb\nc\r\x1a"
                      "d\r",
                      10);
    WriteBytes(FileName, bytes);
    EXPECT_TRUE(ReadFileDigest(FileName, text, sizeof text));
    EXPECT_EQ(Text(), MemoryDigest(bytes));
}

TEST_F(FileDigestTest, TextSizeIsHandedOnToTheHexForm) {
    std::string bytes = Pattern(3000);
    WriteBytes(FileName, bytes);
    for (uint32_t size : {0u, 1u, 10u, 32u, 33u}) {
        memcpy(text, Untouched, sizeof text);
        EXPECT_TRUE(ReadFileDigest(FileName, text, size));
        EXPECT_EQ(Text(), MemoryDigest(bytes, size)) << size;
    }
}

// The job is told why and reports it; the digest itself shows nothing.
TEST_F(FileDigestTest, NamesThatDoNotOpenSayWhyWithoutAPoll) {
    const struct {
        const char *name;
        FileProblem why;
    } cases[] = {{"digest-test-absent.bin", ProblemNotFound},
                 {".", ProblemNotAFile},
                 {"", ProblemNotFound},
                 {"digest-no-such-dir/x.bin", ProblemNotFound}};
    for (const auto &c : cases) {
        const char *name = c.name;
        memcpy(text, Untouched, sizeof text);
        AbortRequested = 5;
        FileProblem problem = ProblemUntold;
        EXPECT_FALSE(ReadFileDigest(name, text, sizeof text, &problem)) << name;
        EXPECT_EQ(problem, c.why) << name;
        EXPECT_EQ(Text(), std::string(Untouched, sizeof text)) << name;
        EXPECT_EQ(AbortRequested, 5) << name;
    }
    EXPECT_TRUE(Host.calls.empty());
}

TEST_F(FileDigestTest, FilesOthersHoldOpenAreRead) {
    std::string bytes = Pattern(5000);
    WriteBytes(FileName, bytes);
    // The C runtime's streams share reading and writing on both platforms.
    for (const char *mode : {"ab", "rb", "r+b"}) {
        FILE *other = fopen(FileName, mode);
        ASSERT_TRUE(other) << mode;
        EXPECT_TRUE(ReadFileDigest(FileName, text, sizeof text)) << mode;
        EXPECT_EQ(Text(), MemoryDigest(bytes)) << mode;
        fclose(other);
    }
    EXPECT_TRUE(Host.calls.empty());
}

// The exact path of a bare name: every form the current directory takes.
TEST(ExactPath, JoinsTheDirectoryAndTheNameInTheExactForm) {
    struct Case {
        const char16_t *directory, *name, *path;
    } cases[] = {
        {u"C:\\", u"a.txt", u"\\\\?\\C:\\a.txt"},
        {u"C:\\dir\\sub", u"trail.", u"\\\\?\\C:\\dir\\sub\\trail."},
        {u"C:\\dir\\", u"\x043f\xd83d\xde00", u"\\\\?\\C:\\dir\\\x043f\xd83d\xde00"},
        {u"\\\\server\\share", u"aux.txt", u"\\\\?\\UNC\\server\\share\\aux.txt"},
        {u"\\\\server\\share\\", u"a", u"\\\\?\\UNC\\server\\share\\a"},
        {u"\\\\?\\C:\\long", u"a", u"\\\\?\\C:\\long\\a"},
        {u"\\\\?\\UNC\\server\\share", u"a", u"\\\\?\\UNC\\server\\share\\a"},
        {u"\\\\.\\C:\\dir", u"a", u"\\\\?\\C:\\dir\\a"},
    };
    for (const Case &c : cases) {
        std::u16string directory(c.directory), name(c.name), expected(c.path);
        size_t room = ExactPathRoom(directory.size(), name.size());
        std::u16string path(room, u'#');
        EXPECT_EQ(BuildExactPath(c.directory, c.name, &path[0], room), expected.size());
        EXPECT_EQ(path.substr(0, expected.size() + 1), expected + u'\0');
        // One unit short of the NUL: nothing fits, nothing is claimed.
        EXPECT_EQ(BuildExactPath(c.directory, c.name, &path[0], expected.size()), 0u);
    }
}
