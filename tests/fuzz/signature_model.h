// A plain, separately written model of how a signature file reads: the text
// translation, the bounded line reader and the entry parser. The fuzz targets
// hold the module's reader and parser against it.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

// Every line the list reader with a buffer of SignatureLineSize delivers
// from the raw bytes of a file, in order: a UTF-16 list (by its mark) as
// UTF-8, any other as its bytes.
std::vector<std::string> ModelListLines(const std::string &raw);

struct ModelEntry {
    bool isEntry = false;
    std::string name;
    std::string digestText;
    // The digest by the tag that names it in lists ("SHA256", "BLAKE2b"),
    // at digestText's length; assumed when no tag named it and another
    // digest has as many digits.
    std::string algorithm;
    bool assumed = false;
};

// The names a fuzz input may give its list, in one table for both targets:
// none, each digest's endings and download sites' list names in mixed letter
// case, near misses, and paths with folders before the name.
struct FuzzListName {
    const char *path;
    // The panel's name for the list when it lies in the panel's own folder,
    // else null; for the verification target.
    const char *panelName;
};
const FuzzListName &FuzzListNameFor(uint8_t choice);

// The tag of the digest a list's name (its ending, or its last part whole)
// says its untagged entries are, letter case aside; empty when it names none.
std::string ModelListDigest(const std::string &listName);

// Splits a line as the C string it is (up to its first NUL), in a list whose
// name says listDigest (empty for none).
ModelEntry ModelParseLine(const std::string &line, const std::string &listDigest);

// True for the lines a verification skips before parsing.
bool ModelIsCommentOrEmpty(const std::string &line);
