// The core peer on Linux: OpenSSL's MD5, SHA-1 and SHA-256, hand-written
// assembly on x86 (for the SHA family on the SHA instructions where the
// processor has them).
#include <openssl/md5.h>
#include <openssl/sha.h>

#include "bench/core_peer.h"

// The MD5_ and SHA*_ calls are deprecated in OpenSSL 3 but run the same
// assembly as the EVP interface, without its dispatch.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

const char *CorePeerName(DigestAlgorithm algorithm) {
    return algorithm == AlgorithmMd5    ? "OpenSSL MD5"
           : algorithm == AlgorithmSha1 ? "OpenSSL SHA-1"
                                        : "OpenSSL SHA-256";
}

struct Peer {
    DigestAlgorithm Algorithm;
    union {
        MD5_CTX Md5;
        SHA_CTX Sha1;
        SHA256_CTX Sha256;
    };
};

void *CorePeerStart(DigestAlgorithm algorithm) {
    Peer *peer = new Peer;
    peer->Algorithm = algorithm;
    if (algorithm == AlgorithmMd5)
        MD5_Init(&peer->Md5);
    else if (algorithm == AlgorithmSha1)
        SHA1_Init(&peer->Sha1);
    else
        SHA256_Init(&peer->Sha256);
    return peer;
}

void CorePeerAdd(void *context, const uint8_t *bytes, size_t size) {
    Peer *peer = static_cast<Peer *>(context);
    if (peer->Algorithm == AlgorithmMd5)
        MD5_Update(&peer->Md5, bytes, size);
    else if (peer->Algorithm == AlgorithmSha1)
        SHA1_Update(&peer->Sha1, bytes, size);
    else
        SHA256_Update(&peer->Sha256, bytes, size);
}

void CorePeerEnd(void *context, uint8_t *digest) {
    Peer *peer = static_cast<Peer *>(context);
    if (peer->Algorithm == AlgorithmMd5)
        MD5_Final(digest, &peer->Md5);
    else if (peer->Algorithm == AlgorithmSha1)
        SHA1_Final(digest, &peer->Sha1);
    else
        SHA256_Final(digest, &peer->Sha256);
    delete peer;
}
