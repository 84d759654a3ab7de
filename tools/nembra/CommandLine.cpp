#include "CommandLine.h"

#include <CLI/CLI.hpp>

#include <algorithm>

#include "DiffusionCommand.h"
#include "FlowCommand.h"
#include "OptionRules.h"
#include "serve/ServeCommand.h"

namespace nembra_cli {

namespace {

int ReportUsageError(const std::string& command, const std::string& message, std::ostream& err) {
    err << "nembra" << (command.empty() ? "" : " " + command) << ": error: " << message << "\n"
        << "Run 'nembra" << (command.empty() ? "" : " " + command) << " --help' for the options.\n";
    return kExitUsage;
}

std::string ChosenCommand(const CLI::App& app) {
    for (const CLI::App* sub : app.get_subcommands()) {
        return sub->get_name();
    }
    return {};
}

}  // namespace

int RunCommandLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
                   bool errIsTerminal) {
    CLI::App app("Run and save the two models of the Nembra library.", "nembra");
    app.set_version_flag("--version", std::string("nembra ") + NEMBRA_CLI_VERSION);
    app.require_subcommand(1);
    FlowOptions flow;
    DiffusionOptions diffusion;
    ServeOptions serve;
    CLI::App* flowCommand = AddFlowCommand(app, flow);
    CLI::App* diffusionCommand = AddDiffusionCommand(app, diffusion);
    CLI::App* serveCommand = AddServeCommand(app, serve);

    // CLI11 would only say that a command is missing; name the word it did not know instead.
    const std::string first = arguments.empty() ? std::string() : arguments.front();
    if (!first.empty() && first.front() != '-' && first != flowCommand->get_name() &&
        first != diffusionCommand->get_name() && first != serveCommand->get_name()) {
        return ReportUsageError(
            "", "'" + first + "' is not a command; choose from flow, diffusion, serve", err);
    }
    // CLI11 takes the arguments in reverse order.
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e, out, err);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e, out, err);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e, out, err);
    } catch (const CLI::ParseError& e) {
        return ReportUsageError(ChosenCommand(app), e.what(), err);
    }

    Console console{out, err, errIsTerminal};
    try {
        if (flowCommand->parsed()) {
            return RunFlow(flow, console);
        }
        if (diffusionCommand->parsed()) {
            return RunDiffusion(diffusion, console);
        }
        if (serveCommand->parsed()) {
            serve.modelOptions = serveCommand->remaining();
            return RunServe(serve, console);
        }
    } catch (const UsageError& e) {
        return ReportUsageError(ChosenCommand(app), e.what(), err);
    }
    return ReportUsageError("", "no command given", err);
}

}  // namespace nembra_cli
