// The encodings signature files come in: bytes of the code page (and, on
// Linux, of any name), UTF-8 marked by a byte-order mark, and UTF-16 in
// either byte order, which is read as UTF-8 lines.
#pragma once

#include <stdint.h>
#include <stdio.h>

enum ListEncoding { ListInBytes, ListInUtf8, ListInUtf16LE, ListInUtf16BE };

// What the start of a list's first line, read as bytes, tells: a UTF-8 or
// UTF-16 byte-order mark, or none. The byte reader stops a UTF-16 line at
// its first zero byte, which always comes after the mark.
ListEncoding ListEncodingOf(const char *firstLine);

// Reads one line of a UTF-16 list, opened untranslated and past its mark,
// as UTF-8, by the rules of the byte reader: CR LF and LF end a line, a lone
// CR is data, NUL ends a line too, and a line too long for size - 1 bytes is
// cut after its last whole character and its rest dropped. A unit that is no
// character (a lone surrogate) reads as U+FFFD.
void ReadWideSignatureLine(FILE *stream, bool bigEndian, char *buffer, uint32_t size);

// True when the text is well-formed UTF-8 holding at least one multi-byte
// sequence: a name in a list without a mark that may be meant as UTF-8.
bool IsMultiByteUtf8(const char *text);
