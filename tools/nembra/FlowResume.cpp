#include "FlowResume.h"

#include <cstdio>
#include <cstring>
#include <map>

namespace nembra_cli {

namespace {

bool SameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

std::string Exactly(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// The members that follow from construction must be this build's, bit for bit: the step reads
// them, so a file made by a solver with other constants would not continue the same run.
void RequireSameSetting(const Nembra::NavierStokesEquations2D& solver,
                        const std::vector<std::pair<std::string, double>>& stored,
                        const std::string& file) {
    const std::map<std::string, double> saved(stored.begin(), stored.end());
    const auto here = SolverSetting(solver);
    for (const auto& [name, value] : here) {
        const auto found = saved.find(name);
        if (found == saved.end()) {
            throw CheckpointError(file + " lacks the solver's '" + name + "'");
        }
        if (!SameBits(found->second, value)) {
            throw CheckpointError(file + " was made with another solver setting: " + name + " is " +
                                  Exactly(value) + " here and " + Exactly(found->second) +
                                  " in the file");
        }
    }
    if (saved.size() != here.size()) {
        throw CheckpointError(file + " holds solver values this nembra does not know");
    }
}

}  // namespace

void RequireSameCaseState(const CaseState& stored, const CaseState& expected,
                          const std::string& file) {
    for (const auto& [name, value] : expected.numbers) {
        const auto found = stored.numbers.find(name);
        if (found == stored.numbers.end() || !SameBits(found->second, value)) {
            throw CheckpointError(
                file + " was made with another " + name + " (" +
                (found == stored.numbers.end() ? std::string("none") : Exactly(found->second)) +
                "; this nembra has " + Exactly(value) + ")");
        }
    }
}

ResumedSolver ResumeFlow(Checkpoint& checkpoint, const FlowCase& flowCase,
                         const std::string& file) {
    SolverRecord& stored = checkpoint.solver;
    ResumeArguments arguments;
    arguments.nodesX = stored.nodesX;
    arguments.nodesY = stored.nodesY;
    arguments.lengthX = stored.lengthX;
    // The laying call counts as the solver's first, standing for the stored run's last.
    arguments.maxStepCount = stored.maxStepCount - (stored.stepCount - 1);

    ResumedSolver resumed;
    resumed.stepOffset = stored.stepCount - 1;
    resumed.solver =
        flowCase.Resume(arguments, std::move(stored.nodes), checkpoint.caseState, file);
    stored.nodes.clear();
    int nx = 0;
    int ny = 0;
    if (resumed.solver->GetMeshNodes(nx, ny) == nullptr || nx != arguments.nodesX ||
        ny != arguments.nodesY) {
        throw CheckpointError("the mesh of " + file + " (" + std::to_string(arguments.nodesX) +
                              " × " + std::to_string(arguments.nodesY) +
                              " nodes) could not be allocated");
    }
    RequireSameSetting(*resumed.solver, stored.setting, file);
    resumed.solver->UpdateDatas();
    if (resumed.solver->GetStepCount() != 1) {
        throw CheckpointError("the records of " + file + " could not be laid");
    }
    return resumed;
}

}  // namespace nembra_cli
