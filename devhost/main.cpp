// sumbrel-host: a development host that loads the module and plays the file
// manager's side of the plug-in interface on one panel, by hand or in tests.
// This file reads the options and runs the module once.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "devhost/draw.h"
#include "devhost/keys.h"
#include "devhost/loader_and_console.h"
#include "devhost/messages.h"
#include "devhost/operations.h"
#include "devhost/trace.h"
#include "host/records.h"

static const int32_t HostModuleNumber = 7;
static const int ExitBadUse = 2;
static const int ExitContractBroken = 3;

struct Options {
    std::string ModulePath;
    std::string Directory = ".";
    std::vector<std::string> Selected;
    std::string Cursor = "..";
    std::string Language = "Eng";
    bool HasCommand = false;
    std::string Command;
    uint32_t StartupSize = sizeof(StartupRecord);
    uint32_t StackOffset = 0;
    bool HasKeys = false;
    std::string Keys;
    uint32_t KeysAtNotice = 0; // 0: before the module starts
    bool KeysMidFile = false;
    bool EscapeNotices = false;
    std::vector<std::string> NoticeKeys;
    std::string TracePath; // empty: no trace; "-": standard output
    bool HasDialogAnswer = false;
    int32_t DialogAnswer = DialogCancelled;
    bool HasName = false;
    std::string Name;
    bool Batch = false;
    bool Quiet = false;
    bool Help = false;
};

static const char HelpText[] =
    "usage: sumbrel-host [OPTION]...   (--option VALUE or --option=VALUE)\n"
    "Loads the module and plays the file manager's side of its interface: one panel\n"
    "showing a directory, notices, the dialog and saved screens, drawn as text.\n"
    "\n"
    "  --module PATH       module to load (default: the one next to this program)\n"
    "                        --module build/native/bin/Sumbrel.so\n"
    "  --dir PATH          the panel's directory, also the current one (default .)\n"
    "                        --dir ~/photos\n"
    "  --select NAME       select a panel item; repeat for more\n"
    "                        --select a.txt --select b.txt\n"
    "  --cursor NAME       put the cursor on an item (default ..)\n"
    "                        --cursor a.txt\n"
    "  --lang NAME         message and help files Sumbrel<NAME>.lng and .hlf next to this\n"
    "                      program (default Eng)\n"
    "                        --lang Rus\n"
    "  --command TEXT      run the command line \"md5 TEXT\" instead of the plug-in menu\n"
    "                        --command sigfile.md5\n"
    "  --startup-size N    size field of the startup record (default @SIZE@, the full record)\n"
    "                        --startup-size 371\n"
    "  --stack-offset N    call the module with the stack pointer N bytes past a 16-byte\n"
    "                      boundary: 0, 4, 8 or 12, as a host built by another compiler\n"
    "                      may (default 0; a 64-bit build takes 0 only)\n"
    "                        --stack-offset 4\n"
    "  --keys LIST         keys waiting in the console input when the module starts:\n"
    "                      esc, enter, space, tab, up, down, left, right, a letter or a\n"
    "                      digit, comma-separated; implies --batch\n"
    "                        --keys a,b,esc\n"
    "  --keys-at N         type the --keys only when the Nth progress notice shows, that\n"
    "                      is while the module works on its Nth file\n"
    "                        --keys-at 2\n"
    "  --keys-mid-file     with --keys-at, type them when the Nth notice first shows its\n"
    "                      progress line, while that file is being read\n"
    "                        --keys-mid-file\n"
    "  --escape-notices    close every notice that waits for a key with Escape, as a\n"
    "                      user pressing it there (the host answers -1)\n"
    "                        --escape-notices\n"
    "  --notice-keys LIST  keys pressed on the notices that wait, one key each, in turn:\n"
    "                      enter, esc, a button's number from 0, or f1, which opens the\n"
    "                      notice's help topic (drawn as \"Help: topic\") and leaves it\n"
    "                      waiting for the next key; comma-separated\n"
    "                        --notice-keys f1,enter,1\n"
    "  --dialog ANSWER     answer the dialog: verify, create, close, cancel or an item\n"
    "                      index (otherwise it asks, or cancels when not interactive)\n"
    "                        --dialog create\n"
    "  --name TEXT         text for the dialog's field (otherwise the module's stays)\n"
    "                        --name other.md5\n"
    "  --trace FILE        write every host operation the module calls as a JSON line;\n"
    "                      - for standard output (drawings then go to standard error)\n"
    "                        --trace trace.jsonl\n"
    "  --batch             never wait for the user, even on a terminal\n"
    "                        --batch\n"
    "  --quiet             draw nothing; only errors are written\n"
    "                        --quiet\n"
    "  --help              this text\n"
    "                        --help\n"
    "\n"
    "Exit status: 0 done; 2 bad use (unknown option, missing or unusable module,\n"
    "unreadable directory); 3 the module broke the host's contract (a screen image\n"
    "restored twice, unknown or never restored, or a panel record the host did not\n"
    "hand out).\n";

static int BadUse(const std::string &message) {
    fprintf(stderr, "sumbrel-host: %s\n", message.c_str());
    return ExitBadUse;
}

static bool ParseDialogAnswer(const std::string &text, int32_t &answer) {
    static const struct {
        const char *Name;
        int32_t Answer;
    } names[] = {{"verify", MainDialogVerifyButton},
                 {"create", MainDialogCreateButton},
                 {"close", MainDialogCloseButton},
                 {"cancel", DialogCancelled}};
    for (const auto &name : names)
        if (text == name.Name) {
            answer = name.Answer;
            return true;
        }
    char *end;
    errno = 0;
    long number = strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || errno || number < INT32_MIN || number > INT32_MAX)
        return false;
    answer = (int32_t)number;
    return true;
}

static bool ParseSize(const std::string &text, uint32_t &size) {
    char *end;
    errno = 0;
    unsigned long long number = strtoull(text.c_str(), &end, 0);
    if (text.empty() || text[0] == '-' || *end || errno || number > UINT32_MAX)
        return false;
    size = (uint32_t)number;
    return true;
}

static bool ParseNoticeKeys(const std::string &text, std::vector<std::string> &keys) {
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos)
            comma = text.size();
        std::string key = text.substr(start, comma - start);
        bool number = !key.empty() && key.size() < 4 &&
                      key.find_first_not_of("0123456789") == std::string::npos;
        if (!number && key != "enter" && key != "esc" && key != "f1")
            return false;
        keys.push_back(key);
        start = comma + 1;
    }
    return true;
}

static bool ParseOptions(int argc, char **argv, Options &options, std::string &error) {
    for (int i = 1; i < argc; i++) {
        std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            options.Help = true;
            continue;
        }
        if (option == "--batch") {
            options.Batch = true;
            continue;
        }
        if (option == "--quiet") {
            options.Quiet = true;
            continue;
        }
        if (option == "--keys-mid-file") {
            options.KeysMidFile = true;
            continue;
        }
        if (option == "--escape-notices") {
            options.EscapeNotices = true;
            continue;
        }
        static const char *const withValue[] = {
            "--module",  "--dir",          "--select",       "--cursor",     "--lang",
            "--command", "--startup-size", "--stack-offset", "--keys",       "--keys-at",
            "--trace",   "--dialog",       "--name",         "--notice-keys"};
        // --name=TEXT is --name TEXT; it also carries an empty text through
        // wrappers that drop empty arguments.
        size_t equals = option.compare(0, 2, "--") == 0 ? option.find('=') : std::string::npos;
        bool joined = equals != std::string::npos;
        std::string value = joined ? option.substr(equals + 1) : std::string();
        if (joined)
            option.erase(equals);
        bool known = false;
        for (const char *name : withValue)
            known = known || option == name;
        if (joined && (option == "--help" || option == "--batch" || option == "--quiet" ||
                       option == "--keys-mid-file" || option == "--escape-notices")) {
            error = option + " takes no value";
            return false;
        }
        if (!known) {
            error = (option.compare(0, 1, "-") == 0 ? "unknown option " : "unexpected argument ") +
                    option;
            return false;
        }
        if (!joined && i + 1 >= argc) {
            error = option + " needs a value";
            return false;
        }
        if (!joined)
            value = argv[++i];
        if (option == "--module")
            options.ModulePath = value;
        else if (option == "--dir")
            options.Directory = value;
        else if (option == "--select")
            options.Selected.push_back(value);
        else if (option == "--cursor")
            options.Cursor = value;
        else if (option == "--lang")
            options.Language = value;
        else if (option == "--command") {
            options.HasCommand = true;
            options.Command = value;
        } else if (option == "--startup-size") {
            if (!ParseSize(value, options.StartupSize)) {
                error = "--startup-size wants a number from 0 to 4294967295, not " + value;
                return false;
            }
        } else if (option == "--stack-offset") {
            if (!ParseSize(value, options.StackOffset) ||
                !ChooseEntryStackOffset(options.StackOffset)) {
                error = "--stack-offset wants 0, 4, 8 or 12 (0 on a 64-bit build), not " + value;
                return false;
            }
        } else if (option == "--keys") {
            options.HasKeys = true;
            options.Keys = value;
        } else if (option == "--keys-at") {
            if (!ParseSize(value, options.KeysAtNotice) || options.KeysAtNotice == 0) {
                error = "--keys-at wants a notice number from 1, not " + value;
                return false;
            }
        } else if (option == "--trace") {
            if (value.empty()) {
                error = "--trace needs a file name or -";
                return false;
            }
            options.TracePath = value;
        } else if (option == "--dialog") {
            options.HasDialogAnswer = true;
            if (!ParseDialogAnswer(value, options.DialogAnswer)) {
                error = "--dialog wants verify, create, close, cancel or a number, not " + value;
                return false;
            }
        } else if (option == "--notice-keys") {
            if (!ParseNoticeKeys(value, options.NoticeKeys)) {
                error =
                    "--notice-keys wants enter, esc, f1 or numbers, comma-separated, not " + value;
                return false;
            }
        } else if (option == "--name") {
            options.HasName = true;
            options.Name = value;
        }
    }
    return true;
}

// Fills the panel from the directory and applies --select and --cursor.
static bool PreparePanel(const Options &options, std::string &error) {
    if (!EnterDirectory(options.Directory)) {
        error = "cannot enter the directory " + options.Directory;
        return false;
    }
    std::vector<PanelEntry> entries;
    if (!ListCurrentDirectory(entries)) {
        error = "cannot read the directory " + options.Directory;
        return false;
    }
    Panel &panel = Side.ActivePanel;
    panel.Directory = CurrentDirectory();
    SetPanelEntries(panel, entries);
    for (const std::string &name : options.Selected) {
        int32_t index = FindPanelItem(panel, name);
        if (index < 0) {
            error = "--select: no item " + name + " on the panel";
            return false;
        }
        SetSelected(panel.Items[index], true);
    }
    panel.Cursor = FindPanelItem(panel, options.Cursor);
    if (panel.Cursor < 0) {
        error = "--cursor: no item " + options.Cursor + " on the panel";
        return false;
    }
    return true;
}

struct ModuleEntries {
    SetStartupInfoFn SetStartupInfo;
    GetPluginInfoFn GetPluginInfo;
    OpenPluginFn OpenPlugin;
};

static bool LoadEntries(const std::string &path, ModuleEntries &entries, std::string &error) {
    void *module = LoadModule(path.c_str());
    if (!module) {
        error = "cannot load the module " + path + ": " + ModuleLoadError();
        return false;
    }
    entries.SetStartupInfo = (SetStartupInfoFn)FindExport(module, "SetStartupInfo");
    entries.GetPluginInfo = (GetPluginInfoFn)FindExport(module, "GetPluginInfo");
    entries.OpenPlugin = (OpenPluginFn)FindExport(module, "OpenPlugin");
    if (!entries.SetStartupInfo || !entries.GetPluginInfo || !entries.OpenPlugin) {
        error = path + " lacks SetStartupInfo, GetPluginInfo or OpenPlugin";
        return false;
    }
    return true;
}

// The menu path asks for the plug-in's menu entry first, as the host does
// when it builds its plug-in menu.
static void ShowPluginMenu(const ModuleEntries &entries) {
    PluginInfoRecord info, before;
    memset(&info, 0, sizeof info);
    before = info;
    CallGetPluginInfo(entries.GetPluginInfo, &info);
    TraceLine(PluginInfoTraceLine(before, info));
    bool untouched = memcmp(&before, &info, sizeof info) == 0;
    if (untouched || info.MenuStringCount < 1 || !info.MenuStrings || !info.MenuStrings[0]) {
        Draw("The module published no menu entry.\n");
        return;
    }
    Draw(std::string("Menu entry: ") + info.MenuStrings[0] +
         "\nPrefix: " + (info.CommandPrefix ? info.CommandPrefix : "(none)") + "\n");
}

// Reports what the module left undone and returns the exit status.
static int FinishRun(void *result, const Options &options) {
    size_t unrestored = CloseSimulatedHost();
    TraceLine(JsonEndLine((int64_t)(intptr_t)result, SelectedNames(Side.ActivePanel), unrestored,
                          SelectedShortNames(Side.ActivePanel),
                          (int64_t)Session.ThreadsAfter - (int64_t)Session.ThreadsBefore,
                          (int64_t)Session.HandlesAfter - (int64_t)Session.HandlesBefore));
    if (Session.Trace && Session.Trace != stdout)
        fclose(Session.Trace);
    if (options.TracePath.empty() && Side.Drawing)
        Draw(DrawPanel(Side.ActivePanel));
    return HostContractKept() ? 0 : ExitContractBroken;
}

int main(int argc, char **argv) {
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error))
        return BadUse(error + " (see --help)");
    if (options.Help) {
        std::string help = HelpText;
        help.replace(help.find("@SIZE@"), 6, std::to_string(sizeof(StartupRecord)));
        fputs(help.c_str(), stdout);
        return 0;
    }
    std::string folder = ProgramFolder();
    std::vector<KeyPress> keys;
    std::string badKey;
    if (options.HasKeys && !ParseKeyList(options.Keys, keys, badKey))
        return BadUse("--keys: unknown key \"" + badKey + "\"");
    std::string messagePath = folder + "/Sumbrel" + options.Language + ".lng";
    if (!LoadMessageFile(messagePath, Side.Messages))
        return BadUse("cannot read the message file " + messagePath);
    std::string helpPath = folder + "/Sumbrel" + options.Language + ".hlf";
    if (!LoadHelpTopics(helpPath, Side.HelpTopics))
        return BadUse("cannot read the help file " + helpPath);
    // Opened before the panel's directory becomes the current one, so a
    // relative name is where the caller meant it.
    if (options.TracePath == "-")
        Session.Trace = stdout;
    else if (!options.TracePath.empty()) {
        Session.Trace = fopen(options.TracePath.c_str(), "wb");
        if (!Session.Trace)
            return BadUse("cannot write the trace " + options.TracePath);
    }
    Side.Drawing = options.Quiet ? nullptr : options.TracePath == "-" ? stderr : stdout;
    ModuleEntries entries;
    std::string modulePath =
        options.ModulePath.empty() ? folder + "/" + ModuleFileName : options.ModulePath;
    if (!LoadEntries(modulePath, entries, error) || !PreparePanel(options, error))
        return BadUse(error);

    Side.ModuleNumber = HostModuleNumber;
    Side.RereadsDirectory = true;
    Side.ProblemStream = stderr;
    Side.HasDialogAnswer = options.HasDialogAnswer;
    Side.DialogAnswer = options.DialogAnswer;
    Side.HasDialogName = options.HasName;
    Side.EscapeNotices = options.EscapeNotices;
    Side.NoticeKeys = options.NoticeKeys;
    Side.DialogName = options.Name;
    // Typed-ahead keys are the input; asking the user as well would eat them.
    Side.Interactive = !options.Batch && !options.HasKeys && InputIsInteractive();
    StartSessionHooks();

    StartupRecord startup = HostStartupRecord(options.StartupSize);
    CallSetStartupInfo(entries.SetStartupInfo, &startup);
    std::vector<char> command(options.Command.begin(), options.Command.end());
    command.push_back(0);
    if (!options.HasCommand)
        ShowPluginMenu(entries);
    if (options.KeysAtNotice > 0) {
        Session.KeysAtNotice = options.KeysAtNotice;
        Session.KeysMidFile = options.KeysMidFile;
        Session.PendingKeys = keys;
        keys.clear();
    }
    if (options.HasKeys && !StartKeyInput(keys, error))
        return BadUse("--keys: " + error);
    if (!options.HasKeys)
        EnterModuleInputMode();
    CountThreadsAndHandles(&Session.ThreadsBefore, &Session.HandlesBefore);
    void *result = options.HasCommand ? CallOpenPlugin(entries.OpenPlugin, OpenFromCommandLine,
                                                       reinterpret_cast<intptr_t>(command.data()))
                                      : CallOpenPlugin(entries.OpenPlugin, OpenFromPluginMenu, 0);
    CountThreadsAndHandles(&Session.ThreadsAfter, &Session.HandlesAfter);
    StopKeyInput();
    LeaveModuleInputMode();
    return FinishRun(result, options);
}
