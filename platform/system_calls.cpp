// The table of the calls the engine and the walk make, filled with the
// operating system's own; see system_calls.h.
#include "platform/system_calls.h"

#include <stdlib.h>

static void CloseStream(FILE *stream) {
    fclose(stream);
}

static bool ReadStream(FILE *stream, void *buffer, size_t size, size_t *got) {
    *got = fread(buffer, 1, size, stream);
    return !ferror(stream);
}

const SystemCalls RealSystemCalls = {
    OpenFileToDigest,
    CloseStream,
    ReadStream,
    OpenFolderListing,
    NextFolderEntry,
    FolderListingFailed,
    CloseFolderListing,
    DiskSeeksSlowly,
    malloc,
    realloc,
    free,
};

SystemCalls System = RealSystemCalls;
