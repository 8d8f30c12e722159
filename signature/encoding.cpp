// Reading signature files in UTF-16 and telling UTF-8 names; see encoding.h.
#include "signature/encoding.h"

#include <string.h>

#include "digest/file_digest.h"
#include "signature/text_bytes.h"

static const uint32_t NoUnit = 0x10000;
static const uint32_t Replacement = 0xFFFD;

ListEncoding ListEncodingOf(const char *firstLine) {
    const uint8_t *bytes = (const uint8_t *)firstLine;
    if (bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
        return ListInUtf8;
    if (bytes[0] == 0xFF && bytes[1] == 0xFE)
        return ListInUtf16LE;
    if (bytes[0] == 0xFE && bytes[1] == 0xFF)
        return ListInUtf16BE;
    return ListInBytes;
}

// The next 16-bit unit, or NoUnit at the end (an odd last byte included).
static uint32_t NextUnit(FILE *stream, bool bigEndian) {
    int first = NextTextByte(stream);
    if (first == EOF)
        return NoUnit;
    int second = NextTextByte(stream);
    if (second == EOF)
        return NoUnit;
    return bigEndian ? (uint32_t)(first << 8 | second) : (uint32_t)(second << 8 | first);
}

static uint32_t Utf8Length(uint32_t code) {
    return code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
}

static char *PutUtf8(char *out, uint32_t code) {
    switch (Utf8Length(code)) {
    case 1:
        *out++ = (char)code;
        break;
    case 2:
        *out++ = (char)(0xC0 | code >> 6);
        *out++ = (char)(0x80 | (code & 0x3F));
        break;
    case 3:
        *out++ = (char)(0xE0 | code >> 12);
        *out++ = (char)(0x80 | (code >> 6 & 0x3F));
        *out++ = (char)(0x80 | (code & 0x3F));
        break;
    default:
        *out++ = (char)(0xF0 | code >> 18);
        *out++ = (char)(0x80 | (code >> 12 & 0x3F));
        *out++ = (char)(0x80 | (code >> 6 & 0x3F));
        *out++ = (char)(0x80 | (code & 0x3F));
    }
    return out;
}

void ReadWideSignatureLine(FILE *stream, bool bigEndian, char *buffer, uint32_t size) {
    char *end = buffer;
    char *full = buffer + size - 1;
    bool cut = false;
    // A unit read to look past a CR or a high surrogate and not yet used.
    uint32_t carried = NoUnit;
    while (!feof(stream) || carried != NoUnit) {
        uint32_t unit = carried != NoUnit ? carried : NextUnit(stream, bigEndian);
        carried = NoUnit;
        if (unit == NoUnit || unit == '\n' || unit == 0)
            break;
        uint32_t code = unit;
        if (unit == '\r') {
            uint32_t next = NextUnit(stream, bigEndian);
            if (next == '\n')
                break;
            carried = next;
        } else if (unit >= 0xD800 && unit <= 0xDBFF) {
            uint32_t next = NextUnit(stream, bigEndian);
            if (next >= 0xDC00 && next <= 0xDFFF)
                code = 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00);
            else {
                code = Replacement;
                carried = next;
            }
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            code = Replacement;
        }
        if ((size_t)(full - end) < Utf8Length(code)) {
            // Unless the unit looked at already ended the line, its rest goes.
            cut = carried != '\n' && carried != 0;
            break;
        }
        end = PutUtf8(end, code);
    }
    *end = '\0';
    // The rest of an overlong line is dropped, not read as a line of its own;
    // a long run without a line end polls for Escape as the byte reader does.
    const uint32_t UnitsPerPoll = 32 * 1024;
    uint32_t count = 0;
    while (cut) {
        uint32_t unit = NextUnit(stream, bigEndian);
        cut = unit != NoUnit && unit != '\n' && unit != 0;
        if (++count == UnitsPerPoll) {
            count = 0;
            PollEscapeWhenDue();
            if (AbortRequested)
                break;
        }
    }
}

bool IsMultiByteUtf8(const char *text) {
    bool multiByte = false;
    for (const uint8_t *c = (const uint8_t *)text; *c != 0;) {
        if (*c < 0x80) {
            c++;
            continue;
        }
        uint32_t length = *c >= 0xC2 && *c <= 0xDF   ? 2
                          : *c >= 0xE0 && *c <= 0xEF ? 3
                          : *c >= 0xF0 && *c <= 0xF4 ? 4
                                                     : 0;
        if (length == 0)
            return false;
        uint32_t code = *c & (0xFF >> (length + 1));
        for (uint32_t i = 1; i < length; i++) {
            if ((c[i] & 0xC0) != 0x80)
                return false;
            code = code << 6 | (c[i] & 0x3F);
        }
        // Overlong forms, surrogates and what lies past U+10FFFF are no UTF-8.
        if ((length == 3 && code < 0x800) || (length == 4 && code < 0x10000) ||
            (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
            return false;
        multiByte = true;
        c += length;
    }
    return multiByte;
}
