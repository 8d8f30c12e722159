// The one reader of signature lists; see list_reader.h. A UTF-16 list is
// decoded to UTF-8 as it is read, so that every line rule below sees bytes
// and holds the same in every encoding.
#include "signature/list_reader.h"

#include <string.h>

#include "platform/platform.h"
#include "signature/format.h"

const int EndOfText = 0x1A;
static const uint32_t Replacement = 0xFFFD;

static bool IsUtf16(ListEncoding encoding) {
    return encoding == ListInUtf16LE || encoding == ListInUtf16BE;
}

static char *PutUtf8(char *out, uint32_t code) {
    if (code < 0x80) {
        *out++ = (char)code;
    } else if (code < 0x800) {
        *out++ = (char)(0xC0 | code >> 6);
        *out++ = (char)(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        *out++ = (char)(0xE0 | code >> 12);
        *out++ = (char)(0x80 | (code >> 6 & 0x3F));
        *out++ = (char)(0x80 | (code & 0x3F));
    } else {
        *out++ = (char)(0xF0 | code >> 18);
        *out++ = (char)(0x80 | (code >> 12 & 0x3F));
        *out++ = (char)(0x80 | (code >> 6 & 0x3F));
        *out++ = (char)(0x80 | (code & 0x3F));
    }
    return out;
}

// One UTF-16 unit into UTF-8; a unit that is no character (a lone
// surrogate) reads as U+FFFD.
static char *PutUnit(ListReader *reader, char *out, uint32_t unit) {
    if (reader->highSurrogate) {
        uint32_t high = reader->highSurrogate;
        reader->highSurrogate = 0;
        if (unit >= 0xDC00 && unit <= 0xDFFF)
            return PutUtf8(out, 0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00));
        out = PutUtf8(out, Replacement);
    }
    if (unit >= 0xD800 && unit <= 0xDBFF) {
        reader->highSurrogate = unit;
        return out;
    }
    return PutUtf8(out, unit >= 0xDC00 && unit <= 0xDFFF ? Replacement : unit);
}

// Decodes the raw bytes raw[from, count) into the line buffer.
static_assert((ListRawSize / 2 + 1) * 3 <= ListBufferSize, "a decoded piece fits");
static uint32_t DecodeRaw(ListReader *reader, uint32_t from, uint32_t count) {
    bool bigEndian = reader->encoding == ListInUtf16BE;
    char *out = reader->bytes;
    for (uint32_t i = from; i < count; i++) {
        if (reader->oddByte < 0) {
            reader->oddByte = reader->raw[i];
            continue;
        }
        uint32_t first = (uint32_t)reader->oddByte, second = reader->raw[i];
        reader->oddByte = -1;
        out = PutUnit(reader, out, bigEndian ? first << 8 | second : second << 8 | first);
    }
    return (uint32_t)(out - reader->bytes);
}

// Reads the next piece of the file. A read that fails part way keeps what
// it got: the lines before the failure are still the list's.
static uint32_t ReadPiece(ListReader *reader, void *into, uint32_t size) {
    if (size > reader->readLeft)
        size = (uint32_t)reader->readLeft;
    size_t got = size ? fread(into, 1, size, reader->stream) : 0;
    if (got < size && ferror(reader->stream))
        reader->failed = true;
    reader->taken += got;
    reader->readLeft -= got;
    return (uint32_t)got;
}

static bool Refill(ListReader *reader) {
    reader->at = reader->end = 0;
    while (reader->end == 0 && !reader->failed && reader->readLeft > 0 && !feof(reader->stream)) {
        if (!IsUtf16(reader->encoding)) {
            reader->end = ReadPiece(reader, reader->bytes, ListBufferSize);
        } else {
            uint32_t got = ReadPiece(reader, reader->raw, ListRawSize);
            reader->end = DecodeRaw(reader, 0, got);
        }
    }
    // A high surrogate that ends the list is a character of its own.
    if (reader->end == 0 && reader->highSurrogate) {
        reader->highSurrogate = 0;
        reader->end = (uint32_t)(PutUtf8(reader->bytes, Replacement) - reader->bytes);
    }
    return reader->end > 0;
}

static inline int NextByte(ListReader *reader) {
    if (reader->at == reader->end && !Refill(reader))
        return EOF;
    return (uint8_t)reader->bytes[reader->at++];
}

// md5sum -z ends each entry with a NUL and escapes nothing, so a name may
// hold a line feed. Such a list is told by its first entry: the text before
// the first NUL is one entry taken whole, and none of its lines after the
// first is an entry of its own (which would make it a list of lines that
// merely holds a NUL).
static bool FirstEntryEndsAtNul(const ListReader *reader) {
    uint32_t limit = reader->end - reader->at;
    if (limit > SignatureLineSize - 1)
        limit = SignatureLineSize - 1;
    const char *start = reader->bytes + reader->at;
    const char *nul = static_cast<const char *>(memchr(start, 0, limit));
    if (nul == nullptr)
        return false;
    char line[SignatureLineSize];
    SignatureEntry entry;
    memcpy(line, start, (size_t)(nul - start));
    line[nul - start] = 0;
    if (!ParseSignatureLine(line, NoListName, &entry))
        return false;
    for (const char *piece = start; (piece = static_cast<const char *>(
                                         memchr(piece, '\n', (size_t)(nul - piece)))) != nullptr;) {
        piece++;
        const char *pieceEnd = piece;
        while (pieceEnd < nul && *pieceEnd != '\n')
            pieceEnd++;
        memcpy(line, piece, (size_t)(pieceEnd - piece));
        line[pieceEnd - piece] = 0;
        if (ParseSignatureLine(line, NoListName, &entry))
            return false;
    }
    return true;
}

// Starts the reader over the stream, reading at most readLeft bytes.
static void BeginList(ListReader *reader, FILE *stream, int (*stopPoll)(), uint64_t readLeft) {
    reader->stream = stream;
    reader->taken = 0;
    reader->readLeft = readLeft;
    reader->stopPoll = stopPoll;
    reader->encoding = ListInBytes;
    reader->entriesEndAtNul = false;
    reader->failed = reader->ended = false;
    reader->oddByte = -1;
    reader->highSurrogate = 0;
    // The start is read as bytes to find a byte-order mark, which tells how
    // the rest is read.
    uint32_t got = ReadPiece(reader, reader->raw, ListRawSize);
    char start[4] = {0, 0, 0, 0};
    memcpy(start, reader->raw, got < 3 ? got : 3);
    reader->encoding = ListEncodingOf(start);
    uint32_t mark = reader->encoding == ListInUtf8 ? 3 : reader->encoding == ListInBytes ? 0 : 2;
    reader->at = 0;
    if (IsUtf16(reader->encoding)) {
        reader->end = DecodeRaw(reader, mark, got);
    } else {
        reader->end = got - mark;
        memcpy(reader->bytes, reader->raw + mark, reader->end);
    }
    if (reader->end == 0)
        Refill(reader);
    reader->entriesEndAtNul = FirstEntryEndsAtNul(reader);
}

void StartList(ListReader *reader, FILE *stream, int (*stopPoll)()) {
    BeginList(reader, stream, stopPoll, UINT64_MAX);
}

static bool OpenWithin(ListReader *reader, const char *fileName, uint64_t readLeft,
                       int (*stopPoll)()) {
    FILE *stream = OpenSignatureFile(fileName);
    if (!stream)
        return false;
    BeginList(reader, stream, stopPoll, readLeft);
    return true;
}

bool OpenList(ListReader *reader, const char *fileName, int (*stopPoll)()) {
    return OpenWithin(reader, fileName, UINT64_MAX, stopPoll);
}

bool OpenListStart(ListReader *reader, const char *fileName, uint32_t mostBytes,
                   int (*stopPoll)()) {
    return OpenWithin(reader, fileName, mostBytes, stopPoll);
}

void CloseList(ListReader *reader) {
    if (reader->stream)
        fclose(reader->stream);
    reader->stream = nullptr;
}

bool ListReadFailed(const ListReader *reader) {
    return reader->failed;
}

// At a line's start, behind a 0x1A: when nothing but more 0x1A and line
// ends follows, the list ends there; otherwise what follows is read on.
static bool EndOfTextEndsList(ListReader *reader) {
    int c;
    do {
        c = NextByte(reader);
    } while (c == EndOfText || c == '\r' || c == '\n');
    if (c == EOF)
        return true;
    reader->at--; // the byte just taken is still in the buffer
    return false;
}

// The rest of an overlong line, dropped; a long run of bytes without a line
// end (a disk image read by mistake) asks the job's poll as a file read does.
static void SkipRestOfLine(ListReader *reader) {
    const uint32_t BytesPerPoll = 64 * 1024;
    uint32_t count = 0;
    for (;;) {
        int c = NextByte(reader);
        if (c == EOF || c == 0 || (c == '\n' && !reader->entriesEndAtNul))
            return;
        if (++count == BytesPerPoll) {
            count = 0;
            if (reader->stopPoll && reader->stopPoll())
                return;
        }
    }
}

// The bytes of a character cut by the end of the buffer go with the rest:
// a UTF-16 list's line keeps whole characters only.
static char *WholeCharactersEnd(char *begin, char *end, int next) {
    if ((next & 0xC0) != 0x80)
        return end;
    while (end > begin && ((uint8_t)end[-1] & 0xC0) == 0x80)
        end--;
    return end > begin ? end - 1 : end;
}

bool ReadListLine(ListReader *reader, char *buffer, uint32_t size) {
    char *end = buffer;
    char *full = buffer + size - 1;
    *buffer = '\0';
    int c = reader->ended ? EOF : NextByte(reader);
    if (c == EndOfText) {
        reader->ended = EndOfTextEndsList(reader);
        c = reader->ended ? EOF : NextByte(reader);
    }
    if (c == EOF)
        return false;
    bool cut = false;
    for (; c != EOF && c != 0 && (c != '\n' || reader->entriesEndAtNul); c = NextByte(reader)) {
        if (end == full) {
            if (IsUtf16(reader->encoding))
                end = WholeCharactersEnd(buffer, end, c);
            SkipRestOfLine(reader);
            cut = true;
            break;
        }
        *end++ = (char)c;
    }
    // CR LF ends a line as LF does; a lone CR is data.
    if (c == '\n' && !cut && end != buffer && end[-1] == '\r')
        end--;
    *end = '\0';
    return true;
}

static const char *PastMarkAndBlanks(const char *line) {
    if (strncmp(line, "\xEF\xBB\xBF", 3) == 0)
        line += 3;
    while (*line == ' ' || *line == '\t')
        line++;
    return line;
}

bool IsBlank(const char *line) {
    return *PastMarkAndBlanks(line) == '\0';
}

bool IsBlankOrComment(const char *line) {
    const char *text = PastMarkAndBlanks(line);
    return *text == '\0' || *text == ';' || *text == '#';
}
