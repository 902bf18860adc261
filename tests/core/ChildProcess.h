// Runs a piece of a test in a forked child: for process-wide state that is formed once (the log
// file name, the global preference stores) and for code that ends or kills the process. The child
// acts; the parent checks what it printed, how it ended and what it left on disk.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

struct ChildOutcome {
    bool exited = false;  // ended through exit; exitCode is valid
    int exitCode = -1;
    int signal = 0;      // the signal that ended it, when not exited
    std::string output;  // standard output and standard error together
};

// The child runs body and exits with code 0 unless body ends the process first.
inline ChildOutcome runInChild(const std::function<void()>& body) {
    ChildOutcome outcome;
    fflush(stdout);
    fflush(stderr);
    int fds[2];
    if (pipe(fds) != 0) return outcome;
    pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        return outcome;
    }
    if (pid == 0) {
        close(fds[0]);
        dup2(fds[1], STDOUT_FILENO);
        dup2(fds[1], STDERR_FILENO);
        close(fds[1]);
        body();
        fflush(stdout);
        fflush(stderr);
        _exit(0);
    }
    close(fds[1]);
    char buffer[4096];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0)
        outcome.output.append(buffer, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) {
        outcome.exited = true;
        outcome.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        outcome.signal = WTERMSIG(status);
    }
    return outcome;
}
