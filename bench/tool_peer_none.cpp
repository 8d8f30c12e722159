// No tool peers on Windows: the script that runs this build compares it
// with the native figure of the same run.
#include "bench/tool_peer.h"

bool ToolPeerPrepare(const char *, const uint8_t *, size_t, int) {
    return false;
}

double ToolPeerRun(const char *const *, char *, size_t) {
    return -1;
}
