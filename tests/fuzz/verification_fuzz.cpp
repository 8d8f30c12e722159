// Any bytes as a signature file, verified through OpenPlugin against a fixed
// directory and a lean host: the selection is exactly the mismatching panel
// files the model finds (by name or by the file a path leads to), progress
// and error notices name the entries in order, the completion notice shows
// only when every entry was read and matched and the closing notice when
// the model says the panel cannot show what was found, every saved screen
// is restored, the panel commands come in their order, and nothing is
// written. An Escape arrives at the Nth progress
// notice (N = the list's size mod 4, 0 for none) through a pseudo-terminal.
// The files are digested one after another. The input's first byte picks the
// list's name (and so the digest its untagged lines are read as) from the
// model's table, the rest is the list; a list in the panel's folder is on
// the panel by its name.
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

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "devhost/simulated_host.h"
#include "host/host.h"
#include "jobs/escape.h"
#include "jobs/listed_names.h"
#include "jobs/notices.h"
#include "platform/platform.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/signature_model.h"

namespace fs = std::filesystem;

static const int32_t ModuleNumber = 3;

struct FixedFile {
    const char *name;
    bool directory;
    const char *contents; // null where made otherwise: big.bin and the list
};

// The panel in host order: "..", directories, then files by byte order; the
// list, when it lies here, joins the files in its place.
static const FixedFile FixedFiles[] = {
    {"..", true, nullptr},
    {"sub", true, nullptr},
    {"MD5 (x).txt", false, "paren\n"},
    // A name that reads as another machine's: here a file, which an open would read.
    {"\\\\srv\\x", false, "unc"},
    {"a.txt", false, "alpha\n"},
    {"b.txt", false, ""},
    {"big.bin", false, nullptr},
    {"c d.txt", false, "gamma"},
    {"e*f", false, "star"},
};

// This input's panel and list.
static std::vector<FixedFile> PanelFiles;
static const char *ListPath = nullptr;

// What the hooks note; the panel and the screen ledger are the simulated host's.
struct FuzzHost {
    std::vector<int32_t> commands;
    bool commandArgumentsGood = true;
    PanelInfoRecord *infoHandedOut = nullptr;
    std::vector<uintptr_t> openScreens;
    bool screensGood = true;
    std::vector<std::string> progressNames;
    std::vector<std::string> errorNames;
    int completions = 0;
    int closings = 0;
    bool noticesGood = true;
    size_t escapeAt = 0;
};

static FuzzHost Host;
static int TerminalMaster = -1, TerminalSlave = -1;
static std::string BigContents;

static void NoteText(int32_t, int32_t id, bool kept) {
    if (!kept || id < 0 || id >= MessageCount)
        Host.noticesGood = false;
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

static void NoteNotice(const NoticeCall &call, bool kept) {
    if (!kept)
        Host.noticesGood = false;
    if (call.Flags == ProgressNoticeFlags && call.Listed.size() == 3 && call.Buttons == 0) {
        Host.progressNames.push_back(call.Listed[2]);
        if (Host.progressNames.size() == Host.escapeAt)
            SendEscape();
    } else if (call.Flags == FileErrorNoticeFlags && call.Listed.size() == 4 && call.Buttons == 1) {
        Host.errorNames.push_back(call.Listed[1]);
    } else if (call.Flags == CompletionNoticeFlags && call.Listed.size() == 3 &&
               call.Buttons == 0) {
        Host.completions++;
    } else if ((call.Flags == ClosingNoticeFlags && call.Listed.size() >= 2 &&
                call.Listed.size() <= 20 && call.Buttons == 0) ||
               (call.Flags == ReportOfferNoticeFlags && call.Listed.size() >= 4 &&
                call.Listed.size() <= 22 && call.Buttons == 2)) {
        // With or without the full report's button, which this host never
        // presses.
        Host.closings++;
    } else {
        Host.noticesGood = false;
    }
}

static void NotePanelCommand(void *, int32_t command, void *argument, bool kept) {
    Host.commands.push_back(command);
    bool good = kept;
    if (command == PanelGetInfo)
        Host.infoHandedOut = static_cast<PanelInfoRecord *>(argument);
    else if (command == PanelRefresh || command == PanelRedraw)
        good = good && argument == nullptr;
    else if (command == PanelApplySelection)
        good = good && argument == Host.infoHandedOut;
    Host.commandArgumentsGood = Host.commandArgumentsGood && good;
}

static void NoteSave(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uintptr_t handle) {
    if (x1 != 0 || y1 != 0 || x2 != ScreenFarEdge || y2 != ScreenFarEdge)
        Host.screensGood = false;
    Host.openScreens.push_back(handle);
}

static void NoteRestore(uintptr_t handle, bool kept) {
    // Only the latest saved screen can be put back.
    if (!kept || Host.openScreens.empty() || Host.openScreens.back() != handle)
        Host.screensGood = false;
    else
        Host.openScreens.pop_back();
}

static void NoteDialog(const DialogCall &, bool) {
    Host.noticesGood = false; // a command-line verification shows no dialog
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
    for (const FixedFile &file : FixedFiles) {
        std::string name = file.name;
        if (name == "big.bin")
            WriteWholeFile(name, BigContents);
        else if (file.contents)
            WriteWholeFile(name, file.contents);
    }
    fs::create_directory("sub");
    fs::create_directory("sub/deeper");
    WriteWholeFile("sub/inner.txt", "inner");
}

// The fixed items and the list's own, if it lies in the panel's folder, in
// host order.
static void ArrangePanel(const FuzzListName &list) {
    PanelFiles.assign(FixedFiles, FixedFiles + sizeof FixedFiles / sizeof FixedFiles[0]);
    if (list.panelName)
        PanelFiles.push_back({list.panelName, false, nullptr});
    std::stable_sort(
        PanelFiles.begin(), PanelFiles.end(), [](const FixedFile &a, const FixedFile &b) {
            return a.directory != b.directory ? a.directory : strcmp(a.name, b.name) < 0;
        });
}

// What a panel file holds: the list's bytes for the list.
static std::string PanelContents(const FixedFile &file, const std::string &raw) {
    return std::string(file.name) == "big.bin" ? BigContents
           : file.contents                     ? std::string(file.contents)
                                               : raw;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // The model is the run of one file after another, each with its own
    // notice, where an Escape typed at a file's notice meets that file's
    // open; runs of many files at once are held to it end to end
    // (ManyFiles) and in the engine's own tests.
    setenv("SUMBREL_FILES_AT_ONCE", "1", 1);
    MakeDirectory();
    StartTerminal();
    Side.ModuleNumber = ModuleNumber;
    Side.Hooks.FetchMessageText = NoteText;
    Side.Hooks.ShowMessageBox = NoteNotice;
    Side.Hooks.PanelCommand = NotePanelCommand;
    Side.Hooks.SaveScreenImage = NoteSave;
    Side.Hooks.RestoreScreenImage = NoteRestore;
    Side.Hooks.RunDialog = NoteDialog;
    StartupRecord record = HostStartupRecord(sizeof(StartupRecord));
    SetStartupInfo(&record);
    return 0;
}

static std::vector<PanelItemRecord> FreshPanel() {
    std::vector<PanelItemRecord> items(PanelFiles.size());
    for (size_t i = 0; i < items.size(); i++) {
        memset(&items[i], 0, sizeof items[i]);
        items[i].Attributes = PanelFiles[i].directory ? DirectoryAttribute : ArchiveAttribute;
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
    std::set<int> completions, closings; // the counts allowed
};

// The panel file a readable name leads to, by device and inode, or -1.
static int PanelFileOf(const std::string &name) {
    struct stat entry, item;
    if (stat(name.c_str(), &entry) != 0)
        return -1;
    for (size_t i = 0; i < PanelFiles.size(); i++)
        if (!PanelFiles[i].directory && stat(PanelFiles[i].name, &item) == 0 &&
            item.st_dev == entry.st_dev && item.st_ino == entry.st_ino)
            return (int)i;
    return -1;
}

// Whether a listed name lies below the panel's folder "sub": its first part,
// after any "./", is that folder, and a separator follows it. A file there
// that differs or cannot be read selects the folder.
static bool BelowPanelFolder(const std::string &name) {
    size_t start = 0;
    while (name.compare(start, 2, "./") == 0)
        start += 2;
    return name.compare(start, 4, "sub/") == 0;
}

static bool ReadContents(const std::string &name, std::string *contents) {
    FILE *stream = fopen(name.c_str(), "rb");
    if (!stream)
        return false;
    char buffer[4096];
    size_t got;
    contents->clear();
    while ((got = fread(buffer, 1, sizeof buffer, stream)) > 0)
        contents->append(buffer, got);
    bool read = !ferror(stream);
    fclose(stream);
    return read;
}

// The entry's digits against its digest of the contents, as code we did
// not write computes it.
static bool RecordedMatches(const ModelEntry &entry, const std::string &contents) {
    const std::string &recorded = entry.digestText;
    std::string actual = ReferenceDigestText(entry.algorithm, recorded.size(), contents);
    if (recorded.size() != actual.size())
        return false;
    for (size_t i = 0; i < recorded.size(); i++) {
        char c = recorded[i] >= 'A' && recorded[i] <= 'F' ? (char)(recorded[i] - 'A' + 'a')
                                                          : recorded[i];
        if (c != actual[i])
            return false;
    }
    return true;
}

// A name as a notice line shows it, cut and cleaned by the module's own rule.
static std::string Shown(const std::string &name) {
    char line[NoticeLineSize];
    return FitNoticeLine(name.c_str(), NoticeLineWidth(), line);
}

static Expected Predict(const std::string &raw, size_t escapeAt) {
    const std::string listDigest = ModelListDigest(ListPath);
    Expected expected;
    bool escapePending = false, aborted = false;
    // trouble: the closing notice must show; doubt: a file off the panel
    // may match, change or fail to read, so either notice may.
    bool trouble = false, doubt = false;
    int entries = 0;
    // An untagged digest of 64 or 128 digits is read as the common one of
    // two (SHA-256, SHA-512): when none of the list's entries matched, the
    // closing notice may say which was assumed.
    bool sharedCount = false, matched = false;
    for (const std::string &line : ModelListLines(raw)) {
        // Verification polls before every line: an Escape that waits
        // since an unreadable file's notice stops the job there.
        if (escapePending) {
            aborted = true;
            break;
        }
        if (ModelIsCommentOrEmpty(line))
            continue;
        ModelEntry entry = ModelParseLine(line, listDigest);
        if (!entry.isEntry)
            continue;
        entries++;
        sharedCount = sharedCount || entry.assumed;
        if (!ListedNameMayBeRead(entry.name.c_str())) {
            // Never opened: no notice of its own, named at the end.
            trouble = true;
            continue;
        }
        expected.progressNames.push_back(Shown(entry.name));
        if (expected.progressNames.size() == escapeAt)
            escapePending = true;
        int onPanel = -1;
        for (size_t i = 0; i < PanelFiles.size(); i++)
            if (entry.name == PanelFiles[i].name)
                onPanel = (int)i;
        if (!OpensAsRegularFile(entry.name)) {
            // Refused at the open, before any poll: the notice is certain.
            expected.errorNames.push_back(Shown(entry.name));
            expected.errorOptional.push_back(false);
            trouble = true;
            if (BelowPanelFolder(entry.name))
                expected.selected.insert("sub");
            continue;
        }
        if (escapePending) {
            aborted = true;
            break;
        }
        if (onPanel < 0)
            onPanel = PanelFileOf(entry.name);
        if (onPanel < 0) {
            // Somewhere else on the disk: it may still fail to read.
            expected.errorNames.push_back(Shown(entry.name));
            expected.errorOptional.push_back(true);
            doubt = true;
            std::string contents;
            if (BelowPanelFolder(entry.name) &&
                (!ReadContents(entry.name, &contents) || !RecordedMatches(entry, contents)))
                expected.selected.insert("sub");
            continue;
        }
        if (!RecordedMatches(entry, PanelContents(PanelFiles[(size_t)onPanel], raw)))
            expected.selected.insert(PanelFiles[onPanel].name);
        else
            matched = true;
    }
    // The poll before the next read comes at the list's end too.
    aborted = aborted || escapePending;
    bool clean = expected.selected.empty();
    if (aborted) {
        expected.completions = {0};
        expected.closings = {0};
    } else if (trouble || entries == 0) {
        expected.completions = {0};
        expected.closings = {1};
    } else if (doubt) {
        expected.completions = clean ? std::set<int>{0, 1} : std::set<int>{0};
        expected.closings = {0, 1};
    } else {
        expected.completions = {clean ? 1 : 0};
        expected.closings = {0};
    }
    if (!aborted && sharedCount && !matched && !clean)
        expected.closings.insert(1);
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
    if (size == 0)
        return 0;
    const FuzzListName &list = FuzzListNameFor(data[0]);
    ListPath = list.path;
    std::string raw(reinterpret_cast<const char *>(data) + 1, size - 1);
    WriteWholeFile(ListPath, raw);
    ArrangePanel(list);
    const std::set<std::string> listing = Listing();

    Host = FuzzHost();
    Side.ActivePanel.Items = FreshPanel();
    Side.ActivePanel.HandedOut.clear();
    Side.Screens = ScreenLedger();
    Side.Problems.clear();
    Host.escapeAt = raw.size() % 4;
    tcflush(TerminalSlave, TCIFLUSH);
    ForgetConsoleInput();
    Expected expected = Predict(raw, Host.escapeAt);

    Require(OpenPlugin(OpenFromCommandLine, reinterpret_cast<intptr_t>(ListPath)) ==
                SUMBREL_NO_PANEL,
            "OpenPlugin opened a panel");

    // The file's text as read: a UTF-16 list's is its UTF-8 twin.
    std::string text;
    for (const std::string &line : ModelListLines(raw))
        text += line + '\n';
    std::set<std::string> selected;
    for (const PanelItemRecord &item : Side.ActivePanel.Items)
        if (item.Flags & ItemSelectedFlag) {
            Require(text.find(item.Name) != std::string::npos,
                    "selected a name that is not in the signature file");
            selected.insert(item.Name);
        }
    Require(selected == expected.selected, "selection differs from the model");
    Require(Host.screensGood && Host.openScreens.empty() && CloseSimulatedHost() == 0,
            "a saved screen was not restored");
    Require(HostContractKept(), "the host's contract was broken");
    Require(Host.progressNames == expected.progressNames, "progress notices differ");
    Require(ErrorsMatch(expected, Host.errorNames), "file error notices differ");
    Require(expected.completions.count(Host.completions) == 1, "completion notice wrong");
    Require(expected.closings.count(Host.closings) == 1 && Host.completions + Host.closings <= 1,
            "closing notice wrong");
    Require(Host.noticesGood, "a notice or text request was malformed");
    Require(Host.commands == std::vector<int32_t>(
                                 {PanelRefresh, PanelGetInfo, PanelApplySelection, PanelRedraw}) &&
                Host.commandArgumentsGood,
            "panel commands differ");
    Require(Listing() == listing, "the directory changed");
    // The next input starts from the fixed folder alone.
    Require(remove(ListPath) == 0, "the list cannot be removed");
    return 0;
}
