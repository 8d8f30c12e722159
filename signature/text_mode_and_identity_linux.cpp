// Signature files on Linux: glibc has no text mode, so a custom stream does
// the Windows runtime's translation (LF stored as CR LF, CR LF read as LF,
// 0x1A ends the data), and file identity is device and inode.
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "signature/format.h"

const uint32_t TextBufferSize = 4096;
const char EndOfText = 0x1A;

// The one allocation per open signature file, freed by CloseText.
struct TextFile {
    int fd;
    bool ended;                  // 0x1A was met: nothing more is ever delivered
    uint32_t start, end;         // raw bytes read but not yet delivered: raw[start, end)
    char raw[TextBufferSize];    // reading: bytes from the file; writing: bytes to it
    char stream[TextBufferSize]; // the stream's own buffer, the runtime's size
};

static ssize_t ReadSome(int fd, char *bytes, size_t count) {
    ssize_t got;
    do {
        got = read(fd, bytes, count);
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

static ssize_t ReadText(void *cookie, char *out, size_t size) {
    TextFile *file = static_cast<TextFile *>(cookie);
    size_t count = 0;
    while (count < size && !file->ended) {
        if (file->start == file->end) {
            // Hand over what is there rather than wait for more.
            if (count > 0)
                break;
            ssize_t got = ReadSome(file->fd, file->raw, sizeof file->raw);
            if (got <= 0)
                return got;
            file->start = 0;
            file->end = (uint32_t)got;
        }
        // Bytes other than CR and 0x1A go over as they stand, a run at a time.
        const char *from = file->raw + file->start;
        size_t run = file->end - file->start;
        if (run > size - count)
            run = size - count;
        const char *stop = static_cast<const char *>(memchr(from, '\r', run));
        size_t plain = stop ? (size_t)(stop - from) : run;
        stop = static_cast<const char *>(memchr(from, EndOfText, plain));
        if (stop)
            plain = (size_t)(stop - from);
        memcpy(out + count, from, plain);
        count += plain;
        file->start += (uint32_t)plain;
        if (plain == run)
            continue;
        if (from[plain] == EndOfText) {
            file->ended = true;
            break;
        }
        if (file->start + 1 == file->end) {
            // A CR ends the raw bytes: whether it is data depends on the
            // next byte, so fetch that one behind it.
            if (count > 0)
                break;
            file->raw[0] = '\r';
            file->start = 0;
            file->end = 1;
            ssize_t got = ReadSome(file->fd, file->raw + 1, sizeof file->raw - 1);
            if (got < 0)
                return -1;
            file->end += (uint32_t)got;
        }
        if (file->start + 1 < file->end && file->raw[file->start + 1] == '\n') {
            out[count++] = '\n';
            file->start += 2;
        } else {
            out[count++] = '\r';
            file->start++;
        }
    }
    return (ssize_t)count;
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

FILE *OpenSignatureFile(const char *name, const char *mode) {
    bool reading = strcmp(mode, "r") == 0;
    if (!reading && strcmp(mode, "w") != 0) {
        errno = EINVAL;
        return nullptr;
    }
    // Without O_NONBLOCK a FIFO with nobody at the other end would hang the
    // open; with it, writing into one that has no reader fails at once.
    int fd = reading ? open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)
                     : open(name, O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
                            0666);
    if (fd < 0)
        return nullptr;
    // Windows refuses to open a directory as a file; so does this. Only a
    // regular file is read: a device or a pipe may block or never end.
    struct stat status;
    int flags = fcntl(fd, F_GETFL);
    int error = 0;
    if (fstat(fd, &status) != 0 || flags < 0)
        error = errno;
    else if (S_ISDIR(status.st_mode))
        error = EISDIR;
    else if (reading && !S_ISREG(status.st_mode))
        error = EINVAL;
    else if (fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
        error = errno;
    if (error != 0) {
        close(fd);
        errno = error;
        return nullptr;
    }
    TextFile *file = static_cast<TextFile *>(malloc(sizeof(TextFile)));
    if (file == nullptr) {
        close(fd);
        return nullptr;
    }
    file->fd = fd;
    file->ended = false;
    file->start = 0;
    file->end = 0;
    cookie_io_functions_t functions = {};
    functions.read = reading ? ReadText : nullptr;
    functions.write = reading ? nullptr : WriteText;
    functions.close = CloseText;
    FILE *stream = fopencookie(file, mode, functions);
    if (stream == nullptr) {
        CloseText(file);
        return nullptr;
    }
    setvbuf(stream, file->stream, _IOFBF, sizeof file->stream);
    return stream;
}

bool SameFileOnDisk(const char *itemName, const char *fileName) {
    struct stat a, b;
    if (stat(itemName, &a) != 0 || stat(fileName, &b) != 0)
        return false;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool SameFileAsListed(const char *itemName, const char *listedName) {
    // Every name opens as it is spelled here.
    return SameFileOnDisk(itemName, listedName);
}

bool NameInDirectory(const char *path, char *name, size_t size) {
    // Linux names are stored as they are spelled: the last part is the name.
    const char *last = strrchr(path, '/');
    last = last ? last + 1 : path;
    size_t length = strlen(last);
    if (length == 0 || length >= size)
        return false;
    memcpy(name, last, length + 1);
    return true;
}
