// Windows side of the file digest: opening a file to digest and the Escape
// poll over the console input queue, which the module shares with the host.
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "digest/exact_path_windows.h"
#include "digest/file_digest.h"

// Ticks per second of the performance counter, fixed at boot; asked once.
static LARGE_INTEGER CounterFrequency;

// A panel item's name has no directory part and no drive; a name typed by
// the user or listed with a directory part resolves as Windows resolves it.
bool IsBareName(const char *name) {
    return name[0] != '\0' && strpbrk(name, "\\/:") == nullptr;
}

static bool StartsWith(const WCHAR *text, const WCHAR *prefix) {
    return wcsncmp(text, prefix, wcslen(prefix)) == 0;
}

// Windows drops trailing dots and blanks from a name it opens ("trail."
// would open "trail") and takes "aux.txt" for a device. The "\\?\" form of
// the whole path is used as it stands, so the current directory and the bare
// name are put together here. That form exists only for the UTF-16 calls;
// the name is converted by the code page the ANSI file calls use, as they
// would have converted it themselves. A process that takes long paths may
// stand in a directory of any length, so the path is sized from the answers
// and lives only for the open.
WCHAR *ExactPath(const char *name, WCHAR **start) {
    UINT codePage = AreFileApisANSI() ? CP_ACP : CP_OEMCP;
    int nameLength = MultiByteToWideChar(codePage, 0, name, -1, nullptr, 0);
    DWORD directorySize = GetCurrentDirectoryW(0, nullptr);
    if (nameLength == 0 || directorySize == 0)
        return nullptr;
    // Room for the longest prefix, the directory and its NUL, a separator,
    // the name and its NUL; a directory that grew in between is caught below.
    const size_t PrefixRoom = 8;
    size_t pathSize = PrefixRoom + directorySize + 1 + (size_t)nameLength;
    WCHAR *path = static_cast<WCHAR *>(malloc(pathSize * sizeof(WCHAR)));
    if (!path)
        return nullptr;
    WCHAR *directory = path + PrefixRoom;
    DWORD length = GetCurrentDirectoryW(directorySize, directory);
    if (length > 0 && length < directorySize) {
        // The prefix goes in front of the directory, which stays in place:
        // C:\dir becomes \\?\C:\dir, \\server\share \\?\UNC\server\share.
        static const WCHAR DrivePrefix[] = L"\\\\?\\";
        static const WCHAR SharePrefix[] = L"\\\\?\\UNC\\";
        const size_t DrivePrefixLength = 4, SharePrefixLength = 8;
        *start = directory;
        if (StartsWith(directory, L"\\\\")) {
            // "\\?\..." is already whole; "\\server" loses its own "\\".
            if (!StartsWith(directory, DrivePrefix)) {
                *start = directory + 2 - SharePrefixLength;
                memcpy(*start, SharePrefix, SharePrefixLength * sizeof(WCHAR));
            }
        } else {
            *start = directory - DrivePrefixLength;
            memcpy(*start, DrivePrefix, DrivePrefixLength * sizeof(WCHAR));
        }
        size_t used = (size_t)(directory + length - path);
        if (path[used - 1] != L'\\')
            path[used++] = L'\\';
        if (MultiByteToWideChar(codePage, 0, name, -1, path + used, nameLength) != 0)
            return path;
    }
    free(path);
    return nullptr;
}

static HANDLE OpenExactly(const char *name) {
    WCHAR *start;
    WCHAR *path = ExactPath(name, &start);
    if (!path)
        return INVALID_HANDLE_VALUE;
    // Reading and writing are shared with others, as msvcrt's fopen does.
    HANDLE handle = CreateFileW(start, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    free(path);
    return handle;
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

FILE *OpenFileToDigest(const char *name) {
    FILE *stream;
    if (IsBareName(name)) {
        HANDLE handle = OpenExactly(name);
        stream = handle != INVALID_HANDLE_VALUE ? StreamOnHandle(handle) : nullptr;
    } else {
        // msvcrt's fopen shares reading and writing (not deletion) with others.
        stream = fopen(name, "rb");
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
