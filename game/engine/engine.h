// The kelvano-engine command line: a position given by layout, rules and the moves played,
// and commands that show it, list and check moves, and let the computer decide or play.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// Exit statuses: a command that ran (an "illegal" answer included), a command that could not
// answer (the game is over), and bad usage or input.
constexpr int ENGINE_OK = 0;
constexpr int ENGINE_FAILED = 1;
constexpr int ENGINE_BAD_INPUT = 2;

// Runs the tool on its arguments (without the program name). Results go to out, the one
// message about bad input or a failure to err.
int RunEngine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
