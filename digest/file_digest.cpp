// The digest of a whole file, with an Escape poll before every read so that
// a long run can be cancelled.
#include "digest/file_digest.h"

#include "digest/md5.h"
#include "host/host.h"

int AbortRequested;

static const size_t ReadSize = 2048;
static const size_t StreamBufferSize = 4096;

int FileDigest(const char *name, char *text, uint32_t size) {
    FILE *stream = OpenFileToDigest(name);
    if (!stream) {
        ReportFileError(name);
        return -1;
    }
    // Lives in this frame, so the stream must be closed on every way out.
    char streamBuffer[StreamBufferSize];
    setvbuf(stream, streamBuffer, _IOFBF, sizeof streamBuffer);

    DigestState state;
    DigestStart(&state);
    uint8_t chunk[ReadSize];
    // End of file is tested before the poll and the poll comes before the
    // read, so the final read that meets the end is polled too.
    while (!feof(stream)) {
        AbortRequested = EscapePressed(EscapeVirtualKey);
        if (AbortRequested)
            break;
        size_t delivered = fread(chunk, 1, sizeof chunk, stream);
        if (ferror(stream)) {
            ReportFileError(name);
            fclose(stream);
            return -1;
        }
        if (delivered > 0)
            DigestAdd(&state, chunk, (uint32_t)delivered);
    }
    fclose(stream);

    uint8_t digest[DigestSize];
    DigestEnd(&state, digest);
    DigestToHex(digest, text, size);
    return 0;
}
