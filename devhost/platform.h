// What the development host needs from the platform it runs on.
#pragma once

// Loads the module and finds an export by its plain name; null on failure.
void *LoadModule(const char *path);
void *FindExport(void *module, const char *name);
const char *ModuleLoadError();

// The module's file name and the folder this program lives in.
extern const char ModuleFileName[];
void ProgramFolder(const char *argv0, char *folder, unsigned size);
