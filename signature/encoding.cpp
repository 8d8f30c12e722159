// Telling a list's encoding by its mark, and UTF-8 names; see encoding.h.
#include "signature/encoding.h"

#include <string.h>

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
