// OpenSSL's digest of some bytes as text, the peer the native tests hold
// the module's digests to.
#pragma once

#include <openssl/evp.h>

#include <string>

#include "digest/algorithm.h"
#include "digest/md5.h"

static inline std::string OpenSslText(DigestAlgorithm algorithm, const std::string &bytes) {
    const EVP_MD *peer = algorithm == AlgorithmMd5    ? EVP_md5()
                         : algorithm == AlgorithmSha1 ? EVP_sha1()
                                                      : EVP_sha256();
    uint8_t digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &size, peer, nullptr);
    char text[LongestDigestTextSize];
    BytesToHex(digest, size, text, sizeof text);
    return text;
}
