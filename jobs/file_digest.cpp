// The digest of a whole file, by whichever algorithm the caller names, with
// Escape polls while it is read so that a long run can be cancelled, and the
// progress of a file that takes long. One reading loop serves every
// algorithm: the polls, the reads and the progress do not depend on it.
#include "jobs/file_digest.h"

#include "jobs/escape.h"
#include "platform/system_calls.h"

// Reads of 16 KiB and more digest a file alike, smaller ones fall behind
// (bench/README.md). 32 KiB, md5sum's own size, keeps one read from a slow
// network share short enough not to hold up an Escape. Reads of at least
// the stream buffer's size go straight into the chunk, so the stream's own
// buffer only serves the final, partial read.
static const size_t ReadSize = 32 * 1024;
static const size_t StreamBufferSize = 4096;

static const uint64_t ProgressDelay = 1000 * 1000;   // a file shows its bar after this
static const uint64_t ProgressInterval = 250 * 1000; // and redraws it at most this often

// Where the file has got; only files that take longer than ProgressDelay
// report it.
struct Progress {
    uint64_t Started;
    uint64_t LastShown; // 0: not shown yet
    uint64_t Done;
    int64_t Total; // -1 until asked, or when the size is unknown
    const ProgressReport *Report;
};

// The file's size is asked only once the bar is due: most files never
// need it, and for many small ones the question is a noticeable cost. A
// file that grows while it is read is asked again once the count passes
// what it said, so that its bar does not stand at 100% meanwhile.
static void UpdateProgress(Progress *progress, FILE *stream, size_t delivered, uint64_t now) {
    progress->Done += delivered;
    if (!progress->Report || now - progress->Started < ProgressDelay)
        return;
    if (progress->LastShown && now - progress->LastShown < ProgressInterval)
        return;
    if (!progress->LastShown || progress->Done > (uint64_t)progress->Total)
        progress->Total = FileSizeToDigest(stream);
    progress->LastShown = now;
    if (progress->Total > 0)
        progress->Report->Show(progress->Report->Context, progress->Done,
                               (uint64_t)progress->Total);
}

bool FileDigest(const char *name, NameEncoding encoding, DigestAlgorithm algorithm,
                uint32_t digitCount, char *text, uint32_t size, FileProblem *problem,
                const ProgressReport *progress) {
    FILE *stream = System.open(name, encoding);
    if (!stream) {
        *problem = WhyNotOpened(name, encoding);
        return false;
    }
    // Lives in this frame, so the stream must be closed on every way out.
    char streamBuffer[StreamBufferSize];
    setvbuf(stream, streamBuffer, _IOFBF, sizeof streamBuffer);
    Progress read = {MonotonicMicroseconds(), 0, 0, -1, progress};

    AlgorithmState state;
    AlgorithmStartDigits(&state, algorithm, digitCount);
    uint8_t chunk[ReadSize];
    // End of file is tested before the poll and the poll comes before the
    // read, so an Escape found at a job's first poll stops it before it has
    // read anything. Between polls the flag keeps the last poll's answer.
    // One look at the clock a chunk serves the poll and the progress.
    while (!feof(stream)) {
        uint64_t now = MonotonicMicroseconds();
        if (PollEscapeAt(now))
            break;
        size_t delivered;
        if (!System.read(stream, chunk, sizeof chunk, &delivered)) {
            *problem = ProblemCannotRead;
            System.close(stream);
            return false;
        }
        if (delivered > 0) {
            AlgorithmAdd(&state, chunk, (uint32_t)delivered);
            UpdateProgress(&read, stream, delivered, now);
        }
    }
    System.close(stream);

    AlgorithmEnd(&state, text, size);
    return true;
}
