// The keys of --keys and what each one puts into the console input.
#pragma once

#include <stdint.h>
#include <string>
#include <vector>

struct KeyPress {
    uint16_t VirtualKey;       // Windows virtual-key code of the key-down
    char Character;            // its character, 0 for keys without one
    bool Extended;             // arrows sit on the extended keypad
    std::string TerminalBytes; // what a terminal sends for the key
};

// Parses a comma-separated list such as "a,b,esc": esc, enter, space, tab,
// up, down, left, right, a single letter or a digit. False, with the
// offending name in bad, for anything else or an empty name.
bool ParseKeyList(const std::string &list, std::vector<KeyPress> &keys, std::string &bad);
