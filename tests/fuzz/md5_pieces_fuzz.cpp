// Any message fed to the digest in pieces of any size, each piece in a heap
// block of exactly its length, against OpenSSL; and the text form written
// into buffers of every size without a byte too many.
#include <fuzzer/FuzzedDataProvider.h>
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "digest/md5.h"
#include "tests/fuzz/fuzz_support.h"

static const uint8_t Untouched = 0xEE;

// What a text buffer of the given size holds afterwards: two characters per
// byte while a pair fits, then a NUL if a byte is left.
static std::string ExpectedText(const std::string &full, uint32_t size) {
    uint32_t pairs = size / 2 < 16 ? size / 2 : 16;
    std::string text = full.substr(0, 2 * pairs);
    if (2 * pairs < size)
        text += '\0';
    return text;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider input(data, size);
    uint32_t textSize = input.ConsumeIntegralInRange<uint32_t>(0, 40);
    std::string message;
    DigestState state;
    DigestStart(&state);
    while (input.remaining_bytes() > 0) {
        size_t length = input.ConsumeIntegralInRange<size_t>(0, input.ConsumeBool() ? 70 : 3000);
        std::vector<uint8_t> piece = input.ConsumeBytes<uint8_t>(length);
        message.append(piece.begin(), piece.end());
        // A zero-length piece still comes with a pointer into real memory.
        uint8_t *exact = new uint8_t[piece.empty() ? 1 : piece.size()];
        if (!piece.empty())
            memcpy(exact, piece.data(), piece.size());
        DigestAdd(&state, exact, (uint32_t)piece.size());
        delete[] exact;
    }
    uint8_t digest[DigestSize];
    DigestEnd(&state, digest);

    uint8_t text[48];
    memset(text, Untouched, sizeof text);
    DigestToHex(digest, reinterpret_cast<char *>(text), textSize);
    std::string want = ExpectedText(OpenSslMd5Text(message), textSize);
    Require(memcmp(text, want.data(), want.size()) == 0, "digest differs from OpenSSL");
    for (size_t i = want.size(); i < sizeof text; i++)
        Require(text[i] == Untouched, "text written beyond what fits");
    return 0;
}
