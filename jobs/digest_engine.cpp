// The digests of a run's files, many in flight at once, handed back in
// the order given.
//
// The files given wait in a ring of slots, oldest first. Worker threads
// open them and read them ahead, chunk by chunk, into a pool of chunks
// shared by all files, a few chunks ahead per file at most: while one
// chunk of a file is digested the next is read. The calling thread, while
// it waits on the oldest file, and any worker with nothing to read digest
// whatever chunks are ready, of as many files as the lanes take at once;
// the calling thread alone polls Escape and tells the job anything. A
// file's stream belongs to the reader reading it, its chunks to the reader
// until they are counted read, and its digest state to the thread whose
// lanes hold it: the lock guards only those counts, the free chunks and the
// flags, so no thread reads or digests holding it.
//
// On a disk that pays for each seek only one read is under way at a time,
// file after file in order, so that the disk reads as it would for one
// file at a time.
#include "jobs/digest_engine.h"

#include <stdlib.h>
#include <string.h>

#include "digest/lanes.h"
#include "host/host.h"
#include "jobs/escape.h"
#include "platform/system_calls.h"

// A chunk is read in one call: large enough that a call's cost is small
// beside its copy, small enough that one read of a slow disk does not hold
// up an Escape. A multiple of the 64-byte block, so that every chunk but
// a file's last goes into the lanes whole.
static const uint32_t ChunkSize = 64 * 1024;
static const uint32_t MostReaders = 4;
// The pool: a fixed budget whatever the run, room for the widest lanes'
// files a MiB each when a slow disk is read file after file, and how much
// of it one file may hold, so that a large file leaves room for the others.
// Where the host's address space has no room for it, half as much, down
// to a sixteenth.
static const uint32_t MostPoolChunks = 512;
static const uint32_t LeastPoolChunks = MostPoolChunks / 16;
static const uint32_t MostChunksAhead = 16;
// Read file after file, one file may take half the pool: the next cannot
// be read before it ends anyway, and a file held at a few chunks would
// leave the reader digesting in turns with its reads.
static const uint32_t MostChunksAheadInOrder = MostPoolChunks / 2;
// Reads between wake-ups of the digesting threads, while they wait for
// their lanes to fill.
static const uint32_t QuietReads = 16;
// How long a thread sleeps when nothing wakes it; only a safeguard.
static const uint32_t IdleWait = 100 * 1000;
// How long the calling thread waits for a reader before it looks at the
// console and the progress again: well below the Escape poll's interval.
static const uint32_t CallerWait = 5 * 1000;
// A file waited on this long gets its bar, as FileDigest gives it.
static const uint64_t SlowFileDelay = 1000 * 1000;

struct FileInFlight {
    // Given by the calling thread.
    int64_t tag;
    NameEncoding encoding;
    DigestAlgorithm algorithm;
    bool passed;
    char *name; // EngineNameSize bytes of the flight's memory
    // Read by a worker: the stream and the chunk being filled are its own
    // while reading is set.
    FILE *stream;
    bool reading;
    bool ended; // read to its end, or failed
    bool failed;
    FileProblem problem;
    int64_t size; // -1 until a reader has asked
    uint64_t bytesRead;
    uint32_t chunksRead; // counted from the file's start; the last few are queued
    uint16_t chunks[MostChunksAheadInOrder]; // pool numbers, by chunk count
    uint32_t lengths[MostChunksAheadInOrder];
    // Digested by the thread whose lanes hold it (digesting).
    AlgorithmState state;
    uint32_t chunksDigested;
    uint32_t offset;      // digested bytes of the current chunk
    uint32_t endBlocks;   // the message's last blocks, made from its tail; 0 until made
    uint32_t endDigested; // of those, digested
    uint8_t end[128];
    bool digesting; // in a thread's lanes right now
    bool done;
    char text[LongestDigestTextSize];
    uint64_t bytesDigested;
    uint64_t waitedSince; // 0 until the caller first waits on it
};

// A reader's seat: its flight and the number it waits by (the calling
// thread waits by 0).
struct Flight;
struct ReaderSeat {
    Flight *flight;
    uint32_t waiter;
};

struct Flight {
    WorkLock *lock;
    WorkerThread *readers[MostReaders];
    ReaderSeat seats[MostReaders];
    uint32_t readerCount;
    uint32_t reads;      // under way right now
    uint32_t quietReads; // read since the last wake-up
    bool stopping;
    bool inOrder;         // one read at a time, file after file: a disk that seeks slowly
    uint32_t chunksAhead; // the most one file holds
    uint32_t slots;
    uint64_t given;      // files given, counted from the run's start
    uint64_t handedBack; // of those, handed back; the oldest is the next
    bool refilling;      // taking files until every slot is given
    FileInFlight *files;
    uint8_t *pool;
    uint32_t freeCount;
    uint32_t poolChunks;
    uint16_t freeChunks[MostPoolChunks];
    void *memory;
};

static uint8_t *ChunkBytes(const Flight *flight, uint16_t chunk) {
    return flight->pool + (size_t)chunk * ChunkSize;
}

static void FreeChunk(Flight *flight, uint16_t chunk) {
    flight->freeChunks[flight->freeCount++] = chunk;
}

static FileInFlight *Slot(Flight *flight, uint64_t number) {
    return &flight->files[number % flight->slots];
}

static bool OneAtATime(const DigestEngine *engine) {
    return engine->flight == nullptr;
}

// Reading, on the worker threads.

// The file a reader should read next, when a chunk is free: the oldest
// that no reader holds and that is not its few chunks ahead. In order,
// only the oldest file not yet read to its end, and only while no other
// read is under way.
static FileInFlight *FileToRead(Flight *flight) {
    if (flight->freeCount == 0 || (flight->inOrder && flight->reads > 0))
        return nullptr;
    for (uint64_t n = flight->handedBack; n < flight->given; n++) {
        FileInFlight *file = Slot(flight, n);
        if (file->passed || file->ended)
            continue;
        if (!file->reading && file->chunksRead - file->chunksDigested < flight->chunksAhead)
            return file;
        if (flight->inOrder)
            return nullptr;
    }
    return nullptr;
}

// What one read found, applied to the file under the lock.
struct ReadOutcome {
    bool chunk; // a chunk was read, perhaps empty
    bool ended;
    bool failed;
    FileProblem problem;
    uint32_t length;
    int64_t size;
};

// Opens the file if it is not open yet and reads its next chunk, without
// the lock: the stream and the chunk are this reader's alone.
static ReadOutcome ReadChunk(FileInFlight *file, uint8_t *chunk, bool askSize) {
    ReadOutcome outcome = {false, false, false, ProblemUntold, 0, -1};
    if (!file->stream) {
        file->stream = System.open(file->name, file->encoding);
        if (!file->stream) {
            outcome.problem = WhyNotOpened(file->name, file->encoding);
            outcome.failed = outcome.ended = true;
            return outcome;
        }
        // Whole chunks go straight into the slot's buffer: no stream buffer.
        setvbuf(file->stream, nullptr, _IONBF, 0);
    }
    size_t length;
    // A failed read's chunk goes straight back: nobody digests it.
    outcome.chunk = System.read(file->stream, chunk, ChunkSize, &length);
    outcome.length = (uint32_t)length;
    if (!outcome.chunk) {
        outcome.problem = ProblemCannotRead;
        outcome.failed = true;
    }
    if (askSize)
        outcome.size = FileSizeToDigest(file->stream);
    if (outcome.failed || length < ChunkSize) {
        outcome.ended = true;
        System.close(file->stream);
        file->stream = nullptr;
    }
    return outcome;
}

static void ApplyRead(Flight *flight, FileInFlight *file, uint16_t chunk,
                      const ReadOutcome *outcome) {
    file->reading = false;
    if (!outcome->chunk) {
        FreeChunk(flight, chunk);
    } else {
        file->chunks[file->chunksRead % MostChunksAheadInOrder] = chunk;
        file->lengths[file->chunksRead % MostChunksAheadInOrder] = outcome->length;
        file->chunksRead++;
        file->bytesRead += outcome->length;
    }
    file->ended = outcome->ended;
    file->failed = outcome->failed;
    file->problem = outcome->problem;
    if (outcome->size >= 0)
        file->size = outcome->size;
}

static bool DigestSome(Flight *flight);

static void ReadFiles(void *seated) {
    const ReaderSeat *seat = static_cast<const ReaderSeat *>(seated);
    Flight *flight = seat->flight;
    TakeWorkLock(flight->lock);
    while (!flight->stopping) {
        FileInFlight *file = FileToRead(flight);
        if (!file) {
            // With nothing to read a reader digests, so that every
            // processor hashes when the reading keeps ahead.
            if (!DigestSome(flight))
                WaitForWake(flight->lock, seat->waiter, IdleWait);
            continue;
        }
        file->reading = true;
        flight->reads++;
        uint16_t chunk = flight->freeChunks[--flight->freeCount];
        // The size is asked of files that take more than a chunk, the only
        // ones that may be waited on long enough to show a bar, and again
        // of a file that grew past it, so that its bar does not stand full.
        bool askSize =
            file->chunksRead >= 1 && (file->size < 0 || (uint64_t)file->size < file->bytesRead);
        ReleaseWorkLock(flight->lock);
        ReadOutcome outcome = ReadChunk(file, ChunkBytes(flight, chunk), askSize);
        TakeWorkLock(flight->lock);
        ApplyRead(flight, file, chunk, &outcome);
        flight->reads--;
        // A wake-up costs a switch of threads, under Wine a round trip to
        // its server: the digesting threads are woken when the file waited
        // on is read through and nothing more is to be read, when the pool
        // runs low, and otherwise every few reads, so that a thread waiting
        // on each small file in turn is not woken for each.
        bool oldestRead = file == Slot(flight, flight->handedBack) && outcome.ended;
        if ((oldestRead && !FileToRead(flight)) || flight->freeCount < flight->poolChunks / 4 ||
            ++flight->quietReads == QuietReads) {
            flight->quietReads = 0;
            WakeAll(flight->lock);
        }
    }
    ReleaseWorkLock(flight->lock);
}

// Digesting, on the calling thread and on readers with nothing to read.

// Called holding the lock: the file's current chunk goes back to the pool.
static void ChunkDigested(Flight *flight, FileInFlight *file) {
    FreeChunk(flight, file->chunks[file->chunksDigested % MostChunksAheadInOrder]);
    file->chunksDigested++;
    file->offset = 0;
    WakeAll(flight->lock);
}

// Called holding the lock: the whole blocks of the file ready for the
// lanes, at *at, or its end blocks once its last chunk's whole blocks are
// digested; 0 when none are ready. A chunk digested whole goes back to the
// readers here.
static uint32_t BlocksReady(Flight *flight, FileInFlight *file, const uint8_t **at) {
    if (file->passed || file->failed || file->done || file->digesting)
        return 0;
    if (file->endBlocks) {
        *at = file->end + 64 * file->endDigested;
        return file->endBlocks - file->endDigested;
    }
    if (file->chunksDigested == file->chunksRead)
        return 0;
    uint32_t index = file->chunksDigested % MostChunksAheadInOrder;
    uint32_t left = file->lengths[index] - file->offset;
    const uint8_t *bytes = ChunkBytes(flight, file->chunks[index]) + file->offset;
    if (left >= 64) {
        *at = bytes;
        return left / 64;
    }
    bool last = file->ended && file->chunksDigested + 1 == file->chunksRead;
    if (!last) {
        ChunkDigested(flight, file);
        return BlocksReady(flight, file, at);
    }
    // The tail is copied into the end blocks first: its chunk goes back.
    file->endBlocks = LaneEndBlocks(&file->state, bytes, left, file->end);
    file->bytesDigested += left;
    ChunkDigested(flight, file);
    *at = file->end;
    return file->endBlocks;
}

// One call of the lanes: files of one algorithm, all in their bulk or all
// at their end, advanced by the same number of blocks.
struct LaneWork {
    uint32_t count, blockCount;
    bool ends;
    DigestAlgorithm algorithm;
    FileInFlight *files[MostLanes];
    AlgorithmState *states[MostLanes];
    const uint8_t *blocks[MostLanes];
};

// Whether to wait for more files before a lanes call of count files: one
// costs the same however few of its lanes are filled, so while other files
// of the algorithm may still join, a read is under way or due and the pool
// has room, the lanes are left to fill. A file alone never waits for
// company: it goes on as one stream.
static bool LanesWillFill(Flight *flight, DigestAlgorithm algorithm, uint32_t count) {
    if (flight->freeCount < flight->poolChunks / 4 || (flight->reads == 0 && !FileToRead(flight)))
        return false;
    uint32_t joinable = 0;
    for (uint64_t n = flight->handedBack; n < flight->given && joinable <= count; n++) {
        const FileInFlight *file = Slot(flight, n);
        joinable += file->algorithm == algorithm && !file->passed && !file->failed && !file->done;
    }
    return joinable > count;
}

// Called holding the lock: the oldest file with blocks ready sets the
// algorithm and whether the call ends messages; files behind it like it
// fill the lanes. False when no file has blocks ready, or too few while
// the readers bring more.
static bool GatherWork(Flight *flight, LaneWork *work) {
    work->count = 0;
    uint32_t lanes = 0;
    for (uint64_t n = flight->handedBack; n < flight->given; n++) {
        FileInFlight *file = Slot(flight, n);
        const uint8_t *at;
        uint32_t blocks = BlocksReady(flight, file, &at);
        if (blocks == 0)
            continue;
        bool ends = file->endBlocks != 0;
        if (work->count == 0) {
            work->algorithm = file->algorithm;
            work->ends = ends;
            work->blockCount = blocks < ChunkSize / 64 ? blocks : ChunkSize / 64;
            lanes = LaneCount(file->algorithm);
        } else if (file->algorithm != work->algorithm || ends != work->ends) {
            continue;
        }
        if (blocks < work->blockCount)
            work->blockCount = blocks;
        work->files[work->count] = file;
        work->states[work->count] = &file->state;
        work->blocks[work->count] = at;
        if (++work->count == lanes)
            break;
    }
    if (work->count > 0 && work->count < lanes &&
        LanesWillFill(flight, work->algorithm, work->count))
        work->count = 0;
    for (uint32_t i = 0; i < work->count; i++)
        work->files[i]->digesting = true;
    return work->count > 0;
}

// Called holding the lock, after the lanes ran. Whoever waits on these
// files is told.
static void ApplyWork(Flight *flight, const LaneWork *work) {
    WakeAll(flight->lock);
    uint32_t bytes = work->blockCount * 64;
    for (uint32_t i = 0; i < work->count; i++) {
        FileInFlight *file = work->files[i];
        file->digesting = false;
        if (work->ends) {
            // A call shared with files of one end block takes one of two.
            file->endDigested += work->blockCount;
            if (file->endDigested == file->endBlocks) {
                LaneDigestText(&file->state, file->text, sizeof file->text);
                file->done = true;
            }
            continue;
        }
        file->offset += bytes;
        file->bytesDigested += bytes;
        // A whole chunk digested goes back to the readers at once.
        uint32_t index = file->chunksDigested % MostChunksAheadInOrder;
        bool last = file->ended && file->chunksDigested + 1 == file->chunksRead;
        if (file->offset == file->lengths[index] && !last)
            ChunkDigested(flight, file);
    }
}

// Called holding the lock, which is let go while the lanes run: digests
// one call's worth of whatever is ready; false when nothing was.
static bool DigestSome(Flight *flight) {
    LaneWork work;
    if (!GatherWork(flight, &work))
        return false;
    ReleaseWorkLock(flight->lock);
    DigestLanes(work.algorithm, work.states, work.blocks, work.count, work.blockCount);
    TakeWorkLock(flight->lock);
    ApplyWork(flight, &work);
    return true;
}

static void FillResult(const FileInFlight *file, uint64_t number, EngineResult *result) {
    result->number = number;
    result->tag = file->tag;
    result->name = file->name;
    result->encoding = file->encoding;
    result->passed = file->passed;
    result->read = !file->passed && !file->failed;
    result->problem = file->problem;
    result->bytes = file->bytesDigested;
    memcpy(result->text, file->text, sizeof result->text);
}

static EngineWait WaitOn(const Flight *flight, const FileInFlight *file, uint64_t now) {
    EngineWait wait = {flight->handedBack,  file->name, file->encoding,
                       file->bytesDigested, file->size, now - file->waitedSince >= SlowFileDelay};
    return wait;
}

// Digests ready chunks of any file until the oldest is through, telling
// the job whom it waits for; false when Escape stopped the wait.
static bool WaitForOldest(Flight *flight, FileInFlight *oldest, const WaitReport *report) {
    TakeWorkLock(flight->lock);
    for (;;) {
        uint64_t now = MonotonicMicroseconds();
        if (oldest->waitedSince == 0)
            oldest->waitedSince = now;
        EngineWait wait = WaitOn(flight, oldest, now);
        bool through = (oldest->passed || oldest->failed || oldest->done) && !oldest->digesting;
        ReleaseWorkLock(flight->lock);
        if (PollEscapeAt(now))
            return false;
        // A file given not to be read is no wait.
        if (report && !oldest->passed)
            report->Show(report->Context, &wait);
        if (through)
            return true;
        TakeWorkLock(flight->lock);
        if (!DigestSome(flight))
            WaitForWake(flight->lock, 0, CallerWait);
    }
}

// One file at a time: FileDigest, its bar forwarded to the job.
struct AloneProgress {
    DigestEngine *engine;
    const WaitReport *report;
};

static void ForwardProgress(void *context, uint64_t done, uint64_t total) {
    const AloneProgress *alone = static_cast<const AloneProgress *>(context);
    const DigestEngine *engine = alone->engine;
    EngineWait wait = {engine->given - 1, engine->name, engine->encoding, done,
                       (int64_t)total,    true};
    alone->report->Show(alone->report->Context, &wait);
}

static bool NextAlone(DigestEngine *engine, EngineResult *result, const WaitReport *report) {
    if (!engine->holding)
        return false;
    if (PollEscapeWhenDue())
        return false;
    EngineWait wait = {engine->given - 1, engine->name, engine->encoding, 0, -1, false};
    if (report && !engine->passed)
        report->Show(report->Context, &wait);
    EngineResult *out = result;
    out->number = engine->given - 1;
    out->tag = engine->tag;
    out->name = engine->name;
    out->encoding = engine->encoding;
    out->passed = engine->passed;
    out->read = false;
    out->problem = engine->problem;
    out->bytes = 0;
    if (!engine->passed) {
        AloneProgress alone = {engine, report};
        ProgressReport progress = {ForwardProgress, &alone};
        out->read = FileDigest(engine->name, engine->encoding, engine->algorithm, out->text,
                               sizeof out->text, &out->problem, report ? &progress : nullptr);
        if (out->read && AbortRequested)
            return false;
    }
    engine->holding = false;
    return true;
}

bool NextResult(DigestEngine *engine, EngineResult *result, const WaitReport *report) {
    if (OneAtATime(engine))
        return NextAlone(engine, result, report);
    Flight *flight = engine->flight;
    if (flight->handedBack == flight->given)
        return false;
    FileInFlight *oldest = Slot(flight, flight->handedBack);
    if (!WaitForOldest(flight, oldest, report))
        return false;
    TakeWorkLock(flight->lock);
    FillResult(oldest, flight->handedBack, result);
    // A file that failed part way may still hold chunks.
    while (oldest->chunksDigested < oldest->chunksRead)
        ChunkDigested(flight, oldest);
    flight->handedBack++;
    // The slots are given again once half of them are free, many at a time:
    // a reader waiting for files is woken once for them, not once a file.
    if (flight->given - flight->handedBack <= flight->slots / 2)
        flight->refilling = true;
    WakeAll(flight->lock);
    ReleaseWorkLock(flight->lock);
    return true;
}

bool EngineHasRoom(const DigestEngine *engine) {
    if (OneAtATime(engine))
        return !engine->holding;
    const Flight *flight = engine->flight;
    return flight->refilling && flight->given - flight->handedBack < flight->slots;
}

bool OldestWaiting(const DigestEngine *engine, int64_t *tag) {
    if (OneAtATime(engine)) {
        *tag = engine->tag;
        return engine->holding;
    }
    Flight *flight = engine->flight;
    if (flight->handedBack == flight->given)
        return false;
    *tag = Slot(flight, flight->handedBack)->tag;
    return true;
}

// The name and its end, not the whole buffer: strncpy would fill the rest
// of it with zeros, a few KiB for every file.
static void CopyName(char *to, const char *name) {
    size_t length = strnlen(name, EngineNameSize - 1);
    memcpy(to, name, length);
    to[length] = 0;
}

static void Give(DigestEngine *engine, int64_t tag, const char *name, NameEncoding encoding,
                 DigestAlgorithm algorithm, bool passed, FileProblem problem) {
    if (OneAtATime(engine)) {
        engine->holding = true;
        engine->given++;
        engine->tag = tag;
        engine->encoding = encoding;
        engine->algorithm = algorithm;
        engine->passed = passed;
        engine->problem = problem;
        CopyName(engine->name, name);
        return;
    }
    Flight *flight = engine->flight;
    // The lanes are measured on the calling thread, before any reader may
    // digest the file, not by several threads racing at once.
    LaneCount(algorithm);
    TakeWorkLock(flight->lock);
    FileInFlight *file = Slot(flight, flight->given);
    file->tag = tag;
    file->encoding = encoding;
    file->algorithm = algorithm;
    file->passed = passed;
    CopyName(file->name, name);
    file->stream = nullptr;
    file->reading = file->ended = file->failed = file->done = file->digesting = false;
    file->problem = problem;
    file->size = -1;
    file->bytesRead = 0;
    file->chunksRead = file->chunksDigested = file->offset = 0;
    file->endBlocks = file->endDigested = 0;
    file->bytesDigested = file->waitedSince = 0;
    AlgorithmStart(&file->state, algorithm);
    flight->given++;
    if (flight->given - flight->handedBack == flight->slots)
        flight->refilling = false;
    WakeAll(flight->lock);
    ReleaseWorkLock(flight->lock);
}

void GiveFile(DigestEngine *engine, int64_t tag, const char *name, NameEncoding encoding,
              DigestAlgorithm algorithm) {
    Give(engine, tag, name, encoding, algorithm, false, ProblemUntold);
}

void GiveUnread(DigestEngine *engine, int64_t tag, const char *name, NameEncoding encoding,
                FileProblem problem) {
    Give(engine, tag, name, encoding, AlgorithmMd5, true, problem);
}

// Starting and stopping.

static const uint32_t DefaultFilesAtOnce = MostFilesInFlight;

static Flight *NewFlight(uint32_t slots) {
    Flight *flight = static_cast<Flight *>(System.allocate(sizeof(Flight)));
    if (!flight)
        return nullptr;
    memset(flight, 0, sizeof *flight);
    size_t perFile = sizeof(FileInFlight) + EngineNameSize;
    for (uint32_t chunks = MostPoolChunks; chunks >= LeastPoolChunks && !flight->memory;
         chunks /= 2) {
        flight->poolChunks = chunks;
        flight->memory = System.allocate((size_t)chunks * ChunkSize + slots * perFile);
    }
    if (!flight->memory) {
        System.release(flight);
        return nullptr;
    }
    size_t poolSize = (size_t)flight->poolChunks * ChunkSize;
    flight->pool = static_cast<uint8_t *>(flight->memory);
    for (uint32_t i = 0; i < flight->poolChunks; i++)
        FreeChunk(flight, (uint16_t)(flight->poolChunks - 1 - i));
    // The records after the pool, the names after the records.
    flight->slots = slots;
    flight->files = reinterpret_cast<FileInFlight *>(flight->pool + poolSize);
    char *names = reinterpret_cast<char *>(flight->files + slots);
    for (uint32_t i = 0; i < slots; i++) {
        memset(&flight->files[i], 0, sizeof(FileInFlight));
        flight->files[i].name = names + (size_t)i * EngineNameSize;
    }
    return flight;
}

static void FreeFlight(Flight *flight) {
    if (flight->lock)
        FreeWorkLock(flight->lock);
    System.release(flight->memory);
    System.release(flight);
}

// Readers: one per processor the run may use, at least two, since a
// reader mostly waits on an open or a copy. Each digests when it has
// nothing to read, so on a disk that seeks slowly, where only one reads at
// a time, the others still hash.
static uint32_t ReadersFor() {
    uint32_t count = ProcessorCount();
    return count < 2 ? 2 : count > MostReaders ? MostReaders : count;
}

// SUMBREL_FILES_AT_ONCE in the environment caps the files in flight: 1
// digests one file after another on the calling thread alone, for a
// machine where the threads misbehave and for tests that compare the two.
static uint32_t FilesAtOnceFromEnvironment() {
    const char *setting = getenv("SUMBREL_FILES_AT_ONCE");
    if (!setting || *setting < '0' || *setting > '9')
        return DefaultFilesAtOnce;
    unsigned long count = strtoul(setting, nullptr, 10);
    if (count == 0)
        return DefaultFilesAtOnce;
    return count < MostFilesInFlight ? (uint32_t)count : MostFilesInFlight;
}

void StartDigestEngine(DigestEngine *engine, const char *folder, uint32_t filesAtOnce) {
    engine->flight = nullptr;
    engine->holding = false;
    engine->given = 0;
    uint32_t slots = filesAtOnce ? filesAtOnce : FilesAtOnceFromEnvironment();
    if (slots > MostFilesInFlight)
        slots = MostFilesInFlight;
    if (slots <= 1)
        return;
    Flight *flight = NewFlight(slots);
    if (!flight)
        return;
    flight->refilling = true;
    uint32_t readers = ReadersFor();
    flight->inOrder = System.seeksSlowly(folder);
    flight->chunksAhead = flight->inOrder ? flight->poolChunks / 2 : MostChunksAhead;
    flight->lock = CreateWorkLock(readers + 1);
    if (!flight->lock) {
        FreeFlight(flight);
        return;
    }
    for (uint32_t i = 0; i < readers; i++) {
        flight->seats[i].flight = flight;
        flight->seats[i].waiter = i + 1;
        flight->readers[flight->readerCount] = StartWorkerThread(ReadFiles, &flight->seats[i]);
        if (flight->readers[flight->readerCount])
            flight->readerCount++;
    }
    if (flight->readerCount == 0) {
        FreeFlight(flight);
        return;
    }
    engine->flight = flight;
}

void StopDigestEngine(DigestEngine *engine) {
    Flight *flight = engine->flight;
    if (!flight)
        return;
    TakeWorkLock(flight->lock);
    flight->stopping = true;
    WakeAll(flight->lock);
    ReleaseWorkLock(flight->lock);
    for (uint32_t i = 0; i < flight->readerCount; i++)
        JoinWorkerThread(flight->readers[i]);
    for (uint32_t i = 0; i < flight->slots; i++)
        if (flight->files[i].stream)
            System.close(flight->files[i].stream);
    FreeFlight(flight);
    engine->flight = nullptr;
}

uint32_t EngineFilesAtOnce(const DigestEngine *engine) {
    return engine->flight ? engine->flight->slots : 1;
}
