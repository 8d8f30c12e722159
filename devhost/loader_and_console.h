// What the development host needs from the platform it runs on: loading the
// module, the panel's directory, the terminal or console, and typed keys.
#pragma once

#include <string>
#include <vector>

#include "devhost/keys.h"
#include "devhost/panel.h"
#include "host/records.h"

// The module's file name, looked for next to this program.
extern const char ModuleFileName[];

// Null on failure; ModuleLoadError then says why.
void *LoadModule(const char *path);
void *FindExport(void *module, const char *name);
std::string ModuleLoadError();

// The module's three entry points.
typedef void(SUMBREL_WINAPI *SetStartupInfoFn)(const StartupRecord *);
typedef void(SUMBREL_WINAPI *GetPluginInfoFn)(PluginInfoRecord *);
typedef void *(SUMBREL_WINAPI *OpenPluginFn)(int32_t, intptr_t);

// Where the stack pointer stands at every call into the module, in bytes past
// a 16-byte boundary before the return address is pushed: 0 as code from this
// program's compiler calls, 4, 8 or 12 as a 32-bit host built by another
// compiler may, which promises 4-byte alignment only. False when this build
// cannot call at that offset; a 64-bit build calls at 0 only.
bool ChooseEntryStackOffset(uint32_t offset);

// The module's entries, called at the chosen stack offset.
void CallSetStartupInfo(SetStartupInfoFn entry, const StartupRecord *record);
void CallGetPluginInfo(GetPluginInfoFn entry, PluginInfoRecord *info);
void *CallOpenPlugin(OpenPluginFn entry, int32_t openFrom, intptr_t item);

// The folder this program lives in, without a trailing separator.
std::string ProgramFolder();

// Makes the path the current directory; false if it cannot be entered.
bool EnterDirectory(const std::string &path);
std::string CurrentDirectory();
// The entries of the current directory, "." and ".." included or not.
bool ListCurrentDirectory(std::vector<PanelEntry> &entries);

// The threads of this process and the files or handles it holds open, so
// that a run can show what the module left behind.
void CountThreadsAndHandles(size_t *threads, size_t *handles);

// Whether standard input is a terminal (a console) someone can type at.
bool InputIsInteractive();

// While the module runs, the terminal is in the mode of a full-screen file
// manager: keys arrive one by one, unechoed, so a poll sees Escape at once.
// Leaving restores the terminal; it is also restored on exit and on fatal
// signals.
void EnterModuleInputMode();
void LeaveModuleInputMode();

// Asks the user for a line in the terminal's ordinary mode, without the line
// end; false at the end of input.
bool ReadUserLine(std::string &line);

// Puts the keys into the console input the module will poll, before it runs;
// on a terminal platform this replaces standard input until StopKeyInput.
bool StartKeyInput(const std::vector<KeyPress> &keys, std::string &error);
void StopKeyInput();
// Types more keys into the console input set up by StartKeyInput.
bool TypeKeys(const std::vector<KeyPress> &keys);
void PauseMilliseconds(int milliseconds);
