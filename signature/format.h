// The signature file format: the text layout, the header and entry lines,
// and the entry parser.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include "digest/algorithm.h"

// The longest name an entry may carry is the longest path the platforms
// open (4095 bytes on Linux; Windows allows less). Its longest entry adds
// a byte-order mark, the longest tag with " (" and ") = ", and the longest
// digest; the rest leaves room for indentation. A line keeps at most
// SignatureLineSize - 1 bytes.
const uint32_t LongestEntryName = 4095;
const uint32_t SignatureLineSize = LongestEntryName + LongestDigestDigits + 64 + 1;

void WriteSignatureHeader(FILE *stream);
// Writes the entry in the form the digest's own tool checks (the table's
// EntryForm). False, writing nothing, for a name that form cannot hold: an
// .sfv line has no escapes, so a line end, a leading blank or ';', or on
// Linux a backslash, would read back as another name.
bool WriteSignatureEntry(FILE *stream, DigestAlgorithm algorithm, const char *digestText,
                         const char *name);

// What a list's file name says of its entries: the digest its ending
// (".sha512") or whole name ("SHA512SUMS", "b2sums.txt") names, if any.
struct ListNaming {
    bool Decided;
    DigestAlgorithm Algorithm; // when Decided
};
const ListNaming NoListName = {false, DigestAlgorithmCount};
ListNaming ListNamingOf(const char *fileName);

// A line of a verification's report, as md5sum -c words its findings:
// "name: FAILED", "name: FAILED open or read", with why after it in
// parentheses when why is not null; a name that would split the line is
// escaped as in an entry, behind a backslash.
void WriteReportLine(FILE *stream, const char *name, bool opened, const char *why);

// The first line of a report, which tells an earlier report from any other
// file before a new one replaces it.
extern const char ReportMark[];

// One entry of a signature file, pointing into the line it was read from.
struct SignatureEntry {
    char *Name;
    char *DigestText; // exactly DigitCount digits, either case
    DigestAlgorithm Algorithm;
    uint32_t DigitCount; // the algorithm's own, or a shorter length its tag or list chose
    // Neither tag nor list name decided, and another digest has as many
    // digits: Algorithm is the common one of them.
    bool Assumed;
};

// Splits an entry line in place into name and digest text and decides its
// digest, whether or not this build computes it. A byte-order mark and
// blanks or tabs before the entry are skipped. The entry forms, tried in
// this order: in a list named for CRC32, the .sfv line "name digits" (eight
// digits last, behind blanks); "digits *name" (blanks before the asterisk
// optional); the sum tools' default "digits  name"; "TAG (name) = digits".
// The digest is the tag's, for a tagged entry; else the list name's when its
// digest may have that many digits; else the one digest of that many digits,
// or, where several share the count, the common one (Assumed). False for
// any other line: a line is an entry only when its digest is exactly one.
bool SplitSignatureLine(char *line, ListNaming naming, SignatureEntry *entry);

// SplitSignatureLine, and true only for a digest this build computes:
// what the jobs read. A line of another digest is no entry to them.
bool ParseSignatureLine(char *line, ListNaming naming, SignatureEntry *entry);

// Where a list read as the common digest of a shared digit count could
// instead hold another: that digest, for the notice that tells how to name
// such a list. False when no other shares the count.
bool OtherDigestOfLength(DigestAlgorithm common, DigestAlgorithm *other);

// The algorithm a new signature file of this name gets: the digest its
// ending names (".sha256", ".sha512", ".b2", ".sfv"...), in any letter case,
// when this build computes it; DefaultDigest (MD5) otherwise.
DigestAlgorithm AlgorithmForSignatureFile(const char *fileName);
