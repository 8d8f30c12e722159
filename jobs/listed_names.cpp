// Where a listed name leads: this machine, another, or the device namespace.
#include "jobs/listed_names.h"

#include "platform/platform.h"

// Where a name leads. Both slashes count, as Windows takes both.
enum NameReach { LocalName, ServerName, DeviceName };

static bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

static bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// "\\server\share\..." and "\\?\UNC\server\..." lead to a server, named by
// *server and its length; "\\.\...", "\??\..." and "\\?\" with anything but a
// drive or UNC after it lead into the device namespace (pipes, raw disks,
// GLOBALROOT); "\\?\C:\..." is a local path, but "\\?\C:" with nothing or
// anything but a separator after the colon is the volume itself, read raw.
static NameReach ReachOf(const char *name, const char **server, size_t *serverLength) {
    if (IsSeparator(name[0]) && name[1] == '?' && name[2] == '?' && IsSeparator(name[3]))
        return DeviceName;
    if (!IsSeparator(name[0]) || !IsSeparator(name[1]))
        return LocalName;
    const char *rest = name + 2;
    if ((rest[0] == '.' || rest[0] == '?') && (rest[1] == '\0' || IsSeparator(rest[1]))) {
        if (rest[0] == '.' || rest[1] == '\0')
            return DeviceName;
        rest += 2;
        if (IsLetter(rest[0]) && rest[1] == ':' && IsSeparator(rest[2]))
            return LocalName;
        if ((rest[0] | 0x20) != 'u' || (rest[1] | 0x20) != 'n' || (rest[2] | 0x20) != 'c' ||
            !IsSeparator(rest[3]))
            return DeviceName;
        rest += 4;
    }
    size_t length = 0;
    while (rest[length] != '\0' && !IsSeparator(rest[length]))
        length++;
    *server = rest;
    *serverLength = length;
    return ServerName;
}

bool LeadsIntoDevices(const char *name) {
    const char *server;
    size_t length;
    return ReachOf(name, &server, &length) == DeviceName;
}

static bool SameServerName(const char *a, size_t aLength, const char *b, size_t bLength) {
    if (aLength != bLength)
        return false;
    for (size_t i = 0; i < aLength; i++) {
        char x = a[i] >= 'A' && a[i] <= 'Z' ? (char)(a[i] | 0x20) : a[i];
        char y = b[i] >= 'A' && b[i] <= 'Z' ? (char)(b[i] | 0x20) : b[i];
        if (x != y)
            return false;
    }
    return true;
}

bool ListedNameMayBeRead(const char *name) {
    const char *server, *panelServer;
    size_t length, panelLength;
    NameReach reach = ReachOf(name, &server, &length);
    if (reach != ServerName)
        return reach == LocalName;
    char folder[4096];
    return CurrentFolder(folder, sizeof folder) &&
           ReachOf(folder, &panelServer, &panelLength) == ServerName &&
           SameServerName(server, length, panelServer, panelLength);
}
