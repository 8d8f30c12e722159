// The oracle for the signature reader: whole strings and indexes, no streams
// and no in-place splitting, so that it shares no mistake with the module.
#include "tests/fuzz/signature_model.h"

#include <algorithm>

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
    if (!ModelParseLine(first).isEntry)
        return false;
    for (size_t feed = first.find('\n'); feed != std::string::npos;
         feed = first.find('\n', feed + 1))
        if (ModelParseLine(first.substr(feed + 1, first.find('\n', feed + 1) - feed - 1)).isEntry)
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

static ModelEntry ModelSplitLine(std::string text);
static ModelEntry ModelSplitTagged(const std::string &text);

// md5sum's escaped line: a backslash first (behind a mark and blanks), then
// an entry whose name holds only the escapes "\\\\", "\\n" and "\\r".
ModelEntry ModelParseLine(const std::string &line) {
    std::string text = line.substr(0, line.find('\0'));
    size_t lead = text.compare(0, 3, "\xef\xbb\xbf") == 0 ? 3 : 0;
    lead = std::min(text.find_first_not_of(" \t", lead), text.size());
    if (lead == text.size() || text[lead] != '\\')
        return ModelSplitLine(text);
    text = text.substr(lead);
    for (size_t i = 1; i < text.size(); i++) {
        if (text[i] != '\\')
            continue;
        if (i + 1 == text.size() || std::string("\\nr").find(text[i + 1]) == std::string::npos)
            return ModelEntry();
        i++;
    }
    ModelEntry entry = ModelSplitLine(text.substr(1));
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

static ModelEntry ModelSplitLine(std::string text) {
    ModelEntry entry;
    if (text.compare(0, 3, "\xef\xbb\xbf") == 0)
        text = text.substr(3);
    text = text.substr(std::min(text.find_first_not_of(" \t"), text.size()));
    if (text.empty() || text[0] == ';' || text[0] == '#')
        return entry;
    // A digest is a run of 32, 40, 64 or 128 digits standing alone: MD5,
    // SHA-1, and of the two digests that share 64 and 128 digits the common
    // one (SHA-256 over BLAKE3, SHA-512 over BLAKE2b). Eight digits would be
    // CRC32, which only lists named for it hold untagged.
    size_t digits = 0;
    while (digits < text.size() && IsHex(text[digits]))
        digits++;
    if (digits == 32 || digits == 40 || digits == 64 || digits == 128) {
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
