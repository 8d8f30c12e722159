// The walk through a folder and all below it; see folder_walk.h. Each
// folder on the current path is held listed and sorted, with the place the
// walk has reached in it; a step's name is put together from the names of
// the folders on the path each time, so that a folder beyond the code page
// turns only the names below it to UTF-8.
#include "jobs/folder_walk.h"

#include <stdlib.h>
#include <string.h>

#include "platform/system_calls.h"

// A file or folder of a listed folder.
struct WalkEntry {
    uint32_t nameAt; // in the level's names
    EntryKind kind;
    NameEncoding encoding;
    bool identityUnknown; // a file the listing could not tell from the skipped ones
};

struct WalkLevel {
    char *names;        // the entries' names, each ended by a NUL
    WalkEntry *entries; // in the byte order of their names
    uint32_t count, next;
    size_t namesRoom, entriesRoom; // allocated, in bytes and in entries
    bool inUtf8;                   // some part of the folder's name is beyond the code page
    FileIdentity identity;
};

// A folder of 100,000 entries is read with a poll every few dozen, and its
// sort polls between merged runs of a few thousand, so that Escape stops
// even the largest folder at once.
static const uint32_t EntriesPerPoll = 64;
static const uint32_t MovesPerPoll = 4096;

static bool Stopped(FolderWalk *walk) {
    if (!walk->stopped && walk->poll && walk->poll() != 0)
        walk->stopped = true;
    return walk->stopped;
}

// The memory the walk holds, and the most it held at once: what a later
// walk of the same tree needs set aside.
static void Took(FolderWalk *walk, size_t bytes) {
    walk->held += bytes;
    if (walk->held > walk->mostHeld)
        walk->mostHeld = walk->held;
}

static void Gave(FolderWalk *walk, size_t bytes) {
    walk->held -= bytes;
}

// The block, grown to hold at least needed units, or null (the block then
// stays as it was). It doubles, so that a large folder is copied few times.
static void *Grown(FolderWalk *walk, void *block, size_t *room, size_t needed, size_t unitSize) {
    if (needed <= *room)
        return block;
    size_t grown = *room ? *room : 64;
    while (grown < needed)
        grown *= 2;
    // While the block moves, the old one and the new are both held.
    Took(walk, grown * unitSize);
    void *moved = System.reallocate(block, grown * unitSize);
    Gave(walk, (moved ? *room : grown) * unitSize);
    if (moved)
        *room = grown;
    return moved;
}

// Ends the walk with the failure as its last step.
static void Fail(FolderWalk *walk, FileProblem why) {
    walk->failed = true;
    walk->why = why;
}

bool StartFolderWalk(FolderWalk *walk, const char *folder, NameEncoding encoding, int (*poll)(),
                     const FileIdentity *skipped, uint32_t skippedCount) {
    memset(walk, 0, sizeof *walk);
    walk->startEncoding = encoding;
    walk->poll = poll;
    walk->skippedCount = skippedCount < WalkSkippedMost ? skippedCount : WalkSkippedMost;
    for (uint32_t i = 0; i < walk->skippedCount; i++)
        walk->skipped[i] = skipped[i];
    // The folder holding the start counts as on the path: a link that Wine
    // shows as a folder may lead back to it.
    char current[4096];
    if (!CurrentFolder(current, sizeof current) ||
        !FileIdentityOf(current, NameInCodePage, &walk->start))
        walk->start.index = 0;
    walk->startName = static_cast<char *>(System.allocate(strlen(folder) + 1));
    if (!walk->startName)
        return false;
    Took(walk, strlen(folder) + 1);
    strcpy(walk->startName, folder);
    return true;
}

static void FreeLevel(FolderWalk *walk, WalkLevel *level) {
    System.release(level->names);
    System.release(level->entries);
    Gave(walk, level->namesRoom + level->entriesRoom * sizeof(WalkEntry));
}

void EndFolderWalk(FolderWalk *walk) {
    for (uint32_t i = 0; i < walk->depth; i++)
        FreeLevel(walk, &walk->levels[i]);
    System.release(walk->levels);
    System.release(walk->startName);
    System.release(walk->name);
    walk->levels = nullptr;
    walk->startName = walk->name = nullptr;
    walk->depth = walk->room = 0;
}

// The name of the folder at depth i of the current path, its last part.
static const char *FolderPart(const FolderWalk *walk, uint32_t i, NameEncoding *encoding) {
    if (i == 0) {
        *encoding = walk->startEncoding;
        return walk->startName;
    }
    const WalkLevel *parent = &walk->levels[i - 1];
    const WalkEntry *entry = &parent->entries[parent->next - 1];
    *encoding = entry->encoding;
    return parent->names + entry->nameAt;
}

// Puts the current path and one more part together in walk->name, in
// UTF-8 if any part is beyond the code page. False when memory runs out.
static bool ComposeName(FolderWalk *walk, const char *last, NameEncoding lastEncoding,
                        NameEncoding *encoding) {
    bool inUtf8 =
        lastEncoding == NameInUtf8 || (walk->depth > 0 && walk->levels[walk->depth - 1].inUtf8);
    *encoding = inUtf8 ? NameInUtf8 : NameInCodePage;
    // A code-page byte takes at most three bytes of UTF-8.
    size_t needed = 1;
    for (uint32_t i = 0; i <= walk->depth; i++) {
        NameEncoding partEncoding = lastEncoding;
        const char *part = i < walk->depth ? FolderPart(walk, i, &partEncoding) : last;
        needed += (inUtf8 && partEncoding == NameInCodePage ? 3 : 1) * strlen(part) + 1;
    }
    char *name = static_cast<char *>(Grown(walk, walk->name, &walk->nameRoom, needed, 1));
    if (!name)
        return false;
    walk->name = name;
    size_t used = 0;
    for (uint32_t i = 0; i <= walk->depth; i++) {
        NameEncoding partEncoding = lastEncoding;
        const char *part = i < walk->depth ? FolderPart(walk, i, &partEncoding) : last;
        if (i > 0)
            name[used++] = '/';
        if (inUtf8 && partEncoding == NameInCodePage) {
            if (!NameInUtf8Form(part, partEncoding, name + used, needed - used))
                return false;
        } else {
            strcpy(name + used, part);
        }
        used += strlen(name + used);
    }
    return true;
}

static bool NameBefore(const char *names, const WalkEntry &a, const WalkEntry &b) {
    return strcmp(names + a.nameAt, names + b.nameAt) < 0;
}

// Sorts the level's entries by name, bottom up: runs of 1, 2, 4... entries
// merged into a spare array and back. False when the poll stopped the walk
// or memory ran out.
static bool SortEntries(FolderWalk *walk, WalkLevel *level) {
    uint32_t count = level->count;
    if (count < 2)
        return true;
    Took(walk, count * sizeof(WalkEntry));
    WalkEntry *spare = static_cast<WalkEntry *>(System.allocate(count * sizeof(WalkEntry)));
    if (!spare) {
        Gave(walk, count * sizeof(WalkEntry));
        return false;
    }
    WalkEntry *from = level->entries, *to = spare;
    uint32_t moves = 0;
    for (uint32_t width = 1; width < count && !walk->stopped; width *= 2) {
        for (uint32_t left = 0; left < count && !walk->stopped; left += 2 * width) {
            uint32_t middle = left + width < count ? left + width : count;
            uint32_t right = middle + width < count ? middle + width : count;
            uint32_t a = left, b = middle, out = left;
            while (a < middle && b < right)
                to[out++] = NameBefore(level->names, from[b], from[a]) ? from[b++] : from[a++];
            while (a < middle)
                to[out++] = from[a++];
            while (b < right)
                to[out++] = from[b++];
            moves += right - left;
            if (moves >= MovesPerPoll) {
                moves = 0;
                Stopped(walk);
            }
        }
        WalkEntry *merged = to;
        to = from;
        from = merged;
    }
    if (from != level->entries)
        memcpy(level->entries, from, count * sizeof(WalkEntry));
    System.release(spare);
    Gave(walk, count * sizeof(WalkEntry));
    return !walk->stopped;
}

// Adds one entry's name to the level. False when memory runs out.
static bool AddEntry(FolderWalk *walk, WalkLevel *level, const FolderEntry &entry,
                     size_t *namesUsed) {
    size_t length = strlen(entry.name) + 1;
    char *names =
        static_cast<char *>(Grown(walk, level->names, &level->namesRoom, *namesUsed + length, 1));
    if (names)
        level->names = names;
    WalkEntry *entries = static_cast<WalkEntry *>(
        Grown(walk, level->entries, &level->entriesRoom, level->count + 1, sizeof(WalkEntry)));
    if (entries)
        level->entries = entries;
    if (!names || !entries || *namesUsed + length > UINT32_MAX)
        return false;
    memcpy(names + *namesUsed, entry.name, length);
    entries[level->count].nameAt = (uint32_t)*namesUsed;
    entries[level->count].kind = entry.kind;
    entries[level->count].encoding = entry.encoding;
    entries[level->count].identityUnknown = entry.identity.index == 0;
    level->count++;
    *namesUsed += length;
    return true;
}

// True when the folder is already on the current path: a link the listing
// could not tell (a bind mount, or a link Wine shows as a folder) leads
// back up, and the walk would go round for ever.
static bool OnCurrentPath(const FolderWalk *walk, const FileIdentity &identity) {
    if (identity.index != 0 && walk->start.volume == identity.volume &&
        walk->start.index == identity.index)
        return true;
    for (uint32_t i = 0; i < walk->depth && identity.index != 0; i++)
        if (walk->levels[i].identity.volume == identity.volume &&
            walk->levels[i].identity.index == identity.index)
            return true;
    return false;
}

static bool IsSkippedIdentity(const FolderWalk *walk, const FileIdentity &identity) {
    for (uint32_t i = 0; i < walk->skippedCount; i++)
        if (walk->skipped[i].index != 0 && walk->skipped[i].volume == identity.volume &&
            walk->skipped[i].index == identity.index)
            return true;
    return false;
}

// How entering a folder went.
enum Entered { EnteredFolder, PassedOver, NotListed };

// Lists the folder walk->name names, sorted, as the new innermost level.
// A listing that cannot be finished fails the walk (Fail): its files would
// be missing without a word.
static Entered EnterFolder(FolderWalk *walk, NameEncoding encoding, bool inUtf8,
                           FileProblem *problem) {
    WalkLevel *levels = static_cast<WalkLevel *>(
        Grown(walk, walk->levels, &walk->room, (size_t)walk->depth + 1, sizeof(WalkLevel)));
    if (!levels) {
        Fail(walk, ProblemNoMemory);
        *problem = ProblemNoMemory;
        return NotListed;
    }
    walk->levels = levels;
    WalkLevel level;
    memset(&level, 0, sizeof level);
    level.inUtf8 = inUtf8;
    FolderListing *listing = System.openListing(walk->name, encoding, &level.identity, problem);
    if (!listing) {
        if (*problem == ProblemNoMemory)
            Fail(walk, ProblemNoMemory);
        return *problem == ProblemNotAFile ? PassedOver : NotListed;
    }
    if (OnCurrentPath(walk, level.identity)) {
        System.closeListing(listing);
        return PassedOver;
    }
    size_t namesUsed = 0;
    FolderEntry entry;
    for (uint32_t seen = 1; !walk->failed && System.nextEntry(listing, &entry); seen++) {
        if (seen % EntriesPerPoll == 0 && Stopped(walk))
            break;
        bool skipped = entry.kind == EntryFile && entry.identity.index != 0 &&
                       IsSkippedIdentity(walk, entry.identity);
        if (entry.kind != EntryOther && !skipped && !AddEntry(walk, &level, entry, &namesUsed))
            Fail(walk, ProblemNoMemory);
    }
    if (!walk->stopped && !walk->failed && System.listingFailed(listing))
        Fail(walk, ProblemCannotRead);
    System.closeListing(listing);
    if (!walk->stopped && !walk->failed && !SortEntries(walk, &level) && !walk->stopped)
        Fail(walk, ProblemNoMemory);
    if (walk->stopped || walk->failed) {
        FreeLevel(walk, &level);
        *problem = walk->why;
        return walk->failed ? NotListed : PassedOver;
    }
    walk->levels[walk->depth++] = level;
    return EnteredFolder;
}

// A file whose identity the listing told is passed over as it is listed;
// only the others are looked up by name, as their step comes.
static bool IsSkipped(const FolderWalk *walk, NameEncoding encoding) {
    FileIdentity identity;
    return walk->skippedCount != 0 && FileIdentityOf(walk->name, encoding, &identity) &&
           IsSkippedIdentity(walk, identity);
}

WalkStep NextWalkStep(FolderWalk *walk) {
    WalkStep step = {WalkEnd, "", NameInCodePage, ProblemUntold};
    bool starting = !walk->startEntered;
    walk->startEntered = true;
    while (!walk->failed && !Stopped(walk) && (starting || walk->depth > 0)) {
        const char *name = walk->startName;
        NameEncoding encoding = walk->startEncoding;
        EntryKind kind = EntryFolder;
        bool identityUnknown = false;
        if (!starting) {
            WalkLevel *level = &walk->levels[walk->depth - 1];
            if (level->next == level->count) {
                FreeLevel(walk, level);
                walk->depth--;
                continue;
            }
            const WalkEntry *entry = &level->entries[level->next++];
            name = level->names + entry->nameAt;
            encoding = entry->encoding;
            kind = entry->kind;
            identityUnknown = entry->identityUnknown;
        }
        starting = false;
        NameEncoding pathEncoding;
        if (!ComposeName(walk, name, encoding, &pathEncoding)) {
            // No room for the name: the failure names the walk's own folder.
            Fail(walk, ProblemNoMemory);
            step.kind = WalkFailed;
            step.name = walk->startName;
            step.encoding = walk->startEncoding;
            step.problem = ProblemNoMemory;
            return step;
        }
        step.name = walk->name;
        step.encoding = pathEncoding;
        if (kind == EntryFile) {
            if (identityUnknown && IsSkipped(walk, pathEncoding))
                continue;
            step.kind = WalkFile;
            return step;
        }
        if (EnterFolder(walk, pathEncoding, pathEncoding == NameInUtf8, &step.problem) ==
            NotListed) {
            step.kind = walk->failed ? WalkFailed : WalkFolderUnread;
            return step;
        }
    }
    step.name = "";
    step.encoding = NameInCodePage;
    return step;
}
