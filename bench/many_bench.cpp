// Many-files benchmark: the module's verification and creation over a run of
// many files, against the coreutils digest programs on the same files.
//
//   many-small          20,000 files of 4 KiB verified by OpenPlugin in this
//                       process (a host that does nothing) against md5sum -c
//                       of the same list
//   many-medium         2,000 files of 1 MiB, the same
//   many-medium-sha256  those files by a SHA-256 list against sha256sum -c
//   many-medium-b2      the same by a BLAKE2b list against b2sum -c
//   many-medium-sfv     the same by an SFV list (CRC32) against rhash --check
//   many-medium-b3      the same by a BLAKE3 list against b3sum -c
//   many-medium-sha512  the same by a SHA-512 list against sha512sum -c
//   many-create         creation over the whole panel of those files in this
//                       process against md5sum * > list
//   many-win32          the many-medium verification by the real DLL under
//                       Wine with a console against md5sum -c natively
//   b3-one-large        one file of 1 GiB by a BLAKE3 list against b3sum -c,
//                       which spreads the file's tree over its own threads
//
// A job that keeps several files in flight is paid for by the wall clock,
// not by one thread's processor time, so every side here is timed from start
// to end. Before each set's figures a line tells what bounds them, measured
// on the spot: cat of every file to /dev/null (the page cache's copy of the
// bytes) and an open and close of each file; under Wine, Wine's start-up,
// after its figure.
#include <ctype.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "bench/null_host.h"
#include "bench/run.h"
#include "devhost/simulated_host.h"
#include "digest/algorithm.h"
#include "host/host.h"

struct DataSet {
    const char *Folder; // under the data directory
    int Files;
    size_t FileSize;
    const char *What;
};
static const DataSet SmallSet = {"many-small-20000", 20000, 4096, "20,000 files of 4 KiB"};
static const DataSet MediumSet = {"many-medium-2000", 2000, 1u << 20, "2,000 files of 1 MiB"};
static const DataSet LargeSet = {"one-large-1g", 1, 1u << 30, "one file of 1 GiB"};

// Both lists are in md5sum's form, so module and peer read the same one.
static const char Md5List[] = "many.md5";
static const char Sha256List[] = "many.sha256";
static const char Blake2bList[] = "many.b2";
static const char SfvList[] = "many.sfv";
static const char Blake3List[] = "many.b3";
static const char Sha512List[] = "many.sha512";
static const char CreatedList[] = "sigfile.md5"; // the name creation offers
static const char PeerList[] = "list";

static std::string FileName(int index) {
    char name[32];
    snprintf(name, sizeof name, "f%05d.bin", index);
    return name;
}

static bool AddEntry(FILE *list, DigestAlgorithm algorithm, const std::vector<uint8_t> &bytes,
                     const std::string &name) {
    AlgorithmState state;
    AlgorithmStart(&state, algorithm);
    AlgorithmAdd(&state, bytes.data(), (uint32_t)bytes.size());
    char text[LongestDigestTextSize];
    AlgorithmEnd(&state, text, sizeof text);
    return fprintf(list, "%s  %s\n", text, name.c_str()) > 0;
}

// The files of pseudo-random bytes and their MD5 and SHA-256 lists. A marker
// written last tells a finished set from one cut short.
static bool MakeSet(const std::string &directory, const DataSet &set) {
    if (DataSetComplete(directory))
        return true;
    mkdir(directory.c_str(), 0777);
    FILE *md5 = fopen((directory + "/" + Md5List).c_str(), "wb");
    FILE *sha256 = fopen((directory + "/" + Sha256List).c_str(), "wb");
    if (!md5 || !sha256)
        return false;
    std::vector<uint8_t> bytes(set.FileSize);
    uint32_t seed = 4242;
    for (int i = 0; i < set.Files; i++) {
        seed = FillPseudoRandom(bytes.data(), bytes.size(), seed);
        std::string name = FileName(i);
        FILE *file = fopen((directory + "/" + name).c_str(), "wb");
        if (!file || fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() ||
            fclose(file) != 0 || !AddEntry(md5, AlgorithmMd5, bytes, name) ||
            !AddEntry(sha256, AlgorithmSha256, bytes, name))
            return false;
    }
    if (fclose(md5) != 0 || fclose(sha256) != 0)
        return false;
    return MarkDataSetComplete(directory);
}

// A list of the set's files in the form its tool writes, made from the
// files already there the first time it is asked for: b2sum's as md5sum's,
// SFV's with the name first and upper-case digits last.
static bool MakeList(const DataSet &set, DigestAlgorithm algorithm, const char *path, bool sfv) {
    if (access(path, R_OK) == 0)
        return true;
    std::string partial = std::string(path) + ".partial";
    FILE *list = fopen(partial.c_str(), "wb");
    if (!list)
        return false;
    std::vector<uint8_t> bytes(set.FileSize);
    bool written = true;
    for (int i = 0; i < set.Files && written; i++) {
        std::string name = FileName(i);
        FILE *file = fopen(name.c_str(), "rb");
        written = file && fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
        if (file)
            fclose(file);
        if (!written)
            break;
        if (!sfv) {
            written = AddEntry(list, algorithm, bytes, name);
            continue;
        }
        AlgorithmState state;
        AlgorithmStart(&state, algorithm);
        AlgorithmAdd(&state, bytes.data(), (uint32_t)bytes.size());
        char text[LongestDigestTextSize];
        AlgorithmEnd(&state, text, sizeof text);
        for (char *c = text; *c; c++)
            *c = (char)toupper((unsigned char)*c);
        written = fprintf(list, "%s %s\n", name.c_str(), text) > 0;
    }
    return fclose(list) == 0 && written && rename(partial.c_str(), path) == 0;
}

// SUMBREL_BENCH_ONLY=name,name runs only the figures named (their sets'
// limit lines with them).
static bool Wanted(const char *figure) {
    const char *only = getenv("SUMBREL_BENCH_ONLY");
    if (!only || !*only)
        return true;
    std::string list = std::string(",") + only + ",";
    return list.find(std::string(",") + figure + ",") != std::string::npos;
}

struct Job {
    std::vector<const char *> Argv;   // a program's; empty for the module in process
    const char *List;                 // the list verified in process; null: creation
    std::vector<std::string> Entries; // of the list the last creation made
    bool Failed;
};

static double RunProgramJob(void *context) {
    Job *job = static_cast<Job *>(context);
    double processor, wall;
    if (RunProgramOn(job->Argv.data(), -1, nullptr, &processor, &wall) != 0)
        job->Failed = true;
    return wall;
}

static double VerifyInProcess(void *context) {
    Job *job = static_cast<Job *>(context);
    double start = WallSeconds();
    OpenPlugin(OpenFromCommandLine, reinterpret_cast<intptr_t>(job->List));
    double seconds = WallSeconds() - start;
    if (NullHostSelectedCount() != 0)
        job->Failed = true;
    return seconds;
}

// A list's entries as digest and name, whichever of the two forms it uses
// (the module's "digest *name" or md5sum's "digest  name"), sorted.
static std::vector<std::string> ReadEntries(const char *path) {
    std::vector<std::string> entries;
    FILE *list = fopen(path, "rb");
    if (!list)
        return entries;
    char line[8192];
    while (fgets(line, sizeof line, list)) {
        std::string text = line;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        size_t name = text.find_first_not_of(" *", 32);
        if (text.empty() || text[0] == ';' || name == std::string::npos)
            continue;
        entries.push_back(text.substr(0, 32) + " " + text.substr(name));
    }
    fclose(list);
    std::sort(entries.begin(), entries.end());
    return entries;
}

// Each side starts with neither list there, so that neither lists the other's.
static double CreateRun(void *context) {
    Job *job = static_cast<Job *>(context);
    unlink(CreatedList);
    unlink(PeerList);
    double seconds;
    if (job->Argv.empty()) {
        double start = WallSeconds();
        OpenPlugin(OpenFromPluginMenu, 0);
        seconds = WallSeconds() - start;
    } else {
        seconds = RunProgramJob(job);
    }
    job->Entries = ReadEntries(job->Argv.empty() ? CreatedList : PeerList);
    return seconds;
}

static Job ProgramJob(std::vector<const char *> argv) {
    argv.push_back(nullptr);
    return Job{argv, nullptr, {}, false};
}

static void ReportTimes(const char *name, const Contender &module, const Contender &peer,
                        const char *what) {
    printf("%-18s %6.3f  module %7.3f s  peer %7.3f s  (%s vs %s; %s)\n", name,
           peer.Best / module.Best, module.Best, peer.Best, module.Name, peer.Name, what);
    fflush(stdout);
}

static double CatSeconds(void *) {
    Job cat = ProgramJob({"sh", "-c", "cat -- f*.bin >/dev/null"});
    double seconds = RunProgramJob(&cat);
    return cat.Failed ? 1e30 : seconds;
}

static int LimitFiles;
static double OpenCloseSeconds(void *) {
    double start = WallSeconds();
    for (int i = 0; i < LimitFiles; i++) {
        int file = open(FileName(i).c_str(), O_RDONLY);
        if (file >= 0)
            close(file);
    }
    return WallSeconds() - start;
}

// What bounds a run over the set's files in the current directory; the cat
// also brings them into the page cache before the contest.
static void ReportLimits(const char *name, const DataSet &set) {
    LimitFiles = set.Files;
    Contender limits[2] = {{"cat", CatSeconds, nullptr, 0},
                           {"open and close", OpenCloseSeconds, nullptr, 0}};
    RunContest(limits, 2, BenchRounds(3));
    printf("%-18s limit   cat of every file to /dev/null %.3f s, open and close of each %.3f s\n",
           name, limits[0].Best, limits[1].Best);
    fflush(stdout);
}

// The drawn development host, once: the list checks out, every file intact.
static bool Intact(std::vector<const char *> argv, const DataSet &set) {
    argv.push_back(nullptr);
    std::string output, checked = "Files checked: " + std::to_string(set.Files);
    double processor, wall;
    return RunProgramOn(argv.data(), -1, &output, &processor, &wall) == 0 &&
           output.find(checked) != std::string::npos &&
           output.find("\n0 items selected\n") != std::string::npos;
}

// The peer's command checks the list, printing only what fails.
static bool Verify(const char *name, const DataSet &set, const char *host, const char *list,
                   std::vector<const char *> peerCommand) {
    if (!Wanted(name))
        return true;
    if (!Intact({host, "--batch", "--dir", ".", "--command", list}, set)) {
        fprintf(stderr, "many bench: %s: the host did not find every file intact\n", name);
        return false;
    }
    Job module = {{}, list, {}, false};
    std::string peerName = peerCommand[0];
    for (size_t i = 1; i + 1 < peerCommand.size(); i++)
        peerName += std::string(" ") + peerCommand[i];
    Job peer = ProgramJob(peerCommand);
    Contender contenders[2] = {{"OpenPlugin in process", VerifyInProcess, &module, 0},
                               {peerName.c_str(), RunProgramJob, &peer, 0}};
    RunContest(contenders, 2, BenchRounds(3));
    if (module.Failed || peer.Failed) {
        fprintf(stderr, "many bench: %s: a run failed (module %s, peer %s)\n", name,
                module.Failed ? "failed" : "ok", peer.Failed ? "failed" : "ok");
        return false;
    }
    char what[160];
    snprintf(what, sizeof what, "%s, wall clock", set.What);
    ReportTimes(name, contenders[0], contenders[1], what);
    return true;
}

static bool Create(const DataSet &set) {
    if (!Wanted("many-create"))
        return true;
    unlink(CreatedList);
    unlink(PeerList);
    if (!StartNullHost())
        return false;
    Side.HasDialogAnswer = true;
    Side.DialogAnswer = MainDialogCreateButton;
    Job module = {{}, nullptr, {}, false};
    Job peer = ProgramJob({"sh", "-c", "md5sum -- * >list"});
    Contender contenders[2] = {{"creation in process", CreateRun, &module, 0},
                               {"md5sum * >list", CreateRun, &peer, 0}};
    RunContest(contenders, 2, BenchRounds(3));
    unlink(CreatedList);
    unlink(PeerList);
    if (peer.Failed || module.Entries.size() < (size_t)set.Files ||
        module.Entries != peer.Entries) {
        fprintf(stderr,
                "many bench: many-create: the lists differ (module %zu entries, peer %zu)\n",
                module.Entries.size(), peer.Entries.size());
        return false;
    }
    char what[160];
    snprintf(what, sizeof what, "%s and the set's lists, wall clock", set.What);
    ReportTimes("many-create", contenders[0], contenders[1], what);
    return true;
}

// The real DLL through the Windows development host under Wine with a
// console (wine-run), its best run less its best run on an empty folder:
// starting Wine and its console is no part of the module's work.
static bool VerifyUnderWine(const DataSet &set, const char *wineRun, const char *host,
                            const char *empty) {
    char folder[PATH_MAX];
    if (!getcwd(folder, sizeof folder) ||
        !Intact({wineRun, host, "--batch", "--dir", folder, "--command", Md5List}, set)) {
        fprintf(stderr, "many bench: many-win32: the DLL did not find every file intact\n");
        return false;
    }
    Job module =
        ProgramJob({wineRun, host, "--batch", "--quiet", "--dir", folder, "--command", Md5List});
    Job start = ProgramJob({wineRun, host, "--batch", "--quiet", "--dir", empty});
    Job peer = ProgramJob({"md5sum", "-c", "--quiet", Md5List});
    Contender contenders[3] = {{"the DLL under Wine", RunProgramJob, &module, 0},
                               {"Wine, empty folder", RunProgramJob, &start, 0},
                               {"md5sum -c natively", RunProgramJob, &peer, 0}};
    RunContest(contenders, 3, BenchRounds(3));
    if (module.Failed || start.Failed || peer.Failed) {
        fprintf(stderr, "many bench: many-win32: a run failed\n");
        return false;
    }
    Contender less = contenders[0];
    less.Best -= contenders[1].Best;
    char what[160];
    snprintf(what, sizeof what, "%s, wall clock less Wine's start-up", set.What);
    ReportTimes("many-win32", less, contenders[2], what);
    printf("%-18s limit   Wine's start-up with a console %.3f s (taken off); with it the ratio "
           "is %.3f\n",
           "many-win32", contenders[1].Best, contenders[2].Best / contenders[0].Best);
    fflush(stdout);
    return true;
}

static bool EnterSet(const std::string &data, const DataSet &set) {
    std::string directory = data + "/" + set.Folder;
    if (!MakeSet(directory, set) || chdir(directory.c_str()) != 0 ||
        !MakeList(set, AlgorithmBlake3, Blake3List, false) || !StartNullHost()) {
        fprintf(stderr, "many bench: cannot make the files in %s\n", directory.c_str());
        return false;
    }
    return true;
}

int main(int argc, char **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: sumbrel-many-bench SCRATCH-DIRECTORY SUMBREL-HOST "
                        "[WINE-RUN SUMBREL-HOST-EXE]\n");
        return 2;
    }
    // Every path is made absolute before the first change of directory.
    char data[PATH_MAX], host[PATH_MAX], wineRun[PATH_MAX], windowsHost[PATH_MAX];
    bool wine = argc >= 5;
    if (!realpath(argv[1], data) || !realpath(argv[2], host) ||
        (wine && (!realpath(argv[3], wineRun) || !realpath(argv[4], windowsHost)))) {
        fprintf(stderr, "many bench: a directory or program named is not there\n");
        return 1;
    }
    bool small = Wanted("many-small");
    if (small && !EnterSet(data, SmallSet))
        return 1;
    if (small)
        ReportLimits("many-small", SmallSet);
    if (!Verify("many-small", SmallSet, host, Md5List, {"md5sum", "-c", "--quiet", Md5List}) ||
        !EnterSet(data, MediumSet))
        return 1;
    if (!MakeList(MediumSet, AlgorithmBlake2b, Blake2bList, false) ||
        !MakeList(MediumSet, AlgorithmSha512, Sha512List, false) ||
        !MakeList(MediumSet, AlgorithmCrc32, SfvList, true)) {
        fprintf(stderr, "many bench: the SHA-512, BLAKE2b and SFV lists could not be made\n");
        return 1;
    }
    ReportLimits("many-medium", MediumSet);
    if (!Verify("many-medium", MediumSet, host, Md5List, {"md5sum", "-c", "--quiet", Md5List}) ||
        !Verify("many-medium-sha256", MediumSet, host, Sha256List,
                {"sha256sum", "-c", "--quiet", Sha256List}) ||
        !Verify("many-medium-sha512", MediumSet, host, Sha512List,
                {"sha512sum", "-c", "--quiet", Sha512List}) ||
        !Verify("many-medium-b2", MediumSet, host, Blake2bList,
                {"b2sum", "-c", "--quiet", Blake2bList}) ||
        !Verify("many-medium-sfv", MediumSet, host, SfvList,
                {"rhash", "--check", "--skip-ok", SfvList}) ||
        !Verify("many-medium-b3", MediumSet, host, Blake3List,
                {"b3sum", "-c", "--quiet", Blake3List}) ||
        !Create(MediumSet))
        return 1;
    std::string empty = std::string(data) + "/many-empty";
    mkdir(empty.c_str(), 0777);
    if (wine && Wanted("many-win32") &&
        !VerifyUnderWine(MediumSet, wineRun, windowsHost, empty.c_str()))
        return 1;
    if (Wanted("b3-one-large")) {
        if (!EnterSet(data, LargeSet))
            return 1;
        ReportLimits("b3-one-large", LargeSet);
        if (!Verify("b3-one-large", LargeSet, host, Blake3List,
                    {"b3sum", "-c", "--quiet", Blake3List}))
            return 1;
    }
    return 0;
}
