// The module's message files as the host reads them.
#pragma once

#include <string>
#include <vector>

// The texts of a message file in order: the Nth quoted line is text N. Text
// between the first and the last quote of the line, bytes as they stand.
std::vector<std::string> ParseMessageFile(const std::string &content);

// Reads and parses a message file; false if it cannot be read or holds no text.
bool LoadMessageFile(const std::string &path, std::vector<std::string> &texts);
