// RunProgram on Linux: posix_spawn with a pipe for standard output, and the
// child's processor time from wait4 (wall time besides, when asked).
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "bench/run.h"

extern char **environ;

int RunProgram(const char *const *argv, std::string *output, double *seconds) {
    return RunProgramOn(argv, -1, output, seconds, nullptr);
}

double WallSeconds() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec + (double)now.tv_nsec * 1e-9;
}

int RunProgramOn(const char *const *argv, int input, std::string *output, double *seconds,
                 double *wallSeconds) {
    *seconds = 0;
    double started = WallSeconds();
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input < 0)
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    else
        posix_spawn_file_actions_adddup2(&actions, input, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
    pid_t child;
    int failed =
        posix_spawnp(&child, argv[0], &actions, nullptr, const_cast<char **>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (failed) {
        close(pipeEnds[0]);
        return -1;
    }
    // Drained while the child runs, so a chatty child never blocks on it.
    char buffer[65536];
    ssize_t got;
    while ((got = read(pipeEnds[0], buffer, sizeof buffer)) > 0)
        if (output)
            output->append(buffer, (size_t)got);
    close(pipeEnds[0]);
    int status;
    rusage usage;
    if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status))
        return -1;
    if (wallSeconds)
        *wallSeconds = WallSeconds() - started;
    *seconds = (double)(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               (double)(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
    return WEXITSTATUS(status);
}

static std::string DataSetMarker(const std::string &directory) {
    return directory + "/complete";
}

bool DataSetComplete(const std::string &directory) {
    return access(DataSetMarker(directory).c_str(), F_OK) == 0;
}

bool MarkDataSetComplete(const std::string &directory) {
    FILE *done = fopen(DataSetMarker(directory).c_str(), "wb");
    return done && fclose(done) == 0;
}
