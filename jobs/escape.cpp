// Escape polls follow the clock, not the bytes or the files.
//
// A poll is not free: under Wine one console query goes through Wine's server,
// on Windows it is a round trip to the console's process, on a Linux terminal
// a system call. So polls follow the clock: one before the first read of a
// job, then one whenever PollInterval has passed since the last. A key
// pressed during a job is found within that interval plus one read, however
// fast or slow the files come in, and the polls' share of a run stays small
// even under Wine (bench/README.md has the figures).
#include "jobs/escape.h"

#include "host/host.h"
#include "platform/platform.h"

static const uint64_t PollInterval = 30 * 1000; // microseconds

// When the console was last asked, across the loops of a job and between
// them; Made is false until the job's first poll.
struct PollClock {
    bool Made;
    uint64_t Last;
};
static PollClock LastPoll;

void StartEscapeWatch() {
    LastPoll.Made = false;
}

int PollEscapeAt(uint64_t now) {
    if (LastPoll.Made && now - LastPoll.Last < PollInterval)
        return AbortRequested;
    LastPoll.Made = true;
    LastPoll.Last = now;
    AbortRequested = EscapePressed(EscapeVirtualKey);
    return AbortRequested;
}

int PollEscapeWhenDue() {
    return PollEscapeAt(MonotonicMicroseconds());
}
