// The host's side of the plug-in interface, shared by every program that
// plays the host: the development host, the unit tests' recording host, the
// fuzz host and the benchmark's null host. It keeps the active panel and
// hands the module copies of its items, takes a selection back only from an
// array it handed out, keeps the ledger of saved screens, serves the texts,
// draws notices and the dialog when asked to, and notes every breach of the
// host's contract. Each program adds only what it records or measures,
// through the hooks.
#pragma once

#include <stdio.h>
#include <string>
#include <vector>

#include "devhost/panel.h"
#include "devhost/screens.h"
#include "host/records.h"

// More texts, dialog items or menu entries than this are a module fault, not
// a request: a host takes no more.
const int32_t HostListLimit = 256;

// A notice as the module asked for it; Listed holds its texts, at most
// HostListLimit of them.
struct NoticeCall {
    int32_t Module;
    uint32_t Flags;
    const char *Help;
    const char *const *Texts;
    int32_t TextCount;
    int32_t Buttons;
    std::vector<const char *> Listed;
};

// A dialog as the module asked for it; Listed is how many of its items a
// host takes.
struct DialogCall {
    int32_t Module;
    int32_t X1, Y1, X2, Y2;
    const char *Help;
    DialogItemRecord *Items;
    int32_t ItemCount;
    int32_t Listed;
};

// What a program adds to the host's operations; any of them may be null.
// Each gets the arguments as the module passed them and whether the call
// kept the host's contract. The text, notice, panel and dialog hooks run
// before the host acts; the screen hooks and DialogClosed after it, with
// what it gave.
struct HostHooks {
    void (*FetchMessageText)(int32_t module, int32_t messageId, bool kept);
    void (*ShowMessageBox)(const NoticeCall &call, bool kept);
    void (*PanelCommand)(void *panel, int32_t command, void *argument, bool kept);
    void (*SaveScreenImage)(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uintptr_t handle);
    void (*RestoreScreenImage)(uintptr_t handle, bool kept);
    void (*RunDialog)(const DialogCall &call, bool kept);
    void (*DialogClosed)(const DialogCall &call, int32_t result);
    void (*HelpOpened)(const char *topic); // F1 on a notice
};

struct SimulatedHost {
    int32_t ModuleNumber;
    std::vector<std::string> Messages; // served by FetchMessageText
    const char *UnknownText = "";      // served for a number without a text
    Panel ActivePanel;
    // PanelRefresh lists the current directory afresh; otherwise the panel
    // keeps its items and a refresh only drops or keeps the selection.
    bool RereadsDirectory;
    ScreenLedger Screens;
    FILE *Drawing;                          // notices, the dialog and redraws; null draws nothing
    bool Interactive;                       // notices wait for Enter and the dialog asks
    bool HasDialogAnswer;                   // answer with DialogAnswer even when interactive
    int32_t DialogAnswer = DialogCancelled; // the answer when not asking
    bool EscapeNotices; // notices that wait for a key are closed with Escape (-1)
    // Keys pressed on the notices that wait, one a key, before the above:
    // "enter", "esc", a button's number from 0, or "f1", which opens the
    // notice's help topic and leaves the notice waiting for the next key.
    std::vector<std::string> NoticeKeys;
    size_t NoticeKeysTaken;
    // The topics of the module's help file. A notice or a dialog must name
    // one of them; empty: no help file was read, and any topic is taken.
    std::vector<std::string> HelpTopics;
    bool HasDialogName; // put DialogName into the edit field
    std::string DialogName;
    // Breaches of the host contract other than the screen images'.
    std::vector<std::string> Problems;
    FILE *ProblemStream; // where breaches are told as they happen; null: nowhere
    HostHooks Hooks;
};

// The one simulated host of this program.
extern SimulatedHost Side;

// A startup record of the host's operations with the given size field.
StartupRecord HostStartupRecord(uint32_t size);

// Notes a breach of the host contract and tells it on the problem stream.
void ReportProblem(const std::string &problem);

void Draw(const std::string &text);

// Whether a notice or the dialog may name this help topic; false also for
// none at all.
bool KnownHelpTopic(const char *topic);

// F1: the host opens its help at the topic, drawn as "Help: topic".
void OpenHelp(const char *topic);

// The answer the dialog's items give for a typed choice: an item index,
// DialogCancelled, or -2 when the choice names nothing.
int32_t DialogChoice(const DialogItemRecord *items, int32_t count, const std::string &typed);

// At the end of a run: notes the screen images never restored, tells them,
// and returns how many there are.
size_t CloseSimulatedHost();

// Whether the module kept the host's contract so far.
bool HostContractKept();
