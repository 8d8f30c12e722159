// The development host on Linux: the module is a shared object.
#include <dlfcn.h>
#include <limits.h>
#include <string.h>
#include <stdio.h>
#include <unistd.h>

#include "devhost/platform.h"

const char ModuleFileName[] = "Sumbrel.so";

void *LoadModule(const char *path) {
    return dlopen(path, RTLD_NOW | RTLD_LOCAL);
}

void *FindExport(void *module, const char *name) {
    return dlsym(module, name);
}

const char *ModuleLoadError() {
    const char *error = dlerror();
    return error ? error : "unknown error";
}

void ProgramFolder(const char *argv0, char *folder, unsigned size) {
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) {
        strncpy(path, argv0, sizeof path - 1);
        path[sizeof path - 1] = 0;
    } else {
        path[length] = 0;
    }
    char *slash = strrchr(path, '/');
    if (slash)
        *slash = 0;
    else
        strcpy(path, ".");
    snprintf(folder, size, "%s", path);
}
