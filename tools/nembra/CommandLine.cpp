#include "CommandLine.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <exception>
#include <new>

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

// True when `text` would give a list option no item at all ("," or ", ,").
bool HoldsNoItem(const std::string& text) {
    return text.find_first_not_of(", \t") == std::string::npos;
}

// A list option given only commas ("--fields ,") would make CLI11 take the next argument as its
// value and blame that one; name the option and what it lacks instead. Empty text is left to
// the option's own rule.
void RefuseEmptyLists(const CLI::App& command, const std::vector<std::string>& arguments) {
    for (const CLI::Option* option : command.get_options()) {
        if (option->get_delimiter() == '\0') {
            continue;
        }
        const std::string name = "--" + option->get_lnames().front();
        for (std::size_t k = 0; k < arguments.size(); ++k) {
            const std::string& a = arguments[k];
            const bool joined = a.rfind(name + "=", 0) == 0;
            const std::string value =
                joined ? a.substr(name.size() + 1)
                       : (a == name && k + 1 < arguments.size() ? arguments[k + 1] : "x");
            if (!value.empty() && HoldsNoItem(value)) {
                throw CLI::ValidationError(name, "needs at least one item, got '" + value + "'");
            }
        }
    }
}

// CLI11 says "At Most 1 required but received 2" for an option given twice; say that.
std::string ExplainParseError(const CLI::ParseError& e) {
    const std::string message = e.what();
    const std::string marker = ": At Most 1 required but received ";
    const auto at = message.find(marker);
    if (at == std::string::npos) {
        return message;
    }
    return message.substr(0, at) + ": given " + message.substr(at + marker.size()) +
           " times; give it once";
}

// The last resort: a failure that no rule foresaw still ends with a message and a failure
// status. Every file is written under a temporary name and renamed when complete, so what was
// written before stays whole.
int ReportUnexpectedFailure(const std::string& command, const std::string& what,
                            std::ostream& err) {
    err << "nembra" << (command.empty() ? "" : " " + command) << ": error: " << what
        << "; the files written before it are complete and kept\n";
    return kExitFailure;
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
        for (const CLI::App* command : {flowCommand, diffusionCommand}) {
            if (first == command->get_name()) {
                RefuseEmptyLists(*command, arguments);
            }
        }
        app.parse(reversed);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e, out, err);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e, out, err);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e, out, err);
    } catch (const CLI::ParseError& e) {
        return ReportUsageError(
            first == flowCommand->get_name() || first == diffusionCommand->get_name()
                ? first
                : ChosenCommand(app),
            ExplainParseError(e), err);
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
    } catch (const std::bad_alloc&) {
        return ReportUnexpectedFailure(ChosenCommand(app), "out of memory", err);
    } catch (const std::exception& e) {
        return ReportUnexpectedFailure(ChosenCommand(app),
                                       std::string("unexpected failure: ") + e.what(), err);
    }
    return ReportUsageError("", "no command given", err);
}

}  // namespace nembra_cli
