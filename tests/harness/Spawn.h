#pragma once

#include <spawn.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

// Starts a program as a child process; with `out`, its standard output comes
// through a pipe whose reading end `out` receives. The test process runs
// threads (Qt's, the pseudo-terminal peers'), so it never forks: a child of
// fork() would inherit their locks half held.
inline pid_t spawn(std::vector<std::string> args, int* out = nullptr)
{
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int pipeFds[2] = {-1, -1};
    if (out) {
        if (pipe(pipeFds) != 0)
            return -1;
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    }
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    if (out) {
        close(pipeFds[1]);
        *out = pipeFds[0];
    }
    return pid;
}
