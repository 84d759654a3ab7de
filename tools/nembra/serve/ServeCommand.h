#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "OptionRules.h"

namespace nembra_cli {

struct ServeOptions {
    std::string model = "flow";
    int port = 8765;
    std::string host = "127.0.0.1";
    bool paused = false;
    bool open = false;
    std::vector<std::string> modelOptions;  // those of `nembra flow` or `nembra diffusion`
};

CLI::App* AddServeCommand(CLI::App& app, ServeOptions& options);

// Serves until Ctrl-C. Throws UsageError for bad input before anything listens.
int RunServe(ServeOptions options, Console& console);

}  // namespace nembra_cli
