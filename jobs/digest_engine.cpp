// The digests of a run's files, many in flight at once, handed back in
// the order given.
//
// The files given wait in a ring of slots, oldest first. Worker threads
// open them and read them ahead, chunk by chunk, into a pool of chunks
// shared by all files, a few chunks ahead per file at most: while one
// chunk of a file is digested the next is read. The calling thread, while
// it waits on the oldest file, and any worker with nothing to read digest
// whatever chunks are ready, through a lane manager of their own
// (digest/lane_manager.h) that runs as many files side by side as the
// lanes take; the calling thread alone polls Escape and tells the job
// anything.
//
// A file has one stage at a time (FileStage), and at most one reader that
// holds its stream and the chunk it fills, and one digesting thread whose
// lanes hold its state and its current chunk. The lock guards the stages,
// the holds, the counts and the free chunks; nobody reads or digests
// holding it. Every wait looks at its condition under the lock and sleeps
// in the same hold, and every change is followed by WakeWhomItConcerns,
// the one place wake-ups go out.
//
// On a disk that pays for each seek only one read is under way at a time,
// file after file in order, so that the disk reads as it would for one
// file at a time.
//
// Escape never waits on the disk: stopping ends the readers within a
// bound, cancelling the open or read one is blocked in, and a reader that
// still does not return is left to end on its own. The flight's memory
// belongs to whoever leaves it last, and the next run starts once every
// reader left running has ended.
#include "jobs/digest_engine.h"

#include <stdlib.h>
#include <string.h>

#include "digest/lane_manager.h"
#include "host/host.h"
#include "jobs/engine_subtrees.h"
#include "jobs/escape.h"
#include "platform/system_calls.h"

// A chunk is read in one call: large enough that a call's cost is small
// beside its copy, small enough that one read of a slow disk does not hold
// up an Escape. A multiple of every algorithm's block, so that every chunk
// but a file's last goes into the lanes whole.
static const uint32_t ChunkSize = 64 * 1024;
static_assert(ChunkSize % MostBlockSize == 0, "whole blocks in a chunk");
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
// A disk that says it seeks slowly is read one read at a time only while
// its reads take as long as a disk's: a read that the page cache serves
// takes microseconds, one that waits for the disk itself far longer. The
// open is not timed: under Wine it is a round trip to its server, slow
// whatever the disk. After this many quick reads in a row (under
// QuickReadMicroseconds), several
// readers read at once; the first slow one puts them back in order.
static const uint32_t QuickReadsToOverlap = 32;
// Reads between wake-ups of the digesting threads, while they wait for
// their lanes to fill.
static const uint32_t QuietReads = 16;
// Files given are published to the readers FilesGivenTogether at a time,
// when the calling thread gives many before it waits for one: one hold of
// the lock and one wake-up for them all.
// How long a thread sleeps when nothing wakes it; only a safeguard.
static const uint32_t IdleWait = 100 * 1000;
// How long the calling thread waits for a reader before it looks at the
// console and the progress again: well below the Escape poll's interval.
static const uint32_t CallerWait = 5 * 1000;
// How long ready pieces wait for company that is being read.
static const uint32_t CompanyWait = 20 * 1000;
// A file waited on this long gets its bar, as FileDigest gives it.
static const uint64_t SlowFileDelay = 1000 * 1000;
// How long a stop waits for the readers before it leaves those still
// blocked to end on their own: well within the tenth of a second an
// Escape may take.
static const uint32_t StopWait = 40 * 1000;
// The calling thread waits by number 0, reader i by i + 1.
static const uint32_t CallerWaiter = 0;

enum FileStage {
    StagePassed,   // given unread: handed back as given
    StageReading,  // more to read, perhaps not yet opened
    StageRead,     // read to its end; digesting goes on
    StageFailed,   // could not be opened or read; problem says why
    StageDigested, // its digest is in message.text
};

struct FileInFlight {
    // Given by the calling thread.
    int64_t tag;
    NameEncoding encoding;
    DigestAlgorithm algorithm;
    char *name; // EngineNameSize bytes of the flight's memory
    FileStage stage;
    FileProblem problem;
    // The holds: a reader's on the stream and the chunk it fills, a
    // digesting thread's on the message and the chunk in its lanes.
    bool beingRead;
    bool inLanes;
    FILE *stream;
    int64_t size; // -1 until a reader has asked
    uint64_t bytesRead;
    uint32_t chunksRead; // counted from the file's start; the last few are queued
    uint32_t chunksDigested;
    uint16_t chunks[MostChunksAheadInOrder]; // pool numbers, by chunk count
    uint32_t lengths[MostChunksAheadInOrder];
    uint64_t bytesDigested;
    uint64_t waitedSince; // 0 until the caller first waits on it
    uint64_t readySince;  // when its oldest chunk not yet digested was read
    LaneMessage message;  // tagged with the file's place in the run
    // Whether its whole chunks are hashed apart (a tree digest's file); the
    // next chunk a free thread may claim to do so, and how many claimed are
    // not hashed yet, a hold.
    bool apart;
    uint32_t subtreeCursor;
    uint32_t subtreesHashing;
};

// A reader's seat: its flight and the number it waits by.
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
    // The readers still in the flight, and the calling thread until it
    // stops: the last to leave frees the flight.
    uint32_t holders;
    uint32_t sleeping;   // one bit per waiter asleep in WaitForWake
    uint32_t quietReads; // read since the last wake-up of a digesting thread
    uint32_t digesting;  // threads whose lanes run now
    bool stopping;
    bool seeksSlowly;     // as the disk says
    bool inOrder;         // one read at a time, file after file: the disk seeks, as measured
    uint32_t quickReads;  // in a row, none waiting for a disk that seeks
    uint32_t chunksAhead; // the most one file holds
    uint32_t slots;
    uint64_t given;      // files given, counted from the run's start
    uint64_t handedBack; // of those, handed back; the oldest is the next
    // The calling thread's own, which it alone reads and changes, without
    // the lock: the files it wrote into slots and handed to the job, ahead
    // of given and handedBack, which it publishes a batch at a time, and
    // the files it saw through, which it hands back without the lock.
    uint64_t givenOut;
    uint64_t handedOut;
    uint64_t throughUntil;
    bool refilling; // taking files until every slot is given
    FileInFlight *files;
    uint8_t *pool;
    uint32_t freeCount;
    uint32_t poolChunks;
    uint16_t freeChunks[MostPoolChunks];
    ChunkSubtree subtrees[MostPoolChunks]; // by pool number
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

// Called holding the lock: the oldest file's oldest chunk goes back.
static void ReleaseOldestChunk(Flight *flight, FileInFlight *file) {
    uint32_t index = file->chunksDigested % MostChunksAheadInOrder;
    FreeChunk(flight, file->chunks[index]);
    file->chunksDigested++;
}

// Whether the file can be handed back: its stage is final and nobody
// holds it.
static bool Through(const FileInFlight *file) {
    bool final =
        file->stage == StagePassed || file->stage == StageFailed || file->stage == StageDigested;
    return final && !file->beingRead && !file->inLanes && file->subtreesHashing == 0;
}

// The file a reader should read next, when a chunk is free: the oldest
// that no reader holds and that is not its few chunks ahead. In order,
// only the oldest file not yet read to its end, and only while no reader
// holds it: so one read at a time.
// A file read alone may be read as far ahead as read in order: a wake-up
// of its reader for every few chunks would cost, under Wine, a round trip
// to its server each. Read with others, it keeps to its few chunks, so that
// the pool holds chunks of many files for the lanes.
static uint32_t LeadOf(Flight *flight, const FileInFlight *file) {
    for (uint64_t n = flight->handedBack; n < flight->given; n++) {
        const FileInFlight *other = Slot(flight, n);
        if (other != file && other->stage == StageReading)
            return flight->chunksAhead;
    }
    return flight->poolChunks / 2;
}

// The first skip such files are passed over, as taken by readers awake;
// halved, the lead is half a file's own.
static FileInFlight *FileWithin(Flight *flight, bool halved, uint32_t skip) {
    if (flight->freeCount <= skip)
        return nullptr;
    for (uint64_t n = flight->handedBack; n < flight->given; n++) {
        FileInFlight *file = Slot(flight, n);
        if (file->stage != StageReading)
            continue;
        uint32_t ahead = file->chunksRead - file->chunksDigested;
        uint32_t lead = flight->chunksAhead;
        if (ahead >= lead / 2)
            lead = LeadOf(flight, file);
        if (file->apart)
            lead = SubtreeLead(lead, flight->chunksAhead);
        if (halved)
            lead = lead / 2 > 0 ? lead / 2 : 1;
        if (!file->beingRead && ahead < lead && skip-- == 0)
            return file;
        if (flight->inOrder)
            return nullptr;
    }
    return nullptr;
}

static FileInFlight *FileToRead(Flight *flight) {
    return FileWithin(flight, false, 0);
}

// A sleeping reader is woken for a file only once its lead has fallen to
// half: a large file read a chunk a wake-up would cost a round trip to
// Wine's server for every chunk digested. A reader that goes on looking
// takes the first such file itself, and a wake-up for that one would only
// make the two race for the lock.
static bool FileWorthWaking(Flight *flight, bool readerLooks) {
    return FileWithin(flight, true, readerLooks ? 1 : 0) != nullptr;
}

static ChunkSubtree *SubtreeOf(Flight *flight, const FileInFlight *file, uint32_t index) {
    return &flight->subtrees[file->chunks[index % MostChunksAheadInOrder]];
}

// A chunk of the file is read and waits for lanes, and no other thread
// hashes it apart.
static bool PieceReady(Flight *flight, const FileInFlight *file) {
    return (file->stage == StageReading || file->stage == StageRead) && !file->inLanes &&
           file->chunksDigested < file->chunksRead &&
           SubtreeOf(flight, file, file->chunksDigested)->stage != SubtreeHashing;
}

static FileInFlight *OldestReady(Flight *flight) {
    for (uint64_t n = flight->handedBack; n < flight->given; n++)
        if (PieceReady(flight, Slot(flight, n)))
            return Slot(flight, n);
    return nullptr;
}

static bool DigestsNow(Flight *flight);

// A thread whose lanes run takes the next pieces once they are through, so
// another is woken to join it in digesting only when the pool runs low. A
// reader with nothing to read digests, but not the chunks of a lone file
// while the calling thread is awake to digest them: the file would pass
// from thread to thread, with a sleep and a wake-up for every few chunks.
static bool DigesterWanted(Flight *flight, bool reader) {
    if (flight->freeCount < flight->poolChunks / 4)
        return true;
    if (!reader)
        return flight->digesting == 0;
    bool callerAwake = !(flight->sleeping & (1u << CallerWaiter));
    if (!callerAwake)
        return true;
    uint32_t ready = 0;
    for (uint64_t n = flight->handedBack; n < flight->given && ready < 2; n++)
        ready += PieceReady(flight, Slot(flight, n));
    return ready >= 2;
}

// A waiter woken is no longer counted asleep, so that the next change
// goes to another.
static void WakeWaiter(Flight *flight, uint32_t waiter) {
    flight->sleeping &= ~(1u << waiter);
    Wake(flight->lock, waiter);
}

// The one place wake-ups go out, called holding the lock after any change;
// each goes only to a waiter asleep whom the change concerns. The calling
// thread waits for the oldest file to be through; it and the readers
// digest, and are woken for it when digestersDue, after a batch of reads.
// A reader is woken when there is a file to read.
static void WakeWhomItConcerns(Flight *flight, bool digestersDue, bool readerLooks = false) {
    if (flight->sleeping == 0)
        return;
    if (flight->stopping) {
        WakeAll(flight->lock);
        return;
    }
    // Pieces that wait for company are no reason to wake anyone.
    digestersDue = digestersDue && DigestsNow(flight) && DigesterWanted(flight, false);
    const uint32_t caller = 1u << CallerWaiter;
    bool callerAsleep = flight->sleeping & caller;
    if (callerAsleep && flight->handedBack < flight->given &&
        (digestersDue || Through(Slot(flight, flight->handedBack)))) {
        WakeWaiter(flight, CallerWaiter);
        digestersDue = false;
    }
    uint32_t readers = flight->sleeping & ~caller;
    if (readers == 0 || (!digestersDue && !FileWorthWaking(flight, readerLooks)))
        return;
    uint32_t waiter = 1;
    while (!(readers & (1u << waiter)))
        waiter++;
    WakeWaiter(flight, waiter);
}

// Called holding the lock, which is let go during the wait; the caller has
// looked at what it waits for in this same hold.
static void SleepUntilWoken(Flight *flight, uint32_t waiter, uint32_t timeoutMicroseconds) {
    flight->sleeping |= 1u << waiter;
    WaitForWake(flight->lock, waiter, timeoutMicroseconds);
    flight->sleeping &= ~(1u << waiter);
}

// Reading, on the worker threads.

// What one read found, applied to the file under the lock.
struct ReadOutcome {
    bool chunk; // a chunk was read, perhaps empty
    bool ended;
    bool failed;
    FileProblem problem;
    uint32_t length;
    int64_t size;
    uint64_t microseconds; // the read's
};

// Opens the file if it is not open yet and reads its next chunk, without
// the lock: the stream and the chunk are this reader's alone.
static ReadOutcome ReadChunk(FileInFlight *file, uint8_t *chunk, bool askSize) {
    ReadOutcome outcome = {false, false, false, ProblemUntold, 0, -1, 0};
    if (!file->stream) {
        file->stream = System.open(file->name, file->encoding);
        if (!file->stream) {
            outcome.problem = WhyNotOpened(file->name, file->encoding);
            outcome.ended = outcome.failed = true;
            return outcome;
        }
        // Whole chunks go straight into the slot's buffer: no stream buffer.
        setvbuf(file->stream, nullptr, _IONBF, 0);
    }
    size_t length;
    uint64_t start = MonotonicMicroseconds();
    // A failed read's chunk goes straight back: nobody digests it.
    outcome.chunk = System.read(file->stream, chunk, ChunkSize, &length);
    outcome.microseconds = MonotonicMicroseconds() - start;
    outcome.length = (uint32_t)length;
    if (!outcome.chunk) {
        outcome.problem = ProblemCannotRead;
        outcome.failed = true;
    }
    if (askSize && outcome.chunk)
        outcome.size = FileSizeToDigest(file->stream);
    if (!outcome.chunk || length < ChunkSize) {
        outcome.ended = true;
        System.close(file->stream);
        file->stream = nullptr;
    }
    return outcome;
}

static void SetReadOrder(Flight *flight, bool inOrder) {
    flight->inOrder = inOrder;
    flight->chunksAhead = inOrder ? flight->poolChunks / 2 : MostChunksAhead;
}

// Called holding the lock: a disk that says it seeks is read in order
// while its reads take a disk's time, several at once while the page
// cache serves them.
static void NoteReadTime(Flight *flight, const ReadOutcome *outcome) {
    if (!flight->seeksSlowly || !outcome->chunk)
        return;
    if (outcome->microseconds >= QuickReadMicroseconds) {
        flight->quickReads = 0;
        SetReadOrder(flight, true);
    } else if (flight->quickReads < QuickReadsToOverlap) {
        flight->quickReads++;
    } else {
        SetReadOrder(flight, false);
    }
}

static void ApplyRead(Flight *flight, FileInFlight *file, uint16_t chunk,
                      const ReadOutcome *outcome) {
    NoteReadTime(flight, outcome);
    file->beingRead = false;
    if (!outcome->chunk) {
        FreeChunk(flight, chunk);
    } else {
        if (file->chunksRead == file->chunksDigested)
            file->readySince = MonotonicMicroseconds();
        file->chunks[file->chunksRead % MostChunksAheadInOrder] = chunk;
        file->lengths[file->chunksRead % MostChunksAheadInOrder] = outcome->length;
        bool whole = file->chunksRead > 0 && outcome->length == ChunkSize;
        flight->subtrees[chunk].stage = file->apart && whole ? SubtreeDue : SubtreeNone;
        file->chunksRead++;
        file->bytesRead += outcome->length;
    }
    if (outcome->failed) {
        file->stage = StageFailed;
        file->problem = outcome->problem;
    } else if (outcome->ended) {
        file->stage = StageRead;
    }
    if (outcome->size >= 0)
        file->size = outcome->size;
}

// Called holding the lock, which is let go during the read.
static void ReadNextChunk(Flight *flight, FileInFlight *file) {
    file->beingRead = true;
    uint16_t chunk = flight->freeChunks[--flight->freeCount];
    // The size is asked of files that take more than a chunk, the only
    // ones that may be waited on long enough to show a bar, and again of a
    // file that grew past it, so that its bar does not stand full.
    bool askSize =
        file->chunksRead >= 1 && (file->size < 0 || (uint64_t)file->size < file->bytesRead);
    ReleaseWorkLock(flight->lock);
    ReadOutcome outcome = ReadChunk(file, ChunkBytes(flight, chunk), askSize);
    TakeWorkLock(flight->lock);
    ApplyRead(flight, file, chunk, &outcome);
    // A wake-up costs a switch of threads, under Wine a round trip to its
    // server: the digesting threads are woken for the file waited on once
    // it is read through, when the pool runs low, and otherwise every few
    // reads, so that a thread waiting on each small file in turn is not
    // woken for each.
    bool oldestRead = file == Slot(flight, flight->handedBack) && file->stage != StageReading;
    bool due = oldestRead || flight->freeCount < flight->poolChunks / 4 ||
               ++flight->quietReads >= QuietReads;
    if (due)
        flight->quietReads = 0;
    WakeWhomItConcerns(flight, due, true);
}

static bool DigestReady(Flight *flight);
static bool HashSubtree(Flight *flight);
static bool HashFileSubtree(Flight *flight, FileInFlight *file);
static void FreeFlight(Flight *flight);

static void ReadFiles(void *seated) {
    const ReaderSeat *seat = static_cast<const ReaderSeat *>(seated);
    Flight *flight = seat->flight;
    TakeWorkLock(flight->lock);
    while (!flight->stopping) {
        FileInFlight *file = FileToRead(flight);
        if (file) {
            ReadNextChunk(flight, file);
            // Hashed while the copy is still in this processor's cache.
            HashFileSubtree(flight, file);
        } else if (!HashSubtree(flight) && (!DigesterWanted(flight, true) || !DigestReady(flight)))
            // Nothing to read or digest, as seen in this same hold.
            SleepUntilWoken(flight, seat->waiter, IdleWait);
    }
    bool last = --flight->holders == 0;
    ReleaseWorkLock(flight->lock);
    if (last)
        FreeFlight(flight);
}

// Digesting, on the calling thread and on readers with nothing to read.

// A file's next chunk as a piece for the lanes.
struct Piece {
    FileInFlight *file;
    const uint8_t *bytes;
    uint32_t length;
    bool last;
    const ChunkSubtree *subtree; // its value, hashed apart; null: the bytes go
};

// Called holding the lock: the ready chunks of the algorithm's files, the
// oldest first, as many as the lanes have room for, now held by them.
static uint32_t TakePieces(Flight *flight, const LaneManager *lanes, Piece *pieces) {
    uint32_t count = 0, room = lanes->width - lanes->busy;
    for (uint64_t n = flight->handedBack; n < flight->given && count < room; n++) {
        FileInFlight *file = Slot(flight, n);
        if (!PieceReady(flight, file) || file->algorithm != lanes->algorithm)
            continue;
        uint32_t index = file->chunksDigested % MostChunksAheadInOrder;
        Piece *piece = &pieces[count++];
        piece->file = file;
        piece->bytes = ChunkBytes(flight, file->chunks[index]);
        piece->length = file->lengths[index];
        piece->last = file->stage == StageRead && file->chunksDigested + 1 == file->chunksRead;
        ChunkSubtree *subtree = SubtreeOf(flight, file, file->chunksDigested);
        piece->subtree = subtree->stage == SubtreeHashed ? subtree : nullptr;
        subtree->stage = SubtreeNone; // nobody claims it now
        file->inLanes = true;
    }
    return count;
}

// Called holding the lock, for a file whose piece is through the lanes: its
// chunk goes back to the readers.
static void PieceDigested(Flight *flight, FileInFlight *file) {
    uint32_t index = file->chunksDigested % MostChunksAheadInOrder;
    file->bytesDigested += file->lengths[index];
    ReleaseOldestChunk(flight, file);
    file->readySince = MonotonicMicroseconds();
    file->inLanes = false;
    if (file->message.ended && file->stage == StageRead)
        file->stage = StageDigested;
}

// Whether the ready pieces go into lanes now or wait for company: a
// lanes call costs the same however few of its lanes are filled. They wait
// only for company that can come: a file of their algorithm that no lanes
// hold and that has more to read, while a read is under way or due and the
// pool has room; and not for long, so that a read that hangs holds back
// nobody.
static bool DigestsNow(Flight *flight) {
    FileInFlight *first = OldestReady(flight);
    if (!first)
        return false;
    if (flight->freeCount < flight->poolChunks / 4 ||
        MonotonicMicroseconds() - first->readySince >= CompanyWait)
        return true;
    uint32_t width = LaneCount(first->algorithm), ready = 0;
    bool company = false, reading = false;
    for (uint64_t n = flight->handedBack; n < flight->given; n++) {
        const FileInFlight *file = Slot(flight, n);
        reading = reading || file->beingRead;
        if (file->algorithm != first->algorithm)
            continue;
        ready += PieceReady(flight, file);
        company = company || (file->stage == StageReading && !file->inLanes &&
                              file->chunksDigested == file->chunksRead);
    }
    return ready >= width || !company || !(reading || FileToRead(flight));
}

// Called holding the lock, which is let go while the lanes run: digests
// the pieces ready now, of the oldest ready file's algorithm, as far as
// they go; false when none was ready or they wait for company.
static bool DigestReady(Flight *flight) {
    if (!DigestsNow(flight))
        return false;
    LaneManager lanes;
    StartLaneManager(&lanes, OldestReady(flight)->algorithm);
    Piece pieces[MostLanes];
    uint32_t count = TakePieces(flight, &lanes, pieces);
    flight->digesting++;
    ReleaseWorkLock(flight->lock);
    LaneMessage *through[MostLanes];
    uint32_t done = 0;
    for (uint32_t i = 0; i < count; i++) {
        const Piece *piece = &pieces[i];
        uint32_t length = piece->length;
        LaneMessage *own = &piece->file->message;
        // A value hashed apart takes the chunk's place; only the end of a
        // file that ends with it still goes through the lanes.
        if (piece->subtree &&
            AddChunkSubtree(lanes.algorithm, &own->state, piece->subtree, length)) {
            if (!piece->last) {
                through[done++] = own;
                continue;
            }
            length = 0;
        }
        LaneMessage *message = SubmitPiece(&lanes, own, piece->bytes, length, piece->last);
        if (message)
            through[done++] = message;
    }
    while (LaneMessage *message = FlushLanes(&lanes))
        through[done++] = message;
    TakeWorkLock(flight->lock);
    flight->digesting--;
    for (uint32_t i = 0; i < done; i++)
        PieceDigested(flight, Slot(flight, (uint64_t)through[i]->tag));
    WakeWhomItConcerns(flight, false);
    return true;
}

// Called holding the lock: the oldest chunk of the file no thread has
// claimed or taken in order that is a whole subtree, or the file's chunks
// read for none.
static uint32_t DueSubtree(Flight *flight, FileInFlight *file) {
    if (!file->apart || (file->stage != StageReading && file->stage != StageRead))
        return file->chunksRead;
    uint32_t index = file->subtreeCursor;
    if (index < file->chunksDigested)
        index = file->chunksDigested;
    while (index < file->chunksRead && SubtreeOf(flight, file, index)->stage != SubtreeDue)
        index++;
    file->subtreeCursor = index;
    return index;
}

// Called holding the lock, which is let go while it hashes: the file's
// oldest due chunk, hashed apart to its value, which the file's digest
// takes in order; false when none is due. While more are due a thread
// asleep is woken to hash them too, so that one large file keeps every
// processor busy.
static bool HashFileSubtree(Flight *flight, FileInFlight *file) {
    uint32_t index = DueSubtree(flight, file);
    if (index >= file->chunksRead)
        return false;
    ChunkSubtree *subtree = SubtreeOf(flight, file, index);
    subtree->stage = SubtreeHashing;
    file->subtreesHashing++;
    file->subtreeCursor = index + 1;
    if (flight->sleeping != 0 && DueSubtree(flight, file) < file->chunksRead) {
        uint32_t waiter = 0;
        while (!(flight->sleeping & (1u << waiter)))
            waiter++;
        WakeWaiter(flight, waiter);
    }
    const uint8_t *bytes = ChunkBytes(flight, file->chunks[index % MostChunksAheadInOrder]);
    ReleaseWorkLock(flight->lock);
    HashChunkSubtree(file->algorithm, bytes, index, ChunkSize, subtree);
    TakeWorkLock(flight->lock);
    subtree->stage = SubtreeHashed;
    file->subtreesHashing--;
    WakeWhomItConcerns(flight, index == file->chunksDigested);
    return true;
}

// The same for the oldest file with a chunk due.
static bool HashSubtree(Flight *flight) {
    for (uint64_t n = flight->handedBack; n < flight->given; n++)
        if (HashFileSubtree(flight, Slot(flight, n)))
            return true;
    return false;
}

static void FillResult(const FileInFlight *file, uint64_t number, EngineResult *result) {
    result->number = number;
    result->tag = file->tag;
    result->name = file->name;
    result->encoding = file->encoding;
    result->passed = file->stage == StagePassed;
    result->read = file->stage == StageDigested;
    result->problem = file->problem;
    result->bytes = file->bytesDigested;
    memcpy(result->text, file->message.text, sizeof result->text);
}

static EngineWait WaitOn(const Flight *flight, const FileInFlight *file, uint64_t now) {
    EngineWait wait = {flight->handedOut,   file->name, file->encoding,
                       file->bytesDigested, file->size, now - file->waitedSince >= SlowFileDelay};
    return wait;
}

// Called holding the lock, by the calling thread: the files it gave and
// handed back since it last did are made known to the other threads.
static void Publish(Flight *flight) {
    flight->handedBack = flight->handedOut;
    flight->given = flight->givenOut;
}

// Called holding the lock: the first file after the oldest that is not
// through. Those before it are handed back without the lock: a through
// file stays through, and nobody else changes it.
static uint64_t ThroughUntil(Flight *flight) {
    uint64_t n = flight->handedBack;
    while (n < flight->given && Through(Slot(flight, n)))
        n++;
    return n;
}

// Digests ready chunks of any file until the oldest is through, telling
// the job whom it waits for; false when Escape stopped the wait. A through
// file stays through, so the answer seen under the lock holds after it is
// let go; before any sleep it is looked at again under the lock.
static bool WaitForOldest(Flight *flight, FileInFlight *oldest, const WaitReport *report) {
    TakeWorkLock(flight->lock);
    Publish(flight);
    WakeWhomItConcerns(flight, false);
    for (;;) {
        uint64_t now = MonotonicMicroseconds();
        if (oldest->waitedSince == 0)
            oldest->waitedSince = now;
        EngineWait wait = WaitOn(flight, oldest, now);
        bool through = Through(oldest);
        bool passed = oldest->stage == StagePassed;
        if (through)
            flight->throughUntil = ThroughUntil(flight);
        ReleaseWorkLock(flight->lock);
        if (PollEscapeAt(now))
            return false;
        // A file given not to be read is no wait.
        if (report && !passed)
            report->Show(report->Context, &wait);
        if (through)
            return true;
        TakeWorkLock(flight->lock);
        if (!Through(oldest) && !HashSubtree(flight) && !DigestReady(flight))
            SleepUntilWoken(flight, CallerWaiter, CallerWait); // not through, nothing to digest
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
        out->read =
            FileDigest(engine->name, engine->encoding, engine->algorithm, engine->digitCount,
                       out->text, sizeof out->text, &out->problem, report ? &progress : nullptr);
        if (out->read && AbortRequested)
            return false;
    }
    engine->holding = false;
    return true;
}

bool NextResult(DigestEngine *engine, EngineResult *result, const WaitReport *report) {
    // A run stopped before its engine started (StartDigestEngine) stays
    // stopped, whatever a later poll finds.
    if (AbortRequested)
        return false;
    if (OneAtATime(engine))
        return NextAlone(engine, result, report);
    Flight *flight = engine->flight;
    if (flight->handedOut == flight->givenOut)
        return false;
    FileInFlight *oldest = Slot(flight, flight->handedOut);
    // Files seen through in the last wait go back one after another
    // without the lock or a word to the job: none of them is waited on.
    if (flight->handedOut < flight->throughUntil) {
        if (PollEscapeWhenDue())
            return false;
    } else if (!WaitForOldest(flight, oldest, report)) {
        return false;
    }
    FillResult(oldest, flight->handedOut, result);
    // A file that failed part way may still hold chunks.
    if (oldest->chunksDigested < oldest->chunksRead) {
        TakeWorkLock(flight->lock);
        while (oldest->chunksDigested < oldest->chunksRead)
            ReleaseOldestChunk(flight, oldest);
        WakeWhomItConcerns(flight, false);
        ReleaseWorkLock(flight->lock);
    }
    flight->handedOut++;
    // The slots are given again once half of them are free, many at a time:
    // a reader waiting for files is woken once for them, not once a file.
    if (flight->givenOut - flight->handedOut <= flight->slots / 2)
        flight->refilling = true;
    return true;
}

bool EngineHasRoom(const DigestEngine *engine) {
    if (OneAtATime(engine))
        return !engine->holding;
    const Flight *flight = engine->flight;
    return flight->refilling && flight->givenOut - flight->handedOut < flight->slots;
}

bool OldestWaiting(const DigestEngine *engine, int64_t *tag) {
    if (OneAtATime(engine)) {
        *tag = engine->tag;
        return engine->holding;
    }
    Flight *flight = engine->flight;
    if (flight->handedOut == flight->givenOut)
        return false;
    *tag = Slot(flight, flight->handedOut)->tag;
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
                 DigestAlgorithm algorithm, uint32_t digitCount, bool passed, FileProblem problem) {
    if (OneAtATime(engine)) {
        engine->holding = true;
        engine->given++;
        engine->tag = tag;
        engine->encoding = encoding;
        engine->algorithm = algorithm;
        engine->digitCount = digitCount;
        engine->passed = passed;
        engine->problem = problem;
        CopyName(engine->name, name);
        return;
    }
    Flight *flight = engine->flight;
    // The lanes are measured on the calling thread, before any reader may
    // digest the file, not by several threads racing at once.
    LaneCount(algorithm);
    // The slot's last file was handed back, and the others look only at
    // the files published since: the lock is held over the writing for
    // their earlier looks to come before it, but nobody is woken and
    // nothing is looked through until a batch is published.
    TakeWorkLock(flight->lock);
    bool published = flight->handedBack + flight->slots <= flight->givenOut;
    if (published)
        Publish(flight);
    FileInFlight *file = Slot(flight, flight->givenOut);
    file->tag = tag;
    file->encoding = encoding;
    file->algorithm = algorithm;
    CopyName(file->name, name);
    file->stage = passed ? StagePassed : StageReading;
    file->problem = problem;
    file->beingRead = file->inLanes = false;
    file->stream = nullptr;
    file->size = -1;
    file->bytesRead = file->bytesDigested = file->waitedSince = 0;
    file->chunksRead = file->chunksDigested = 0;
    file->apart = HashedApart(algorithm, ChunkSize);
    file->subtreeCursor = file->subtreesHashing = 0;
    StartLaneMessage(&file->message, algorithm, digitCount, (int64_t)flight->givenOut);
    flight->givenOut++;
    if (flight->givenOut - flight->handedOut == flight->slots)
        flight->refilling = false;
    if (flight->givenOut - flight->given >= FilesGivenTogether) {
        Publish(flight);
        published = true;
    }
    if (published)
        WakeWhomItConcerns(flight, false);
    ReleaseWorkLock(flight->lock);
}

void GiveFile(DigestEngine *engine, int64_t tag, const char *name, NameEncoding encoding,
              DigestAlgorithm algorithm, uint32_t digitCount) {
    Give(engine, tag, name, encoding, algorithm, digitCount, false, ProblemUntold);
}

void GiveUnread(DigestEngine *engine, int64_t tag, const char *name, NameEncoding encoding,
                FileProblem problem) {
    // Never digested: any digest this build computes starts its idle state.
    Give(engine, tag, name, encoding, DefaultDigest, DigestTextLength(DefaultDigest), true,
         problem);
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

// By the last to leave the flight: nobody holds a stream any more.
static void FreeFlight(Flight *flight) {
    for (uint32_t i = 0; i < flight->slots; i++)
        if (flight->files[i].stream)
            System.close(flight->files[i].stream);
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

// A run stopped while a read hung left its reader to end on its own, with
// the reader's pool: the next run waits for it, so that runs over a share
// that stopped answering do not pile up their threads and pools in the
// host's address space. Escape ends the wait, and the run with it.
static bool LeftReadersEnded() {
    while (WorkersLeftRunning() > 0) {
        if (PollEscapeWhenDue())
            return false;
        PauseMicroseconds(CallerWait);
    }
    return true;
}

void StartDigestEngine(DigestEngine *engine, const char *folder, uint32_t filesAtOnce) {
    engine->flight = nullptr;
    engine->holding = false;
    engine->given = 0;
    if (!LeftReadersEnded())
        return;
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
    flight->seeksSlowly = System.seeksSlowly(folder);
    SetReadOrder(flight, flight->seeksSlowly);
    flight->lock = CreateWorkLock(readers + 1);
    if (!flight->lock) {
        FreeFlight(flight);
        return;
    }
    flight->holders = 1;
    for (uint32_t i = 0; i < readers; i++) {
        flight->seats[i].flight = flight;
        flight->seats[i].waiter = i + 1;
        flight->readers[flight->readerCount] = StartWorkerThread(ReadFiles, &flight->seats[i]);
        if (flight->readers[flight->readerCount]) {
            flight->readerCount++;
            flight->holders++;
        }
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
    engine->flight = nullptr;
    TakeWorkLock(flight->lock);
    flight->stopping = true;
    WakeWhomItConcerns(flight, false);
    ReleaseWorkLock(flight->lock);
    uint64_t deadline = MonotonicMicroseconds() + StopWait;
    for (uint32_t i = 0; i < flight->readerCount; i++) {
        uint64_t now = MonotonicMicroseconds();
        EndWorkerThread(flight->readers[i], now < deadline ? (uint32_t)(deadline - now) : 0);
    }
    // The streams no reader holds are closed now, the held ones by the
    // last to leave, which may be a reader left running.
    FILE *streams[MostFilesInFlight];
    uint32_t count = 0;
    TakeWorkLock(flight->lock);
    for (uint32_t i = 0; i < flight->slots; i++) {
        FileInFlight *file = &flight->files[i];
        if (!file->beingRead && file->stream) { // a reader's own while it reads
            streams[count++] = file->stream;
            file->stream = nullptr;
        }
    }
    bool last = --flight->holders == 0;
    ReleaseWorkLock(flight->lock);
    for (uint32_t i = 0; i < count; i++)
        System.close(streams[i]);
    if (last)
        FreeFlight(flight);
}

uint32_t EngineFilesAtOnce(const DigestEngine *engine) {
    return engine->flight ? engine->flight->slots : 1;
}

uint32_t EngineChunksHeld(const DigestEngine *engine) {
    Flight *flight = engine->flight;
    if (!flight)
        return 0;
    TakeWorkLock(flight->lock);
    uint32_t held = flight->poolChunks - flight->freeCount;
    ReleaseWorkLock(flight->lock);
    return held;
}
