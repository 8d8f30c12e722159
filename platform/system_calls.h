// The calls to the operating system that the engine of many files and the
// folder walk make, in one table: opening and reading a file to digest,
// listing a folder, asking whether a disk seeks slowly, and taking memory.
// The module calls them only through System, so that a test can put a
// fault in any of them (faults.h) and watch the run fail as a user would
// want it to: a read that fails half way, a listing cut short, memory that
// runs out at the Nth allocation, a disk that seeks slowly, a read that
// does not return.
#pragma once

#include <stddef.h>
#include <stdio.h>

#include "platform/platform.h"

struct SystemCalls {
    // OpenFileToDigest, and the stream's close.
    FILE *(*open)(const char *name, NameEncoding encoding);
    void (*close)(FILE *stream);
    // Reads up to size bytes; *got is how many came. False when the read
    // failed (the bytes that came before the failure are counted in *got).
    bool (*read)(FILE *stream, void *buffer, size_t size, size_t *got);
    // OpenFolderListing, NextFolderEntry, FolderListingFailed and
    // CloseFolderListing.
    FolderListing *(*openListing)(const char *name, NameEncoding encoding, FileIdentity *identity,
                                  FileProblem *problem);
    bool (*nextEntry)(FolderListing *listing, FolderEntry *entry);
    bool (*listingFailed)(const FolderListing *listing);
    void (*closeListing)(FolderListing *listing);
    bool (*seeksSlowly)(const char *folder);
    // malloc, realloc and free of the engine's, the walk's and the full
    // report's memory.
    void *(*allocate)(size_t size);
    void *(*reallocate)(void *block, size_t size);
    void (*release)(void *block);
};

// The table in use: the operating system's own calls unless a test or
// InstallFaults replaced some.
extern SystemCalls System;

// The operating system's own calls, for a replacement to fall back on.
extern const SystemCalls RealSystemCalls;
