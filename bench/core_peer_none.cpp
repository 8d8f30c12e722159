// No core peer on Windows: the script that runs this build compares it with
// the native OpenSSL figure of the same run.
#include "bench/core_peer.h"

const char *CorePeerName(int) {
    return nullptr;
}

void *CorePeerStart(int) {
    return nullptr;
}

void CorePeerAdd(void *, const uint8_t *, size_t) {}

void CorePeerEnd(void *, uint8_t *) {}
