// Preloaded into the development host on Linux, makes one file fail part way
// through: reads of the file whose path ends in SUMBREL_FAIL_READ_NAME deliver
// its first SUMBREL_FAIL_READ_AFTER bytes, then fail with EIO, as a dying
// disk would; writes to files whose path ends in SUMBREL_FAIL_WRITE_ENDING
// fail with ENOSPC, as on a full disk. Everything else passes through.
#include <dlfcn.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

typedef ssize_t (*ReadFn)(int fd, void *buffer, size_t count);
typedef ssize_t (*WriteFn)(int fd, const void *buffer, size_t count);

static bool IsTheFailingFile(int fd, const char *name) {
    char link[64], path[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t length = readlink(link, path, sizeof path - 1);
    if (length <= 0)
        return false;
    path[length] = 0;
    size_t tail = strlen(name);
    return (size_t)length >= tail && strcmp(path + length - tail, name) == 0 &&
           ((size_t)length == tail || path[length - tail - 1] == '/');
}

extern "C" ssize_t read(int fd, void *buffer, size_t count) {
    static ReadFn realRead = reinterpret_cast<ReadFn>(dlsym(RTLD_NEXT, "read"));
    const char *name = getenv("SUMBREL_FAIL_READ_NAME");
    const char *after = getenv("SUMBREL_FAIL_READ_AFTER");
    if (!name || !after || !IsTheFailingFile(fd, name))
        return realRead(fd, buffer, count);
    off_t position = lseek(fd, 0, SEEK_CUR);
    off_t limit = (off_t)atoll(after);
    if (position < 0 || position >= limit) {
        errno = EIO;
        return -1;
    }
    if ((off_t)count > limit - position)
        count = (size_t)(limit - position);
    return realRead(fd, buffer, count);
}

extern "C" ssize_t write(int fd, const void *buffer, size_t count) {
    static WriteFn realWrite = reinterpret_cast<WriteFn>(dlsym(RTLD_NEXT, "write"));
    const char *ending = getenv("SUMBREL_FAIL_WRITE_ENDING");
    char link[64], path[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t length = ending ? readlink(link, path, sizeof path - 1) : -1;
    size_t tail = ending ? strlen(ending) : 0;
    if (length > 0 && (size_t)length >= tail && memcmp(path + length - tail, ending, tail) == 0) {
        errno = ENOSPC;
        return -1;
    }
    return realWrite(fd, buffer, count);
}
