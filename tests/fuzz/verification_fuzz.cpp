// Any bytes as a signature file, verified through OpenPlugin against a fixed
// directory and a lean host: the selection is exactly the mismatching panel
// files the model finds, progress and error notices name the entries in
// order, every saved screen is restored, the panel commands come in their
// order, and nothing is written. An Escape arrives at the Nth progress
// notice (N = input size mod 4, 0 for none) through a pseudo-terminal.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "digest/file_digest.h"
#include "host/host.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/signature_model.h"

namespace fs = std::filesystem;

static const char SignatureName[] = "in.md5";
static const int32_t ModuleNumber = 3;

struct FixedFile {
    const char *name;
    bool directory;
    const char *contents; // null where made otherwise: big.bin and the input
};

// The panel in host order: "..", directories, then files by byte order.
static const FixedFile PanelFiles[] = {
    {"..", true, nullptr},       {"sub", true, nullptr}, {"MD5 (x).txt", false, "paren\n"},
    {"a.txt", false, "alpha\n"}, {"b.txt", false, ""},   {"big.bin", false, nullptr},
    {"c d.txt", false, "gamma"}, {"e*f", false, "star"}, {SignatureName, false, nullptr},
};

struct FuzzHost {
    std::vector<PanelItemRecord> items;
    std::vector<int32_t> commands;
    bool commandArgumentsGood = true;
    PanelInfoRecord *infoHandedOut = nullptr;
    std::vector<intptr_t> openScreens;
    intptr_t nextScreen = 0;
    bool screensGood = true;
    std::vector<std::string> progressNames;
    std::vector<std::string> errorNames;
    int completions = 0;
    bool noticesGood = true;
    size_t escapeAt = 0;
};

static FuzzHost Host;
static int TerminalMaster = -1, TerminalSlave = -1;
static std::string BigContents;
static std::vector<std::string> FixedDigests; // per panel item, empty for directories

static const char *SUMBREL_WINAPI FetchText(int32_t module, int32_t id) {
    if (module != ModuleNumber || id < 0 || id >= MessageCount)
        Host.noticesGood = false;
    return "text";
}

// libFuzzer's timeout alarm interrupts system calls now and then; a call
// that was interrupted is made again.
static void SendEscape() {
    ssize_t written;
    do
        written = write(TerminalMaster, "\x1b", 1);
    while (written < 0 && errno == EINTR);
    if (written != 1)
        fprintf(stderr, "writing the Escape: %s\n", written < 0 ? strerror(errno) : "nothing");
    Require(written == 1, "Escape not written");
    // The terminal hands bytes over asynchronously; wait until it is there.
    pollfd ready = {TerminalSlave, POLLIN, 0};
    int events;
    do
        events = poll(&ready, 1, 5000);
    while (events < 0 && errno == EINTR);
    if (events != 1)
        fprintf(stderr, "waiting for the Escape: %s\n", events < 0 ? strerror(errno) : "timeout");
    Require(events == 1, "Escape never reached the terminal");
    // A person takes longer to press a key than the module leaves between
    // its polls, so its next poll is due: the file shown meets the Escape at
    // its first read.
    StartEscapeWatch();
}

static int32_t SUMBREL_WINAPI ShowMessage(int32_t module, uint32_t flags, const char *help,
                                          const char *const *texts, int32_t count,
                                          int32_t buttons) {
    if (module != ModuleNumber || help != nullptr)
        Host.noticesGood = false;
    if (flags == 0 && count == 3 && buttons == 0) {
        Host.progressNames.push_back(texts[2]);
        if (Host.progressNames.size() == Host.escapeAt)
            SendEscape();
    } else if (flags == 3 && count == 3 && buttons == 1) {
        Host.errorNames.push_back(texts[1]);
    } else if (flags == 0x10000 && count == 2 && buttons == 0) {
        Host.completions++;
    } else {
        Host.noticesGood = false;
    }
    return 0;
}

static int32_t SUMBREL_WINAPI PanelCommand(void *panel, int32_t command, void *argument) {
    Host.commands.push_back(command);
    bool good = panel == SUMBREL_ACTIVE_PANEL;
    if (command == PanelGetInfo) {
        PanelInfoRecord *info = static_cast<PanelInfoRecord *>(argument);
        info->Items = Host.items.data();
        info->ItemCount = (int32_t)Host.items.size();
        info->CurrentItem = 0;
        Host.infoHandedOut = info;
    } else if (command == PanelRefresh) {
        good = good && argument == nullptr;
        for (PanelItemRecord &item : Host.items)
            item.Flags &= ~ItemSelectedFlag;
    } else if (command == PanelApplySelection) {
        good = good && argument == Host.infoHandedOut;
    } else if (command == PanelRedraw) {
        good = good && argument == nullptr;
    }
    Host.commandArgumentsGood = Host.commandArgumentsGood && good;
    return 0;
}

static ScreenHandle SUMBREL_WINAPI SaveScreen(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    if (x1 != 0 || y1 != 0 || x2 != -1 || y2 != -1)
        Host.screensGood = false;
    Host.openScreens.push_back(++Host.nextScreen);
    return reinterpret_cast<ScreenHandle>(Host.nextScreen);
}

static void SUMBREL_WINAPI RestoreScreen(ScreenHandle screen) {
    // Only the latest saved screen can be put back.
    if (Host.openScreens.empty() || Host.openScreens.back() != reinterpret_cast<intptr_t>(screen))
        Host.screensGood = false;
    else
        Host.openScreens.pop_back();
}

static int32_t SUMBREL_WINAPI RunDialog(int32_t, int32_t, int32_t, int32_t, int32_t, const char *,
                                        DialogItemRecord *, int32_t) {
    Host.noticesGood = false; // a command-line verification shows no dialog
    return -1;
}

static void StartTerminal() {
    TerminalMaster = posix_openpt(O_RDWR | O_NOCTTY);
    Require(TerminalMaster >= 0 && grantpt(TerminalMaster) == 0 && unlockpt(TerminalMaster) == 0,
            "no pseudo-terminal");
    TerminalSlave = open(ptsname(TerminalMaster), O_RDWR | O_NOCTTY);
    termios mode;
    Require(TerminalSlave >= 0 && tcgetattr(TerminalSlave, &mode) == 0, "no terminal side");
    cfmakeraw(&mode);
    Require(tcsetattr(TerminalSlave, TCSANOW, &mode) == 0 &&
                dup2(TerminalSlave, STDIN_FILENO) == STDIN_FILENO,
            "terminal not set up");
}

static void MakeDirectory() {
    std::string directory = ScratchPath("verify");
    fs::create_directory(directory);
    fs::current_path(directory);
    for (size_t i = 0; i < 5000; i++)
        BigContents += (char)(i * 7 % 251);
    for (const FixedFile &file : PanelFiles) {
        std::string name = file.name;
        if (name == "big.bin")
            WriteWholeFile(name, BigContents);
        else if (file.contents)
            WriteWholeFile(name, file.contents);
        FixedDigests.push_back(name == "big.bin" ? OpenSslDigestText(BigContents)
                               : file.contents   ? OpenSslDigestText(file.contents)
                                                 : "");
    }
    fs::create_directory("sub");
    WriteWholeFile("sub/inner.txt", "inner");
    WriteWholeFile(SignatureName, "");
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    MakeDirectory();
    StartTerminal();
    StartupRecord record;
    memset(&record, 0, sizeof record);
    record.Size = sizeof record;
    record.ModuleNumber = ModuleNumber;
    record.FetchMessageText = FetchText;
    record.ShowMessageBox = ShowMessage;
    record.PanelCommand = PanelCommand;
    record.SaveScreenImage = SaveScreen;
    record.RestoreScreenImage = RestoreScreen;
    record.RunDialog = RunDialog;
    SetStartupInfo(&record);
    return 0;
}

static std::vector<PanelItemRecord> FreshPanel() {
    std::vector<PanelItemRecord> items(sizeof PanelFiles / sizeof PanelFiles[0]);
    for (size_t i = 0; i < items.size(); i++) {
        memset(&items[i], 0, sizeof items[i]);
        items[i].Attributes = PanelFiles[i].directory ? DirectoryAttribute : 0x20;
        strcpy(items[i].Name, PanelFiles[i].name);
    }
    return items;
}

static bool OpensAsRegularFile(const std::string &name) {
    struct stat status;
    return stat(name.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
           access(name.c_str(), R_OK) == 0;
}

struct Expected {
    std::set<std::string> selected;
    std::vector<std::string> progressNames;
    std::vector<std::string> errorNames; // certain notices
    std::vector<bool> errorOptional;     // per errorNames entry
    bool completion = false;
};

static Expected Predict(const std::string &raw, size_t escapeAt) {
    Expected expected;
    bool escapePending = false, aborted = false;
    for (const std::string &line : ModelSignatureLines(raw)) {
        if (ModelIsCommentOrEmpty(line))
            continue;
        ModelEntry entry = ModelParseLine(line);
        if (!entry.isEntry)
            continue;
        expected.progressNames.push_back(entry.name);
        if (expected.progressNames.size() == escapeAt)
            escapePending = true;
        int onPanel = -1;
        for (size_t i = 0; i < sizeof PanelFiles / sizeof PanelFiles[0]; i++)
            if (entry.name == PanelFiles[i].name)
                onPanel = (int)i;
        if (!OpensAsRegularFile(entry.name)) {
            // Refused at the open, before any poll: the notice is certain.
            expected.errorNames.push_back(entry.name);
            expected.errorOptional.push_back(false);
            continue;
        }
        if (escapePending) {
            aborted = true;
            break;
        }
        if (onPanel < 0) {
            // Somewhere else on the disk: it may still fail to read.
            expected.errorNames.push_back(entry.name);
            expected.errorOptional.push_back(true);
            continue;
        }
        std::string actual =
            entry.name == SignatureName ? OpenSslDigestText(raw) : FixedDigests[(size_t)onPanel];
        if (entry.digestText.size() < 32 || entry.digestText.compare(0, 32, actual) != 0)
            expected.selected.insert(entry.name);
    }
    expected.completion = !aborted && expected.selected.empty();
    return expected;
}

static bool ErrorsMatch(const Expected &expected, const std::vector<std::string> &actual) {
    size_t k = 0;
    for (size_t i = 0; i < expected.errorNames.size(); i++) {
        if (k < actual.size() && actual[k] == expected.errorNames[i])
            k++;
        else if (!expected.errorOptional[i])
            return false;
    }
    return k == actual.size();
}

static std::set<std::string> Listing() {
    std::set<std::string> names;
    for (const fs::directory_entry &entry : fs::directory_iterator("."))
        names.insert(entry.path().filename().string());
    return names;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const std::set<std::string> listing = Listing();
    std::string raw(reinterpret_cast<const char *>(data), size);
    WriteWholeFile(SignatureName, raw);

    Host = FuzzHost();
    Host.items = FreshPanel();
    Host.escapeAt = size % 4;
    tcflush(TerminalSlave, TCIFLUSH);
    ForgetConsoleInput();
    Expected expected = Predict(raw, Host.escapeAt);

    Require(OpenPlugin(OpenFromCommandLine, reinterpret_cast<intptr_t>(SignatureName)) ==
                SUMBREL_NO_PANEL,
            "OpenPlugin opened a panel");

    std::set<std::string> selected;
    for (const PanelItemRecord &item : Host.items)
        if (item.Flags & ItemSelectedFlag) {
            Require(memmem(data, size, item.Name, strlen(item.Name)) != nullptr,
                    "selected a name that is not in the signature file");
            selected.insert(item.Name);
        }
    Require(selected == expected.selected, "selection differs from the model");
    Require(Host.screensGood && Host.openScreens.empty(), "a saved screen was not restored");
    Require(Host.progressNames == expected.progressNames, "progress notices differ");
    Require(ErrorsMatch(expected, Host.errorNames), "file error notices differ");
    Require(Host.completions == (expected.completion ? 1 : 0), "completion notice wrong");
    Require(Host.noticesGood, "a notice or text request was malformed");
    Require(Host.commands == std::vector<int32_t>(
                                 {PanelRefresh, PanelGetInfo, PanelApplySelection, PanelRedraw}) &&
                Host.commandArgumentsGood,
            "panel commands differ");
    Require(Listing() == listing, "the directory changed");
    return 0;
}
