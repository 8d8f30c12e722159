// The full report of a verification: every listed file that changed or
// could not be read, in the list's order and in md5sum -c's words, written
// on request to "<list>.report.txt" beside the signature list when the
// closing notice cannot name them all.
#pragma once

#include <stdint.h>

#include "platform/platform.h"

// A failure the report needs, by its entry's place in the list: the names
// themselves are read again from the list when the report is written, so
// that a run of many failures keeps a few bytes for each.
struct FailureRecord {
    uint32_t entry;  // the entry's number in the list, from 0
    uint8_t outcome; // a FileProblem, or FailureChanged
};
const uint8_t FailureChanged = 0xFF;

struct FailureLog {
    FailureRecord *records; // in list order
    uint32_t count, capacity;
    uint32_t lost; // failures left unrecorded for want of memory
};

// Notes the failure of the entry numbered entry (as given, in list order).
void NoteFailure(FailureLog *log, uint64_t entry, uint8_t outcome);
void FreeFailureLog(FailureLog *log);

// What the report's last lines count.
struct ReportCounts {
    int checked;    // entries read
    int changed;    // digests that differ
    int unreadable; // files not opened or read
};

// The report's name: the list's name with ".report.txt" after it. False
// when it would not fit.
bool ReportNameOf(const char *listName, char *reportName, size_t size);

// Writes the report beside the list, replacing an earlier report but no
// other file, and tells the user where it went, or why not.
void WriteFullReport(const char *listName, const FailureLog *log, const ReportCounts *counts);
