// A plain, separately written model of how a signature file reads: the text
// translation, the bounded line reader and the entry parser. The fuzz targets
// hold the module's reader and parser against it.
#pragma once

#include <string>
#include <vector>

// Every line a reader with a buffer of SignatureLineSize delivers from the
// raw bytes of a file, in order, including the empty line read at the very
// end. A line feed or a NUL ends a line.
std::vector<std::string> ModelSignatureLines(const std::string &raw);
// The lines verification reads: those of a UTF-16 list (by its mark) as
// UTF-8, any other list's as above.
std::vector<std::string> ModelListLines(const std::string &raw);

struct ModelEntry {
    bool isEntry = false;
    std::string name;
    std::string digestText;
};

// Splits a line as the C string it is (up to its first NUL).
ModelEntry ModelParseLine(const std::string &line);

// True for the lines a verification skips before parsing.
bool ModelIsCommentOrEmpty(const std::string &line);
