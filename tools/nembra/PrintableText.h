#pragma once

#include <string>

namespace nembra_cli {

// The text as it can be shown in a message on a terminal: control bytes (a NUL, a stray escape
// that would start a terminal command) as \xNN. For texts that come from files, which may have
// been made to do harm.
std::string Printable(const std::string& text);

}  // namespace nembra_cli
