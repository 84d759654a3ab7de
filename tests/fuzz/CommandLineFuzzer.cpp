// The command line's two readers of outside input: option parsing (arguments split at NUL bytes,
// parsed by both commands' rules without running anything) and the profile reader of
// --initial-csv (the input written to a file of this process's own). Every refusal must be a
// clear error; anything else (a crash, a sanitizer report, an escaping exception, a profile that
// breaks the reader's promise) is a finding.
#include <fuzzer/FuzzedDataProvider.h>

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "CsvOutput.h"
#include "DiffusionCommand.h"
#include "FlowCommand.h"
#include "FuzzSupport.h"
#include "OptionRules.h"

namespace {

std::vector<std::string> SplitAtNul(const std::string& text) {
    std::vector<std::string> arguments;
    std::string::size_type start = 0;
    while (start <= text.size() && arguments.size() < 64) {
        const std::string::size_type end = std::min(text.find('\0', start), text.size());
        arguments.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return arguments;
}

void ParseOptions(const std::string& text) {
    CLI::App app("fuzzed", "nembra");
    app.require_subcommand(1);
    nembra_cli::FlowOptions flow;
    nembra_cli::DiffusionOptions diffusion;
    nembra_cli::AddFlowCommand(app, flow);
    nembra_cli::AddDiffusionCommand(app, diffusion);
    std::vector<std::string> arguments = SplitAtNul(text);
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        // Help, version and refusals are all written out the way the program does.
        std::ostringstream out;
        std::ostringstream err;
        app.exit(e, out, err);
    }
}

void ReadProfile(const std::string& text) {
    static const std::string path =
        "/tmp/nembra-fuzz-profile-" + std::to_string(::getpid()) + ".csv";
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    try {
        const std::vector<double> values = nembra_cli::ReadProfileCsv(path);
        if (values.size() < 2) {
            nembra_fuzz::Finding("a profile of fewer than two values accepted");
        }
        for (const double value : values) {
            if (!std::isfinite(value)) {
                nembra_fuzz::Finding("an unusable value accepted in a profile");
            }
        }
    } catch (const nembra_cli::ProfileCsvError&) {
    }
    std::remove(path.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    const bool options = data.ConsumeBool();
    const std::string text = data.ConsumeRemainingBytesAsString();
    if (options) {
        ParseOptions(text);
    } else {
        ReadProfile(text);
    }
    return 0;
}
