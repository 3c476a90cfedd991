// kelvano-shell: the products installed on this machine, their removal, and the file
// operations left for the next start (see Usage() for the syntax).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace shelltool {

// The text printed by --help.
std::string Usage();

// Runs one command line (the arguments after the program name) and returns the exit status:
// 0 done, 1 failed, 2 bad arguments. Results go to `out`, messages to `err`.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace shelltool
