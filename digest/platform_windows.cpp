// Windows side of the file digest: opening a file to digest and the Escape
// poll over the console input queue, which the module shares with the host.
#include <io.h>
#include <stdio.h>
#include <windows.h>

#include "digest/file_digest.h"

// Ticks per second of the performance counter, fixed at boot; asked once.
static LARGE_INTEGER CounterFrequency;

FILE *OpenFileToDigest(const char *name) {
    // msvcrt's fopen shares reading and writing (not deletion) with others.
    FILE *stream = fopen(name, "rb");
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
