#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace nembra_cli {

// Parses `arguments` (without the program name) and runs the chosen command; returns the exit
// status (OptionRules.h).
int RunCommandLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
                   bool errIsTerminal);

}  // namespace nembra_cli
