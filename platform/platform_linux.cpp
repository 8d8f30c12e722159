// The platform layer on Linux. Names are bytes: they open as they are
// spelled, and every panel item's name is its file's own. Files: only
// regular files are read, opened without blocking; glibc has no text mode,
// so a stream of the module's own stores LF as CR LF in a signature file as
// the Windows runtime does (and reads bytes as they are, the list reader
// making the line ends); creation writes a new file that a rename puts in
// the old list's place; file identity is device and inode; a folder is
// listed without following a link at its name. The console: its width, the
// monotonic clock, and the Escape poll over the terminal on standard input.
//
// A terminal has no event queue to peek at, so the bytes read from it become
// key events in the module's own queue; looking at that queue consumes
// nothing, and only the events ahead of a found key are removed.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "host/records.h"
#include "platform/platform.h"
#include "platform/system_calls.h"

// Linux names are bytes: however a list encodes them, they open as they are.
FILE *OpenFileToDigest(const char *name, NameEncoding) {
    // Without O_NONBLOCK a FIFO that has no writer would hang the open.
    int fd = open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    // Devices, pipes and directories either block the read or never end.
    // O_NONBLOCK may stay: it changes nothing for a regular file, whose reads
    // wait for the disk whatever the flag says, and clearing it would cost a
    // system call per file.
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(fd);
        return nullptr;
    }
    FILE *stream = fdopen(fd, "rb");
    if (!stream)
        close(fd);
    return stream;
}

FileProblem WhyNotOpened(const char *name, NameEncoding) {
    struct stat status;
    if (stat(name, &status) != 0)
        return errno == EACCES ? ProblemCannotRead : ProblemNotFound;
    return S_ISREG(status.st_mode) ? ProblemCannotRead : ProblemNotAFile;
}

bool NameHasFile(const char *name, NameEncoding) {
    struct stat status;
    return lstat(name, &status) == 0;
}

const char *NameForHost(const char *name, NameEncoding, char *, size_t) {
    return name;
}

// The host's texts are bytes, as names are.
const char *HostTextForFile(const char *text, bool, char *, size_t) {
    return text;
}

// Names are bytes, most often UTF-8: a cut never starts on a continuation byte.
size_t CharacterStart(const char *text, size_t at) {
    for (int i = 0; i < 3 && ((uint8_t)text[at] & 0xC0) == 0x80; i++)
        at++;
    return at;
}

bool NameInUtf8Form(const char *name, NameEncoding, char *buffer, size_t size) {
    size_t length = strlen(name);
    if (length >= size)
        return false;
    memcpy(buffer, name, length + 1);
    return true;
}

int64_t FileSizeToDigest(FILE *stream) {
    struct stat status;
    if (fstat(fileno(stream), &status) != 0)
        return -1;
    return (int64_t)status.st_size;
}

const uint32_t TextBufferSize = 4096;

// The one allocation per open signature file, freed by CloseText.
struct TextFile {
    int fd;
    bool crLf;                   // writing stores LF as CR LF
    char raw[TextBufferSize];    // bytes on their way to the file
    char stream[TextBufferSize]; // the stream's own buffer, the runtime's size
};

static ssize_t ReadRaw(void *cookie, char *out, size_t size) {
    TextFile *file = static_cast<TextFile *>(cookie);
    ssize_t got;
    do {
        got = read(file->fd, out, size);
    } while (got < 0 && errno == EINTR);
    return got;
}

static bool WriteAll(int fd, const char *bytes, size_t count) {
    while (count > 0) {
        ssize_t put = write(fd, bytes, count);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        bytes += put;
        count -= (size_t)put;
    }
    return true;
}

static ssize_t WriteText(void *cookie, const char *data, size_t size) {
    TextFile *file = static_cast<TextFile *>(cookie);
    size_t done = 0;
    while (done < size) {
        size_t taken = done;
        uint32_t used = 0;
        while (taken < size && used + 2 <= sizeof file->raw) {
            if (data[taken] == '\n' && file->crLf)
                file->raw[used++] = '\r';
            file->raw[used++] = data[taken++];
        }
        // A short count makes the stream set its error indicator.
        if (!WriteAll(file->fd, file->raw, used))
            return done > 0 ? (ssize_t)done : -1;
        done = taken;
    }
    return (ssize_t)size;
}

static int CloseText(void *cookie) {
    TextFile *file = static_cast<TextFile *>(cookie);
    int result = close(file->fd);
    free(file);
    return result == 0 ? 0 : -1;
}

// A stream over fd, which it closes: reading passes the bytes on as they
// are, writing stores LF as CR LF unless lineEnds says LF alone. Null, with
// fd closed, on failure.
static FILE *TextStream(int fd, bool reading, OutputLineEnds lineEnds = CrLfLineEnds) {
    TextFile *file = static_cast<TextFile *>(malloc(sizeof(TextFile)));
    if (file == nullptr) {
        close(fd);
        return nullptr;
    }
    file->fd = fd;
    file->crLf = lineEnds == CrLfLineEnds;
    cookie_io_functions_t functions = {};
    functions.read = reading ? ReadRaw : nullptr;
    functions.write = reading ? nullptr : WriteText;
    functions.close = CloseText;
    FILE *stream = fopencookie(file, reading ? "r" : "w", functions);
    if (stream == nullptr) {
        CloseText(file);
        return nullptr;
    }
    setvbuf(stream, file->stream, _IOFBF, sizeof file->stream);
    return stream;
}

FILE *OpenSignatureFile(const char *name) {
    // Only a regular file is read: a device or a pipe may block or never end.
    // The reads are read() calls of this stream's own, not the C library's
    // internal ones, so that a fault preloaded at read() (the test suite's
    // failing disk) reaches the list as it would from a real disk.
    int fd = open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat status;
    if (fd >= 0 && (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))) {
        close(fd);
        return nullptr;
    }
    return fd >= 0 ? TextStream(fd, true) : nullptr;
}

// The file a chain of symbolic links leads to, as the kernel follows them:
// a relative link from its own folder. Renaming over a link would put a
// regular file in its place and leave the list it leads to old. A link to a
// file not there yet leads to where that file is to be made, as a shell's
// "> link" would make it. False for a loop or a path too long.
static bool FollowLinks(const char *target, char *path, size_t size) {
    if (strlen(target) >= size)
        return false;
    strcpy(path, target);
    // The kernel's own limit on links followed in one lookup.
    for (int hop = 0; hop < 40; hop++) {
        char leadsTo[4096];
        ssize_t length = readlink(path, leadsTo, sizeof leadsTo);
        if (length < 0)
            return errno == EINVAL || errno == ENOENT; // no link, or nothing there yet
        const char *slash = strrchr(path, '/');
        size_t folder = leadsTo[0] != '/' && slash ? (size_t)(slash - path + 1) : 0;
        if ((size_t)length == sizeof leadsTo || folder + (size_t)length >= size)
            return false;
        memcpy(path + folder, leadsTo, (size_t)length);
        path[folder + (size_t)length] = 0;
    }
    return false;
}

// A list nobody may write was made read-only by its owner, and is refused
// also to root, who could write it anyway. One that some may write is
// refused to those who may not: its owner too, when only others may.
static bool ReadOnly(const char *path, const struct stat &status) {
    return (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || access(path, W_OK) != 0;
}

bool StartSignatureOutput(SignatureOutput *output, const char *target, OutputLineEnds lineEnds) {
    output->stream = nullptr;
    output->madeList = false;
    if (!FollowLinks(target, output->list, sizeof output->list))
        return false;
    // A device, a FIFO or a folder is no list to replace; a read-only file
    // is not replaced either.
    struct stat status;
    bool exists = stat(output->list, &status) == 0;
    if (exists && (!S_ISREG(status.st_mode) || ReadOnly(output->list, status)))
        return false;
    if (!exists && errno != ENOENT)
        return false;
    const char *slash = strrchr(output->list, '/');
    int folderLength = slash ? (int)(slash - output->list + 1) : 0;
    if ((size_t)folderLength + 40 > sizeof output->newFile)
        return false;
    // A name of its own in the list's folder, so that the rename stays on
    // one file system; O_EXCL never takes over an existing file.
    int fd = -1;
    for (unsigned attempt = 0; attempt < 100 && fd < 0; attempt++) {
        snprintf(output->newFile, sizeof output->newFile, "%.*s.sumbrel-%ld-%u.new", folderLength,
                 output->list, (long)getpid(), attempt);
        fd = open(output->newFile, O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;
    // The list keeps the owner, group and permissions the old one had, as
    // far as the user may give them: root any owner, others a group of
    // theirs. What the old group might do, another group may not.
    if (exists) {
        mode_t mode = status.st_mode & 07777;
        if (fchown(fd, status.st_uid, status.st_gid) != 0 &&
            fchown(fd, (uid_t)-1, status.st_gid) != 0)
            mode &= ~(mode_t)(S_IRWXG | S_ISGID);
        fchmod(fd, mode);
    }
    output->stream = TextStream(fd, false, lineEnds);
    if (!output->stream) {
        unlink(output->newFile);
        return false;
    }
    return true;
}

bool NewFileOnDisk(const SignatureOutput *output, FILE *) {
    // The stream is the module's own, with no descriptor to hand.
    int fd = open(output->newFile, O_RDONLY | O_CLOEXEC);
    bool synced = fd >= 0 && fsync(fd) == 0;
    if (fd >= 0)
        close(fd);
    return synced;
}

bool NewFileReplacesList(const SignatureOutput *output) {
    return rename(output->newFile, output->list) == 0;
}

void RemoveNewFile(const SignatureOutput *output) {
    unlink(output->newFile);
}

bool CurrentFolder(char *path, size_t size) {
    return getcwd(path, size) != nullptr;
}

bool SameFileOnDisk(const char *itemName, const char *fileName) {
    struct stat a, b;
    if (stat(itemName, &a) != 0 || stat(fileName, &b) != 0)
        return false;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool SameFileAsListed(const char *itemName, NameEncoding, const char *listedName, NameEncoding) {
    // Every name opens as it is spelled here.
    return SameFileOnDisk(itemName, listedName);
}

const bool NamesHoldBackslashes = true;

// Names are bytes: every panel item's name is its file's own.
StrayNames *ListStrayNames(const PanelInfoRecord *) {
    return nullptr;
}

void FreeStrayNames(StrayNames *) {}

int32_t ResolveItem(const StrayNames *, const PanelItemRecord *) {
    return ItemByOwnName;
}

bool ResolvedItemName(const StrayNames *, const PanelItemRecord *item, int32_t, char *name,
                      size_t size, NameEncoding *encoding) {
    *encoding = NameInCodePage;
    size_t length = strnlen(item->Name, PanelItemNameSize);
    if (length >= size || length == PanelItemNameSize)
        return false;
    memcpy(name, item->Name, length);
    name[length] = 0;
    return true;
}

bool NameInDirectory(const char *path, NameEncoding, char *name, size_t size) {
    // Linux names are stored as they are spelled: the last part is the name.
    const char *last = strrchr(path, '/');
    last = last ? last + 1 : path;
    size_t length = strlen(last);
    if (length == 0 || length >= size)
        return false;
    memcpy(name, last, length + 1);
    return true;
}

bool FileIdentityOf(const char *name, NameEncoding, FileIdentity *identity) {
    struct stat status;
    if (stat(name, &status) != 0)
        return false;
    identity->volume = (uint64_t)status.st_dev;
    identity->index = (uint64_t)status.st_ino;
    return true;
}

bool NewFileIdentity(const SignatureOutput *output, FileIdentity *identity) {
    // The stream is the module's own, with no descriptor to ask.
    return FileIdentityOf(output->newFile, NameInCodePage, identity);
}

// Folders.

struct FolderListing {
    DIR *folder;
    uint64_t device; // the folder's
    bool failed;
};

FolderListing *OpenFolderListing(const char *name, NameEncoding, FileIdentity *identity,
                                 FileProblem *problem) {
    identity->volume = identity->index = 0;
    // O_NOFOLLOW refuses a link at the end of the name instead of following it.
    int fd = open(name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        *problem = errno == ENOENT                      ? ProblemNotFound
                   : errno == ELOOP || errno == ENOTDIR ? ProblemNotAFile
                   : errno == ENOMEM                    ? ProblemNoMemory
                   : errno == ENAMETOOLONG              ? ProblemNameTooLong
                                                        : ProblemCannotRead;
        return nullptr;
    }
    struct stat status;
    if (fstat(fd, &status) == 0) {
        identity->volume = (uint64_t)status.st_dev;
        identity->index = (uint64_t)status.st_ino;
    }
    // The record is the walk's memory, taken where a test may make it run out.
    FolderListing *listing = static_cast<FolderListing *>(System.allocate(sizeof(FolderListing)));
    DIR *folder = listing ? fdopendir(fd) : nullptr;
    if (!folder) {
        *problem = !listing || errno == ENOMEM ? ProblemNoMemory : ProblemCannotRead;
        System.release(listing);
        close(fd);
        return nullptr;
    }
    listing->folder = folder;
    listing->device = identity->volume;
    listing->failed = false;
    return listing;
}

// Most file systems tell the kind in the entry itself; a link, or an entry
// whose kind is not told, costs a look at the inode.
static EntryKind KindOfEntry(DIR *folder, const dirent *found) {
    if (found->d_type == DT_REG)
        return EntryFile;
    if (found->d_type == DT_DIR)
        return EntryFolder;
    if (found->d_type != DT_LNK && found->d_type != DT_UNKNOWN)
        return EntryOther;
    struct stat status;
    if (fstatat(dirfd(folder), found->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0)
        return EntryOther;
    if (S_ISDIR(status.st_mode))
        return EntryFolder;
    // A link counts as what it leads to, which is never taken for a folder.
    if (S_ISLNK(status.st_mode) && fstatat(dirfd(folder), found->d_name, &status, 0) != 0)
        return EntryOther;
    return S_ISREG(status.st_mode) ? EntryFile : EntryOther;
}

bool NextFolderEntry(FolderListing *listing, FolderEntry *entry) {
    for (;;) {
        errno = 0;
        const dirent *found = readdir(listing->folder);
        if (!found) {
            listing->failed = errno != 0;
            return false;
        }
        const char *name = found->d_name;
        size_t length = strlen(name);
        if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0 || length >= sizeof entry->name)
            continue;
        memcpy(entry->name, name, length + 1);
        entry->encoding = NameInCodePage;
        entry->kind = KindOfEntry(listing->folder, found);
        // A regular file's entry holds its inode; a link's is its own, not
        // that of the file it leads to.
        bool known = found->d_type == DT_REG && listing->device != 0;
        entry->identity.volume = known ? listing->device : 0;
        entry->identity.index = known ? (uint64_t)found->d_ino : 0;
        return true;
    }
}

bool FolderListingFailed(const FolderListing *listing) {
    return listing->failed;
}

void CloseFolderListing(FolderListing *listing) {
    closedir(listing->folder);
    System.release(listing);
}

// The console and the clock.

int ConsoleColumns() {
    // The host draws on its terminal, which may be any of the three.
    const int streams[] = {STDOUT_FILENO, STDERR_FILENO, STDIN_FILENO};
    for (int fd : streams) {
        winsize size;
        if (ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
            return size.ws_col;
    }
    return 0;
}

uint64_t MonotonicMicroseconds() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (uint64_t)now.tv_sec * 1000000 + (uint64_t)now.tv_nsec / 1000;
}

// Where the decoder of the terminal's bytes stands between reads.
enum TerminalState { Ground, AfterEscape, InControlSequence, InShiftSequence };

static const uint32_t KeyQueueCapacity = 64;

// The keys read from the terminal, which has no queue of its own to peek at:
// the module's copy of the console input that Windows keeps for the process,
// and so module-wide as that is. ForgetConsoleInput empties it.
struct TerminalInput {
    // Key-downs taken from the terminal and not removed yet, oldest first;
    // every terminal key is a key-down, so its virtual-key code is all there is.
    uint16_t Keys[KeyQueueCapacity];
    uint32_t KeyCount;
    TerminalState Decoder;
    int IsTerminal; // -1 until the first poll after ForgetConsoleInput asks
};
static TerminalInput Terminal = {{0}, 0, Ground, -1};

// Code of a key that has no virtual-key code here; no real key has 0.
static const uint16_t UnknownVirtualKey = 0;

static uint16_t VirtualKeyOfByte(uint8_t byte) {
    if (byte >= 'a' && byte <= 'z')
        return (uint16_t)(byte - 'a' + 'A');
    if ((byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') || byte == ' ')
        return byte;
    if (byte == '\r' || byte == '\n')
        return 13; // Enter
    if (byte == '\t')
        return 9; // Tab
    if (byte == 0x7f || byte == 0x08)
        return 8; // Backspace
    return UnknownVirtualKey;
}

static void QueueKey(uint16_t virtualKey) {
    if (Terminal.KeyCount < KeyQueueCapacity)
        Terminal.Keys[Terminal.KeyCount++] = virtualKey;
}

// ESC alone or ESC ESC is the Escape key; ESC '[' and ESC 'O' open another
// key's control sequence, which runs to its final byte; ESC and any other
// byte is that byte's key with Alt.
static void DecodeByte(uint8_t byte) {
    switch (Terminal.Decoder) {
    case Ground:
        if (byte == 0x1b)
            Terminal.Decoder = AfterEscape;
        else
            QueueKey(VirtualKeyOfByte(byte));
        return;
    case AfterEscape:
        Terminal.Decoder = byte == '[' ? InControlSequence : byte == 'O' ? InShiftSequence : Ground;
        QueueKey(byte == 0x1b ? EscapeVirtualKey : UnknownVirtualKey);
        return;
    case InControlSequence:
        if (byte >= 0x40 && byte <= 0x7e)
            Terminal.Decoder = Ground;
        return;
    case InShiftSequence:
        Terminal.Decoder = Ground;
        return;
    }
}

// Moves what the terminal has ready into the queue, never waiting, and
// returns the number of queued events.
static uint32_t CountKeyEvents() {
    if (Terminal.IsTerminal < 0)
        Terminal.IsTerminal = isatty(STDIN_FILENO) ? 1 : 0;
    if (!Terminal.IsTerminal)
        return 0;
    int available = 0;
    if (ioctl(STDIN_FILENO, FIONREAD, &available) != 0 || available < 0)
        available = 0;
    // Each byte makes at most one event, so what is read always fits; a read
    // of no more than is ready returns at once.
    uint8_t bytes[KeyQueueCapacity];
    size_t wanted = KeyQueueCapacity - Terminal.KeyCount;
    if (wanted > (size_t)available)
        wanted = (size_t)available;
    ssize_t got = wanted > 0 ? read(STDIN_FILENO, bytes, wanted) : 0;
    for (ssize_t i = 0; i < got; i++)
        DecodeByte(bytes[i]);
    // An ESC with nothing behind it in the terminal is taken as the key.
    if (Terminal.Decoder == AfterEscape && got == available) {
        Terminal.Decoder = Ground;
        QueueKey(EscapeVirtualKey);
    }
    return Terminal.KeyCount;
}

static void RemoveKeyEvents(uint32_t count) {
    for (uint32_t i = count; i < Terminal.KeyCount; i++)
        Terminal.Keys[i - count] = Terminal.Keys[i];
    Terminal.KeyCount -= count;
}

int EscapePressed(uint16_t virtualKey) {
    uint32_t count = CountKeyEvents();
    for (uint32_t i = 0; i < count; i++) {
        if (Terminal.Keys[i] == virtualKey) {
            RemoveKeyEvents(i);
            return 1;
        }
    }
    // A full queue without the key holds only keys that would go ahead of
    // it anyway; dropping them lets the next poll read on.
    if (count == KeyQueueCapacity)
        RemoveKeyEvents(count);
    return 0;
}

void ForgetConsoleInput() {
    Terminal.KeyCount = 0;
    Terminal.Decoder = Ground;
    Terminal.IsTerminal = -1;
}
