#pragma once

#include <CLI/CLI.hpp>

#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace nembra_cli {

// Exit statuses: 0 success, 1 a failure while running (a file could not be written),
// 2 bad command-line input (nothing was simulated), 130 stopped by a signal (Interrupt.h).
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// Bad input found after parsing (an option combination, an unwritable folder, an unusable
// file): reported like a parse error, with exit status 2, before any simulation work.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Where a command writes: results to `out`, progress and diagnostics to `err`.
struct Console {
    std::ostream& out;
    std::ostream& err;
    bool errIsTerminal = false;
};

// Option rules with messages that state the rule and the value given; CLI11 prefixes the name
// of the option. Each also rejects text that is not a number.
CLI::Validator WholeNumberAtLeast(long long minimum, const std::string& reason = "");
CLI::Validator PositiveNumber(const std::string& reason = "");
CLI::Validator OneOf(const std::vector<std::string>& choices, const std::string& what);

// Refuses storage of more than half the machine's physical memory: the solvers zero-fill what
// they allocate, so an oversized request would not fail cleanly but swap or be killed.
// Throws UsageError naming `options`.
void RequireMemoryFor(double bytes, const std::string& options);

std::string JoinNames(const std::vector<std::string>& names);
bool Contains(const std::vector<std::string>& names, const std::string& name);

}  // namespace nembra_cli
