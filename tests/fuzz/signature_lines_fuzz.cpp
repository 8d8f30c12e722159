// Any bytes as a signature file, read through the module's list reader in
// whatever encoding its mark names: every line stays within its buffer and
// NUL-terminated, matches the model line for line, and parses to a name and
// digest text inside the buffer. The first byte picks the list's name from
// the model's table, which decides the digest of an untagged line.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "signature/format.h"
#include "signature/list_reader.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/signature_model.h"

static bool TerminatedInside(const char *text, const char *buffer) {
    return text >= buffer && text < buffer + SignatureLineSize &&
           memchr(text, 0, (size_t)(buffer + SignatureLineSize - text)) != nullptr;
}

static void CheckParse(char *line, const char *listName) {
    ModelEntry model = ModelParseLine(std::string(line), ModelListDigest(listName));
    SignatureEntry entry;
    bool parsed = ParseSignatureLine(line, ListNamingOf(listName), &entry);
    Require(parsed == model.isEntry, "parser and model disagree on an entry");
    if (!parsed)
        return;
    Require(TerminatedInside(entry.Name, line), "name outside the line buffer");
    Require(TerminatedInside(entry.DigestText, line), "digest text outside the line buffer");
    Require(model.name == entry.Name, "name differs from the model");
    Require(model.digestText == entry.DigestText, "digest text differs from the model");
    Require(strlen(entry.DigestText) == entry.DigitCount, "digest text not of its length");
    Require(model.algorithm == AlgorithmTag(entry.Algorithm) && model.assumed == entry.Assumed,
            "digest differs from the model");
}

// The list reader reads its first ListRawSize bytes at once. An input whose
// first byte has its low three bits set gets filler lines in front, so that
// its other bytes straddle the end of that read (where a CR LF pair can be
// split) without the fuzzer having to grow past 4 KiB. One whose low three
// bits are 6 gets one filler line without an end instead, so that its bytes
// straddle the point where an overlong line is cut. Only one input in four
// pays for reading the filler.
static std::string FileBytes(const uint8_t *data, size_t size) {
    if (size == 0 || (data[0] & 7) < 6)
        return std::string(reinterpret_cast<const char *>(data), size);
    std::string raw;
    if ((data[0] & 7) == 7) {
        for (size_t i = 0; i < ListRawSize - (size_t)(data[0] >> 3); i++)
            raw += i % 64 == 63 ? '\n' : 'f';
    } else {
        raw.assign(SignatureLineSize - 1 - (size_t)(data[0] >> 3), 'f');
    }
    raw.append(reinterpret_cast<const char *>(data) + 1, size - 1);
    return raw;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const std::string path = ScratchPath("lines");
    if (size == 0)
        return 0;
    const char *listName = FuzzListNameFor(data[0]).path;
    std::string raw = FileBytes(data + 1, size - 1);
    WriteWholeFile(path, raw);
    std::vector<std::string> expected = ModelListLines(raw);

    ListReader *list = static_cast<ListReader *>(malloc(sizeof(ListReader)));
    Require(OpenList(list, path.c_str(), nullptr), "signature file does not open");
    // Exactly the reader's size on the heap, so that a byte too far is seen.
    char *line = static_cast<char *>(malloc(SignatureLineSize));
    size_t count = 0;
    for (;;) {
        memset(line, 0xA5, SignatureLineSize);
        bool more = ReadListLine(list, line, SignatureLineSize);
        Require(!ListReadFailed(list), "read error on a plain file");
        Require(memchr(line, 0, SignatureLineSize) != nullptr, "line not terminated");
        if (!more)
            break;
        Require(count < expected.size(), "more lines than the model");
        const std::string &want = expected[count++];
        Require(memcmp(line, want.data(), want.size()) == 0 && line[want.size()] == 0,
                "line differs from the model");
        CheckParse(line, listName);
    }
    Require(count == expected.size(), "fewer lines than the model");
    CloseList(list);
    free(list);
    free(line);
    return 0;
}
