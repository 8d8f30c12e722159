// One byte at a time from a signature file's stream without the lock getc
// takes on every call: the stream belongs to the job that opened it, on the
// host's one thread. Only the runtime's name for the unlocked read differs.
#pragma once

#include <stdio.h>

#ifdef _WIN32
static inline int NextTextByte(FILE *stream) {
    return _getc_nolock(stream);
}
#else
static inline int NextTextByte(FILE *stream) {
    return getc_unlocked(stream);
}
#endif
