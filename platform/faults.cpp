// Faults put into the calls of the system table, for tests; see faults.h.
// The engine's readers open and read on several threads, so the streams a
// fault touches are kept in a table of atomic slots, each claimed by the
// thread that opened its stream; a stream is read by one thread at a time,
// handed on under the engine's lock, so its count needs no lock of its own.
#include "platform/faults.h"

#include <atomic>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "platform/platform.h"
#include "platform/system_calls.h"

static const uint32_t MostFaultyStreams = 256;

struct FaultyStream {
    std::atomic<FILE *> stream;
    uint64_t bytesRead;
};

struct Faults {
    uint64_t readFailsAfter; // UINT64_MAX: reads never fail
    uint64_t readHangsAfter; // UINT64_MAX: reads never hang
    bool cancelIgnored;
    std::atomic<uint32_t> releases; // a hung read ends when this moves
    uint64_t listingFailsAfter;
    uint64_t memoryRunsOutAt; // 0: never
    std::atomic<uint64_t> allocations;
    uint64_t memoryHeldMost; // UINT64_MAX: no bound
    std::atomic<uint64_t> memoryHeld;
    int seeksSlowly; // -1: as the disk says
    char only[256];
    FaultyStream streams[MostFaultyStreams];
    FolderListing *listing; // the walk lists one folder at a time
    bool listingFaulty;
    uint64_t listingEntries;
};

static Faults Active;

static bool Touches(const char *name) {
    return strstr(name, Active.only) != nullptr;
}

static FaultyStream *FindStream(FILE *stream) {
    for (uint32_t i = 0; i < MostFaultyStreams; i++)
        if (Active.streams[i].stream.load() == stream)
            return &Active.streams[i];
    return nullptr;
}

static FILE *FaultyOpen(const char *name, NameEncoding encoding) {
    FILE *stream = RealSystemCalls.open(name, encoding);
    if (!stream || !Touches(name))
        return stream;
    for (uint32_t i = 0; i < MostFaultyStreams; i++) {
        FILE *none = nullptr;
        if (Active.streams[i].stream.compare_exchange_strong(none, stream)) {
            Active.streams[i].bytesRead = 0;
            break;
        }
    }
    return stream;
}

static void FaultyClose(FILE *stream) {
    FaultyStream *faulty = FindStream(stream);
    if (faulty)
        faulty->stream.store(nullptr);
    RealSystemCalls.close(stream);
}

// Waits until the engine cancels the calling thread's call or the fault is
// released; a cancellation sent before the wait began does not count, as
// CancelSynchronousIo does nothing to a call not yet made.
static void HangUntilEnded() {
    uint32_t cancellations = CancellationsSent();
    uint32_t releases = Active.releases.load();
    while (Active.releases.load() == releases &&
           (Active.cancelIgnored || CancellationsSent() == cancellations))
        PauseMicroseconds(1000);
}

static bool FaultyRead(FILE *stream, void *buffer, size_t size, size_t *got) {
    FaultyStream *faulty = FindStream(stream);
    if (!faulty)
        return RealSystemCalls.read(stream, buffer, size, got);
    *got = 0;
    if (faulty->bytesRead >= Active.readHangsAfter) {
        HangUntilEnded();
        return false;
    }
    if (faulty->bytesRead >= Active.readFailsAfter)
        return false;
    uint64_t limit = Active.readFailsAfter < Active.readHangsAfter ? Active.readFailsAfter
                                                                   : Active.readHangsAfter;
    uint64_t left = limit - faulty->bytesRead;
    size_t asked = left < size ? (size_t)left : size;
    bool read = RealSystemCalls.read(stream, buffer, asked, got);
    faulty->bytesRead += *got;
    // A read cut short by the fault fails, as a disk that stops would, or
    // hangs first.
    if (!read || asked == size || *got < asked)
        return read;
    if (limit == Active.readHangsAfter)
        HangUntilEnded();
    return false;
}

static FolderListing *FaultyOpenListing(const char *name, NameEncoding encoding,
                                        FileIdentity *identity, FileProblem *problem) {
    FolderListing *listing = RealSystemCalls.openListing(name, encoding, identity, problem);
    Active.listing = listing;
    Active.listingFaulty = listing && Touches(name);
    Active.listingEntries = 0;
    return listing;
}

static bool CutShort(const FolderListing *listing) {
    return listing == Active.listing && Active.listingFaulty &&
           Active.listingEntries >= Active.listingFailsAfter;
}

static bool FaultyNextEntry(FolderListing *listing, FolderEntry *entry) {
    if (CutShort(listing))
        return false;
    bool next = RealSystemCalls.nextEntry(listing, entry);
    if (next && listing == Active.listing)
        Active.listingEntries++;
    return next;
}

static bool FaultyListingFailed(const FolderListing *listing) {
    return CutShort(listing) || RealSystemCalls.listingFailed(listing);
}

static void FaultyCloseListing(FolderListing *listing) {
    if (listing == Active.listing)
        Active.listing = nullptr;
    RealSystemCalls.closeListing(listing);
}

static bool FaultySeeksSlowly(const char *folder) {
    return Active.seeksSlowly < 0 ? RealSystemCalls.seeksSlowly(folder) : Active.seeksSlowly > 0;
}

// Each block taken while memory faults are in place carries its size in
// front, so that the memory held is known when it is given back. Every
// block a run takes is given back before the run ends, and faults change
// only between runs.
static const size_t BlockHeader = 16;

static size_t SizeOfBlock(void *block) {
    return *reinterpret_cast<size_t *>(static_cast<char *>(block) - BlockHeader);
}

// Takes room for size bytes more, given back first; false when the fault
// says memory has run out.
static bool MemoryLeft(size_t size, size_t givenBack) {
    uint64_t made = Active.allocations.fetch_add(1) + 1;
    if (Active.memoryRunsOutAt != 0 && made >= Active.memoryRunsOutAt)
        return false;
    uint64_t held = Active.memoryHeld.load();
    do {
        if (held - givenBack + size > Active.memoryHeldMost)
            return false;
    } while (!Active.memoryHeld.compare_exchange_weak(held, held - givenBack + size));
    return true;
}

static void *Sized(void *header, size_t size) {
    if (!header)
        return nullptr;
    *static_cast<size_t *>(header) = size;
    return static_cast<char *>(header) + BlockHeader;
}

static void FaultyRelease(void *block) {
    if (!block)
        return;
    Active.memoryHeld.fetch_sub(SizeOfBlock(block));
    RealSystemCalls.release(static_cast<char *>(block) - BlockHeader);
}

static void *FaultyAllocate(size_t size) {
    if (!MemoryLeft(size, 0))
        return nullptr;
    void *block = Sized(RealSystemCalls.allocate(size + BlockHeader), size);
    if (!block)
        Active.memoryHeld.fetch_sub(size);
    return block;
}

static void *FaultyReallocate(void *block, size_t size) {
    if (!block)
        return FaultyAllocate(size);
    size_t old = SizeOfBlock(block);
    if (!MemoryLeft(size, old))
        return nullptr;
    void *moved = Sized(
        RealSystemCalls.reallocate(static_cast<char *>(block) - BlockHeader, size + BlockHeader),
        size);
    if (!moved)
        Active.memoryHeld.fetch_add(old - size);
    return moved;
}

// The value after "name=" at the start of item, or null.
static const char *ValueOf(const char *item, size_t length, const char *name) {
    size_t nameLength = strlen(name);
    if (length <= nameLength + 1 || strncmp(item, name, nameLength) != 0 || item[nameLength] != '=')
        return nullptr;
    return item + nameLength + 1;
}

static bool Count(const char *value, size_t length, uint64_t *count) {
    char *end;
    unsigned long long n = strtoull(value, &end, 10);
    if (end == value || (size_t)(end - value) != length)
        return false;
    *count = n;
    return true;
}

static bool ParseItem(const char *item, size_t length) {
    const char *value;
    if (length == 9 && strncmp(item, "slow-disk", 9) == 0)
        Active.seeksSlowly = 1;
    else if (length == 9 && strncmp(item, "fast-disk", 9) == 0)
        Active.seeksSlowly = 0;
    else if (length == 10 && strncmp(item, "read-hangs", 10) == 0)
        Active.readHangsAfter = 0;
    else if (length == 14 && strncmp(item, "cancel-ignored", 14) == 0)
        Active.cancelIgnored = true;
    else if ((value = ValueOf(item, length, "read-hangs-after")))
        return Count(value, length - (value - item), &Active.readHangsAfter);
    else if ((value = ValueOf(item, length, "read-fails-after")))
        return Count(value, length - (value - item), &Active.readFailsAfter);
    else if ((value = ValueOf(item, length, "listing-fails-after")))
        return Count(value, length - (value - item), &Active.listingFailsAfter);
    else if ((value = ValueOf(item, length, "memory-runs-out-at")))
        return Count(value, length - (value - item), &Active.memoryRunsOutAt);
    else if ((value = ValueOf(item, length, "memory-holds")))
        return Count(value, length - (value - item), &Active.memoryHeldMost);
    else if ((value = ValueOf(item, length, "only"))) {
        size_t textLength = length - (value - item);
        if (textLength >= sizeof Active.only)
            return false;
        memcpy(Active.only, value, textLength);
        Active.only[textLength] = 0;
    } else
        return false;
    return true;
}

void ReleaseHungReads() {
    Active.releases.fetch_add(1);
}

static void ClearFaults() {
    ReleaseHungReads();
    Active.readFailsAfter = Active.readHangsAfter = Active.listingFailsAfter = UINT64_MAX;
    Active.cancelIgnored = false;
    Active.memoryRunsOutAt = 0;
    Active.allocations.store(0);
    Active.memoryHeldMost = UINT64_MAX;
    Active.memoryHeld.store(0);
    Active.seeksSlowly = -1;
    Active.only[0] = 0;
    Active.listing = nullptr;
    for (uint32_t i = 0; i < MostFaultyStreams; i++)
        Active.streams[i].stream.store(nullptr);
}

void RemoveFaults() {
    ClearFaults();
    System = RealSystemCalls;
}

bool InstallFaults(const char *faults) {
    RemoveFaults();
    for (const char *item = faults; *item;) {
        size_t length = strcspn(item, ",");
        if (length > 0 && !ParseItem(item, length)) {
            RemoveFaults();
            return false;
        }
        item += length + (item[length] == ',');
    }
    if (Active.readFailsAfter != UINT64_MAX || Active.readHangsAfter != UINT64_MAX) {
        System.open = FaultyOpen;
        System.close = FaultyClose;
        System.read = FaultyRead;
    }
    if (Active.listingFailsAfter != UINT64_MAX) {
        System.openListing = FaultyOpenListing;
        System.nextEntry = FaultyNextEntry;
        System.listingFailed = FaultyListingFailed;
        System.closeListing = FaultyCloseListing;
    }
    if (Active.seeksSlowly >= 0)
        System.seeksSlowly = FaultySeeksSlowly;
    if (Active.memoryRunsOutAt != 0 || Active.memoryHeldMost != UINT64_MAX) {
        System.allocate = FaultyAllocate;
        System.reallocate = FaultyReallocate;
        System.release = FaultyRelease;
    }
    return true;
}

uint64_t AllocationsCounted() {
    return Active.allocations.load();
}

void InstallFaultsFromEnvironment() {
    const char *faults = getenv("SUMBREL_FAULTS");
    if (!faults || !InstallFaults(faults))
        RemoveFaults();
}
