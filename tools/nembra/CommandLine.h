#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace nembra_cli {

// Exit statuses: 0 success, 1 a failure while running (a file could not be written),
// 2 bad command-line input (nothing was simulated).
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// Parses `arguments` (without the program name) and runs the chosen command.
int RunCommandLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
                   bool errIsTerminal);

}  // namespace nembra_cli
