// The core peer on Linux: OpenSSL's MD5, hand-written assembly on x86.
#include <openssl/md5.h>

#include "bench/core_peer.h"

// The MD5_ calls are deprecated in OpenSSL 3 but run the same assembly as
// the EVP interface, without its dispatch.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

const char *const CorePeerName = "OpenSSL MD5";

void *CorePeerStart() {
    MD5_CTX *context = new MD5_CTX;
    MD5_Init(context);
    return context;
}

void CorePeerAdd(void *peer, const uint8_t *bytes, size_t size) {
    MD5_Update(static_cast<MD5_CTX *>(peer), bytes, size);
}

void CorePeerEnd(void *peer, uint8_t *digest) {
    MD5_CTX *context = static_cast<MD5_CTX *>(peer);
    MD5_Final(digest, context);
    delete context;
}
