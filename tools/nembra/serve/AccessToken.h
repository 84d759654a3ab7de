#pragma once

#include <string>
#include <string_view>

namespace nembra_cli {

// 256 random bits from the kernel, as 64 hexadecimal digits. Throws std::runtime_error when the
// kernel has no randomness to give.
std::string NewAccessToken();

// Compares every character whatever the first difference, so the time taken does not tell an
// attacker how much of a guess was right.
bool SameToken(std::string_view given, std::string_view expected);

// The value of the `token` parameter in a request target ("/path?token=...&..."), or empty.
std::string_view TokenInTarget(std::string_view target);

// The path of a request target without its query.
std::string_view PathOfTarget(std::string_view target);

}  // namespace nembra_cli
