// Signature files on Linux: glibc has no text mode, so a custom stream
// stores LF as CR LF as the Windows runtime does (and reads bytes as they
// are, the line reader making the line ends); creation's new file beside
// the target and the rename that replaces it; file identity is device and
// inode.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "host/records.h"
#include "signature/format.h"

const uint32_t TextBufferSize = 4096;

// The one allocation per open signature file, freed by CloseText.
struct TextFile {
    int fd;
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
            if (data[taken] == '\n')
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
// are, writing stores LF as CR LF. Null, with fd closed, on failure.
static FILE *TextStream(int fd, bool reading) {
    TextFile *file = static_cast<TextFile *>(malloc(sizeof(TextFile)));
    if (file == nullptr) {
        close(fd);
        return nullptr;
    }
    file->fd = fd;
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

FILE *OpenSignatureFile(const char *name, const char *mode) {
    // Only a regular file is read: a device or a pipe may block or never end.
    // The reads are read() calls of this stream's own, not the C library's
    // internal ones, so that a fault preloaded at read() (the test suite's
    // failing disk) reaches the list as it would from a real disk.
    if (strcmp(mode, "r") == 0) {
        int fd = open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        struct stat status;
        if (fd >= 0 && (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))) {
            close(fd);
            return nullptr;
        }
        return fd >= 0 ? TextStream(fd, true) : nullptr;
    }
    errno = EINVAL;
    return nullptr;
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

bool StartSignatureOutput(SignatureOutput *output, const char *target) {
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
    output->stream = TextStream(fd, false);
    if (!output->stream) {
        unlink(output->newFile);
        return false;
    }
    return true;
}

bool FinishSignatureOutput(SignatureOutput *output, const char *, bool keep) {
    FILE *stream = output->stream;
    output->stream = nullptr;
    // On the disk before it takes the name: a crash then leaves the old list
    // or the new one, never a part.
    bool written = fflush(stream) == 0 && ferror(stream) == 0;
    if (written && keep) {
        int fd = open(output->newFile, O_RDONLY | O_CLOEXEC);
        written = fd >= 0 && fsync(fd) == 0;
        if (fd >= 0)
            close(fd);
    }
    if (fclose(stream) != 0)
        written = false;
    if (written && keep && rename(output->newFile, output->list) == 0)
        return true;
    unlink(output->newFile);
    return false;
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
