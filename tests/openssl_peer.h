// OpenSSL's digest of some bytes as text, the peer the native tests hold
// the module's digests to.
#pragma once

#include <openssl/evp.h>

#include <string>

#include "digest/algorithm.h"
#include "digest/md5.h"

static inline const EVP_MD *OpenSslDigest(DigestAlgorithm algorithm) {
    switch (algorithm) {
    case AlgorithmMd5:
        return EVP_md5();
    case AlgorithmSha1:
        return EVP_sha1();
    case AlgorithmSha256:
        return EVP_sha256();
    case AlgorithmSha512:
        return EVP_sha512();
    case AlgorithmBlake2b:
        return EVP_blake2b512();
    default:
        return nullptr; // OpenSSL has no BLAKE3 and no CRC32
    }
}

// Empty for a digest OpenSSL does not offer, which matches no digest text.
static inline std::string OpenSslText(DigestAlgorithm algorithm, const std::string &bytes) {
    const EVP_MD *peer = OpenSslDigest(algorithm);
    if (!peer)
        return "";
    uint8_t digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &size, peer, nullptr);
    char text[LongestDigestTextSize];
    BytesToHex(digest, size, text, sizeof text);
    return text;
}
