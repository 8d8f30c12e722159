// The module's message files as the host reads them.
#pragma once

#include <string>
#include <vector>

// The texts of a message file in order: the Nth quoted line is text N. Text
// between the first and the last quote of the line, bytes as they stand.
std::vector<std::string> ParseMessageFile(const std::string &content);

// Reads and parses a message file; false if it cannot be read or holds no text.
bool LoadMessageFile(const std::string &path, std::vector<std::string> &texts);

// The topics of a help file: each line that starts with '@' names one, the
// rest of the line being its name.
std::vector<std::string> ParseHelpTopics(const std::string &content);

// Reads a help file's topics; false if it cannot be read or holds none.
bool LoadHelpTopics(const std::string &path, std::vector<std::string> &topics);
