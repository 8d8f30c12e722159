// The peer the core loop is measured against, where the platform has one.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Its name, or null where the platform has none to offer.
extern const char *const CorePeerName;

// A message fed in pieces, like the module's: the peer's own state behind
// an opaque pointer, freed by CorePeerEnd.
void *CorePeerStart();
void CorePeerAdd(void *peer, const uint8_t *bytes, size_t size);
void CorePeerEnd(void *peer, uint8_t *digest);
