// Builds the "\\?\" path of a bare name in a directory; see exact_path.h.
#include "platform/exact_path.h"

static const char16_t DrivePrefix[] = u"\\\\?\\";
static const char16_t SharePrefix[] = u"\\\\?\\UNC\\";
static const char16_t DevicePrefix[] = u"\\\\.\\";
static const size_t PrefixLength = 4, SharePrefixLength = 8;

static size_t Length(const char16_t *text) {
    size_t length = 0;
    while (text[length] != 0)
        length++;
    return length;
}

static bool StartsWith(const char16_t *text, const char16_t *prefix) {
    for (; *prefix != 0; text++, prefix++)
        if (*text != *prefix)
            return false;
    return true;
}

size_t ExactPathRoom(size_t directoryLength, size_t nameLength) {
    // The longest prefix, the directory, a separator, the name and the NUL.
    return SharePrefixLength + directoryLength + 1 + nameLength + 1;
}

size_t BuildExactPath(const char16_t *directory, const char16_t *name, char16_t *path,
                      size_t size) {
    // What goes in front of the directory, and how much of its start it
    // replaces: "\\server" loses its own "\\" to "\\?\UNC\", "\\.\" becomes
    // "\\?\", a path already in the "\\?\" form stays as it is.
    const char16_t *prefix = DrivePrefix;
    size_t skipped = 0;
    if (StartsWith(directory, DrivePrefix)) {
        prefix = u"";
    } else if (StartsWith(directory, DevicePrefix)) {
        skipped = PrefixLength;
    } else if (StartsWith(directory, u"\\\\")) {
        prefix = SharePrefix;
        skipped = 2;
    }
    size_t prefixLength = Length(prefix), directoryLength = Length(directory) - skipped;
    size_t nameLength = Length(name);
    bool separator = directoryLength == 0 || directory[skipped + directoryLength - 1] != u'\\';
    size_t total = prefixLength + directoryLength + (separator ? 1 : 0) + nameLength;
    if (total + 1 > size)
        return 0;
    char16_t *out = path;
    for (size_t i = 0; i < prefixLength; i++)
        *out++ = prefix[i];
    for (size_t i = 0; i < directoryLength; i++)
        *out++ = directory[skipped + i];
    if (separator)
        *out++ = u'\\';
    for (size_t i = 0; i < nameLength; i++)
        *out++ = name[i];
    *out = 0;
    return total;
}
