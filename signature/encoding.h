// The encodings signature files come in: bytes of the code page (and, on
// Linux, of any name), UTF-8 marked by a byte-order mark, and UTF-16 in
// either byte order, which the list reader turns into UTF-8 lines.
#pragma once

#include <stdint.h>
#include <stdio.h>

enum ListEncoding { ListInBytes, ListInUtf8, ListInUtf16LE, ListInUtf16BE };

// What the first bytes of a list tell: a UTF-8 or UTF-16 byte-order mark,
// or none.
ListEncoding ListEncodingOf(const char *firstLine);

// True when the text is well-formed UTF-8 holding at least one multi-byte
// sequence: a name in a list without a mark that may be meant as UTF-8.
bool IsMultiByteUtf8(const char *text);
