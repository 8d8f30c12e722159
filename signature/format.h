// The signature file format: the text layout, the header and entry lines,
// the bounded line reader and the entry parser.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include "digest/algorithm.h"
#include "digest/file_digest.h"

struct PanelInfoRecord;
struct PanelItemRecord;

// The longest name an entry may carry is the longest path the platforms
// open (4095 bytes on Linux; Windows allows less). Its longest entry adds 79
// bytes: a byte-order mark, "SHA256 (", ") = " and 64 digits; the rest
// leaves room for indentation. A line keeps at most SignatureLineSize - 1 bytes.
const uint32_t LongestEntryName = 4095;
const uint32_t SignatureLineSize = LongestEntryName + 96 + 1;

void WriteSignatureHeader(FILE *stream);
void WriteSignatureEntry(FILE *stream, const char *digestText, const char *name);

// One entry of a signature file, pointing into the line it was read from.
struct SignatureEntry {
    char *Name;
    char *DigestText; // exactly the algorithm's digits, either case
    DigestAlgorithm Algorithm;
};

// Splits an entry line in place into name and digest text. A byte-order mark
// and blanks or tabs before the entry are skipped. A digest is 32, 40 or 64
// hexadecimal digits, which name MD5, SHA-1 and SHA-256. The entry forms,
// tried in this order: "digest *name" (blanks before the asterisk optional),
// "MD5 (name) = digest" with the tags "SHA1" and "SHA256" too, each tag with
// its own length, and the sum tools' default "digest  name". False for any
// other line: a line is an entry only when its digest is exactly one.
bool ParseSignatureLine(char *line, SignatureEntry *entry);

// The algorithm a new signature file of this name gets: SHA-256 for a name
// ending in ".sha256", SHA-1 for ".sha1", in any letter case; MD5 otherwise.
DigestAlgorithm AlgorithmForSignatureFile(const char *fileName);

// Platform layer (signature/text_mode_and_identity_*.cpp).

// Whether a name may hold a backslash as a character of its own (Linux), or
// 0x5C is a separator or half of a double-byte letter (Windows).
extern const bool NamesHoldBackslashes;

// Opens a signature file to read, mode "r": untranslated, by the very name
// given (on Windows a bare name exactly as spelled), of a regular file only;
// the list reader makes the line ends. Lists are written through
// StartSignatureOutput alone. Null on failure; nothing is reported.
FILE *OpenSignatureFile(const char *name, const char *mode);

// A path as the platform's file calls take it: bytes on Linux, UTF-16 on
// Windows, which tells where a link leads only in UTF-16.
#ifdef _WIN32
typedef wchar_t PathUnit;
#else
typedef char PathUnit;
#endif

// Creation's output: the list goes to a new file beside the file the target
// names, which takes that file's place only once it is complete, so that a
// run that fails or lists nothing never costs the user the list already
// there. A symbolic link is followed: the file it leads to is renewed and
// the link stays a link.
struct SignatureOutput {
    FILE *stream;
    PathUnit newFile[4096 + 64]; // the list's folder and a name of its own
    PathUnit list[4096 + 64];    // the file the new one replaces, or becomes
    bool madeList; // Windows: made empty to learn where a link leads; removed unless kept
};

// Creates the new file for a target that is an ordinary file or none yet,
// also through symbolic links (not a device, pipe, folder or read-only
// file), with the old list's permissions or attributes; writing to it
// stores every LF as CR LF. False when it cannot; nothing is reported.
bool StartSignatureOutput(SignatureOutput *output, const char *target);

// Closes the new file. When keep is true and every write reached the disk,
// the new file replaces the list (on Windows a bare name exactly as
// spelled) and the result is true; otherwise the new file is removed and
// the target stays as it was.
bool FinishSignatureOutput(SignatureOutput *output, const char *target, bool keep);

// The current directory, which is the panel's; false if it cannot be told.
bool CurrentFolder(char *path, size_t size);

// True when a panel item and a typed file name lead to the same file on disk
// (same device and inode; on Windows the same volume and file index, the
// item's bare name taken as exactly that file, as it is digested); false if
// either cannot be examined.
bool SameFileOnDisk(const char *itemName, const char *fileName);

// The same for a name listed in a signature file, taken as exactly the file
// it digested: on Windows a bare listed name is opened exactly too. The
// panel item's name is the one that opens its file (ItemFileName).
bool SameFileAsListed(const char *itemName, NameEncoding itemEncoding, const char *listedName,
                      NameEncoding listedEncoding);

// The name the file's own directory holds for it, the last part of the path
// as stored on disk and as the host lists it (on Windows the long name in
// its stored letter case, also for a short 8.3 name, in the code page as
// the narrow listing gives it). False if the file cannot be examined.
bool NameInDirectory(const char *path, NameEncoding encoding, char *name, size_t size);

// The names of the current directory that its listing in the code page
// does not lead back to: a letter the code page lacks arrives in a panel
// item as '?' or as a look-alike, which may be another file's name. Listed
// once a job; null when every name leads back to its own file, as always on
// Linux, where names are bytes. Free it with FreeStrayNames.
struct StrayNames;
StrayNames *ListStrayNames(const PanelInfoRecord *record);
void FreeStrayNames(StrayNames *strays);

// The name that opens exactly the panel item's own file, and its encoding:
// the item's name where it leads there, else the real name, chosen by the
// item's short name where the host gives one, otherwise among the real names
// whose code-page form is the item's name. False when two files fit and
// nothing tells them apart: no guess is made.
// Done in two steps, for a job that resolves each item once: how the
// item's file was found (by its own name, not at all, or as the real name
// of that number), then the name that opens it. Names of the same listed
// form are found by a search, not by a look at every name of the folder.
const int32_t ItemByOwnName = -1;
const int32_t ItemUnresolved = -2;
int32_t ResolveItem(const StrayNames *strays, const PanelItemRecord *item);
bool ResolvedItemName(const StrayNames *strays, const PanelItemRecord *item, int32_t resolution,
                      char *name, size_t size, NameEncoding *encoding);

static inline bool ItemFileName(const StrayNames *strays, const PanelItemRecord *item, char *name,
                                size_t size, NameEncoding *encoding) {
    return ResolvedItemName(strays, item, ResolveItem(strays, item), name, size, encoding);
}
