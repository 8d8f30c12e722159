// The oracle for the signature reader: whole strings and indexes, no streams
// and no in-place splitting, so that it shares no mistake with the module.
#include "tests/fuzz/signature_model.h"

#include <algorithm>

#include "platform/platform.h"
#include "signature/format.h"

static const size_t LineCapacity = SignatureLineSize - 1;

static void AppendUtf8(std::string &text, uint32_t code) {
    if (code < 0x80) {
        text += (char)code;
    } else if (code < 0x800) {
        text += (char)(0xC0 | code >> 6);
        text += (char)(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        text += (char)(0xE0 | code >> 12);
        text += (char)(0x80 | (code >> 6 & 0x3F));
        text += (char)(0x80 | (code & 0x3F));
    } else {
        text += (char)(0xF0 | code >> 18);
        text += (char)(0x80 | (code >> 12 & 0x3F));
        text += (char)(0x80 | (code >> 6 & 0x3F));
        text += (char)(0x80 | (code & 0x3F));
    }
}

// A UTF-16 list past its mark as UTF-8: characters, U+FFFD for a lone
// surrogate, an odd last byte dropped.
static std::string DecodedWide(const std::string &raw, bool bigEndian) {
    std::vector<uint32_t> units;
    for (size_t i = 2; i + 1 < raw.size(); i += 2) {
        uint8_t a = (uint8_t)raw[i], b = (uint8_t)raw[i + 1];
        units.push_back(bigEndian ? (uint32_t)(a << 8 | b) : (uint32_t)(b << 8 | a));
    }
    std::string text;
    for (size_t i = 0; i < units.size(); i++) {
        uint32_t unit = units[i];
        bool high = unit >= 0xD800 && unit <= 0xDBFF;
        if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF)
            AppendUtf8(text, 0x10000 + ((unit - 0xD800) << 10) + (units[++i] - 0xDC00));
        else
            AppendUtf8(text, unit >= 0xD800 && unit <= 0xDFFF ? 0xFFFD : unit);
    }
    return text;
}

// A list whose text up to its first NUL (within one line's room) is one
// entry, none of whose later lines is an entry, ends entries at NULs only.
static bool EntriesEndAtNul(const std::string &text) {
    size_t nul = text.find('\0');
    if (nul == std::string::npos || nul >= LineCapacity)
        return false;
    std::string first = text.substr(0, nul);
    if (!ModelParseLine(first, "").isEntry)
        return false;
    for (size_t feed = first.find('\n'); feed != std::string::npos;
         feed = first.find('\n', feed + 1))
        if (ModelParseLine(first.substr(feed + 1, first.find('\n', feed + 1) - feed - 1), "")
                .isEntry)
            return false;
    return true;
}

std::vector<std::string> ModelListLines(const std::string &raw) {
    bool wide = raw.compare(0, 2, "\xff\xfe") == 0 || raw.compare(0, 2, "\xfe\xff") == 0;
    std::string text = wide ? DecodedWide(raw, raw[0] == '\xfe')
                            : raw.substr(raw.compare(0, 3, "\xef\xbb\xbf") == 0 ? 3 : 0);
    const std::string ends = EntriesEndAtNul(text) ? std::string(1, '\0') : std::string("\n\0", 2);
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        // A 0x1A starting a line ends the text when only 0x1A, CR and LF
        // follow it; otherwise they are skipped.
        if (text[at] == '\x1a') {
            at = text.find_first_not_of("\x1a\r\n", at);
            if (at == std::string::npos)
                break;
        }
        size_t end = std::min(text.find_first_of(ends, at), text.size());
        std::string line = text.substr(at, end - at);
        if (line.size() > LineCapacity) {
            size_t keep = LineCapacity;
            // A decoded list keeps whole characters only.
            if (wide && ((uint8_t)line[keep] & 0xC0) == 0x80) {
                while (keep > 0 && ((uint8_t)line[keep - 1] & 0xC0) == 0x80)
                    keep--;
                keep = keep > 0 ? keep - 1 : 0;
            }
            line.resize(keep);
        } else if (end < text.size() && text[end] == '\n' && !line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
        at = end + 1;
    }
    return lines;
}

static bool IsHex(char c) {
    return std::string("0123456789abcdefABCDEF").find(c) != std::string::npos;
}

static const FuzzListName ListNames[] = {
    {"in.md5", "in.md5"},
    {"list", "list"},
    {"list.txt", "list.txt"},
    {".sha1", ".sha1"},
    {"x.Md5", "x.Md5"},
    {"MD5SUMS", "MD5SUMS"},
    {"Md5Sums.TXT", "Md5Sums.TXT"},
    {"x.SHA1", "x.SHA1"},
    {"sha1sums", "sha1sums"},
    {"x.Sha256", "x.Sha256"},
    {"sha256SUMS", "sha256SUMS"},
    {"SHA256sums.txt", "SHA256sums.txt"},
    {"x.sHa512", "x.sHa512"},
    {"SHA512SUMS", "SHA512SUMS"},
    {"sha512sums.TXT", "sha512sums.TXT"},
    {"x.B2", "x.B2"},
    {"x.Blake2B", "x.Blake2B"},
    {"b2sums.txt", "b2sums.txt"},
    {"B2SUMS", "B2SUMS"},
    {"Blake2Sums", "Blake2Sums"},
    {"x.b3", "x.b3"},
    {"x.BLAKE3", "x.BLAKE3"},
    {"B3SUMS", "B3SUMS"},
    {"b3Sums.txt", "b3Sums.txt"},
    {"x.sfv", "x.sfv"},
    {"X.SFV", "X.SFV"},
    {"x.Sfv", "x.Sfv"},
    // Near misses: a list name inside a longer one, an ending not last.
    {"SHA512SUMS.old", "SHA512SUMS.old"},
    {"mySHA512SUMS", "mySHA512SUMS"},
    {"x.sfv.txt", "x.sfv.txt"},
    {"x.b2sum", "x.b2sum"},
    {"sha512sum", "sha512sum"},
    // Folders before the name: only its last part is a list name.
    {"sub/SHA512SUMS", nullptr},
    {"./b2sums.txt", "b2sums.txt"},
    {"sub/deeper/X.Sfv", nullptr},
    {"../verify/B3SUMS", "B3SUMS"},
    {"sub/../x.SHA256", "x.SHA256"},
    {"sub/deeper/list", nullptr},
    {"sub/deeper/../sha1SUMS", nullptr},
    // A backslash separates nothing where names may hold one.
    {"sub\\SHA1SUMS", "sub\\SHA1SUMS"},
};

const FuzzListName &FuzzListNameFor(uint8_t choice) {
    return ListNames[choice % (sizeof ListNames / sizeof ListNames[0])];
}

static std::string AsciiLower(const std::string &text) {
    std::string lower = text;
    for (char &c : lower)
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
    return lower;
}

// The digests as the tools and download sites name their lists.
struct ModelNaming {
    const char *tag;
    std::vector<std::string> endings, wholeNames; // in lower case
};

static const ModelNaming &Naming(size_t i) {
    static const ModelNaming namings[] = {
        {"MD5", {".md5"}, {"md5sums", "md5sums.txt"}},
        {"SHA1", {".sha1"}, {"sha1sums", "sha1sums.txt"}},
        {"SHA256", {".sha256"}, {"sha256sums", "sha256sums.txt"}},
        {"SHA512", {".sha512"}, {"sha512sums", "sha512sums.txt"}},
        {"BLAKE2b", {".b2", ".blake2b"}, {"b2sums", "b2sums.txt", "blake2sums"}},
        {"BLAKE3", {".b3", ".blake3"}, {"b3sums", "b3sums.txt"}},
        {"CRC32", {".sfv"}, {}},
    };
    return namings[i];
}
static const size_t NamingCount = 7;

std::string ModelListDigest(const std::string &listName) {
    std::string lower = AsciiLower(listName);
    for (size_t i = 0; i < NamingCount; i++)
        for (const std::string &ending : Naming(i).endings)
            if (lower.size() >= ending.size() &&
                lower.compare(lower.size() - ending.size(), ending.size(), ending) == 0)
                return Naming(i).tag;
    size_t separator = lower.find_last_of(NamesHoldBackslashes ? "/" : "/\\");
    std::string last = separator == std::string::npos ? lower : lower.substr(separator + 1);
    for (size_t i = 0; i < NamingCount; i++)
        for (const std::string &whole : Naming(i).wholeNames)
            if (last == whole)
                return Naming(i).tag;
    return "";
}

// The digits of each digest's full text; BLAKE2b may be any whole number of
// bytes up to it, as b2sum -l writes it.
static size_t FullDigits(const std::string &tag) {
    return tag == "MD5"      ? 32
           : tag == "SHA1"   ? 40
           : tag == "CRC32"  ? 8
           : tag == "SHA256" ? 64
           : tag == "BLAKE3" ? 64
                             : 128;
}

static bool DigestMayHave(const std::string &tag, size_t digits) {
    if (tag == "BLAKE2b")
        return digits % 2 == 0 && digits >= 2 && digits <= 128;
    return digits == FullDigits(tag);
}

static ModelEntry ModelSplitLine(std::string text, const std::string &listDigest, bool escaped);
static ModelEntry ModelSplitTagged(const std::string &text);

// md5sum's escaped line: a backslash first (behind a mark and blanks), then
// an entry whose name holds only the escapes "\\\\", "\\n" and "\\r".
ModelEntry ModelParseLine(const std::string &line, const std::string &listDigest) {
    std::string text = line.substr(0, line.find('\0'));
    size_t lead = text.compare(0, 3, "\xef\xbb\xbf") == 0 ? 3 : 0;
    lead = std::min(text.find_first_not_of(" \t", lead), text.size());
    if (lead == text.size() || text[lead] != '\\')
        return ModelSplitLine(text, listDigest, false);
    text = text.substr(lead);
    for (size_t i = 1; i < text.size(); i++) {
        if (text[i] != '\\')
            continue;
        if (i + 1 == text.size() || std::string("\\nr").find(text[i + 1]) == std::string::npos)
            return ModelEntry();
        i++;
    }
    ModelEntry entry = ModelSplitLine(text.substr(1), listDigest, true);
    std::string name;
    for (size_t i = 0; i < entry.name.size(); i++) {
        if (entry.name[i] == '\\') {
            i++;
            name += entry.name[i] == 'n' ? '\n' : entry.name[i] == 'r' ? '\r' : '\\';
        } else {
            name += entry.name[i];
        }
    }
    entry.name = name;
    return entry;
}

// The tag and the digits it asks for at the line's start, and where the
// name starts; none where no tag is there. BLAKE2b may carry its length in
// bits behind a dash, as b2sum -l writes it: a whole number of bytes from 8
// to 512 bits, written without leading zeros.
static bool ModelTag(const std::string &text, std::string *tag, size_t *digits, size_t *nameAt) {
    const std::pair<std::string, size_t> tags[] = {
        {"MD5", 32},      {"SHA1", 40},   {"SHA256", 64}, {"SHA512", 128},
        {"BLAKE2b", 128}, {"BLAKE3", 64}, {"CRC32", 8}};
    for (const auto &known : tags) {
        if (text.compare(0, known.first.size(), known.first) != 0)
            continue;
        *tag = known.first;
        size_t at = known.first.size();
        *digits = known.second;
        if (known.first == "BLAKE2b" && at < text.size() && text[at] == '-') {
            size_t end = at + 1;
            while (end < text.size() && text[end] >= '0' && text[end] <= '9')
                end++;
            std::string bits = text.substr(at + 1, end - at - 1);
            if (bits.empty() || bits.size() > 3 || bits[0] == '0')
                return false;
            int count = std::stoi(bits);
            if (count % 8 != 0 || count < 8 || count > 512)
                return false;
            *digits = (size_t)count / 4;
            at = end;
        }
        if (text.compare(at, 2, " (") != 0)
            return false;
        *nameAt = at + 2;
        return true;
    }
    return false;
}

// "TAG (name) = digits": the name runs to the line's last ')', the digits,
// as many as the tag asks for, end the line.
static ModelEntry ModelSplitTagged(const std::string &text) {
    ModelEntry entry;
    std::string tag;
    size_t digits = 0, nameAt = 0;
    if (!ModelTag(text, &tag, &digits, &nameAt))
        return entry;
    const std::string separator = ") = ";
    size_t close = text.rfind(')');
    if (close == std::string::npos || text.compare(close, separator.size(), separator) != 0)
        return entry;
    std::string digest = text.substr(close + separator.size());
    if (digest.size() != digits)
        return entry;
    for (char c : digest)
        if (!IsHex(c))
            return entry;
    entry.isEntry = true;
    entry.name = text.substr(nameAt, close - nameAt);
    entry.digestText = digest;
    entry.algorithm = tag;
    return entry;
}

// The .sfv line: a name, blanks or tabs, and eight digits that end the line.
static ModelEntry ModelSfvLine(const std::string &text) {
    ModelEntry entry;
    if (text.size() < 10)
        return entry;
    size_t digitsAt = text.size() - 8;
    for (size_t i = digitsAt; i < text.size(); i++)
        if (!IsHex(text[i]))
            return entry;
    if (text[digitsAt - 1] != ' ' && text[digitsAt - 1] != '\t')
        return entry;
    size_t nameEnd = text.find_last_not_of(" \t", digitsAt - 1);
    if (nameEnd == std::string::npos)
        return entry;
    entry.isEntry = true;
    entry.name = text.substr(0, nameEnd + 1);
    entry.digestText = text.substr(digitsAt);
    entry.algorithm = "CRC32";
    return entry;
}

static ModelEntry ModelSplitLine(std::string text, const std::string &listDigest, bool escaped) {
    ModelEntry entry;
    if (text.compare(0, 3, "\xef\xbb\xbf") == 0)
        text = text.substr(3);
    text = text.substr(std::min(text.find_first_not_of(" \t"), text.size()));
    if (text.empty() || text[0] == ';' || text[0] == '#')
        return entry;
    // In a list named for CRC32 the name-first line goes before every
    // untagged reading of it, but a whole tagged entry is its tag's; an
    // escaped line is never one.
    if (listDigest == "CRC32" && !escaped) {
        entry = ModelSplitTagged(text);
        if (!entry.isEntry)
            entry = ModelSfvLine(text);
        if (entry.isEntry)
            return entry;
    }
    size_t digits = 0;
    while (digits < text.size() && IsHex(text[digits]))
        digits++;
    // A digest is a run of digits standing alone. The list's name decides
    // when its digest may have that many; else 32, 40, 64 or 128 digits are
    // MD5, SHA-1, and of the two digests that share 64 and 128 digits the
    // common one (SHA-256 over BLAKE3, SHA-512 over BLAKE2b). Eight digits
    // would be CRC32, which only lists named for it hold untagged.
    bool byName = !listDigest.empty() && DigestMayHave(listDigest, digits);
    if (byName || digits == 32 || digits == 40 || digits == 64 || digits == 128) {
        size_t asterisk = text.find_first_not_of(' ', digits);
        if (asterisk != std::string::npos && text[asterisk] == '*') {
            entry.isEntry = true;
            entry.digestText = text.substr(0, digits);
            entry.name = text.substr(asterisk + 1);
        } else if (text.compare(digits, 2, "  ") == 0) {
            entry.isEntry = true;
            entry.digestText = text.substr(0, digits);
            entry.name = text.substr(digits + 2);
        }
        if (byName) {
            entry.algorithm = listDigest;
            return entry;
        }
        entry.algorithm = digits == 32   ? "MD5"
                          : digits == 40 ? "SHA1"
                          : digits == 64 ? "SHA256"
                                         : "SHA512";
        entry.assumed = digits == 64 || digits == 128;
        return entry;
    }
    return ModelSplitTagged(text);
}

bool ModelIsCommentOrEmpty(const std::string &line) {
    return line.empty() || line[0] == '\0' || line[0] == ';' || line[0] == '#';
}
