// The module's one interface to the operating system; platform_linux.cpp and
// platform_windows.cpp each give all of it. Files opened by the exact name,
// names in the code page and in UTF-8, short names and look-alikes, what a
// name finds on disk, the entries of a folder, creation's new list and the
// rename that replaces the old one, the clock, the console's width and its
// Escape key. Nothing above this header asks which platform it runs on.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

struct PanelInfoRecord;
struct PanelItemRecord;

// How the bytes of a name are taken: in the code page of the platform's
// narrow file calls, as panel items and most lists give them, or as UTF-8,
// for names that code page cannot hold. On Linux names are bytes either way.
enum NameEncoding { NameInCodePage, NameInUtf8 };

// Why a file could not be used, as the file error notice tells the user.
enum FileProblem {
    ProblemUntold,         // none yet: every notice a user sees says one of the others
    ProblemNotFound,       // no such file, or no folder on the way
    ProblemCannotRead,     // locked by another program, access denied, or a read failed
    ProblemNotAFile,       // a folder, a device or a pipe
    ProblemNotReached,     // a name in the device namespace, never opened
    ProblemNotWritten,     // a signature file that could not be written completely
    ProblemNoMemory,       // memory ran out: a folder could not be listed whole
    ProblemNameTooLong,    // a name too long for a line of a list
    ProblemBeyondCodePage, // a name the list's code page cannot hold, come during the run
    ProblemTwoFilesFit,    // two files answer to the panel's name; neither is guessed
};

// Files to read.

// Opens a regular file for untranslated reading ("rb"), sharing reading and
// writing with other processes. Anything else (a directory, a device, a pipe)
// is refused without blocking. Null on failure; nothing is reported.
FILE *OpenFileToDigest(const char *name, NameEncoding encoding);

// The size of the file behind a stream from OpenFileToDigest, or -1.
int64_t FileSizeToDigest(FILE *stream);

// After an open of the name failed: whether it names nothing, something
// that is no file, or a file that would not open (locked or denied).
FileProblem WhyNotOpened(const char *name, NameEncoding encoding);

// True when a file, directory or device answers to the name.
bool NameHasFile(const char *name, NameEncoding encoding);

// Names.

// The name as the host shows it: in its code page, '?' for every letter the
// code page lacks. Returns name itself when it needs no conversion, else
// buffer.
const char *NameForHost(const char *name, NameEncoding encoding, char *buffer, size_t size);

// The first character of the host's text that starts at or after byte at:
// a cut there leaves no half of a letter (a UTF-8 sequence, or in a
// double-byte code page a lead or trail byte).
size_t CharacterStart(const char *text, size_t at);

// The name in UTF-8: a code-page name converted, a UTF-8 one copied. False
// when it does not fit.
bool NameInUtf8Form(const char *name, NameEncoding encoding, char *buffer, size_t size);

// One of the host's texts (in the console's OEM code page) as a file of
// names reads it: in the code page names are listed in, or in UTF-8.
// Returns text itself when it needs no conversion, else buffer.
const char *HostTextForFile(const char *text, bool inUtf8, char *buffer, size_t size);

// Whether a name may hold a backslash as a character of its own (Linux), or
// 0x5C is a separator or half of a double-byte letter (Windows).
extern const bool NamesHoldBackslashes;

// Signature lists.

// Opens a signature file to read: untranslated, by the very name given (on
// Windows a bare name exactly as spelled), of a regular file only; the list
// reader makes the line ends. Lists are written through
// StartSignatureOutput alone. Null on failure; nothing is reported.
FILE *OpenSignatureFile(const char *name);

// A path as the platform's file calls take it: bytes on Linux, UTF-16 on
// Windows, which tells where a link leads only in UTF-16.
#ifdef _WIN32
typedef wchar_t PathUnit;
#else
typedef char PathUnit;
#endif

// Creation's output: the list goes to a new file beside the file the target
// names, which takes that file's place only once it is complete, so that a
// run that fails or lists nothing never costs the user the list already
// there. A symbolic link is followed: the file it leads to is renewed and
// the link stays a link.
struct SignatureOutput {
    FILE *stream;
    PathUnit newFile[4096 + 64]; // the list's folder and a name of its own
    PathUnit list[4096 + 64];    // the file the new one replaces, or becomes
    bool madeList; // Windows: made empty to learn where a link leads; removed unless kept
};

// How the new file's lines end: CR LF, as Windows tools write them, unless
// the list's one reader takes LF alone.
enum OutputLineEnds { CrLfLineEnds, LfLineEnds };

// Creates the new file for a target that is an ordinary file or none yet,
// also through symbolic links (not a device, pipe, folder or read-only
// file), with the old list's permissions or attributes; writing to it
// stores every LF as CR LF, or as it is for LfLineEnds. False when it
// cannot; nothing is reported.
bool StartSignatureOutput(SignatureOutput *output, const char *target,
                          OutputLineEnds lineEnds = CrLfLineEnds);

// Closes the new file. When keep is true and every write reached the disk,
// the new file replaces the list (on Windows a bare name exactly as
// spelled) and the result is true; otherwise the new file is removed and
// the target stays as it was. The same on every platform (list_output.cpp),
// by the three steps below, which each platform takes its own way.
bool FinishSignatureOutput(SignatureOutput *output, bool keep);

// The new file's bytes on the disk; its stream is still open.
bool NewFileOnDisk(const SignatureOutput *output, FILE *stream);
// The new file, closed, takes the list's place in one step.
bool NewFileReplacesList(const SignatureOutput *output);
// The new file goes, and on Windows the list made only to follow a link.
void RemoveNewFile(const SignatureOutput *output);

// Files on disk.

// The current directory, which is the panel's; false if it cannot be told.
bool CurrentFolder(char *path, size_t size);

// True when a panel item and a typed file name lead to the same file on disk
// (same device and inode; on Windows the same volume and file index, the
// item's bare name taken as exactly that file, as it is digested); false if
// either cannot be examined.
bool SameFileOnDisk(const char *itemName, const char *fileName);

// The same for a name listed in a signature file, taken as exactly the file
// it digested: on Windows a bare listed name is opened exactly too. The
// panel item's name is the one that opens its file (ItemFileName).
bool SameFileAsListed(const char *itemName, NameEncoding itemEncoding, const char *listedName,
                      NameEncoding listedEncoding);

// The name the file's own directory holds for it, the last part of the path
// as stored on disk and as the host lists it (on Windows the long name in
// its stored letter case, also for a short 8.3 name, in the code page as
// the narrow listing gives it). False if the file cannot be examined.
bool NameInDirectory(const char *path, NameEncoding encoding, char *name, size_t size);

// The names of the current directory that its listing in the code page
// does not lead back to: a letter the code page lacks arrives in a panel
// item as '?' or as a look-alike, which may be another file's name. Listed
// once a job; null when every name leads back to its own file, as always on
// Linux, where names are bytes. Free it with FreeStrayNames.
struct StrayNames;
StrayNames *ListStrayNames(const PanelInfoRecord *record);
void FreeStrayNames(StrayNames *strays);

// The name that opens exactly the panel item's own file, and its encoding:
// the item's name where it leads there, else the real name, chosen by the
// item's short name where the host gives one, otherwise among the real names
// whose code-page form is the item's name. False when two files fit and
// nothing tells them apart: no guess is made.
// Done in two steps, for a job that resolves each item once: how the
// item's file was found (by its own name, not at all, or as the real name
// of that number), then the name that opens it. Names of the same listed
// form are found by a search, not by a look at every name of the folder.
const int32_t ItemByOwnName = -1;
const int32_t ItemUnresolved = -2;
int32_t ResolveItem(const StrayNames *strays, const PanelItemRecord *item);
bool ResolvedItemName(const StrayNames *strays, const PanelItemRecord *item, int32_t resolution,
                      char *name, size_t size, NameEncoding *encoding);

static inline bool ItemFileName(const StrayNames *strays, const PanelItemRecord *item, char *name,
                                size_t size, NameEncoding *encoding) {
    return ResolvedItemName(strays, item, ResolveItem(strays, item), name, size, encoding);
}

// Which file a name leads to: device and inode, on Windows the volume's
// serial number and the file index. An index of 0 is no file's.
struct FileIdentity {
    uint64_t volume;
    uint64_t index;
};

// The identity of the file a name opens, links followed, as it is digested
// (on Windows a bare name or a name of parts below the current directory
// exactly as spelled). False if it cannot be examined.
bool FileIdentityOf(const char *name, NameEncoding encoding, FileIdentity *identity);

// The identity of creation's new file while it is written: a folder walk
// must not list it, as it must not list the list it replaces.
bool NewFileIdentity(const SignatureOutput *output, FileIdentity *identity);

// Folders, listed one at a time for a walk through a folder and all below.

// What an entry is to the walk. A symbolic link or junction to a folder is
// no folder: following it may lead round in a loop or out of the tree. A
// link is a file only when it leads to a regular file; a link leading
// nowhere, a device or a pipe is something else.
enum EntryKind { EntryFile, EntryFolder, EntryOther };

// An entry's name fits with its NUL: 255 UTF-16 units, each up to three
// bytes of UTF-8, on Windows; 255 bytes on Linux.
const size_t EntryNameSize = 3 * 255 + 1;

struct FolderEntry {
    char name[EntryNameSize];
    NameEncoding encoding; // on Windows UTF-8 only for a name beyond the code page
    EntryKind kind;
    // As FileIdentityOf would find it, told by the listing itself; index 0
    // where the listing cannot tell (a link), and FileIdentityOf must.
    FileIdentity identity;
};

// A folder open for listing, its entries in the order the disk gives them.
struct FolderListing;

// Opens the folder a name leads to for listing: a panel item's name, or
// parts below the current directory joined by '/' (on Windows opened
// exactly, however deep). A link or junction at the name's end is not
// followed: the result is null with ProblemNotAFile, as for a file.
// identity is the folder's, with index 0 when it cannot be told.
FolderListing *OpenFolderListing(const char *name, NameEncoding encoding, FileIdentity *identity,
                                 FileProblem *problem);

// The next entry but "." and "..". False at the end, and when a read
// failed, which FolderListingFailed then tells.
bool NextFolderEntry(FolderListing *listing, FolderEntry *entry);
bool FolderListingFailed(const FolderListing *listing);
void CloseFolderListing(FolderListing *listing);

// The console and the clock.

// The width of the console in columns, 0 when there is none to ask.
int ConsoleColumns();

// A clock that only goes forward, in microseconds from an arbitrary start.
uint64_t MonotonicMicroseconds();

// 1 if a key-down of the given virtual key waits in the console input; the
// events ahead of it are removed, it and those behind it stay.
int EscapePressed(uint16_t virtualKey);
const uint16_t EscapeVirtualKey = 27;

// Drops the key events taken from the terminal that nobody removed and asks
// again whether standard input is a terminal; for a new run or a changed
// standard input. The Windows console keeps its own queue: nothing to do.
void ForgetConsoleInput();

// Threads that read ahead for the thread that called the module.

// A lock and the wake-ups of the threads that share it. A thread waits
// holding the lock, which is let go during the wait and taken again; a
// wake-up may come without a change, so a waiter always looks again.
// Each waiter has its own number below the count given at creation, and a
// wake-up goes to one waiter by its number, or to all.
struct WorkLock;
WorkLock *CreateWorkLock(uint32_t waiters); // null when it cannot be had
void FreeWorkLock(WorkLock *lock);
void TakeWorkLock(WorkLock *lock);
void ReleaseWorkLock(WorkLock *lock);
void WaitForWake(WorkLock *lock, uint32_t waiter, uint32_t timeoutMicroseconds);
void Wake(WorkLock *lock, uint32_t waiter); // called holding the lock
void WakeAll(WorkLock *lock);               // called holding the lock

// A thread running entry(argument); null when it cannot be started.
struct WorkerThread;
WorkerThread *StartWorkerThread(void (*entry)(void *), void *argument);
// Waits up to the timeout for the thread to end, cancelling again and
// again the open or read it may be blocked in (Windows: CancelSynchronousIo
// where the system has it; Linux has no such call, only the faults of
// faults.h heed it), and frees it: true. A thread still running then is
// left to end on its own, holding the module loaded until it has, and
// frees itself: false.
bool EndWorkerThread(WorkerThread *thread, uint32_t timeoutMicroseconds);
// Threads left running by EndWorkerThread that have not ended yet.
uint32_t WorkersLeftRunning();
// How many cancellations EndWorkerThread has sent, in the whole process: a
// fault's hanging read ends when the count moves.
uint32_t CancellationsSent();
// Sleeps the calling thread.
void PauseMicroseconds(uint32_t microseconds);

// The processors this process may run on, at least 1.
uint32_t ProcessorCount();

// True when the folder's disk pays for each seek (a spinning disk): its
// files are then read by one reader, in order. False when unknown.
bool DiskSeeksSlowly(const char *folder);
