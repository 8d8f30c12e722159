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
    case AlgorithmSha512:
        return "OpenSSL SHA-512";
    case AlgorithmBlake2b:
        return "OpenSSL BLAKE2b";
    default:
        return nullptr;
    }
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

// Only for an algorithm CorePeerName names.
void *CorePeerStart(DigestAlgorithm algorithm) {
    Peer *peer = new Peer;
    peer->Algorithm = algorithm;
    switch (algorithm) {
    case AlgorithmSha512:
        SHA512_Init(&peer->Sha512);
        break;
    case AlgorithmBlake2b:
        peer->Blake2b = EVP_MD_CTX_new();
        EVP_DigestInit_ex(peer->Blake2b, EVP_blake2b512(), nullptr);
        break;
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
    case AlgorithmSha512:
        SHA512_Update(&peer->Sha512, bytes, size);
        break;
    case AlgorithmBlake2b:
        EVP_DigestUpdate(peer->Blake2b, bytes, size);
        break;
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
    case AlgorithmSha512:
        SHA512_Final(digest, &peer->Sha512);
        break;
    case AlgorithmBlake2b:
        EVP_DigestFinal_ex(peer->Blake2b, digest, nullptr);
        EVP_MD_CTX_free(peer->Blake2b);
        break;
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
