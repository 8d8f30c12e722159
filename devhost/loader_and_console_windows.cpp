// The development host on Windows (and under Wine): the module is a DLL, keys
// are written into the console input, and the console leaves line mode while
// the module runs.
#include <windows.h>
// After windows.h, whose types it uses.
#include <tlhelp32.h>

#include <stdio.h>
#include <string.h>

#include "devhost/loader_and_console.h"

const char ModuleFileName[] = "Sumbrel.dll";

// The console input's state, for restoring it on every way out.
static struct {
    bool ModeEntered;
    DWORD Saved;
    bool HandlersInstalled;
    bool KeysWritten;
} Console;

// Wine's own conversion of a Unix path; absent on Windows.
typedef WCHAR *(CDECL *DosFileNameFn)(const char *unixName);

// Under Wine a path that starts with a slash is a Unix one, which the test
// scripts pass; on Windows it is the root of the current drive and stays.
// Null when the path is to be used as it stands; else free with HeapFree.
static WCHAR *WineDosName(const std::string &path) {
    if (path.empty() || path[0] != '/')
        return nullptr;
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    DosFileNameFn dosFileName =
        kernel ? (DosFileNameFn)(void *)GetProcAddress(kernel, "wine_get_dos_file_name") : nullptr;
    return dosFileName ? dosFileName(path.c_str()) : nullptr;
}

void *LoadModule(const char *path) {
    WCHAR *dosName = WineDosName(path);
    if (!dosName)
        return (void *)LoadLibraryA(path);
    HMODULE module = LoadLibraryW(dosName);
    HeapFree(GetProcessHeap(), 0, dosName);
    return (void *)module;
}

void *FindExport(void *module, const char *name) {
    return (void *)GetProcAddress((HMODULE)module, name);
}

static uint32_t EntryStackOffset;

bool ChooseEntryStackOffset(uint32_t offset) {
    if (offset > 12 || offset % 4 != 0)
        return false;
    EntryStackOffset = offset;
    return true;
}

// Calls entry with count 32-bit arguments, the first at the lowest address,
// the stack pointer offset bytes past a 16-byte boundary at the call; returns
// what the entry leaves in EAX. The stack pointer comes back from the frame,
// whether the entry popped its arguments (WINAPI) or not. 32-bit x86 only, as
// the module is.
__attribute__((naked, noinline, noclone)) static uint32_t
CallAtStackOffset(const void * /*entry*/, const uint32_t * /*arguments*/, uint32_t /*count*/,
                  uint32_t /*offset*/) {
    __asm__("pushl %ebp\n\t"
            "movl %esp, %ebp\n\t"
            "pushl %esi\n\t"
            "movl 12(%ebp), %esi\n\t"
            "movl 16(%ebp), %ecx\n\t"
            // Room for the arguments below this frame, aligned, then shifted.
            "leal 0(,%ecx,4), %eax\n\t"
            "negl %eax\n\t"
            "leal -32(%esp,%eax), %eax\n\t"
            "andl $-16, %eax\n\t"
            "addl 20(%ebp), %eax\n\t"
            "movl %eax, %esp\n"
            "1:\n\t"
            "decl %ecx\n\t"
            "js 2f\n\t"
            "movl (%esi,%ecx,4), %edx\n\t"
            "movl %edx, (%esp,%ecx,4)\n\t"
            "jmp 1b\n"
            "2:\n\t"
            "call *8(%ebp)\n\t"
            "leal -4(%ebp), %esp\n\t"
            "popl %esi\n\t"
            "popl %ebp\n\t"
            "ret");
}

void CallSetStartupInfo(SetStartupInfoFn entry, const StartupRecord *record) {
    const uint32_t arguments[] = {(uint32_t)(uintptr_t)record};
    CallAtStackOffset((const void *)entry, arguments, 1, EntryStackOffset);
}

void CallGetPluginInfo(GetPluginInfoFn entry, PluginInfoRecord *info) {
    const uint32_t arguments[] = {(uint32_t)(uintptr_t)info};
    CallAtStackOffset((const void *)entry, arguments, 1, EntryStackOffset);
}

void *CallOpenPlugin(OpenPluginFn entry, int32_t openFrom, intptr_t item) {
    const uint32_t arguments[] = {(uint32_t)openFrom, (uint32_t)item};
    return (void *)(uintptr_t)CallAtStackOffset((const void *)entry, arguments, 2,
                                                EntryStackOffset);
}

static std::string LastErrorText() {
    return "Windows error " + std::to_string((unsigned long)GetLastError());
}

std::string ModuleLoadError() {
    return LastErrorText();
}

std::string ProgramFolder() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return ".";
    char *slash = strrchr(path, '\\');
    if (!slash)
        return ".";
    *slash = 0;
    return path;
}

bool EnterDirectory(const std::string &path) {
    WCHAR *dosName = WineDosName(path);
    if (!dosName)
        return SetCurrentDirectoryA(path.c_str()) != 0;
    bool entered = SetCurrentDirectoryW(dosName) != 0;
    HeapFree(GetProcessHeap(), 0, dosName);
    return entered;
}

std::string CurrentDirectory() {
    char path[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(sizeof path, path);
    return length > 0 && length < sizeof path ? path : ".";
}

bool ListCurrentDirectory(std::vector<PanelEntry> &entries) {
    entries.clear();
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA("*", &data);
    if (search == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        uint64_t size = ((uint64_t)data.nFileSizeHigh << 32) | data.nFileSizeLow;
        entries.push_back(
            PanelEntry{data.cFileName, data.dwFileAttributes, size, data.cAlternateFileName});
    } while (FindNextFileA(search, &data));
    FindClose(search);
    return true;
}

static HANDLE Input() {
    return GetStdHandle(STD_INPUT_HANDLE);
}

void CountThreadsAndHandles(size_t *threads, size_t *handles) {
    *threads = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot != INVALID_HANDLE_VALUE) {
        THREADENTRY32 entry;
        entry.dwSize = sizeof entry;
        for (BOOL more = Thread32First(snapshot, &entry); more;
             more = Thread32Next(snapshot, &entry))
            *threads += entry.th32OwnerProcessID == GetCurrentProcessId();
        CloseHandle(snapshot);
    }
    DWORD count = 0;
    GetProcessHandleCount(GetCurrentProcess(), &count);
    *handles = count;
}

bool InputIsInteractive() {
    DWORD mode;
    return GetConsoleMode(Input(), &mode) != 0;
}

static void RestoreConsole() {
    if (Console.ModeEntered)
        SetConsoleMode(Input(), Console.Saved);
}

static void ApplyModuleMode() {
    SetConsoleMode(Input(), Console.Saved & ~(DWORD)(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT));
}

static BOOL WINAPI OnConsoleControl(DWORD) {
    RestoreConsole();
    return FALSE; // the default handler still ends the process
}

static void RestoreAtExit() {
    LeaveModuleInputMode();
}

void EnterModuleInputMode() {
    if (Console.ModeEntered || !GetConsoleMode(Input(), &Console.Saved))
        return;
    if (!Console.HandlersInstalled) {
        Console.HandlersInstalled = true;
        atexit(RestoreAtExit);
        SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    }
    Console.ModeEntered = true;
    ApplyModuleMode();
}

void LeaveModuleInputMode() {
    RestoreConsole();
    Console.ModeEntered = false;
}

bool ReadUserLine(std::string &line) {
    RestoreConsole();
    line.clear();
    char buffer[512];
    bool any = false;
    while (fgets(buffer, sizeof buffer, stdin)) {
        any = true;
        line += buffer;
        if (!line.empty() && line.back() == '\n')
            break;
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    if (Console.ModeEntered)
        ApplyModuleMode();
    return any;
}

static INPUT_RECORD KeyDownEvent(const KeyPress &key) {
    INPUT_RECORD record;
    memset(&record, 0, sizeof record);
    record.EventType = KEY_EVENT;
    KEY_EVENT_RECORD &event = record.Event.KeyEvent;
    event.bKeyDown = TRUE;
    event.wRepeatCount = 1;
    event.wVirtualKeyCode = key.VirtualKey;
    event.wVirtualScanCode = (WORD)MapVirtualKeyA(key.VirtualKey, MAPVK_VK_TO_VSC);
    event.uChar.AsciiChar = key.Character;
    if (key.Extended)
        event.dwControlKeyState |= ENHANCED_KEY;
    if (key.Character >= 'A' && key.Character <= 'Z')
        event.dwControlKeyState |= SHIFT_PRESSED;
    return record;
}

bool TypeKeys(const std::vector<KeyPress> &keys) {
    std::vector<INPUT_RECORD> records;
    for (const KeyPress &key : keys)
        records.push_back(KeyDownEvent(key));
    DWORD written = 0;
    return WriteConsoleInputA(Input(), records.data(), (DWORD)records.size(), &written) &&
           written == records.size();
}

void PauseMilliseconds(int milliseconds) {
    Sleep((DWORD)milliseconds);
}

bool StartKeyInput(const std::vector<KeyPress> &keys, std::string &error) {
    DWORD mode;
    if (!GetConsoleMode(Input(), &mode) || !TypeKeys(keys)) {
        error = "standard input is not a console (" + LastErrorText() + ")";
        return false;
    }
    Console.KeysWritten = true;
    return true;
}

void StopKeyInput() {
    // Keys the module left behind would otherwise reach whoever reads next.
    if (Console.KeysWritten)
        FlushConsoleInputBuffer(Input());
    Console.KeysWritten = false;
}
