// A plain, separately written model of how a signature file reads: the text
// translation, the bounded line reader and the entry parser. The fuzz targets
// hold the module's reader and parser against it.
#pragma once

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

// Splits a line as the C string it is (up to its first NUL).
ModelEntry ModelParseLine(const std::string &line);

// True for the lines a verification skips before parsing.
bool ModelIsCommentOrEmpty(const std::string &line);
