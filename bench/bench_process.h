// Fresh processes for the benchmarks: a program run to its end with what it printed.
#pragma once

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

namespace bench {

// Pointers for exec into strings that outlive them, ending with a null.
inline std::vector<char*> ExecVector(const std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (const std::string& s : strings)
        pointers.push_back(const_cast<char*>(s.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

// Runs argv (a path, or a name looked up on PATH) with envp to its end, its standard output
// into *pOut; true when it exited with 0. beforeSpawn runs right before the spawn, for a
// clock that starts there.
inline bool RunToEnd(char* const argv[], char* const envp[], std::string* pOut,
                     const std::function<void()>& beforeSpawn = nullptr) {
    int aPipe[2];
    if (pipe(aPipe) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, aPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, aPipe[0]);
    if (beforeSpawn) beforeSpawn();
    pid_t pid = 0;
    const int nSpawn = posix_spawnp(&pid, argv[0], &actions, nullptr, argv, envp);
    posix_spawn_file_actions_destroy(&actions);
    close(aPipe[1]);
    std::string out;
    char ach[256];
    for (ssize_t cb; (cb = read(aPipe[0], ach, sizeof ach)) > 0;)
        out.append(ach, static_cast<std::size_t>(cb));
    close(aPipe[0]);
    if (pOut != nullptr) *pOut = out;
    int nStatus = 0;
    return nSpawn == 0 && waitpid(pid, &nStatus, 0) == pid && WIFEXITED(nStatus) &&
           WEXITSTATUS(nStatus) == 0;
}

} // namespace bench
