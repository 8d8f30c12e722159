// The digest of a whole file, by whichever algorithm the caller names, with
// Escape polls while it is read so that a long run can be cancelled, and the
// progress line of a file that takes long. One reading loop serves every
// algorithm: the polls, the reads and the progress line do not depend on it.
//
// A poll is not free: under Wine one console query goes through Wine's server,
// on Windows it is a round trip to the console's process, on a Linux terminal
// a system call. So polls follow the clock, not the bytes: one before the
// first read of a job, then one whenever PollInterval has passed since the
// last. A key pressed during a job is found within that interval plus one
// read, however fast or slow the file comes in, and the polls' share of a
// run stays small even under Wine (bench/README.md has the figures).
#include "jobs/file_digest.h"

#include "host/host.h"

int AbortRequested;

// Reads of 16 KiB and more digest a file alike, smaller ones fall behind
// (bench/README.md). 32 KiB, md5sum's own size, keeps one read from a slow
// network share short enough not to hold up an Escape. Reads of at least
// the stream buffer's size go straight into the chunk, so the stream's own
// buffer only serves the final, partial read.
static const size_t ReadSize = 32 * 1024;
static const size_t StreamBufferSize = 4096;

static const uint64_t PollInterval = 30 * 1000;      // microseconds
static const uint64_t ProgressDelay = 1000 * 1000;   // a file shows its bar after this
static const uint64_t ProgressInterval = 250 * 1000; // and redraws it at most this often

// When the last poll was made; PollMade is 0 until the job's first poll.
static int PollMade;
static uint64_t LastPoll;

void StartEscapeWatch() {
    PollMade = 0;
}

static int PollDue(uint64_t now) {
    if (PollMade && now - LastPoll < PollInterval)
        return 0;
    PollMade = 1;
    LastPoll = now;
    return 1;
}

static void PollEscapeIfDue(uint64_t now) {
    if (PollDue(now))
        AbortRequested = EscapePressed(EscapeVirtualKey);
}

void PollEscapeWhenDue() {
    PollEscapeIfDue(MonotonicMicroseconds());
}

// Where the file has got, for the progress line; only files that take
// longer than ProgressDelay show it.
struct Progress {
    uint64_t Started;
    uint64_t LastDrawn; // 0: not drawn yet
    uint64_t Done;
    int64_t Total; // -1 until asked, or when the size is unknown
};

// The file's size is asked only once the bar is due: most files never
// need it, and for many small ones the question is a noticeable cost. A
// file that grows while it is read is asked again once the count passes
// what it said, so that its bar does not stand at 100% meanwhile.
static void UpdateProgress(Progress *progress, FILE *stream, size_t delivered, uint64_t now) {
    progress->Done += delivered;
    if (now - progress->Started < ProgressDelay)
        return;
    if (progress->LastDrawn && now - progress->LastDrawn < ProgressInterval)
        return;
    if (!progress->LastDrawn || progress->Done > (uint64_t)progress->Total)
        progress->Total = FileSizeToDigest(stream);
    progress->LastDrawn = now;
    if (progress->Total > 0)
        ShowProgressLine(progress->Done, (uint64_t)progress->Total);
}

// A file error notice shows the name as the host can.
static void ReportNameError(const char *name, NameEncoding encoding, FileProblem problem) {
    char shown[4096];
    ReportFileError(NameForHost(name, encoding, shown, sizeof shown), problem);
}

int FileDigest(const char *name, char *text, uint32_t size, DigestAlgorithm algorithm) {
    return FileDigestOf(name, NameInCodePage, text, size, algorithm);
}

int FileDigestOf(const char *name, NameEncoding encoding, char *text, uint32_t size,
                 DigestAlgorithm algorithm) {
    FILE *stream = OpenFileToDigest(name, encoding);
    if (!stream) {
        ReportNameError(name, encoding, WhyNotOpened(name, encoding));
        return -1;
    }
    // Lives in this frame, so the stream must be closed on every way out.
    char streamBuffer[StreamBufferSize];
    setvbuf(stream, streamBuffer, _IOFBF, sizeof streamBuffer);
    Progress progress = {MonotonicMicroseconds(), 0, 0, -1};

    AlgorithmState state;
    AlgorithmStart(&state, algorithm);
    uint8_t chunk[ReadSize];
    // End of file is tested before the poll and the poll comes before the
    // read, so an Escape found at a job's first poll stops it before it has
    // read anything. Between polls the flag keeps the last poll's answer.
    // One look at the clock a chunk serves the poll and the progress line.
    while (!feof(stream)) {
        uint64_t now = MonotonicMicroseconds();
        PollEscapeIfDue(now);
        if (AbortRequested)
            break;
        size_t delivered = fread(chunk, 1, sizeof chunk, stream);
        if (ferror(stream)) {
            ReportNameError(name, encoding, ProblemCannotRead);
            fclose(stream);
            return -1;
        }
        if (delivered > 0) {
            AlgorithmAdd(&state, chunk, (uint32_t)delivered);
            UpdateProgress(&progress, stream, delivered, now);
        }
    }
    fclose(stream);

    AlgorithmEnd(&state, text, size);
    return 0;
}
