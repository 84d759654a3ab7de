#include "ModelRequest.h"

#include <CLI/CLI.hpp>

#include <cstdlib>

#include "DiffusionCommand.h"
#include "DiffusionModel.h"
#include "FlowCommand.h"
#include "FlowModel.h"

namespace nembra_cli {

namespace {

bool IsNumber(const std::string& word) {
    char* end = nullptr;
    std::strtod(word.c_str(), &end);
    return end != word.c_str() && *end == '\0';
}

// Every word that looks like an option must be one of the model's, so that a page cannot slip
// in an output option (or any other) through a value.
void RequireOptionsOf(const ModelRequest& request) {
    const std::vector<std::string>& allowed = ModelOptionNames(request.model);
    for (const std::string& word : request.options) {
        if (word.empty() || word.front() != '-' || IsNumber(word)) {
            continue;
        }
        const std::string option = word.substr(0, word.find('='));
        if (option.rfind("--", 0) != 0 || !Contains(allowed, option.substr(2))) {
            throw UsageError("'" + option + "' is not an option of the " + request.model +
                             " model; choose from " + ModelOptionList(request.model));
        }
    }
}

// Parses the options with the command's own definitions (CLI11 names the option it refuses)
// and builds from them while the parser, which the case options refer to, still lives.
template <typename Options, typename AddCommand, typename Build>
std::unique_ptr<LiveModel> ParseAndBuild(const ModelRequest& request, AddCommand addCommand,
                                         Build build) {
    RequireOptionsOf(request);
    CLI::App app;
    Options options;
    addCommand(app, options);
    std::vector<std::string> arguments{request.model};
    arguments.insert(arguments.end(), request.options.begin(), request.options.end());
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        throw UsageError(e.what());
    }
    return build(options);
}

void RequireLiveSize(double nodes, const std::string& options) {
    if (nodes > kMostLiveNodes) {
        throw UsageError(options + ": a live view shows at most " + std::to_string(kMostLiveNodes) +
                         " nodes, got " + std::to_string(static_cast<long long>(nodes)));
    }
}

std::unique_ptr<LiveModel> BuildFlowFrom(const FlowOptions& o) {
    for (const auto& c : o.cases) {
        c->RefuseOptionsFor(o.ChosenCase());
    }
    const std::optional<FlowGeometry> geometry = GeometryFrom(o);
    if (geometry) {
        const double nodes = static_cast<double>(geometry->nodesX) * geometry->nodesY;
        RequireLiveSize(nodes, "--nx/--ny");
        RequireMemoryFor(nodes * sizeof(Nembra::NavierStokesEquations2D::_MeshNode), "--nx/--ny");
    }
    std::unique_ptr<Nembra::NavierStokesEquations2D> solver = o.ChosenCase().Create(geometry);
    int nx = 0;
    int ny = 0;
    if (solver->GetMeshNodes(nx, ny) == nullptr) {
        throw UsageError("--nx/--ny: the solver could not allocate its mesh");
    }
    RequireLiveSize(static_cast<double>(nx) * ny, "--case");
    return std::make_unique<FlowModel>(o.caseName, std::move(solver));
}

std::unique_ptr<LiveModel> BuildDiffusionFrom(const DiffusionOptions& o) {
    std::unique_ptr<Nembra::DiffusionEquation> solver;
    if (o.timeInterval || o.spacing || o.segments || o.beta) {
        const int segments = o.segments.value_or(Nembra::DiffusionEquation().GetSegments());
        RequireLiveSize(segments + 1.0, "--segments");
        solver = MakeDiffusionSolver(o, segments);
    } else {
        solver = std::make_unique<Nembra::DiffusionEquation>();
    }
    std::vector<double> initial = InitialProfile(o.initial, solver->GetSamplingPoints());
    return std::make_unique<DiffusionModel>(std::move(solver), o.initial, std::move(initial));
}

// Numbers keep the text the page sent as far as JSON allows, so "70.5" reaches the whole-number
// rule as 70.5 rather than being rounded on the way.
std::string OptionText(const std::string& name, const nlohmann::json& value) {
    if (value.is_string()) {
        return value.get<std::string>();
    }
    if (value.is_number()) {
        return value.dump();
    }
    throw UsageError("setting '" + name + "' must be a number or a text, got " +
                     std::string(value.type_name()));
}

}  // namespace

const std::vector<std::string>& ModelNames() {
    static const std::vector<std::string> names{"flow", "diffusion"};
    return names;
}

const std::vector<std::string>& ModelOptionNames(const std::string& model) {
    static const std::vector<std::string> flow{"case", "nx", "ny", "length", "max-steps", "wall"};
    static const std::vector<std::string> diffusion{"dt", "dx", "segments", "beta", "initial"};
    return model == "diffusion" ? diffusion : flow;
}

std::string ModelOptionList(const std::string& model) {
    std::string list;
    for (const std::string& name : ModelOptionNames(model)) {
        list += (list.empty() ? "--" : ", --") + name;
    }
    return list;
}

ModelRequest RequestFromJson(const nlohmann::json& model, const nlohmann::json& settings) {
    if (!model.is_string() || !Contains(ModelNames(), model.get<std::string>())) {
        throw UsageError("'model' must be one of " + JoinNames(ModelNames()));
    }
    if (!settings.is_null() && !settings.is_object()) {
        throw UsageError("'settings' must be an object");
    }
    ModelRequest request{model.get<std::string>(), {}};
    if (settings.is_null()) {
        return request;
    }
    const std::vector<std::string>& allowed = ModelOptionNames(request.model);
    for (const auto& [name, value] : settings.items()) {
        if (!Contains(allowed, name)) {
            throw UsageError("'" + name + "' is not a setting of the " + request.model +
                             " model; choose from " + JoinNames(allowed));
        }
        request.options.push_back("--" + name);
        request.options.push_back(OptionText(name, value));
    }
    return request;
}

std::unique_ptr<LiveModel> BuildModel(const ModelRequest& request) {
    if (request.model == "diffusion") {
        return ParseAndBuild<DiffusionOptions>(request, AddDiffusionCommand, BuildDiffusionFrom);
    }
    if (request.model == "flow") {
        return ParseAndBuild<FlowOptions>(request, AddFlowCommand, BuildFlowFrom);
    }
    throw UsageError("unknown model '" + request.model + "'; choose from " +
                     JoinNames(ModelNames()));
}

}  // namespace nembra_cli
