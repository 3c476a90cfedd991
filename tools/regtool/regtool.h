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
// 0 done, 1 the registry refused (no such key or value, a damaged file, text that cannot be
// imported), 2 bad arguments. Results go to `out`, messages to `err`; `in` is read for
// "import -".
int Run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err);

} // namespace regtool
