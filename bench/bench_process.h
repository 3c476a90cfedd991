// Fresh processes for the benchmarks: a program run to its end with what it printed.
#pragma once

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <initializer_list>
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

// A benchmark's scratch folder, removed at the end, with a fresh folder per run and the
// environment a program started in that run gets.
struct RunRoot {
    std::filesystem::path root;
    std::vector<std::string> baseEnv; // this process's environment less the dropped variables

    // folderTemplate ends in XXXXXX (mkdtemp); variables starting with a dropped prefix are
    // left out of every run's environment.
    RunRoot(std::string folderTemplate, std::initializer_list<const char*> dropped) {
        if (mkdtemp(folderTemplate.data()) == nullptr) std::abort();
        root = folderTemplate;
        for (char** pp = environ; *pp != nullptr; ++pp) {
            bool fDropped = false;
            for (const char* pszPrefix : dropped)
                fDropped |= std::strncmp(*pp, pszPrefix, std::strlen(pszPrefix)) == 0;
            if (!fDropped) baseEnv.emplace_back(*pp);
        }
    }
    ~RunRoot() {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
    RunRoot(const RunRoot&) = delete;
    RunRoot& operator=(const RunRoot&) = delete;

    // A folder for one run, never used before: root/runN with its drive folder made.
    std::filesystem::path NewRun() {
        const std::filesystem::path run = root / ("run" + std::to_string(++nRun_));
        std::filesystem::create_directories(run / "drive");
        return run;
    }
    // The base environment with the run's drive, registry, menu and runtime folders.
    std::vector<std::string> Env(const std::filesystem::path& run) const {
        std::vector<std::string> env = baseEnv;
        env.push_back("KELVANO_DRIVE_DIR=" + (run / "drive").string());
        env.push_back("KELVANO_REGISTRY_DIR=" + (run / "registry").string());
        env.push_back("KELVANO_APPLICATIONS_DIR=" + (run / "applications").string());
        env.push_back("KELVANO_RUNTIME_DIR=" + (run / "runtime").string());
        return env;
    }

private:
    int nRun_ = 0;
};

} // namespace bench
