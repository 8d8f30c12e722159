// The signature file format: the text layout, the header and entry lines,
// and the entry parser.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include "digest/algorithm.h"

// The longest name an entry may carry is the longest path the platforms
// open (4095 bytes on Linux; Windows allows less). Its longest entry adds 79
// bytes: a byte-order mark, "SHA256 (", ") = " and 64 digits; the rest
// leaves room for indentation. A line keeps at most SignatureLineSize - 1 bytes.
const uint32_t LongestEntryName = 4095;
const uint32_t SignatureLineSize = LongestEntryName + 96 + 1;

void WriteSignatureHeader(FILE *stream);
void WriteSignatureEntry(FILE *stream, const char *digestText, const char *name);

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
