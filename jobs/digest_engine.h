// The digests of a run's files, many files in flight at once and handed
// back strictly in the order they were given. Worker threads open and read
// ahead into a fixed budget of buffers; the calling thread digests what
// they read, several files side by side in the lanes of digest/lanes.h,
// and is the only thread that polls Escape or reports anything. Where
// threads or memory cannot be had, the files are digested one after
// another by FileDigest, with the same results.
//
// Escape never waits on the disk while worker threads read: a reader
// blocked in an open or a read is cancelled where the system can, and one
// that still does not return is left to end on its own, the module kept
// loaded until it has; the next engine starts only once it has ended.
// Going one file at a time, the calling thread reads, and a read that
// does not return holds it: that is the way of a machine where threads
// cannot be had, and of SUMBREL_FILES_AT_ONCE=1, kept for comparisons.
#pragma once

#include <stdint.h>

#include "digest/algorithm.h"
#include "jobs/file_digest.h"
#include "platform/platform.h"

// The most files in flight at once, and so the most handles open.
const uint32_t MostFilesInFlight = 64;
// The files given between two hand-overs to the readers, when the job
// gives many before it takes a result.
const uint32_t FilesGivenTogether = 16;
// A read quicker than this comes from memory, not from a disk that seeks.
const uint32_t QuickReadMicroseconds = 200;

// A file handed back, valid until the next call on the engine.
struct EngineResult {
    uint64_t number;  // the file's place in the run, counted from 0
    int64_t tag;      // as given with the file
    const char *name; // as given
    NameEncoding encoding;
    bool passed; // given unread: problem is as given, and nothing else applies
    bool read;   // text holds the digest; else problem says why not
    FileProblem problem;
    uint64_t bytes; // the bytes digested
    char text[LongestDigestTextSize];
};

// What the engine tells while the caller waits on the oldest file: its
// place in the run and name, and for a file that takes long, how far it
// has got (total is -1 until known). Called often, at least whenever the
// file waited for changes; the job decides what to redraw and when.
struct EngineWait {
    uint64_t number;
    const char *name;
    NameEncoding encoding;
    uint64_t done;
    int64_t total;
    bool slow; // waited on long enough to deserve its bar
};
struct WaitReport {
    void (*Show)(void *context, const EngineWait *wait);
    void *Context;
};

// The longest name a file is given by, with its terminating zero: a list's
// whole line, should its name be cut with it.
const uint32_t EngineNameSize = 4096 + 256;

// The files in flight, their buffers and the worker threads; null while
// the engine goes one file at a time.
struct Flight;

// An engine lives in its job's run record. Going one file at a time it
// keeps the one file given here; with a flight, that holds them all.
struct DigestEngine {
    Flight *flight;
    bool holding;   // one file at a time: a file is given and not handed back
    uint64_t given; // the files given so far
    int64_t tag;
    NameEncoding encoding;
    DigestAlgorithm algorithm;
    uint32_t digitCount;
    bool passed;
    FileProblem problem;
    char name[EngineNameSize];
};

// Starts an engine for files below the given folder, whose disk decides how
// many are read at once. filesAtOnce caps the files in flight (0: the
// engine's own choice, or SUMBREL_FILES_AT_ONCE from the environment; 1:
// one after another, by FileDigest alone, as also when threads or memory
// cannot be had).
void StartDigestEngine(DigestEngine *engine, const char *folder, uint32_t filesAtOnce);

// True while another file can be given before a result is taken.
bool EngineHasRoom(const DigestEngine *engine);

// Gives the next file of the run, to be digested by the algorithm at
// digitCount digits; name is copied.
void GiveFile(DigestEngine *engine, int64_t tag, const char *name, NameEncoding encoding,
              DigestAlgorithm algorithm, uint32_t digitCount);
// Gives the next name of the run as one nobody reads: it comes back in its
// turn, passed, with the problem given, so that a job tells whatever it
// has to about it in list order.
void GiveUnread(DigestEngine *engine, int64_t tag, const char *name, NameEncoding encoding,
                FileProblem problem);

// Waits for the oldest file given and hands it back; false when no file is
// waiting, or when Escape stopped the wait (AbortRequested), in which case
// the file was not dealt with. report may be null.
bool NextResult(DigestEngine *engine, EngineResult *result, const WaitReport *report);

// The tag of the oldest file given and not handed back; false for none.
bool OldestWaiting(const DigestEngine *engine, int64_t *tag);

// Stops the worker threads, closes every file and frees the engine, within
// a tenth of a second whatever the disk does: nothing of it runs after this
// returns but a reader blocked in a call that could not be cancelled,
// which ends on its own and frees what it held.
void StopDigestEngine(DigestEngine *engine);

// The most files the engine holds at once: 1 when it goes one at a time.
uint32_t EngineFilesAtOnce(const DigestEngine *engine);
// The chunks of its pool that files hold: none once every file given was
// handed back, whatever became of them.
uint32_t EngineChunksHeld(const DigestEngine *engine);
