#include "FlowCheckpointing.h"

#include <cstring>

#include "FlowFields.h"
#include "PngOutput.h"

namespace nembra_cli {

namespace {

std::string Quoted(const std::string& file) {
    return "checkpoint '" + file + "'";
}

template <typename Value>
void RequireSame(const FlowOptions& o, const std::string& option, const std::optional<Value>& given,
                 const Value& stored, const std::string& what, const std::string& storedText) {
    if (given && std::memcmp(&*given, &stored, sizeof stored) != 0) {
        throw UsageError(option + ": " + Quoted(*o.resume) + " holds " + what + " " + storedText +
                         "; another was given");
    }
}

void AdoptCase(FlowOptions& o, const Checkpoint& c) {
    const std::vector<std::string> names = FlowCaseNames(o.cases);
    if (!Contains(names, c.caseName)) {
        throw UsageError(Quoted(*o.resume) + " holds a run of the case '" + c.caseName +
                         "', which this nembra does not have");
    }
    if (Given(o, "--case") && o.caseName != c.caseName) {
        throw UsageError("--case: " + Quoted(*o.resume) + " holds a " + c.caseName +
                         " run; --case " + o.caseName + " was given");
    }
    o.caseName = c.caseName;
}

void AdoptMesh(FlowOptions& o, const SolverRecord& s) {
    const std::string mesh = std::to_string(s.nodesX) + " × " + std::to_string(s.nodesY);
    RequireSame(o, "--nx", o.nodesX, s.nodesX, "a mesh of", mesh + " nodes");
    RequireSame(o, "--ny", o.nodesY, s.nodesY, "a mesh of", mesh + " nodes");
    RequireSame(o, "--length", o.lengthX, s.lengthX, "a domain length of",
                FormatNumber(s.lengthX) + " m");
    if (o.maxSteps && *o.maxSteps < s.stepCount) {
        throw UsageError("--max-steps: " + Quoted(*o.resume) + " has already made " +
                         std::to_string(s.stepCount) + " calls that did work");
    }
    if (!s.defaultConstructor || o.maxSteps) {
        o.nodesX = s.nodesX;
        o.nodesY = s.nodesY;
        o.lengthX = s.lengthX;
        o.maxSteps = o.maxSteps.value_or(s.maxStepCount);
    }
}

void AdoptOutputs(FlowOptions& o, const RunRecord& r) {
    for (const std::string& field : r.fields) {
        if (!FindFlowField(field)) {
            throw UsageError(Quoted(*o.resume) + " names an unknown field '" + field + "'");
        }
    }
    for (const std::string& format : r.formats) {
        if (!Contains({"png", "vtk", "json"}, format)) {
            throw UsageError(Quoted(*o.resume) + " names an unknown format '" + format + "'");
        }
    }
    if (!Given(o, "--snapshot-every")) {
        o.snapshotEvery = r.snapshotEvery;
    }
    if (!Given(o, "--fields")) {
        o.fields = r.fields;
    }
    if (!Given(o, "--formats")) {
        o.formats = r.formats;
    }
    if (!Given(o, "--pixels-per-node")) {
        o.pixelsPerNode = r.pixelsPerNode;
    }
    if (!Given(o, "--checkpoint-every")) {
        o.checkpointEvery = r.checkpointEvery;
    }
    if (!Given(o, "--output")) {
        const fs::path folder = fs::path(*o.resume).parent_path();
        o.output = folder.empty() ? "." : folder.string();
    }
}

}  // namespace

UsageError CannotResume(const CheckpointError& error) {
    return UsageError(std::string("--resume: ") + error.what());
}

Checkpoint AdoptCheckpoint(FlowOptions& o) {
    Checkpoint c;
    try {
        c = ReadCheckpoint(*o.resume);
    } catch (const CheckpointError& e) {
        throw CannotResume(e);
    }
    AdoptCase(o, c);
    AdoptMesh(o, c.solver);
    AdoptOutputs(o, c.run);
    return c;
}

}  // namespace nembra_cli
