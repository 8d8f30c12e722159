// The one reader of signature lists: whatever the list's encoding (bytes of
// the code page, UTF-8 behind a byte-order mark, UTF-16 in either byte
// order) and whatever ends its entries (line ends, or NULs as md5sum -z
// writes them), it yields UTF-8 or code-page lines by one set of rules.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include "signature/encoding.h"

// Decoded bytes held ahead of the line reader: enough to look a whole first
// line ahead, which tells how the list ends its entries.
// A raw UTF-16 piece makes at most three bytes of every two.
const uint32_t ListRawSize = 12 * 1024;
const uint32_t ListBufferSize = 20 * 1024;

struct ListReader {
    FILE *stream;
    // Asked now and then while the rest of an overlong line is skipped: a
    // job's Escape poll, whose non-zero answer stops the skip; null for none.
    int (*stopPoll)();
    ListEncoding encoding;
    bool entriesEndAtNul;   // a md5sum -z list: a line feed is part of a name
    bool failed;            // a read of the file failed; what came before stands
    bool ended;             // nothing but 0x1A and line ends was left
    uint64_t taken;         // the bytes read from the file so far
    uint64_t readLeft;      // the bytes it may still read: its start only, or all
    uint32_t at, end;       // the decoded bytes not yet taken: bytes[at, end)
    int oddByte;            // UTF-16: the first byte of a unit cut by a read, or -1
    uint32_t highSurrogate; // UTF-16: a high surrogate waiting for its pair, or 0
    char bytes[ListBufferSize];
    uint8_t raw[ListRawSize]; // UTF-16 as read, before it is decoded
};

// Opens a signature list by name (as OpenSignatureFile does: a regular
// file only) and reads its start; stopPoll is the reader's. False when it
// cannot be opened; nothing is reported.
bool OpenList(ListReader *reader, const char *fileName, int (*stopPoll)());

// The same, reading no more than the file's first mostBytes bytes, as
// though it ended there: enough to tell a list from other text without
// reading a large file through.
bool OpenListStart(ListReader *reader, const char *fileName, uint32_t mostBytes, int (*stopPoll)());

// The same over a stream already open for untranslated reading at its
// start; CloseList closes it.
void StartList(ListReader *reader, FILE *stream, int (*stopPoll)());
void CloseList(ListReader *reader);

// Reads the next line into buffer without its end. False once the list is
// at its end or a read failed (ListReadFailed tells which).
//
// The rules, the same in every encoding: LF, CR LF and NUL end a line; in a
// list whose first entry ends with a NUL only a NUL does (md5sum -z writes
// names unescaped). A lone CR is data. A 0x1A at the start of a line ends
// the list when nothing but more 0x1A and line ends follows it, and is
// skipped otherwise: lists copied together keep every entry. Inside a line
// it is part of a name. A line longer than size - 1 bytes is cut (after its
// last whole character in a UTF-16 list) and its rest dropped, with
// stopPoll asked meanwhile.
bool ReadListLine(ListReader *reader, char *buffer, uint32_t size);

bool ListReadFailed(const ListReader *reader);

// True for a line that holds nothing but blanks and tabs (after a
// byte-order mark), and for a comment (';' or '#' first after them).
bool IsBlank(const char *line);
bool IsBlankOrComment(const char *line);
