// Signature files: the bytes on disk after text-mode writing, the lines the
// bounded reader delivers from given bytes, the entry parser and file
// identity. The same byte-level expectations hold on both builds, which is
// what shows that the Windows runtime and the Linux stream agree.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "platform/platform.h"
#include "signature/encoding.h"
#include "signature/format.h"
#include "signature/list_reader.h"

namespace fs = std::filesystem;

static const char EmptyDigest[] = "d41d8cd98f00b204e9800998ecf8427e";
static const char OtherDigest[] = "0cc175b9c0f1b6a831c399e269772661";

class SignatureFormat : public ::testing::Test {
  protected:
    fs::path dir;

    void SetUp() override {
        dir = fs::current_path() / "signature_format_files";
        std::error_code ignored;
        fs::remove_all(dir, ignored);
        ASSERT_TRUE(fs::create_directories(dir));
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    std::string PathOf(const char *name) const {
        return (dir / name).string();
    }

    std::string WriteRaw(const char *name, const std::string &bytes) const {
        std::string path = PathOf(name);
        FILE *stream = fopen(path.c_str(), "wb");
        EXPECT_NE(stream, nullptr);
        if (stream != nullptr) {
            EXPECT_EQ(fwrite(bytes.data(), 1, bytes.size(), stream), bytes.size());
            EXPECT_EQ(fclose(stream), 0);
        }
        return path;
    }

    static std::string ReadRaw(const std::string &path) {
        std::string bytes;
        FILE *stream = fopen(path.c_str(), "rb");
        EXPECT_NE(stream, nullptr);
        if (stream == nullptr)
            return bytes;
        char chunk[1024];
        size_t got;
        while ((got = fread(chunk, 1, sizeof chunk, stream)) > 0)
            bytes.append(chunk, got);
        fclose(stream);
        return bytes;
    }

    // Reads lines as the verification job does, until the reader reports the
    // end, and checks that it stays inside its buffer.
    std::vector<std::string> ReadLines(const std::string &bytes) const {
        std::vector<std::string> lines;
        std::string path = WriteRaw("lines.md5", bytes);
        ListReader list;
        EXPECT_TRUE(OpenList(&list, path.c_str(), nullptr));
        char buffer[SignatureLineSize + 8];
        for (int reads = 0; reads < 100000; reads++) {
            memset(buffer, 'G', sizeof buffer);
            bool more = ReadListLine(&list, buffer, SignatureLineSize);
            EXPECT_EQ(std::string(buffer + SignatureLineSize, 8), std::string(8, 'G'));
            if (!more)
                break;
            lines.push_back(buffer);
        }
        EXPECT_FALSE(ListReadFailed(&list));
        CloseList(&list);
        return lines;
    }

    // The same for a UTF-16 list: its mark, then the text's units.
    std::vector<std::string> ReadWideLines(const std::u16string &text, bool bigEndian) const {
        std::string bytes;
        for (char16_t unit : u"\xfeff" + text) {
            bytes += (char)(bigEndian ? unit >> 8 : unit & 0xFF);
            bytes += (char)(bigEndian ? unit & 0xFF : unit >> 8);
        }
        return ReadLines(bytes);
    }
};

static std::u16string Widened(const std::string &bytes) {
    return std::u16string(bytes.begin(), bytes.end());
}

struct LineCase {
    const char *label;
    std::string bytes;
    std::vector<std::string> lines;
};

static const size_t Kept = SignatureLineSize - 1;
static const std::string LongLine(Kept + 105, 'L');
static const std::string CutLine(Kept, 'L');

// The longest name in its longest entry, behind a byte-order mark and tabs.
static const std::string LongestEntry =
    "\xef\xbb\xbf\t\tMD5 (" + std::string(LongestEntryName, 'n') + ") = " + EmptyDigest;

static std::string LoneCrLines() {
    std::string bytes;
    for (int i = 0; i < 700; i++)
        bytes += "line " + std::to_string(i) + "\r";
    return bytes;
}

TEST_F(SignatureFormat, LineEndsTranslationAndCutting) {
    const std::string empty = EmptyDigest;
    const LineCase cases[] = {
        {"CR LF ends lines", "a\r\nb\r\n", {"a", "b"}},
        {"bare LF ends lines", "a\nb\n", {"a", "b"}},
        {"last line without line end", "a\r\nlast", {"a", "last"}},
        {"empty file", "", {}},
        {"empty lines", "\r\n\n\r\n", {"", "", ""}},
        {"lone CR inside a line is data", "a\rb\r\nc", {"a\rb", "c"}},
        {"lone CR as the last byte", "ab\r", {"ab\r"}},
        {"CR CR LF keeps one CR", "a\r\r\nb", {"a\r", "b"}},
        {"LF CR is a line end then data", "a\n\rb", {"a", "\rb"}},
        {"a 0x1A inside a line is part of it, as in a Linux name",
         "a\r\nbc\x1a"
         "de\r\nf\x1a\r\n",
         {"a",
          "bc\x1a"
          "de",
          "f\x1a"}},
        {"0x1A first, then entries",
         "\x1a"
         "abc\r\n",
         {"abc"}},
        {"0x1A between lists copied together", "a\r\n\x1a\r\nb\r\n\x1a", {"a", "b"}},
        {"0x1A followed only by 0x1A and line ends ends the data",
         "a\r\n\x1a\x1a\r\n\n\x1a\r",
         {"a"}},
        {"0x1A after a CR is part of the line", "a\r\x1a\n", {"a\r\x1a"}},
        {"0x1A after a line end", "a\r\n\x1a\r\n", {"a"}},
        {"NUL ends a line", std::string("a\0b\r\nc\r\n", 8), {"a", "b", "c"}},
        {"NULs that end no entry",
         std::string("x *a\0MD5 (b) = y\0z  c\0", 22),
         {"x *a", "MD5 (b) = y", "z  c"}},
        {"md5sum -z list: a line feed or CR LF is part of a name",
         empty + "  x\ny" + std::string(1, '\0') + empty + "  z\r\n" + std::string(1, '\0'),
         {empty + "  x\ny", empty + "  z\r\n"}},
        {"lines with a NUL after the second entry stay lines",
         empty + " *a\r\n" + empty + " *b" + std::string(1, '\0') + "c\n",
         {empty + " *a", empty + " *b", "c"}},
        {"NUL then CR LF", std::string("a\0\r\nb", 5), {"a", "", "b"}},
        {"overlong line is cut, rest dropped", LongLine + "\r\nnext\r\n", {CutLine, "next"}},
        {"overlong line without line end", LongLine, {CutLine}},
        {"overlong line's rest ends at a NUL",
         LongLine + std::string("\0next", 5),
         {CutLine, "next"}},
        {"a full buffer exactly", CutLine + "\r\nnext", {CutLine, "next"}},
        {"one short of a full buffer", CutLine.substr(1) + "\nnext", {CutLine.substr(1), "next"}},
        {"one more than a full buffer", CutLine + "L\nnext", {CutLine, "next"}},
        {"the longest entry fits", "x\r\n" + LongestEntry + "\r\n", {"x", LongestEntry}},
        {"cut falls between CR and LF",
         CutLine.substr(1) + "\r\r\nnext",
         {CutLine.substr(1) + "\r", "next"}},
        {"lone CR line ends read as one cut line", LoneCrLines(), {LoneCrLines().substr(0, Kept)}},
    };
    for (const LineCase &c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(ReadLines(c.bytes), c.lines);
        // A UTF-16 list reads as its ASCII twin, by the same rules.
        bool ascii = std::all_of(c.bytes.begin(), c.bytes.end(), [](char b) { return b >= 0; });
        if (ascii) {
            EXPECT_EQ(ReadWideLines(Widened(c.bytes), false), c.lines);
            EXPECT_EQ(ReadWideLines(Widened(c.bytes), true), c.lines);
        }
    }
}

TEST_F(SignatureFormat, Utf16LinesReadAsUtf8) {
    const std::string wideCut(Kept - 2, 'L');
    struct {
        const char *label;
        std::u16string text;
        std::vector<std::string> lines;
    } cases[] = {
        {"Cyrillic, CJK and an emoji",
         u"\x043f\x0440.txt\r\n\x65e5\xd83d\xde00\n",
         {"\xd0\xbf\xd1\x80.txt", "\xe6\x97\xa5\xf0\x9f\x98\x80"}},
        {"U+001A is data", u"a\x001a\x041a", {"a\x1a\xd0\x9a"}},
        {"lone surrogates",
         u"a\xdc00"
         u"b\xd800\r\nc\xd800",
         {"a\xef\xbf\xbd"
          "b\xef\xbf\xbd",
          "c\xef\xbf\xbd"}},
        {"a character that does not fit is cut whole",
         Widened(wideCut) + u"\x043f\x043f\r\nnext",
         {wideCut + "\xd0\xbf", "next"}},
        {"an emoji that does not fit", Widened(wideCut) + u"\xd83d\xde00\nnext", {wideCut, "next"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(ReadWideLines(c.text, false), c.lines);
        EXPECT_EQ(ReadWideLines(c.text, true), c.lines);
    }
}

struct BoundaryCase {
    const char *rest; // what follows the filler, beginning with the CR
    size_t restSize;
    std::vector<std::string> tail; // the first one continues the filler's last line
};

// CR LF pairs and lone CRs placed where the stream buffers of either platform
// refill (512 and 4096 bytes, and the second 4096) and where the list reader
// does (its first piece and the end of its second).
TEST_F(SignatureFormat, CarriageReturnAtRefillBoundaries) {
    const size_t offsets[] = {511, 512, 4095, 4096, 8191, 8192, 12287, 12288, 32767, 32768};
    const BoundaryCase kinds[] = {
        {"\r\nnext\r\n", 8, {"", "next"}},
        {"\rx\r\n", 4, {"\rx"}},
        {"\r\r\nx", 4, {"\r", "x"}},
        {"\r", 1, {"\r"}},
        {"\r\x1a"
         "after\r\n",
         9,
         {"\r\x1a"
          "after"}},
        {"\r\n\x1a", 3, {""}},
    };
    for (size_t offset : offsets) {
        for (const BoundaryCase &kind : kinds) {
            SCOPED_TRACE("CR at " + std::to_string(offset) + " before " +
                         testing::PrintToString(std::string(kind.rest, kind.restSize)));
            std::string bytes;
            std::vector<std::string> lines;
            for (int n = 0; bytes.size() + 80 + 2 < offset; n++) {
                std::string line(60 + n % 20, (char)('a' + n % 26));
                bytes += line + "\r\n";
                lines.push_back(line);
            }
            std::string partial(offset - bytes.size(), 'z');
            bytes += partial + std::string(kind.rest, kind.restSize);
            ASSERT_EQ(bytes[offset], '\r');
            lines.push_back(partial + kind.tail[0]);
            lines.insert(lines.end(), kind.tail.begin() + 1, kind.tail.end());
            EXPECT_EQ(ReadLines(bytes), lines);
        }
    }
}

// After a final 0x1A every read reports the end.
TEST_F(SignatureFormat, EndOfTextStaysTheEnd) {
    std::string path = WriteRaw("ctrlz.md5", "a\r\nb\r\n\x1a\r\n\x1a");
    ListReader list;
    ASSERT_TRUE(OpenList(&list, path.c_str(), nullptr));
    char buffer[SignatureLineSize];
    EXPECT_TRUE(ReadListLine(&list, buffer, sizeof buffer));
    EXPECT_TRUE(ReadListLine(&list, buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "b");
    for (int i = 0; i < 3; i++)
        EXPECT_FALSE(ReadListLine(&list, buffer, sizeof buffer));
    EXPECT_FALSE(ListReadFailed(&list));
    CloseList(&list);
}

// The header, entries with CRs in their names, and enough bytes, in one piece
// and in many, to pass the stream buffer and the translation's own staging.
TEST_F(SignatureFormat, WrittenBytes) {
    std::string path = WriteRaw("written.md5", std::string(10000, 'o')); // to be replaced
    SignatureOutput output;
    ASSERT_TRUE(StartSignatureOutput(&output, path.c_str()));
    FILE *stream = output.stream;
    WriteSignatureHeader(stream);
    WriteSignatureEntry(stream, AlgorithmMd5, EmptyDigest, "file one.txt");
    WriteSignatureEntry(stream, AlgorithmMd5, OtherDigest, "cr\rinside");
    WriteSignatureEntry(stream, AlgorithmMd5, EmptyDigest, "cr at end\r");
    WriteSignatureEntry(stream, AlgorithmMd5, OtherDigest, "star*name  ");
    // md5sum's escaped form for what would split the line, and on Linux
    // for a backslash; Windows names hold none, 0x5C being half a letter.
    WriteSignatureEntry(stream, AlgorithmMd5, EmptyDigest, "x\ny\r");
    WriteSignatureEntry(stream, AlgorithmMd5, OtherDigest, "a\\b");
    std::string expected = std::string(EmptyDigest) + " *file one.txt\r\n" + OtherDigest +
                           " *cr\rinside\r\n" + EmptyDigest + " *cr at end\r\r\n" + OtherDigest +
                           " *star*name  \r\n\\" + EmptyDigest + " *x\\ny\\r\r\n" +
                           (NamesHoldBackslashes ? "\\" + std::string(OtherDigest) + " *a\\\\b\r\n"
                                                 : OtherDigest + std::string(" *a\\b\r\n"));
    std::string lineFeeds(9000, '\n');
    EXPECT_EQ(fwrite(lineFeeds.data(), 1, lineFeeds.size(), stream), lineFeeds.size());
    for (int i = 0; i < 9000; i++)
        expected += "\r\n";
    for (int i = 0; i < 700; i++) {
        std::string name = "file " + std::to_string(i);
        WriteSignatureEntry(stream, AlgorithmMd5, EmptyDigest, name.c_str());
        expected += std::string(EmptyDigest) + " *" + name + "\r\n";
    }
    EXPECT_EQ(ferror(stream), 0);
    ASSERT_TRUE(FinishSignatureOutput(&output, true));

    std::string bytes = ReadRaw(path);
    size_t headerEnd = bytes.find("\r\n");
    ASSERT_NE(headerEnd, std::string::npos);
    std::string header = bytes.substr(0, headerEnd);
    const std::string lead = "; Generated by Sumbrel";
    EXPECT_EQ(header.compare(0, lead.size(), lead), 0) << header;
    if (header.size() > lead.size()) {
        EXPECT_EQ(header[lead.size()], ' ') << header;
    }
    EXPECT_EQ(header.find_first_of("\r\n"), std::string::npos);
    // Compared whole, not printed: a failure shows only the sizes.
    EXPECT_TRUE(bytes.substr(headerEnd + 2) == expected)
        << bytes.size() - headerEnd - 2 << " bytes, expected " << expected.size();
}

// b3sum reads LF alone: such a list's bytes reach the disk as written, past
// the stream buffer, CRs in names included.
TEST_F(SignatureFormat, WrittenWithLineFeedsOnly) {
    std::string path = PathOf("written.b3");
    SignatureOutput output;
    ASSERT_TRUE(StartSignatureOutput(&output, path.c_str(), LfLineEnds));
    std::string expected;
    for (int i = 0; i < 700; i++) {
        std::string name = "file\r" + std::to_string(i);
        WriteSignatureEntry(output.stream, AlgorithmBlake3, OtherDigest, name.c_str());
        expected += std::string(OtherDigest) + "  " + name + "\n";
    }
    ASSERT_TRUE(FinishSignatureOutput(&output, true));
    EXPECT_TRUE(ReadRaw(path) == expected)
        << ReadRaw(path).size() << " bytes, expected " << expected.size();
}

TEST_F(SignatureFormat, OpeningRefused) {
    SignatureOutput output;
    EXPECT_EQ(OpenSignatureFile(PathOf("missing.md5").c_str()), nullptr);
    EXPECT_FALSE(StartSignatureOutput(&output, PathOf("no/such/dir.md5").c_str()));
    ASSERT_TRUE(fs::create_directory(dir / "sub"));
    EXPECT_EQ(OpenSignatureFile(PathOf("sub").c_str()), nullptr);
    EXPECT_FALSE(StartSignatureOutput(&output, PathOf("sub").c_str()));
}

struct ParseCase {
    std::string line;
    bool entry;
    std::string name;
    std::string digest;
    DigestAlgorithm algorithm = DigestAlgorithmCount; // for an entry
    bool assumed = false;  // the common one of a shared count, nothing deciding
    const char *list = ""; // the list's file name
};

static const std::string Md5 = EmptyDigest;
static const std::string Sha1 = "da39a3ee5e6b4b0d3255bfef95601890afd80709";
static const std::string Sha256 =
    "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
static const std::string Upper = "D41D8CD98F00B204E9800998ECF8427E";
static const std::string Sha512 =
    "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce"
    "47d0d13c5d85f2b0ff8318d2877eec2f63b931bd47417a81a538327af927da3e";
static const std::string Crc = "cbf43926";
static const std::string CrcUpper = "CBF43926";

TEST(SignatureParse, EntryForms) {
    const ParseCase cases[] = {
        {Md5 + " *file.txt", true, "file.txt", Md5, AlgorithmMd5},
        {Sha1 + " *file.txt", true, "file.txt", Sha1, AlgorithmSha1},
        {Sha256 + " *file.txt", true, "file.txt", Sha256, AlgorithmSha256, true},
        {"MD5 (file.txt) = " + Md5, true, "file.txt", Md5, AlgorithmMd5},
        {"SHA1 (file.txt) = " + Sha1, true, "file.txt", Sha1, AlgorithmSha1},
        {"SHA256 (file.txt) = " + Sha256, true, "file.txt", Sha256, AlgorithmSha256},
        {"MD5 (a(b)c) = " + Md5, true, "a(b)c", Md5, AlgorithmMd5},
        {"MD5 (f) = a) = " + Md5, true, "f) = a", Md5, AlgorithmMd5},
        {"MD5 (x*y) = " + Md5, true, "x*y", Md5, AlgorithmMd5},
        {"MD5 () = " + Md5, true, "", Md5, AlgorithmMd5},
        // A tag must agree with the digest's length, and the digest end the line.
        {"MD5 (f) = " + Sha1, false, "", ""},
        {"SHA1 (f) = " + Md5, false, "", ""},
        {"SHA256 (f) = " + Sha1, false, "", ""},
        {"SHA512 (f) = " + Sha256, false, "", ""},
        {"MD5 (f) = " + Md5 + " ", false, "", ""},
        {"MD5 (f) = " + Md5 + "0", false, "", ""},
        {"MD5 (f) = d41d", false, "", ""},
        {"MD5 (f) = ", false, "", ""},
        {"MD5 (f) = " + Md5 + ")", false, "", ""},
        {"MD5 (f)=" + Md5, false, "", ""},
        {"MD5 (f) =" + Md5, false, "", ""},
        {"MD5 (f)= " + Md5, false, "", ""},
        {"MD5 (f)  = " + Md5, false, "", ""},
        {"md5 (f) = " + Md5, false, "", ""},
        {"sha256 (f) = " + Sha256, false, "", ""},
        {"MD5(f) = " + Md5, false, "", ""},
        {"MD5 (f", false, "", ""},
        {"MD5 (", false, "", ""},
        {"MD5", false, "", ""},
        {"", false, "", ""},
        {Md5 + "  file.txt", true, "file.txt", Md5, AlgorithmMd5},
        {Sha1 + "  file.txt", true, "file.txt", Sha1, AlgorithmSha1},
        {Sha256 + "  file.txt", true, "file.txt", Sha256, AlgorithmSha256, true},
        {Upper + "  a  b ", true, "a  b ", Upper, AlgorithmMd5},
        {Md5 + "   f", true, " f", Md5, AlgorithmMd5},
        // The asterisk form comes first, behind any blanks; a '*' further on
        // belongs to the name.
        {Md5 + "  a*b", true, "a*b", Md5, AlgorithmMd5},
        {Md5 + "  *a", true, "a", Md5, AlgorithmMd5},
        {Md5 + "*a", true, "a", Md5, AlgorithmMd5},
        {Md5 + " * a", true, " a", Md5, AlgorithmMd5},
        {Md5 + " *a*b", true, "a*b", Md5, AlgorithmMd5},
        {Md5 + " *name   ", true, "name   ", Md5, AlgorithmMd5},
        {Md5 + " *", true, "", Md5, AlgorithmMd5},
        // A digest is exactly as many digits as some digest has, standing alone.
        {Md5 + "00ff *a.txt", false, "", ""},
        {Md5.substr(1) + " *a.txt", false, "", ""},
        {Sha256 + "0 *a.txt", false, "", ""},
        {Md5 + "g *a.txt", false, "", ""},
        {Md5 + "\t*a.txt", false, "", ""},
        {"See *notes", false, "", ""},
        {"d41d *f", false, "", ""},
        {"*", false, "", ""},
        {"MD5 (a) *b", false, "", ""},
        {Md5 + " f", false, "", ""},
        {Md5.substr(1) + "  f", false, "", ""},
        {Md5.substr(1) + "g  f", false, "", ""},
        {Md5, false, "", ""},
        // md5sum's escaped names: "\\", "\n" and "\r" in a line it starts
        // with a backslash; a name without that start keeps its backslashes.
        {"\\" + Md5 + "  dir\\\\file.txt", true, "dir\\file.txt", Md5, AlgorithmMd5},
        {"\\" + Md5 + " *x\\ny\\r\\\\n", true, "x\ny\r\\n", Md5, AlgorithmMd5},
        {"\\MD5 (a\\nb) = " + Md5, true, "a\nb", Md5, AlgorithmMd5},
        {Md5 + "  dir\\\\file.txt", true, "dir\\\\file.txt", Md5, AlgorithmMd5},
        {"\\" + Md5 + "  a\\tb", false, "", ""},
        {"\\" + Md5 + "  a\\", false, "", ""},
        {"\\\\" + Md5 + "  a", false, "", ""},
        {"\\" + Sha256 + "  a\\\\b", true, "a\\b", Sha256, AlgorithmSha256, true},
        {"\xef\xbb\xbf\\" + Md5 + "  a\\nb", true, "a\nb", Md5, AlgorithmMd5},
        {" \t\\SHA1 (a\\\\b) = " + Sha1, true, "a\\b", Sha1, AlgorithmSha1},
        {"\xef\xbb\xbf" + Md5 + " *f", true, "f", Md5, AlgorithmMd5},
        {"\xef\xbb\xbfMD5 (f) = " + Md5, true, "f", Md5, AlgorithmMd5},
        {"\xef\xbb\xbf; Generated by Sumbrel", false, "", ""},
        {" \t SHA256 (f) = " + Sha256, true, "f", Sha256, AlgorithmSha256},
        {" \t " + Sha1 + " *f", true, "f", Sha1, AlgorithmSha1},
        {"\t# " + Md5 + " *b", false, "", ""},
        {"  ; " + Md5 + " *b", false, "", ""},
        {" \t ", false, "", ""},
        {Md5 + " *\xe9t\xe9", true, "\xe9t\xe9", Md5, AlgorithmMd5},
        // A tag decides, whatever the list's name; a digest of chosen length
        // names it in bits, a whole number of bytes, no longer than its own.
        {"SHA512 (f) = " + Sha512, true, "f", Sha512, AlgorithmSha512},
        {"BLAKE2b (f) = " + Sha512, true, "f", Sha512, AlgorithmBlake2b},
        {"BLAKE2b-256 (f) = " + Sha256, true, "f", Sha256, AlgorithmBlake2b, false, "SHA256SUMS"},
        {"BLAKE2b-8 (f) = ab", true, "f", "ab", AlgorithmBlake2b},
        {"BLAKE2b-512 (f) = " + Sha512, true, "f", Sha512, AlgorithmBlake2b},
        {"BLAKE3 (f) = " + Sha256, true, "f", Sha256, AlgorithmBlake3, false, "SHA256SUMS"},
        {"CRC32 (f) = " + Crc, true, "f", Crc, AlgorithmCrc32},
        {"BLAKE2b-256 (f) = " + Sha512, false, "", ""},
        {"BLAKE2b-252 (f) = " + Sha256.substr(1), false, "", ""},
        {"BLAKE2b-0256 (f) = " + Sha256, false, "", ""},
        {"BLAKE2b-1024 (f) = " + Sha512 + Sha512, false, "", ""},
        {"BLAKE2b- (f) = " + Sha512, false, "", ""},
        {"BLAKE2b-256(f) = " + Sha256, false, "", ""},
        {"SHA256-128 (f) = " + Md5, false, "", ""},
        {"BLAKE2b (f) = " + Sha256, false, "", ""},
        {"BLAKE3 (f) = " + Sha512, false, "", ""},
        // Untagged, the list's name decides where its digest may be that
        // long; else the count, and of two that share it the common one.
        {Sha512 + "  f", true, "f", Sha512, AlgorithmSha512, true},
        {Sha512 + "  f", true, "f", Sha512, AlgorithmSha512, false, "SHA512SUMS"},
        {Sha512 + " *f", true, "f", Sha512, AlgorithmSha512, false, "dir/x.SHA512"},
        {Sha512 + "  f", true, "f", Sha512, AlgorithmBlake2b, false, "b2sums.txt"},
        {Sha512 + "  f", true, "f", Sha512, AlgorithmBlake2b, false, "B2SUMS"},
        {Sha512 + "  f", true, "f", Sha512, AlgorithmBlake2b, false, "x.b2"},
        {Sha256 + "  f", true, "f", Sha256, AlgorithmBlake2b, false, "b2sums.txt"},
        {Md5 + "  f", true, "f", Md5, AlgorithmBlake2b, false, "b2sums.txt"},
        {Sha256 + "  f", true, "f", Sha256, AlgorithmBlake3, false, "x.b3"},
        {Sha256 + "  f", true, "f", Sha256, AlgorithmBlake3, false, "B3SUMS"},
        {Sha256 + "  f", true, "f", Sha256, AlgorithmSha256, false, "SHA256SUMS"},
        {Sha256 + "  f", true, "f", Sha256, AlgorithmSha256, true, "x.md5"},
        {Md5 + "  f", true, "f", Md5, AlgorithmMd5, false, "SHA512SUMS"},
        {Sha512 + "  f", true, "f", Sha512, AlgorithmSha512, true, "SHA512SUMS.old"},
        {Sha512.substr(1) + "  f", false, "", "", DigestAlgorithmCount, false, "b2sums.txt"},
        // Eight digits name CRC32 only in a list whose name says so.
        {Crc + "  f", false, "", ""},
        {Crc + "  f", true, "f", Crc, AlgorithmCrc32, false, "x.sfv"},
        // An .sfv line: the name first, eight digits last behind blanks, in
        // a list named for it only.
        {"file.txt " + CrcUpper, true, "file.txt", CrcUpper, AlgorithmCrc32, false, "x.sfv"},
        {"a b  c\t " + Crc, true, "a b  c", Crc, AlgorithmCrc32, false, "X.SFV"},
        {Crc + "  00ff00ff", true, Crc, "00ff00ff", AlgorithmCrc32, false, "x.sfv"},
        {"\xef\xbb\xbf  f " + Crc, true, "f", Crc, AlgorithmCrc32, false, "x.sfv"},
        {Md5 + " *f", true, "f", Md5, AlgorithmMd5, false, "x.sfv"},
        {"file.txt " + CrcUpper, false, "", ""},
        {"file.txt " + Crc, false, "", "", DigestAlgorithmCount, false, "SHA256SUMS"},
        {"file.txt " + Crc + " ", false, "", "", DigestAlgorithmCount, false, "x.sfv"},
        {"file.txt " + Crc.substr(1), false, "", "", DigestAlgorithmCount, false, "x.sfv"},
        {"file.txt0" + Crc, false, "", "", DigestAlgorithmCount, false, "x.sfv"},
        {" " + Crc, false, "", "", DigestAlgorithmCount, false, "x.sfv"},
        {"; " + Crc + "  f " + Crc, false, "", "", DigestAlgorithmCount, false, "x.sfv"},
        {"\\f " + Crc, false, "", "", DigestAlgorithmCount, false, "x.sfv"},
        // A whole tagged entry there is its tag's, not a name ending in " =".
        {"CRC32 (f) = " + Crc, true, "f", Crc, AlgorithmCrc32, false, "x.sfv"},
        {"BLAKE2b-32 (f) = " + Crc, true, "f", Crc, AlgorithmBlake2b, false, "X.Sfv"},
        {"CRC32 () = " + CrcUpper, true, "", CrcUpper, AlgorithmCrc32, false, "x.sfv"},
        {"CRC32 (f) = x " + Crc, true, "CRC32 (f) = x", Crc, AlgorithmCrc32, false, "x.sfv"},
    };
    for (const ParseCase &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.line));
        char line[SignatureLineSize];
        snprintf(line, sizeof line, "%s", c.line.c_str());
        size_t length = strlen(line);
        SignatureEntry entry;
        ListNaming naming = ListNamingOf(c.list);
        bool isEntry = SplitSignatureLine(line, naming, &entry);
        ASSERT_EQ(isEntry, c.entry);
        // What the jobs read is that, of a digest this build computes.
        char copy[SignatureLineSize];
        snprintf(copy, sizeof copy, "%s", c.line.c_str());
        SignatureEntry parsed;
        EXPECT_EQ(ParseSignatureLine(copy, naming, &parsed),
                  c.entry && DigestAvailable(c.algorithm, (uint32_t)c.digest.size()));
        if (!isEntry) {
            EXPECT_EQ(line, c.line); // a line that is no entry stays whole
            continue;
        }
        // Both parts point into the line itself.
        ASSERT_TRUE(entry.Name >= line && entry.Name <= line + length);
        ASSERT_TRUE(entry.DigestText >= line && entry.DigestText <= line + length);
        EXPECT_EQ(entry.Name, c.name);
        EXPECT_EQ(entry.DigestText, c.digest);
        EXPECT_EQ(entry.Algorithm, c.algorithm) << AlgorithmName(entry.Algorithm);
        EXPECT_EQ(entry.DigitCount, c.digest.size());
        EXPECT_EQ(entry.Assumed, c.assumed);
    }
}

// The name typed for a new signature file picks its algorithm by its
// ending, one this build computes; a list's whole name, as download sites
// name them, also says how its entries read.
TEST(SignatureParse, AlgorithmByFileName) {
    const DigestAlgorithm None = DigestAlgorithmCount;
    const struct {
        const char *name;
        DigestAlgorithm created; // of a new list by that name
        DigestAlgorithm read;    // of a list's untagged entries; None: the count decides
    } cases[] = {
        {"sigfile.md5", AlgorithmMd5, AlgorithmMd5},
        {"SHA256SUMS", AlgorithmMd5, AlgorithmSha256},
        {"sha256sums.txt", AlgorithmMd5, AlgorithmSha256},
        {"list.sha256", AlgorithmSha256, AlgorithmSha256},
        {"LIST.SHA256", AlgorithmSha256, AlgorithmSha256},
        {"dir/x.Sha1", AlgorithmSha1, AlgorithmSha1},
        {"x.sha1.txt", AlgorithmMd5, None},
        {".sha1", AlgorithmSha1, AlgorithmSha1},
        {"sha256", AlgorithmMd5, None},
        {"x.sha2560", AlgorithmMd5, None},
        {"x.sha", AlgorithmMd5, None},
        {"", AlgorithmMd5, None},
        {"MD5SUMS", AlgorithmMd5, AlgorithmMd5},
        {"SHA1SUMS", AlgorithmMd5, AlgorithmSha1},
        {"x.sha512", AlgorithmSha512, AlgorithmSha512},
        {"iso/SHA512SUMS", AlgorithmMd5, AlgorithmSha512},
        {"mySHA512SUMS", AlgorithmMd5, None},
        {"SHA512SUMS.gpg", AlgorithmMd5, None},
        {"x.b2", AlgorithmBlake2b, AlgorithmBlake2b},
        {"b2sums.txt", AlgorithmMd5, AlgorithmBlake2b},
        {"B2SUMS", AlgorithmMd5, AlgorithmBlake2b},
        {"x.B3", AlgorithmBlake3, AlgorithmBlake3},
        {"b3sums.txt", AlgorithmMd5, AlgorithmBlake3},
        {"files.sfv", AlgorithmCrc32, AlgorithmCrc32},
        {"files.sfv.bak", AlgorithmMd5, None},
        {"sfv", AlgorithmMd5, None},
        {"dir\\SHA1SUMS", AlgorithmMd5, NamesHoldBackslashes ? None : AlgorithmSha1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        // A digest whose code this build lacks is never written: MD5 is.
        bool computed = DigestAvailable(c.created, DigestTextLength(c.created));
        EXPECT_EQ(AlgorithmForSignatureFile(c.name), computed ? c.created : AlgorithmMd5);
        ListNaming naming = ListNamingOf(c.name);
        EXPECT_EQ(naming.Decided, c.read != None);
        if (naming.Decided) {
            EXPECT_EQ(naming.Algorithm, c.read);
        }
    }
}

// Each digest's list in the form its own tool checks: the asterisk for the
// sum tools, two blanks for b3sum, and the .sfv line, which has no escapes
// and so refuses a name it cannot hold.
TEST_F(SignatureFormat, EntryFormsWritten) {
    const struct {
        DigestAlgorithm algorithm;
        std::string digest;
        const char *name;
        bool written;
        std::string line; // on Linux, and on Windows unless told apart
        std::string windowsLine;
    } cases[] = {
        {AlgorithmMd5, Md5, "a b", true, Md5 + " *a b\n", ""},
        {AlgorithmSha1, Sha1, "x\ny", true, "\\" + Sha1 + " *x\\ny\n", ""},
        {AlgorithmSha256, Sha256, "a\\b", true, "\\" + Sha256 + " *a\\\\b\n", Sha256 + " *a\\b\n"},
        {AlgorithmBlake3, Sha256, "a b", true, Sha256 + "  a b\n", ""},
        {AlgorithmBlake3, Sha256, "x\ny", true, "\\" + Sha256 + "  x\\ny\n", ""},
        {AlgorithmCrc32, Crc, "a b.txt", true, "a b.txt CBF43926\n", ""},
        {AlgorithmCrc32, "00ff00ff", "x*y", true, "x*y 00FF00FF\n", ""},
        {AlgorithmCrc32, Crc, "a\\b", !NamesHoldBackslashes, "", "a\\b CBF43926\n"},
        {AlgorithmCrc32, Crc, "x\ny", false, "", ""},
        {AlgorithmCrc32, Crc, "x\ry", false, "", ""},
        {AlgorithmCrc32, Crc, " x", false, "", ""},
        {AlgorithmCrc32, Crc, "x\t", false, "", ""},
        {AlgorithmCrc32, Crc, ";x", false, "", ""},
        {AlgorithmCrc32, Crc, "#x", false, "", ""},
        {AlgorithmCrc32, Crc, "", false, "", ""},
    };
    std::string path = PathOf("entry");
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.name)));
        FILE *stream = fopen(path.c_str(), "wb");
        ASSERT_NE(stream, nullptr);
        EXPECT_EQ(WriteSignatureEntry(stream, c.algorithm, c.digest.c_str(), c.name), c.written);
        ASSERT_EQ(fclose(stream), 0);
        std::string bytes = ReadRaw(path);
        bool windows = !NamesHoldBackslashes && !c.windowsLine.empty();
        EXPECT_EQ(bytes, windows ? c.windowsLine : c.line);
        if (!c.written || bytes.empty())
            continue;
        // What was written reads back as itself, in a list of that digest.
        std::string line = bytes.substr(0, bytes.size() - 1);
        std::string list = std::string("x") + DigestRow(c.algorithm)->Endings[0];
        SignatureEntry entry;
        ASSERT_TRUE(SplitSignatureLine(&line[0], ListNamingOf(list.c_str()), &entry));
        EXPECT_EQ(std::string(entry.Name), c.name);
        EXPECT_EQ(entry.Algorithm, c.algorithm);
    }
}

TEST_F(SignatureFormat, SameFileOnDisk) {
    WriteRaw("x", "same bytes");
    WriteRaw("y", "same bytes");
    ASSERT_TRUE(fs::create_directory(dir / "d"));
    std::string x = PathOf("x");
    std::string viaSubdir = (dir / "d" / ".." / "x").string();
    std::string viaDot = (dir / "." / "x").string();
    std::string relative = (fs::path("signature_format_files") / "x").string();
    std::error_code linkError;
    fs::create_hard_link(dir / "x", dir / "link", linkError);
    ASSERT_FALSE(linkError) << linkError.message();

    EXPECT_TRUE(SameFileOnDisk(x.c_str(), x.c_str()));
    EXPECT_TRUE(SameFileOnDisk(x.c_str(), viaSubdir.c_str()));
    EXPECT_TRUE(SameFileOnDisk(viaDot.c_str(), x.c_str()));
    EXPECT_TRUE(SameFileOnDisk(relative.c_str(), x.c_str()));
    EXPECT_TRUE(SameFileOnDisk(PathOf("link").c_str(), x.c_str()));
    EXPECT_FALSE(SameFileOnDisk(x.c_str(), PathOf("y").c_str()));
    EXPECT_FALSE(SameFileOnDisk(x.c_str(), PathOf("d").c_str()));
    EXPECT_FALSE(SameFileOnDisk(x.c_str(), PathOf("missing").c_str()));
    EXPECT_FALSE(SameFileOnDisk(PathOf("missing").c_str(), x.c_str()));
    EXPECT_FALSE(SameFileOnDisk(PathOf("missing").c_str(), PathOf("missing").c_str()));

    // Where the file system ignores letter case, the other spelling is the
    // same file; where it does not, there is no such file.
    std::string upper = PathOf("X");
    EXPECT_EQ(SameFileOnDisk(upper.c_str(), x.c_str()), fs::exists(upper));
}
