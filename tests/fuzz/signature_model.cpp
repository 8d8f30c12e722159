// The oracle for the signature reader: whole strings and indexes, no streams
// and no in-place splitting, so that it shares no mistake with the module.
#include "tests/fuzz/signature_model.h"

#include <algorithm>

#include "signature/format.h"

static const size_t LineCapacity = SignatureLineSize - 1;

// CR LF becomes LF. A 0x1A with only 0x1A, CR and LF after it ends the
// text; anywhere else it and the run of those bytes behind it end a line.
static std::string TranslateText(const std::string &raw) {
    std::string text;
    for (size_t i = 0; i < raw.size(); i++) {
        if (raw[i] == '\x1a') {
            size_t next = raw.find_first_not_of("\x1a\r\n", i);
            if (next == std::string::npos)
                break;
            text += '\n';
            i = next - 1;
            continue;
        }
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n')
            continue; // the LF that follows stands for the pair
        text += raw[i];
    }
    return text;
}

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

// A UTF-16 list past its mark: characters (U+FFFD for a lone surrogate), CR
// LF as LF, no end at U+001A, and a line keeps the whole characters that fit.
static std::vector<std::string> ModelWideLines(const std::string &raw, bool bigEndian) {
    std::vector<uint32_t> units;
    for (size_t i = 2; i + 1 < raw.size(); i += 2) {
        uint8_t a = (uint8_t)raw[i], b = (uint8_t)raw[i + 1];
        units.push_back(bigEndian ? (uint32_t)(a << 8 | b) : (uint32_t)(b << 8 | a));
    }
    std::vector<uint32_t> codes;
    for (size_t i = 0; i < units.size(); i++) {
        uint32_t unit = units[i];
        bool high = unit >= 0xD800 && unit <= 0xDBFF;
        if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            codes.push_back(0x10000 + ((unit - 0xD800) << 10) + (units[++i] - 0xDC00));
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            codes.push_back(0xFFFD);
        } else if (!(unit == '\r' && i + 1 < units.size() && units[i + 1] == '\n')) {
            codes.push_back(unit);
        }
    }
    std::vector<std::string> lines(1);
    bool dropping = false;
    for (uint32_t code : codes) {
        if (code == '\n' || code == 0) {
            lines.emplace_back();
            dropping = false;
            continue;
        }
        std::string character;
        AppendUtf8(character, code);
        if (dropping || lines.back().size() + character.size() > LineCapacity)
            dropping = true;
        else
            lines.back() += character;
    }
    return lines;
}

std::vector<std::string> ModelListLines(const std::string &raw) {
    if (raw.compare(0, 2, "\xff\xfe") == 0 || raw.compare(0, 2, "\xfe\xff") == 0)
        return ModelWideLines(raw, raw[0] == '\xfe');
    return ModelSignatureLines(raw);
}

std::vector<std::string> ModelSignatureLines(const std::string &raw) {
    std::string text = TranslateText(raw);
    std::vector<std::string> lines;
    size_t at = 0;
    bool ended = false;
    while (!ended) {
        std::string line;
        bool full = false;
        for (;;) {
            if (line.size() == LineCapacity) {
                full = true;
                break;
            }
            if (at == text.size()) {
                ended = true;
                break;
            }
            char c = text[at++];
            if (c == '\n' || c == '\0')
                break;
            line += c;
        }
        if (full) {
            size_t feed = text.find_first_of(std::string("\n\0", 2), at);
            if (feed == std::string::npos) {
                at = text.size();
                ended = true;
            } else {
                at = feed + 1;
            }
        }
        lines.push_back(line);
    }
    return lines;
}

static bool IsHex(char c) {
    return std::string("0123456789abcdefABCDEF").find(c) != std::string::npos;
}

static ModelEntry ModelSplitLine(std::string text);

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

static ModelEntry ModelSplitLine(std::string text) {
    ModelEntry entry;
    if (text.compare(0, 3, "\xef\xbb\xbf") == 0)
        text = text.substr(3);
    text = text.substr(std::min(text.find_first_not_of(" \t"), text.size()));
    if (text.empty() || text[0] == ';' || text[0] == '#')
        return entry;
    // A digest is a run of 32, 40 or 64 digits standing alone.
    size_t digits = 0;
    while (digits < text.size() && IsHex(text[digits]))
        digits++;
    if (digits == 32 || digits == 40 || digits == 64) {
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
        return entry;
    }
    const std::pair<std::string, size_t> tags[] = {{"MD5", 32}, {"SHA1", 40}, {"SHA256", 64}};
    const std::string separator = ") = ";
    size_t close = text.rfind(')');
    for (const auto &tag : tags) {
        const std::string prefix = tag.first + " (";
        if (text.compare(0, prefix.size(), prefix) != 0)
            continue;
        if (close == std::string::npos || text.compare(close, separator.size(), separator) != 0)
            return entry;
        std::string digest = text.substr(close + separator.size());
        if (digest.size() != tag.second)
            return entry;
        for (char c : digest)
            if (!IsHex(c))
                return entry;
        entry.isEntry = true;
        entry.name = text.substr(prefix.size(), close - prefix.size());
        entry.digestText = digest;
        return entry;
    }
    return entry;
}

bool ModelIsCommentOrEmpty(const std::string &line) {
    return line.empty() || line[0] == '\0' || line[0] == ';' || line[0] == '#';
}
