// The module's message files as the host reads them.
#include "devhost/messages.h"

#include <stdio.h>

std::vector<std::string> ParseMessageFile(const std::string &content) {
    std::vector<std::string> texts;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos)
            end = content.size();
        std::string line = content.substr(start, end - start);
        start = end + 1;
        size_t open = line.find('"');
        size_t close = line.rfind('"');
        // Only lines that start with a quote hold texts; the rest is header.
        if (open == 0 && close != open)
            texts.push_back(line.substr(open + 1, close - open - 1));
    }
    return texts;
}

std::vector<std::string> ParseHelpTopics(const std::string &content) {
    std::vector<std::string> topics;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos)
            end = content.size();
        size_t last = end > start && content[end - 1] == '\r' ? end - 1 : end;
        if (content[start] == '@' && last > start + 1)
            topics.push_back(content.substr(start + 1, last - start - 1));
        start = end + 1;
    }
    return topics;
}

static bool ReadWholeFile(const std::string &path, std::string &content) {
    FILE *file = fopen(path.c_str(), "rb");
    if (!file)
        return false;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0)
        content.append(buffer, got);
    bool failed = ferror(file) != 0;
    fclose(file);
    return !failed;
}

bool LoadMessageFile(const std::string &path, std::vector<std::string> &texts) {
    std::string content;
    if (!ReadWholeFile(path, content))
        return false;
    texts = ParseMessageFile(content);
    return !texts.empty();
}

bool LoadHelpTopics(const std::string &path, std::vector<std::string> &topics) {
    std::string content;
    if (!ReadWholeFile(path, content))
        return false;
    topics = ParseHelpTopics(content);
    return !topics.empty();
}
