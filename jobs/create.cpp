// Signature creation: one entry line per file of the active panel, and
// per file below its folders, named with '/' between the parts, by the
// algorithm the signature file's ending asks for (".sha256", ".sfv" and the
// others of the table of digests, else MD5), in the form that digest's own
// tool checks. The list is
// written to a new file that replaces the named one only when it holds
// entries and every write succeeded, and only a file that is empty or a
// signature list is ever replaced.
#include <stdlib.h>
#include <string.h>

#include "host/host.h"
#include "jobs/escape.h"
#include "jobs/file_digest.h"
#include "jobs/folder_walk.h"
#include "jobs/jobs.h"
#include "jobs/listed_names.h"
#include "jobs/notices.h"
#include "platform/platform.h"
#include "platform/system_calls.h"
#include "signature/encoding.h"
#include "signature/format.h"
#include "signature/list_reader.h"

// Which items the run goes through: the selected ones, else the one under
// the cursor, or every item when the cursor is on "..". first and last
// bound them; selectedOnly says whether only selected items among them count.
struct RunItems {
    int first, last;
    bool selectedOnly;
    bool wholePanel;
};

// Everything one creation run knows, passed down its steps.
struct CreationRun {
    PanelInfoRecord record;
    RunItems items;
    int targets[2];       // the run's items that are the target itself, or -1
    StrayNames *strays;   // the folder's names its items do not lead back to
    int32_t *resolutions; // per item, how its file was found; null: ask again
    bool inUtf8;          // some name to be written is beyond the code page
    DigestAlgorithm algorithm;
    int entriesWritten;
    uint32_t filesToList; // the files of the run, as the survey found them
    DigestEngine engine;
    RunProgress progress;
    // The panel's folders are walked one at a time as their turn comes.
    int nextItem;      // the next item to give the engine
    bool walking;      // nextItem is a folder being walked
    bool walkFailed;   // a walk could not go on: the run ends after its notice
    size_t walkMemory; // the most a folder's walk held in the survey
    FolderWalk walk;
    FileIdentity skipped[WalkSkippedMost]; // the old list and the new one
    uint32_t skippedCount;
};

static RunItems ItemsToList(const PanelInfoRecord *record) {
    RunItems items = {0, -1, true, false};
    for (int i = 0; i < record->ItemCount; i++)
        if (record->Items[i].Flags & ItemSelectedFlag) {
            items.last = record->ItemCount - 1;
            return items;
        }
    items.selectedOnly = false;
    int cursor = record->CurrentItem;
    if (cursor < 0 || cursor >= record->ItemCount)
        return items;
    if (strcmp(record->Items[cursor].Name, "..") == 0) {
        items.last = record->ItemCount - 1;
        items.wholePanel = true;
    } else {
        items.first = items.last = cursor;
    }
    return items;
}

static bool IsFolder(const PanelItemRecord *item) {
    return (item->Attributes & DirectoryAttribute) != 0;
}

// True for an item of the run: a file to list or a folder to walk.
static bool IsRunItem(const CreationRun *run, int index) {
    const PanelItemRecord *item = &run->record.Items[index];
    return strcmp(item->Name, "..") != 0 &&
           (!run->items.selectedOnly || (item->Flags & ItemSelectedFlag));
}

// True for an item of the run that is a file to list.
static bool IsRunFile(const CreationRun *run, int index) {
    return IsRunItem(run, index) && !IsFolder(&run->record.Items[index]);
}

static bool IsTarget(const CreationRun *run, int index) {
    return index == run->targets[0] || index == run->targets[1];
}

static bool RunItemFileName(const CreationRun *run, int index, char *name, size_t size,
                            NameEncoding *encoding) {
    const PanelItemRecord *item = &run->record.Items[index];
    int32_t resolution =
        run->resolutions ? run->resolutions[index] : ResolveItem(run->strays, item);
    return ResolvedItemName(run->strays, item, resolution, name, size, encoding);
}

// What an existing target holds, read before anything is written.
enum TargetContents { TargetIsNew, TargetIsList, TargetIsEmpty, TargetIsText, TargetUnreadable };

// How much of an existing target is read to tell what it holds: a list's
// header and first entry fit many times over, and a disk image typed by
// mistake is not read through.
static const uint32_t TargetLookBytes = 16 * 1024;

// A file is a signature list when its first line that is neither blank nor
// a comment is an entry, in any encoding a list is read in, within its
// first TargetLookBytes. It is empty only when it holds no byte at all: a
// file of NULs, of 0x1A or of blanks holds what a user put there, as does
// any other, and is never replaced.
static TargetContents ContentsOfTarget(const char *fileName, FileProblem *problem) {
    ListReader list;
    if (!OpenListStart(&list, fileName, TargetLookBytes, PollEscapeWhenDue)) {
        // No file yet, or a link to a list not made yet, holds nothing to
        // lose; a folder, a device or a locked file is no list to replace.
        *problem = WhyNotOpened(fileName, NameInCodePage);
        return *problem == ProblemNotFound ? TargetIsNew : TargetUnreadable;
    }
    TargetContents contents = list.taken == 0 ? TargetIsEmpty : TargetIsText;
    bool decided = contents == TargetIsEmpty;
    char line[SignatureLineSize];
    while (!decided && !AbortRequested) {
        decided = !ReadListLine(&list, line, sizeof line);
        PollEscapeWhenDue();
        SignatureEntry entry;
        if (!decided && !IsBlankOrComment(line)) {
            decided = true;
            // A list of any digest is a list, computed here or not.
            if (SplitSignatureLine(line, ListNamingOf(fileName), &entry))
                contents = TargetIsList;
        }
    }
    // A look cut short by Escape decides nothing: the run stops before
    // anything is replaced, as over an empty file.
    if (!decided)
        contents = TargetIsEmpty;
    if (ListReadFailed(&list)) {
        *problem = ProblemCannotRead;
        contents = TargetUnreadable;
    }
    CloseList(&list);
    return contents;
}

// The items of the run that are the target itself. The signature file is
// never listed in itself: its entry would carry the digest of the file it
// replaces and never match again. The typed name may be a short 8.3 name,
// differ in letter case or carry a folder part, so the target's own entry
// in its folder picks the candidates by the name the panel lists, and
// identity on disk decides.
static void FindTargetItems(CreationRun *run, const char *fileName) {
    run->targets[0] = run->targets[1] = -1;
    char listed[PanelItemNameSize];
    if (!NameInDirectory(fileName, NameInCodePage, listed, sizeof listed))
        return;
    int found = 0;
    for (int i = run->items.first; i <= run->items.last && found < 2; i++) {
        char name[3 * PanelItemNameSize];
        NameEncoding encoding;
        if (IsRunFile(run, i) &&
            strncmp(run->record.Items[i].Name, listed, PanelItemNameSize) == 0 &&
            RunItemFileName(run, i, name, sizeof name, &encoding) &&
            SameFileAsListed(name, encoding, fileName, NameInCodePage))
            run->targets[found++] = i;
    }
}

// A pass over the panel before the first file is read shows the item it
// is on once it lasts long enough for a user to wait on it.
struct PassNotice {
    uint64_t startedAt, shownAt;
    ProgressNotice notice; // its screen is null until it is shown
};

static void ShowPassNotice(PassNotice *pass, const char *name) {
    const uint64_t RedrawInterval = 100 * 1000;
    uint64_t now = MonotonicMicroseconds();
    if (now - (pass->notice.screen ? pass->shownAt : pass->startedAt) < RedrawInterval)
        return;
    if (pass->notice.screen)
        RemoveProgressNotice(&pass->notice);
    ShowProgressNotice(&pass->notice, MessageCreatingLine, name);
    pass->shownAt = now;
}

// Counts the files below a folder of the run and tells whether a name
// among them is beyond the code page: the list's one encoding is chosen
// before its first line. The signature file among them is counted too.
// False, after the folder's file error notice, when the walk could not go
// through: the count and the encoding would be guesses.
static bool SurveyFolder(CreationRun *run, int index, PassNotice *pass) {
    char name[3 * PanelItemNameSize];
    NameEncoding encoding;
    if (!RunItemFileName(run, index, name, sizeof name, &encoding))
        return true;
    FolderWalk walk;
    WalkStep step = {WalkFailed, name, encoding, ProblemNoMemory};
    if (StartFolderWalk(&walk, name, encoding, PollEscapeWhenDue, nullptr, 0)) {
        for (step = NextWalkStep(&walk); step.kind != WalkEnd && step.kind != WalkFailed;
             step = NextWalkStep(&walk)) {
            ShowPassNotice(pass, run->record.Items[index].Name);
            if (step.kind != WalkFile)
                continue;
            run->filesToList++;
            run->inUtf8 = run->inUtf8 || step.encoding == NameInUtf8;
        }
    }
    if (step.kind == WalkFailed)
        ReportFileErrorAbout(step.name, step.encoding, step.problem);
    if (walk.mostHeld > run->walkMemory)
        run->walkMemory = walk.mostHeld;
    EndFolderWalk(&walk);
    return step.kind != WalkFailed;
}

// Before the first file is read: resolves each item's file once for the
// run, where the folder has names its listing does not lead back to, and
// surveys the folders to walk; both tell whether the list is written in
// UTF-8 because a name to be written is beyond the code page.
static void SurveyRunItems(CreationRun *run) {
    if (run->items.last < 0)
        return;
    if (run->strays)
        run->resolutions =
            static_cast<int32_t *>(malloc((size_t)(run->items.last + 1) * sizeof(int32_t)));
    PassNotice pass;
    pass.startedAt = MonotonicMicroseconds();
    pass.notice.screen = nullptr;
    for (int i = run->items.first; i <= run->items.last && !AbortRequested; i++) {
        if (!IsRunItem(run, i) || IsTarget(run, i))
            continue;
        PollEscapeWhenDue();
        ShowPassNotice(&pass, run->record.Items[i].Name);
        if (run->strays) {
            int32_t resolution = ResolveItem(run->strays, &run->record.Items[i]);
            if (run->resolutions)
                run->resolutions[i] = resolution;
            if (resolution >= 0)
                run->inUtf8 = true;
        }
        // A walk that failed is a failed run: it ends as one stopped here.
        if (IsFolder(&run->record.Items[i])) {
            if (!SurveyFolder(run, i, &pass))
                AbortRequested = 1;
        } else
            run->filesToList++;
    }
    if (pass.notice.screen)
        RemoveProgressNotice(&pass.notice);
}

// Gives the engine the item's file; an item that two files answer to is
// given unread, to be told of in its turn: neither is guessed.
static void GiveRunItem(CreationRun *run, int index) {
    PanelItemRecord *item = &run->record.Items[index];
    char name[3 * PanelItemNameSize];
    NameEncoding encoding;
    if (RunItemFileName(run, index, name, sizeof name, &encoding))
        GiveFile(&run->engine, index, name, encoding, run->algorithm,
                 DigestTextLength(run->algorithm));
    else
        GiveUnread(&run->engine, index, item->Name, NameInCodePage, ProblemTwoFilesFit);
}

// Starts the walk of the item's folder; false when there is nothing to walk.
static bool StartRunWalk(CreationRun *run, int index) {
    char name[3 * PanelItemNameSize];
    NameEncoding encoding;
    if (!RunItemFileName(run, index, name, sizeof name, &encoding)) {
        GiveUnread(&run->engine, index, run->record.Items[index].Name, NameInCodePage,
                   ProblemTwoFilesFit);
        return false;
    }
    if (StartFolderWalk(&run->walk, name, encoding, PollEscapeWhenDue, run->skipped,
                        run->skippedCount))
        return true;
    EndFolderWalk(&run->walk);
    GiveUnread(&run->engine, index, name, encoding, ProblemNoMemory);
    run->walkFailed = true;
    return false;
}

// Gives the engine the walk's next file, or tells of a folder it could
// not list; false at the walk's end.
static bool GiveWalkStep(CreationRun *run) {
    WalkStep step = NextWalkStep(&run->walk);
    if (step.kind == WalkFailed) {
        // The failure is the last thing given: its notice ends the run.
        GiveUnread(&run->engine, run->nextItem, step.name, step.encoding, step.problem);
        run->walkFailed = true;
    }
    if (step.kind == WalkEnd || step.kind == WalkFailed) {
        EndFolderWalk(&run->walk);
        return false;
    }
    // A name beyond the code page is no entry of a list written in it (a
    // file made since the survey); it is told of rather than written wrong,
    // as is one too long for a list's line.
    if (step.kind == WalkFolderUnread)
        GiveUnread(&run->engine, run->nextItem, step.name, step.encoding, step.problem);
    else if (strlen(step.name) > LongestEntryName)
        GiveUnread(&run->engine, run->nextItem, step.name, step.encoding, ProblemNameTooLong);
    else if (step.encoding == NameInUtf8 && !run->inUtf8)
        GiveUnread(&run->engine, run->nextItem, step.name, step.encoding, ProblemBeyondCodePage);
    else
        GiveFile(&run->engine, run->nextItem, step.name, step.encoding, run->algorithm,
                 DigestTextLength(run->algorithm));
    return true;
}

// Gives the engine the run's files, the panel's items in order and the
// files below each folder in the walk's order, while it has room.
static void GiveRunFiles(CreationRun *run) {
    while (EngineHasRoom(&run->engine) && !AbortRequested && !run->walkFailed) {
        if (run->walking) {
            if (!GiveWalkStep(run)) {
                run->walking = false;
                run->nextItem++;
            }
            continue;
        }
        if (run->nextItem > run->items.last)
            return;
        int index = run->nextItem;
        if (!IsRunItem(run, index) || IsTarget(run, index))
            run->nextItem++;
        else if (!IsFolder(&run->record.Items[index]))
            GiveRunItem(run, run->nextItem++);
        else if (StartRunWalk(run, index))
            run->walking = true;
        else
            run->nextItem++;
    }
}

static void TakeRunItem(CreationRun *run, const EngineResult *result, FILE *stream) {
    CountRunFile(&run->progress, result->bytes);
    if (!result->read) {
        EngineWait wait = {result->number, result->name, result->encoding, 0, -1, false};
        ShowRunProgress(&run->progress, &wait, true);
        ReportFileErrorAbout(result->name, result->encoding, result->problem);
        return;
    }
    // The real name is written, in the list's one encoding; a name whose
    // UTF-8 form is too long for a line is told of, not written wrong.
    char written[LongestEntryName + 1];
    const char *listed = result->name;
    if (run->inUtf8) {
        if (!NameInUtf8Form(result->name, result->encoding, written, sizeof written)) {
            ReportFileErrorAbout(result->name, result->encoding, ProblemNameTooLong);
            return;
        }
        listed = written;
    }
    // A name the digest's form cannot hold (an .sfv line has no escapes)
    // is told of, as one too long is.
    if (!WriteSignatureEntry(stream, run->algorithm, result->text, listed)) {
        ReportFileErrorAbout(result->name, result->encoding, ProblemUntold);
        return;
    }
    run->entriesWritten++;
}

// Digests the run's files into the list, in the panel's order; returns the
// item Escape cut, or -1 when the run went through. Until the list has
// taken the target's name nothing has been listed, so selections are
// cleared afterwards.
static int DigestRunItems(CreationRun *run, FILE *stream) {
    run->progress.filesTotal = run->filesToList;
    WaitReport report = {ShowRunWait, &run->progress};
    run->nextItem = run->items.first;
    for (;;) {
        GiveRunFiles(run);
        EngineResult result;
        if (AbortRequested || !NextResult(&run->engine, &result, &report))
            break;
        TakeRunItem(run, &result, stream);
        // A failed walk was the last given: once it is told of, the run ends
        // as a stopped one, its folder not dealt with.
        int64_t waiting;
        if (run->walkFailed && !OldestWaiting(&run->engine, &waiting))
            AbortRequested = 1;
        // A file left when Escape came was not dealt with: its item stays
        // selected, to be signed again with the ones not reached.
        if (AbortRequested)
            return (int)result.tag;
    }
    if (run->walking)
        EndFolderWalk(&run->walk);
    int64_t waiting;
    if (AbortRequested && OldestWaiting(&run->engine, &waiting))
        return (int)waiting;
    // Escape while a folder was walked, with nothing given waiting.
    return AbortRequested ? run->nextItem : -1;
}

// The selection after a run with no old list to keep: the files dealt with
// are deselected; a run over the panel or the cursor's item cut short
// selects what its list lacks, as a run over a selection leaves it selected.
static void MarkWhatTheListLacks(CreationRun *run, int stoppedAt) {
    PanelItemRecord *items = run->record.Items;
    int dealtWith = stoppedAt >= 0 ? stoppedAt : run->items.last + 1;
    if (run->items.selectedOnly) {
        for (int i = run->items.first; i < dealtWith; i++)
            items[i].Flags &= ~ItemSelectedFlag;
    } else if (stoppedAt >= 0) {
        for (int i = stoppedAt; i <= run->items.last; i++)
            if (IsRunItem(run, i) && !IsTarget(run, i))
                items[i].Flags |= ItemSelectedFlag;
    }
    HostPanelCommand(PanelApplySelection, &run->record);
}

static void ShowNoticeAbout(int32_t messageId, const char *fileName) {
    const char *lines[2] = {HostText(messageId), fileName};
    ShowClosingNotice(messageId, lines, 2, false);
}

static void WriteList(CreationRun *run, const char *fileName, bool overAList) {
    SignatureOutput output;
    bool bare = DigestRow(run->algorithm)->BareList;
    if (!StartSignatureOutput(&output, fileName, bare ? LfLineEnds : CrLfLineEnds)) {
        ReportFileError(fileName, ProblemNotWritten);
        return;
    }
    run->strays = ListStrayNames(&run->record);
    FindTargetItems(run, fileName);
    // A walk passes over the list it replaces and the new one.
    if (FileIdentityOf(fileName, NameInCodePage, &run->skipped[run->skippedCount]))
        run->skippedCount++;
    if (NewFileIdentity(&output, &run->skipped[run->skippedCount]))
        run->skippedCount++;
    SurveyRunItems(run);
    // The mark tells every reader the names are UTF-8; md5sum -c takes
    // the line it begins as no entry, as it does the header.
    if (run->inUtf8)
        fputs("\xEF\xBB\xBF", output.stream);
    if (!bare)
        WriteSignatureHeader(output.stream);
    int stoppedAt = run->items.first;
    if (!AbortRequested) {
        char folder[4096];
        // The engine takes what memory it can get for its buffers; the walks
        // come after it, so the room the survey's walks needed is set aside
        // first and given back for them, with a folder listing's own.
        const size_t ListingRoom = 64 * 1024;
        void *walkRoom = System.allocate(run->walkMemory + ListingRoom);
        StartDigestEngine(&run->engine, CurrentFolder(folder, sizeof folder) ? folder : ".", 0);
        System.release(walkRoom);
        StartRunProgress(&run->progress, MessageCreatingLine, EngineFilesAtOnce(&run->engine) == 1);
        stoppedAt = DigestRunItems(run, output.stream);
        EndRunProgress(&run->progress);
        StopDigestEngine(&run->engine);
    }
    free(run->resolutions);
    FreeStrayNames(run->strays);

    // A list cut short by Escape never replaces a whole one: the old list
    // is the only record of the files the run did not reach.
    bool keepOld = AbortRequested && overAList;
    bool listed = run->entriesWritten > 0;
    bool written = FinishSignatureOutput(&output, listed && !keepOld);
    if (keepOld) {
        ShowNoticeAbout(MessageOldListKept, fileName);
    } else if (listed && !written) {
        ReportFileError(fileName, ProblemNotWritten);
    } else if (!listed && AbortRequested) {
        // Stopped before any entry: no list, and what it would lack is marked.
        ShowNoticeAbout(MessageStoppedNothingListed, fileName);
        MarkWhatTheListLacks(run, stoppedAt);
    } else if (!listed) {
        ShowNoticeAbout(MessageNothingListed, fileName);
    } else {
        MarkWhatTheListLacks(run, stoppedAt);
    }
}

void CreateSignatures(const char *fileName) {
    CreationRun run;
    memset(&run, 0, sizeof run);
    HostPanelCommand(PanelGetInfo, &run.record);
    run.items = ItemsToList(&run.record);
    run.algorithm = AlgorithmForSignatureFile(fileName);

    // An empty name names no file, not the current folder's new file.
    FileProblem problem = ProblemNotFound;
    if (LeadsIntoDevices(fileName))
        problem = ProblemNotReached;
    TargetContents contents = fileName[0] != '\0' && problem != ProblemNotReached
                                  ? ContentsOfTarget(fileName, &problem)
                                  : TargetUnreadable;
    if (contents == TargetUnreadable) {
        ReportFileError(fileName, problem);
    } else if (contents == TargetIsText) {
        // Replacing a data file named by mistake would lose its contents.
        ShowNoticeAbout(MessageTargetIsListed, fileName);
    } else if (AbortRequested && contents != TargetIsNew) {
        // Escape while the target was looked through.
        ShowNoticeAbout(MessageOldListKept, fileName);
    } else {
        WriteList(&run, fileName, contents == TargetIsList);
    }
    // Non-zero: keep the selection just applied while the new file is listed.
    HostPanelCommand(PanelRefresh, &run.record);
    HostPanelCommand(PanelRedraw, nullptr);
}
