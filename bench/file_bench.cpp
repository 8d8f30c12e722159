// File benchmark: FileDigest on a 1 GiB file in the page cache against
// md5sum on the same file, or by SHA-256 against sha256sum.
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "bench/bench.h"
#include "bench/null_host.h"
#include "bench/run.h"
#include "digest/algorithm.h"
#include "host/host.h"
#include "jobs/file_digest.h"

static const uint64_t FileSize = 1ull << 30;

struct Job {
    const char *Path;
    char Text[LongestDigestTextSize];
    bool Failed;
};

// Each figure: the digest, its own tool as the peer, the tool's arguments
// before the file's name (the tool prints the digest first, in lowercase).
struct FileFigure {
    const char *Argument; // as the command line names it
    const char *Figure;
    DigestAlgorithm Algorithm;
    const char *Peer[3];
};

static const FileFigure Figures[] = {
    {"md5", "file", AlgorithmMd5, {"md5sum"}},
    {"sha256", "sha256-file", AlgorithmSha256, {"sha256sum"}},
    {"sha512", "sha512-file", AlgorithmSha512, {"sha512sum"}},
    {"b2", "b2-file", AlgorithmBlake2b, {"b2sum"}},
    {"b3", "b3-file", AlgorithmBlake3, {"b3sum"}},
    {"sfv", "sfv-file", AlgorithmCrc32, {"rhash", "--printf=%c\\n"}},
};

static const FileFigure *Chosen = &Figures[0];
static DigestAlgorithm Algorithm = AlgorithmMd5;

// Writes the file unless one of the right size is there already.
static bool MakeFile(const char *path) {
    struct stat status;
    if (stat(path, &status) == 0 && (uint64_t)status.st_size == FileSize)
        return true;
    FILE *file = fopen(path, "wb");
    if (!file)
        return false;
    std::vector<uint8_t> chunk(1 << 20);
    uint32_t seed = 2166136261u;
    for (uint64_t done = 0; done < FileSize; done += chunk.size()) {
        seed = FillPseudoRandom(chunk.data(), chunk.size(), seed);
        fwrite(chunk.data(), 1, chunk.size(), file);
    }
    return fclose(file) == 0;
}

// Reads the file once so that every side finds it in the page cache.
static void WarmPageCache(const char *path) {
    FILE *file = fopen(path, "rb");
    if (!file)
        return;
    std::vector<char> chunk(1 << 20);
    while (fread(chunk.data(), 1, chunk.size(), file) == chunk.size()) {
    }
    fclose(file);
}

static double RunModule(void *context) {
    Job *job = static_cast<Job *>(context);
    double start = ThreadSeconds();
    FileProblem problem;
    if (!FileDigest(job->Path, NameInCodePage, Algorithm, DigestTextLength(Algorithm), job->Text,
                    sizeof job->Text, &problem, nullptr) ||
        AbortRequested)
        job->Failed = true;
    return ThreadSeconds() - start;
}

static double RunPeer(void *context) {
    Job *job = static_cast<Job *>(context);
    const char *argv[4] = {};
    int count = 0;
    for (const char *part : Chosen->Peer)
        if (part)
            argv[count++] = part;
    argv[count] = job->Path;
    std::string output;
    double seconds;
    int digits = (int)DigestTextLength(Algorithm);
    if (RunProgram(argv, &output, &seconds) != 0 || output.size() < (size_t)digits)
        job->Failed = true;
    else
        snprintf(job->Text, sizeof job->Text, "%.*s", digits, output.c_str());
    return seconds;
}

int main(int argc, char **argv) {
    if (argc < 2) {
        fprintf(stderr,
                "usage: sumbrel-file-bench SCRATCH-DIRECTORY [md5|sha256|sha512|b2|b3|sfv]\n");
        return 2;
    }
    for (const FileFigure &figure : Figures)
        if (argc > 2 && strcmp(argv[2], figure.Argument) == 0)
            Chosen = &figure;
    Algorithm = Chosen->Algorithm;
    const char *figure = Chosen->Figure;
    const char *PeerTool = Chosen->Peer[0];
    std::string path = std::string(argv[1]) + "/file-bench-1GiB.bin";
    if (!MakeFile(path.c_str())) {
        fprintf(stderr, "file bench: cannot write %s\n", path.c_str());
        return 1;
    }
    WarmPageCache(path.c_str());
    if (!StartNullHost()) {
        fprintf(stderr, "file bench: cannot start the module\n");
        return 1;
    }

    Job module = {path.c_str(), {}, false};
    Job peer = {path.c_str(), {}, false};
    Contender contenders[2] = {
        {"FileDigest", RunModule, &module, 0},
        {PeerTool, RunPeer, &peer, 0},
    };
    RunContest(contenders, 2, BenchRounds(5));
    if (module.Failed || peer.Failed || strcmp(module.Text, peer.Text) != 0) {
        fprintf(stderr, "file bench: no agreement (module %s, %s %s)\n",
                module.Failed ? "failed" : module.Text, PeerTool,
                peer.Failed ? "failed" : peer.Text);
        return 1;
    }
    char what[128];
    snprintf(what, sizeof what, "1 GiB file in the page cache, %s loop, stdin %s",
             DigestRow(Algorithm)->LoopName(), isatty(0) ? "a terminal" : "not a terminal");
    ReportFigure(figure, (double)FileSize, contenders[0], contenders[1], what);
    return 0;
}
