// The core peer on Linux: OpenSSL's MD5, SHA-1 and SHA-256, hand-written
// assembly on x86 (for the SHA family on the SHA instructions where the
// processor has them).
#include <openssl/md5.h>
#include <openssl/sha.h>

#include "bench/core_peer.h"

// The MD5_ and SHA*_ calls are deprecated in OpenSSL 3 but run the same
// assembly as the EVP interface, without its dispatch.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

// Null for a digest this peer does not offer, so that no figure compares
// one digest with another.
const char *CorePeerName(DigestAlgorithm algorithm) {
    switch (algorithm) {
    case AlgorithmMd5:
        return "OpenSSL MD5";
    case AlgorithmSha1:
        return "OpenSSL SHA-1";
    case AlgorithmSha256:
        return "OpenSSL SHA-256";
    default:
        return nullptr;
    }
}

struct Peer {
    DigestAlgorithm Algorithm;
    union {
        MD5_CTX Md5;
        SHA_CTX Sha1;
        SHA256_CTX Sha256;
    };
};

// Only for an algorithm CorePeerName names.
void *CorePeerStart(DigestAlgorithm algorithm) {
    Peer *peer = new Peer;
    peer->Algorithm = algorithm;
    switch (algorithm) {
    case AlgorithmMd5:
        MD5_Init(&peer->Md5);
        break;
    case AlgorithmSha1:
        SHA1_Init(&peer->Sha1);
        break;
    case AlgorithmSha256:
        SHA256_Init(&peer->Sha256);
        break;
    default:
        delete peer;
        return nullptr;
    }
    return peer;
}

void CorePeerAdd(void *context, const uint8_t *bytes, size_t size) {
    Peer *peer = static_cast<Peer *>(context);
    switch (peer->Algorithm) {
    case AlgorithmMd5:
        MD5_Update(&peer->Md5, bytes, size);
        break;
    case AlgorithmSha1:
        SHA1_Update(&peer->Sha1, bytes, size);
        break;
    case AlgorithmSha256:
        SHA256_Update(&peer->Sha256, bytes, size);
        break;
    default:
        break; // CorePeerStart makes no other
    }
}

void CorePeerEnd(void *context, uint8_t *digest) {
    Peer *peer = static_cast<Peer *>(context);
    switch (peer->Algorithm) {
    case AlgorithmMd5:
        MD5_Final(digest, &peer->Md5);
        break;
    case AlgorithmSha1:
        SHA1_Final(digest, &peer->Sha1);
        break;
    case AlgorithmSha256:
        SHA256_Final(digest, &peer->Sha256);
        break;
    default:
        break; // CorePeerStart makes no other
    }
    delete peer;
}
