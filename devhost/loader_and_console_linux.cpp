// The development host on Linux: the module is a shared object, keys go
// through a pseudo-terminal that stands in for standard input, and the real
// terminal is put in non-canonical mode while the module runs.
#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "devhost/loader_and_console.h"

const char ModuleFileName[] = "Sumbrel.so";

// The terminal's state, for restoring it on every way out.
static struct {
    bool ModeEntered;
    termios Saved;
    bool HandlersInstalled;
    int KeyMaster = -1; // the pseudo-terminal's two ends while keys are in use
    int KeySlave = -1;
    int SavedInput = -1; // the real standard input meanwhile
} Terminal;

static const int FatalSignals[] = {SIGINT,  SIGTERM, SIGHUP, SIGQUIT,
                                   SIGSEGV, SIGBUS,  SIGFPE, SIGABRT};

void *LoadModule(const char *path) {
    return dlopen(path, RTLD_NOW | RTLD_LOCAL);
}

void *FindExport(void *module, const char *name) {
    return dlsym(module, name);
}

// The 64-bit ABI keeps 16-byte alignment at every call, so there is no other
// offset a host could call at.
bool ChooseEntryStackOffset(uint32_t offset) {
    return offset == 0;
}

void CallSetStartupInfo(SetStartupInfoFn entry, const StartupRecord *record) {
    entry(record);
}

void CallGetPluginInfo(GetPluginInfoFn entry, PluginInfoRecord *info) {
    entry(info);
}

void *CallOpenPlugin(OpenPluginFn entry, int32_t openFrom, intptr_t item) {
    return entry(openFrom, item);
}

std::string ModuleLoadError() {
    const char *error = dlerror();
    return error ? error : "unknown error";
}

std::string ProgramFolder() {
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return ".";
    path[length] = 0;
    char *slash = strrchr(path, '/');
    if (!slash)
        return ".";
    *slash = 0;
    return slash == path ? "/" : path;
}

bool EnterDirectory(const std::string &path) {
    return chdir(path.c_str()) == 0;
}

std::string CurrentDirectory() {
    char path[PATH_MAX];
    return getcwd(path, sizeof path) ? path : ".";
}

bool ListCurrentDirectory(std::vector<PanelEntry> &entries) {
    DIR *directory = opendir(".");
    if (!directory)
        return false;
    entries.clear();
    while (dirent *entry = readdir(directory)) {
        struct stat status;
        // A dangling link is still listed, as a file.
        if (stat(entry->d_name, &status) != 0 && lstat(entry->d_name, &status) != 0)
            memset(&status, 0, sizeof status);
        bool directoryEntry = S_ISDIR(status.st_mode);
        entries.push_back(PanelEntry{entry->d_name,
                                     directoryEntry ? DirectoryAttribute : ArchiveAttribute,
                                     directoryEntry ? 0 : (uint64_t)status.st_size, ""});
    }
    closedir(directory);
    return true;
}

static size_t EntriesIn(const char *folder) {
    DIR *directory = opendir(folder);
    if (!directory)
        return 0;
    size_t count = 0;
    while (struct dirent *entry = readdir(directory))
        count += entry->d_name[0] != '.';
    closedir(directory);
    return count;
}

void CountThreadsAndHandles(size_t *threads, size_t *handles) {
    *threads = EntriesIn("/proc/self/task");
    // Less the descriptor of the listing itself.
    *handles = EntriesIn("/proc/self/fd") - 1;
}

bool InputIsInteractive() {
    return isatty(STDIN_FILENO) == 1;
}

static void RestoreTerminal() {
    if (Terminal.ModeEntered)
        tcsetattr(STDIN_FILENO, TCSANOW, &Terminal.Saved);
}

static void ApplyModuleMode() {
    termios mode = Terminal.Saved;
    mode.c_lflag &= ~(ICANON | ECHO);
    mode.c_cc[VMIN] = 1;
    mode.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &mode);
}

static void OnFatalSignal(int number) {
    RestoreTerminal();
    signal(number, SIG_DFL);
    raise(number);
}

// Ctrl-Z hands the shell a sane terminal and takes the mode back on return.
static void OnStop(int) {
    RestoreTerminal();
    signal(SIGTSTP, SIG_DFL);
    raise(SIGTSTP);
    signal(SIGTSTP, OnStop);
    if (Terminal.ModeEntered)
        ApplyModuleMode();
}

void EnterModuleInputMode() {
    if (Terminal.ModeEntered || !isatty(STDIN_FILENO) ||
        tcgetattr(STDIN_FILENO, &Terminal.Saved) != 0)
        return;
    if (!Terminal.HandlersInstalled) {
        Terminal.HandlersInstalled = true;
        atexit(LeaveModuleInputMode);
        for (int number : FatalSignals)
            signal(number, OnFatalSignal);
        signal(SIGTSTP, OnStop);
    }
    Terminal.ModeEntered = true;
    ApplyModuleMode();
}

void LeaveModuleInputMode() {
    RestoreTerminal();
    Terminal.ModeEntered = false;
}

bool ReadUserLine(std::string &line) {
    RestoreTerminal();
    line.clear();
    bool any = false;
    char c;
    // Byte by byte, so that nothing typed after the line is swallowed by a
    // buffer the module cannot see.
    while (read(STDIN_FILENO, &c, 1) == 1) {
        any = true;
        if (c == '\n')
            break;
        if (c != '\r')
            line += c;
    }
    if (Terminal.ModeEntered)
        ApplyModuleMode();
    return any;
}

bool StartKeyInput(const std::vector<KeyPress> &keys, std::string &error) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    int slave = -1;
    if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0)
        slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    termios mode;
    if (slave < 0 || tcgetattr(slave, &mode) != 0) {
        error = std::string("cannot open a pseudo-terminal: ") + strerror(errno);
        if (slave >= 0)
            close(slave);
        if (master >= 0)
            close(master);
        return false;
    }
    // Raw before the keys are written: a canonical terminal would hold them
    // back until a line end, and no byte is to be translated on the way.
    cfmakeraw(&mode);
    tcsetattr(slave, TCSANOW, &mode);
    Terminal.KeyMaster = master;
    Terminal.KeySlave = slave;
    if (!TypeKeys(keys)) {
        error = std::string("cannot write the keys: ") + strerror(errno);
        close(slave);
        close(master);
        Terminal.KeyMaster = Terminal.KeySlave = -1;
        return false;
    }
    Terminal.SavedInput = dup(STDIN_FILENO);
    dup2(slave, STDIN_FILENO);
    return true;
}

bool TypeKeys(const std::vector<KeyPress> &keys) {
    std::string bytes;
    for (const KeyPress &key : keys)
        bytes += key.TerminalBytes;
    if (write(Terminal.KeyMaster, bytes.data(), bytes.size()) != (ssize_t)bytes.size())
        return false;
    // The terminal passes the bytes on a moment later; the module's next
    // poll must already find them, as it would find a key pressed before.
    for (int waited = 0; waited < 20000; waited++) {
        int ready = 0;
        if (ioctl(Terminal.KeySlave, FIONREAD, &ready) != 0 || ready >= (int)bytes.size())
            break;
        usleep(100);
    }
    return true;
}

void PauseMilliseconds(int milliseconds) {
    usleep((useconds_t)milliseconds * 1000);
}

void StopKeyInput() {
    if (Terminal.KeyMaster < 0)
        return;
    if (Terminal.SavedInput >= 0) {
        dup2(Terminal.SavedInput, STDIN_FILENO);
        close(Terminal.SavedInput);
    } else {
        close(STDIN_FILENO); // there was no standard input before either
    }
    close(Terminal.KeySlave);
    close(Terminal.KeyMaster);
    Terminal.KeyMaster = Terminal.KeySlave = Terminal.SavedInput = -1;
}
