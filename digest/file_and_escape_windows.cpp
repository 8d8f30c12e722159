// Windows side of the file digest: opening a file to digest and the Escape
// poll over the console input queue, which the module shares with the host.
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "digest/exact_path.h"
#include "digest/exact_path_windows.h"
#include "digest/file_digest.h"

// Ticks per second of the performance counter, fixed at boot; asked once.
static LARGE_INTEGER CounterFrequency;

// The code page the narrow file calls convert names with, as a number the
// lead-byte test takes.
static UINT FileCodePage() {
    return AreFileApisANSI() ? GetACP() : GetOEMCP();
}

// A panel item's name has no directory part and no drive; a name typed by
// the user or listed with a directory part resolves as Windows resolves it.
// In the double-byte code pages (932, 936, 949, 950) a trail byte may be
// 0x5C, which is a letter's second half there, not a backslash.
static bool IsBareNameIn(const char *name, NameEncoding encoding) {
    if (name[0] == '\0')
        return false;
    UINT codePage = encoding == NameInUtf8 ? CP_UTF8 : FileCodePage();
    for (const unsigned char *c = (const unsigned char *)name; *c != 0; c++) {
        if (*c == '\\' || *c == '/' || *c == ':')
            return false;
        if (*c >= 0x80 && codePage != CP_UTF8 && IsDBCSLeadByteEx(codePage, *c) && c[1] != 0)
            c++;
    }
    return true;
}

bool IsBareName(const char *name) {
    return IsBareNameIn(name, NameInCodePage);
}

// The name in UTF-16, converted by the code page the narrow file calls use
// (as they would have converted it themselves) or from UTF-8. Null when it
// does not convert; else free it.
static WCHAR *WideName(const char *name, NameEncoding encoding) {
    UINT codePage = encoding == NameInUtf8 ? CP_UTF8 : FileCodePage();
    DWORD flags = encoding == NameInUtf8 ? MB_ERR_INVALID_CHARS : 0;
    int length = MultiByteToWideChar(codePage, flags, name, -1, nullptr, 0);
    if (length == 0)
        return nullptr;
    WCHAR *wide = static_cast<WCHAR *>(malloc((size_t)length * sizeof(WCHAR)));
    if (wide && MultiByteToWideChar(codePage, flags, name, -1, wide, length) == 0) {
        free(wide);
        wide = nullptr;
    }
    return wide;
}

// Windows drops trailing dots and blanks from a name it opens ("trail."
// would open "trail") and takes "aux.txt" for a device. The "\\?\" form of
// the whole path is used as it stands, so a bare name goes into it with the
// current directory. A process that takes long paths may stand in a
// directory of any length, so the path is sized from the answers. Takes the
// name's allocation; null when the path cannot be made.
static WCHAR *ExactWidePath(WCHAR *wide) {
    WCHAR *path = nullptr;
    DWORD directorySize = wide ? GetCurrentDirectoryW(0, nullptr) : 0;
    WCHAR *directory =
        directorySize ? static_cast<WCHAR *>(malloc(directorySize * sizeof(WCHAR))) : nullptr;
    // A directory that grew between the two questions is caught here.
    DWORD length = directory ? GetCurrentDirectoryW(directorySize, directory) : 0;
    if (length > 0 && length < directorySize) {
        size_t room = ExactPathRoom(length, wcslen(wide));
        path = static_cast<WCHAR *>(malloc(room * sizeof(WCHAR)));
        if (path && BuildExactPath(reinterpret_cast<const char16_t *>(directory),
                                   reinterpret_cast<const char16_t *>(wide),
                                   reinterpret_cast<char16_t *>(path), room) == 0) {
            free(path);
            path = nullptr;
        }
    }
    free(directory);
    free(wide);
    return path;
}

WCHAR *ExactPath(const char *name, WCHAR **start) {
    WCHAR *path = ExactWidePath(WideName(name, NameInCodePage));
    *start = path;
    return path;
}

// The path a name is opened by: the exact path of a bare name, any other
// name as it is, resolved as Windows resolves it. Null when the name does
// not convert; else free it.
static WCHAR *PathToOpen(const char *name, NameEncoding encoding) {
    WCHAR *wide = WideName(name, encoding);
    return IsBareNameIn(name, encoding) ? ExactWidePath(wide) : wide;
}

static FILE *StreamOnHandle(HANDLE handle) {
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    FILE *stream = _fdopen(fd, "rb");
    if (!stream)
        _close(fd);
    return stream;
}

FILE *OpenFileToDigest(const char *name, NameEncoding encoding) {
    FILE *stream = nullptr;
    if (encoding == NameInCodePage && !IsBareNameIn(name, encoding)) {
        // msvcrt's fopen shares reading and writing (not deletion) with others.
        stream = fopen(name, "rb");
    } else if (WCHAR *path = PathToOpen(name, encoding)) {
        // Reading and writing are shared with others, as msvcrt's fopen does.
        HANDLE handle = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        free(path);
        stream = handle != INVALID_HANDLE_VALUE ? StreamOnHandle(handle) : nullptr;
    }
    if (!stream)
        return nullptr;
    // A console, NUL or a pipe would block the read or never end; only a
    // disk file is read.
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        fclose(stream);
        return nullptr;
    }
    return stream;
}

FileProblem WhyNotOpened(const char *name, NameEncoding encoding) {
    WCHAR *path = PathToOpen(name, encoding);
    if (!path)
        return ProblemNotFound;
    DWORD attributes = GetFileAttributesW(path);
    DWORD error = GetLastError();
    free(path);
    // No file of exactly that bare name; "." and ".." still name folders.
    if (attributes == INVALID_FILE_ATTRIBUTES && IsBareNameIn(name, encoding)) {
        WCHAR *resolved = WideName(name, encoding);
        DWORD resolvedAttributes =
            resolved ? GetFileAttributesW(resolved) : INVALID_FILE_ATTRIBUTES;
        free(resolved);
        if (resolvedAttributes != INVALID_FILE_ATTRIBUTES &&
            (resolvedAttributes & FILE_ATTRIBUTE_DIRECTORY))
            return ProblemNotAFile;
    }
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return attributes & FILE_ATTRIBUTE_DIRECTORY ? ProblemNotAFile : ProblemCannotRead;
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
        return ProblemNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return ProblemCannotRead;
    default:
        return ProblemNotAFile; // a device or a pipe, which has no attributes
    }
}

bool NameHasFile(const char *name, NameEncoding encoding) {
    WCHAR *path = PathToOpen(name, encoding);
    if (!path)
        return false;
    bool found = GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
    free(path);
    return found;
}

// From UTF-16 to a narrow code page; false when the result does not fit or
// the text does not convert.
static bool NarrowName(const WCHAR *wide, UINT codePage, DWORD flags, char *buffer, size_t size) {
    const char *defaultChar = codePage == CP_UTF8 ? nullptr : "?";
    int length =
        WideCharToMultiByte(codePage, flags, wide, -1, buffer, (int)size, defaultChar, nullptr);
    return length > 0;
}

const char *NameForHost(const char *name, NameEncoding encoding, char *buffer, size_t size) {
    if (encoding == NameInCodePage || size == 0)
        return name;
    WCHAR *wide = WideName(name, encoding);
    // No look-alike: what the code page lacks shows as '?'.
    bool converted = wide && NarrowName(wide, AreFileApisANSI() ? CP_ACP : CP_OEMCP,
                                        WC_NO_BEST_FIT_CHARS, buffer, size);
    free(wide);
    if (!converted)
        snprintf(buffer, size, "%s", name);
    return buffer;
}

// In a double-byte code page a trail byte may look like a lead byte, so the
// letters are counted from the start; in the others every byte is a letter.
size_t CharacterStart(const char *text, size_t at) {
    UINT codePage = FileCodePage();
    if (codePage == CP_UTF8) {
        for (int i = 0; i < 3 && ((unsigned char)text[at] & 0xC0) == 0x80; i++)
            at++;
        return at;
    }
    size_t start = 0;
    while (start < at)
        start += IsDBCSLeadByteEx(codePage, (BYTE)text[start]) && text[start + 1] != 0 ? 2 : 1;
    return start;
}

bool NameInUtf8Form(const char *name, NameEncoding encoding, char *buffer, size_t size) {
    WCHAR *wide = WideName(name, encoding);
    bool converted = wide && NarrowName(wide, CP_UTF8, 0, buffer, size);
    free(wide);
    return converted;
}

int64_t FileSizeToDigest(FILE *stream) {
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handle, &size))
        return -1;
    return (int64_t)size.QuadPart;
}

int ConsoleColumns() {
    CONSOLE_SCREEN_BUFFER_INFO screen;
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &screen))
        return 0;
    return screen.srWindow.Right - screen.srWindow.Left + 1;
}

uint64_t MonotonicMicroseconds() {
    if (!CounterFrequency.QuadPart)
        QueryPerformanceFrequency(&CounterFrequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    uint64_t ticks = (uint64_t)now.QuadPart, perSecond = (uint64_t)CounterFrequency.QuadPart;
    return ticks / perSecond * 1000000 + ticks % perSecond * 1000000 / perSecond;
}

int EscapePressed(uint16_t virtualKey) {
    int result = 0;
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD count = 0;
    // An empty queue has nothing to match: the peek, a second round trip to
    // the console, is left out.
    if (!GetNumberOfConsoleInputEvents(input, &count) || count == 0)
        return 0;
    if (count > MAXDWORD / sizeof(INPUT_RECORD))
        return 0;
    INPUT_RECORD *records =
        static_cast<INPUT_RECORD *>(GlobalAlloc(GMEM_ZEROINIT, count * sizeof(INPUT_RECORD)));
    if (!records)
        return 0;
    DWORD copied = 0;
    if (!PeekConsoleInputA(input, records, count, &copied) || copied > count) {
        GlobalFree(records);
        return 0;
    }
    // Records the peek did not fill stay zero and never match.
    for (DWORD i = 0; i < count; i++) {
        const INPUT_RECORD &record = records[i];
        if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown &&
            record.Event.KeyEvent.wVirtualKeyCode == virtualKey) {
            result = 1;
            // Only the events ahead of it go; the Escape stays for the host.
            if (i > 0) {
                DWORD removed;
                ReadConsoleInputA(input, records, i, &removed);
            }
            break;
        }
    }
    GlobalFree(records);
    return result;
}

void ForgetConsoleInput() {}
