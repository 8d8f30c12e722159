// Key names of --keys: the virtual-key codes a Windows console reports and
// the bytes a terminal sends for the same keys.
#include "devhost/keys.h"

#include <ctype.h>

struct NamedKey {
    const char *Name;
    uint16_t VirtualKey;
    char Character;
    bool Extended;
    const char *TerminalBytes;
};

static const NamedKey NamedKeys[] = {
    {"esc", 27, 27, false, "\x1b"},    {"escape", 27, 27, false, "\x1b"},
    {"enter", 13, '\r', false, "\r"},  {"space", 32, ' ', false, " "},
    {"tab", 9, '\t', false, "\t"},     {"up", 0x26, 0, true, "\x1b[A"},
    {"down", 0x28, 0, true, "\x1b[B"}, {"right", 0x27, 0, true, "\x1b[C"},
    {"left", 0x25, 0, true, "\x1b[D"},
};

static bool ParseKey(const std::string &name, KeyPress &key) {
    std::string lower;
    for (char c : name)
        lower += (char)tolower((unsigned char)c);
    for (const NamedKey &named : NamedKeys)
        if (lower == named.Name) {
            key = KeyPress{named.VirtualKey, named.Character, named.Extended, named.TerminalBytes};
            return true;
        }
    if (name.size() != 1 || !isalnum((unsigned char)name[0]))
        return false;
    // Letters have the virtual-key code of their capital; the character is
    // the one named, so "A" is a shifted a.
    char c = name[0];
    key = KeyPress{(uint16_t)toupper((unsigned char)c), c, false, std::string(1, c)};
    return true;
}

bool ParseKeyList(const std::string &list, std::vector<KeyPress> &keys, std::string &bad) {
    keys.clear();
    size_t start = 0;
    while (true) {
        size_t comma = list.find(',', start);
        std::string name = list.substr(start, comma == std::string::npos ? comma : comma - start);
        KeyPress key;
        if (!ParseKey(name, key)) {
            bad = name;
            return false;
        }
        keys.push_back(key);
        if (comma == std::string::npos)
            return true;
        start = comma + 1;
    }
}
