// A walk through a folder and everything below it, for signing a folder
// with its contents: one step per file, named relative to the panel's
// folder with '/' between the parts, in an order every run over the same
// tree repeats, so that two lists of one tree compare line by line.
//
// Within a folder the entries come in the byte order of their names
// (strcmp of the name in its encoding), files and folders interleaved; a
// folder's contents come at its place in that order. Links and junctions to
// folders are never followed, nor is a folder entered twice on one path; a
// link to a regular file is a file under the link's own name; anything else
// (devices, pipes, links leading nowhere) is passed over. Memory grows with
// the depth and the size of the folders on the current path only.
#pragma once

#include <stdint.h>

#include "platform/platform.h"

// What a step found.
enum WalkStepKind {
    WalkFile,         // a file to sign
    WalkFolderUnread, // a folder that could not be opened; the walk goes on
    WalkFailed,       // the walk cannot go on: memory ran out, or a folder's
                      // listing failed part way; the files below are unknown
    WalkEnd,          // everything is listed, or the poll stopped the walk
};

struct WalkStep {
    WalkStepKind kind;
    const char *name;      // the walk's own, good until the next step
    NameEncoding encoding; // UTF-8 when some part is beyond the code page
    FileProblem problem;   // why a folder could not be listed, or the walk failed
};

// The most files a walk passes over as the signature list: the list it
// replaces and the new one being written.
const uint32_t WalkSkippedMost = 2;

struct WalkLevel; // one folder on the current path, listed and sorted

struct FolderWalk {
    char *startName; // the folder the walk began at
    NameEncoding startEncoding;
    bool startEntered;
    WalkLevel *levels;  // the folders on the current path, outermost first
    uint32_t depth;     // levels in use
    size_t room;        // levels allocated
    int (*poll)();      // the job's Escape poll; non-zero stops the walk
    bool stopped;       // the poll stopped it
    bool failed;        // it could not go on; the failure is its last step
    FileProblem why;    // what made it fail
    size_t held;        // the bytes of memory the walk holds
    size_t mostHeld;    // the most it held at once, for a later walk to set aside
    FileIdentity start; // the current directory, the walk's first folder's own
    FileIdentity skipped[WalkSkippedMost];
    uint32_t skippedCount;
    char *name; // the current step's name
    size_t nameRoom;
};

// Prepares a walk from a folder named relative to the current directory (a
// panel item's name, in its encoding); nothing is read yet. The files with
// the identities in skipped (up to WalkSkippedMost) are never listed. False
// when memory runs out; EndFolderWalk is called either way.
bool StartFolderWalk(FolderWalk *walk, const char *folder, NameEncoding encoding, int (*poll)(),
                     const FileIdentity *skipped, uint32_t skippedCount);

// The next step. A folder is listed whole when the walk enters it, with
// the poll asked all along. When memory runs out or a listing fails part
// way, one WalkFailed step names the folder; after it, after the poll
// answered non-zero, or once the walk has gone through, every step is
// WalkEnd. A start that is a link or a file yields WalkEnd at once: nothing
// below it is the walk's; one that cannot be opened is the first step.
WalkStep NextWalkStep(FolderWalk *walk);

void EndFolderWalk(FolderWalk *walk);
