// Runs a program of the build the way a user would, from a shell in a given folder, and
// collects what it said: for tests of command-line behaviour (exit codes, messages).
// Header-only.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace testsupport {

struct ProgramRun {
    int nExit = -1; // -1 when the program did not end by itself (a signal, say)
    std::string out;
    std::string err;
};

// Runs "program args" in folder (args are shell words, quoted by the caller as needed);
// standard output and standard error are kept apart in two files of that folder.
inline ProgramRun RunProgram(const std::filesystem::path& folder, const std::string& program,
                             const std::string& args) {
    const std::filesystem::path outFile = folder / ".run-stdout";
    const std::filesystem::path errFile = folder / ".run-stderr";
    const std::string command = "cd '" + folder.string() + "' && '" + program + "' " + args +
                                " >'" + outFile.string() + "' 2>'" + errFile.string() + "'";
    const int nStatus = std::system(command.c_str());
    auto slurp = [](const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    ProgramRun run;
    run.nExit = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
    run.out = slurp(outFile);
    run.err = slurp(errFile);
    std::filesystem::remove(outFile);
    std::filesystem::remove(errFile);
    return run;
}

} // namespace testsupport
