// The core peer on Linux: OpenSSL's MD5, SHA-1, SHA-256 and SHA-512,
// hand-written assembly on x86 (for SHA-1 and SHA-256 on the SHA
// instructions where the processor has them), and its BLAKE2b, in C.
#include <openssl/evp.h>
#include <openssl/md5.h>
#include <openssl/sha.h>

#include "bench/core_peer.h"

// The MD5_ and SHA*_ calls are deprecated in OpenSSL 3 but run the same
// assembly as the EVP interface, without its dispatch.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

const char *CorePeerName(int digest) {
    return digest == AlgorithmMd5      ? "OpenSSL MD5"
           : digest == AlgorithmSha1   ? "OpenSSL SHA-1"
           : digest == CorePeerSha512  ? "OpenSSL SHA-512"
           : digest == CorePeerBlake2b ? "OpenSSL BLAKE2b"
                                       : "OpenSSL SHA-256";
}

struct Peer {
    int Algorithm;
    union {
        MD5_CTX Md5;
        SHA_CTX Sha1;
        SHA256_CTX Sha256;
        SHA512_CTX Sha512;
        EVP_MD_CTX *Blake2b; // OpenSSL has BLAKE2b only through EVP
    };
};

void *CorePeerStart(int algorithm) {
    Peer *peer = new Peer;
    peer->Algorithm = algorithm;
    if (algorithm == CorePeerSha512) {
        SHA512_Init(&peer->Sha512);
    } else if (algorithm == CorePeerBlake2b) {
        peer->Blake2b = EVP_MD_CTX_new();
        EVP_DigestInit_ex(peer->Blake2b, EVP_blake2b512(), nullptr);
    } else if (algorithm == AlgorithmMd5)
        MD5_Init(&peer->Md5);
    else if (algorithm == AlgorithmSha1)
        SHA1_Init(&peer->Sha1);
    else
        SHA256_Init(&peer->Sha256);
    return peer;
}

void CorePeerAdd(void *context, const uint8_t *bytes, size_t size) {
    Peer *peer = static_cast<Peer *>(context);
    if (peer->Algorithm == CorePeerSha512)
        SHA512_Update(&peer->Sha512, bytes, size);
    else if (peer->Algorithm == CorePeerBlake2b)
        EVP_DigestUpdate(peer->Blake2b, bytes, size);
    else if (peer->Algorithm == AlgorithmMd5)
        MD5_Update(&peer->Md5, bytes, size);
    else if (peer->Algorithm == AlgorithmSha1)
        SHA1_Update(&peer->Sha1, bytes, size);
    else
        SHA256_Update(&peer->Sha256, bytes, size);
}

void CorePeerEnd(void *context, uint8_t *digest) {
    Peer *peer = static_cast<Peer *>(context);
    if (peer->Algorithm == CorePeerSha512) {
        SHA512_Final(digest, &peer->Sha512);
    } else if (peer->Algorithm == CorePeerBlake2b) {
        EVP_DigestFinal_ex(peer->Blake2b, digest, nullptr);
        EVP_MD_CTX_free(peer->Blake2b);
    } else if (peer->Algorithm == AlgorithmMd5)
        MD5_Final(digest, &peer->Md5);
    else if (peer->Algorithm == AlgorithmSha1)
        SHA1_Final(digest, &peer->Sha1);
    else
        SHA256_Final(digest, &peer->Sha256);
    delete peer;
}
