// The peer the core loops are measured against, where the platform has one.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "digest/algorithm.h"

// Its name for the algorithm, or null where the platform has none to offer.
const char *CorePeerName(DigestAlgorithm algorithm);

// A message fed in pieces, like the module's: the peer's own state behind
// an opaque pointer, freed by CorePeerEnd.
void *CorePeerStart(DigestAlgorithm algorithm);
void CorePeerAdd(void *peer, const uint8_t *bytes, size_t size);
void CorePeerEnd(void *peer, uint8_t *digest);
