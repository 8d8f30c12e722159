// The development host on Windows: the module is a DLL.
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "devhost/platform.h"

const char ModuleFileName[] = "Sumbrel.dll";

void *LoadModule(const char *path) {
    return (void *)LoadLibraryA(path);
}

void *FindExport(void *module, const char *name) {
    return (void *)GetProcAddress((HMODULE)module, name);
}

const char *ModuleLoadError() {
    static char message[64];
    snprintf(message, sizeof message, "Windows error %lu", (unsigned long)GetLastError());
    return message;
}

void ProgramFolder(const char *, char *folder, unsigned size) {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        strcpy(path, ".\\x");
    char *slash = strrchr(path, '\\');
    if (slash)
        *slash = 0;
    snprintf(folder, size, "%s", path);
}
