#pragma once

#include <spawn.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

// Starts a program as a child process. The test process runs threads
// (Qt's, the pseudo-terminal peers'), so it never forks: a child of fork()
// would inherit their locks half held.
inline pid_t spawn(std::vector<std::string> args)
{
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    return pid;
}
