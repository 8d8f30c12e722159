// The peer the core loops are measured against, where the platform has one.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "digest/algorithm.h"

// The digests the peer computes: the algorithms a list names so far, and
// the two whose core loops are measured before lists name them.
const int CorePeerSha512 = 100, CorePeerBlake2b = 101;

// Its name for the digest (a DigestAlgorithm or one of the two above), or
// null where the platform has none to offer.
const char *CorePeerName(int digest);

// A message fed in pieces, like the module's: the peer's own state behind
// an opaque pointer, freed by CorePeerEnd.
void *CorePeerStart(int digest);
void CorePeerAdd(void *peer, const uint8_t *bytes, size_t size);
void CorePeerEnd(void *peer, uint8_t *digest);
