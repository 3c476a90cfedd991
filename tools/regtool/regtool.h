// kelvano-reg: queries, sets, deletes, exports and imports registry keys and values from the
// command line (see Usage() for the syntax).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace regtool {

// The text printed by --help.
std::string Usage();

// Runs one command line (the arguments after the program name) and returns the exit status:
// 0 done, 1 failed (no such key or value, a damaged registry file, an import file that cannot
// be read or imported), 2 bad arguments. Results go to `out`, messages to `err`; `in` is read
// for "import -". Only set, delete and import may set a damaged registry file aside, and they
// say so on `err`; query and export leave it alone and fail.
int Run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err);

} // namespace regtool
