#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "CheckpointSeal.h"
#include "Nembra/NavierStokesEquations2D.h"
#include "OutputFiles.h"
#include "PngOutput.h"
#include "VtkOutput.h"

// Checkpoints of a flow run: an HDF5 file that holds everything the run needs to continue to
// the same last bit as if it had never stopped (docs/checkpoints.md explains why that is so).
namespace nembra_cli {

using FlowNode = Nembra::NavierStokesEquations2D::_MeshNode;

// Version of the layout below; a file of another version is refused.
constexpr int kCheckpointFormatVersion = 1;

// The solver as saved: how it was built, how far it has gone, and all 44 slots of every node.
struct SolverRecord {
    bool defaultConstructor = true;  // otherwise the four-argument one, with these values
    int nodesX = 0;
    int nodesY = 0;
    double lengthX = 0.0;
    int maxStepCount = 0;
    int stepCount = 0;    // the solver's count of calls that did work, the laying one included
    double deltaT = 0.0;  // the last time step
    // Members that follow from construction, compared bit for bit when the run resumes.
    std::vector<std::pair<std::string, double>> setting;
    std::vector<FlowNode> nodes;  // node (i, j) at i * nodesY + j, as in memory
};

// A case's own state beyond the mesh and the solver's members, as named values.
struct CaseState {
    std::map<std::string, double> numbers;
    std::map<std::string, std::string> words;
};

// What a case needs to build the solver that continues a stored run: the stored mesh and plate
// length, and the step limit shortened by the calls made before the stored run's last one.
struct ResumeArguments {
    int nodesX = 0;
    int nodesY = 0;
    double lengthX = 0.0;
    int maxStepCount = 0;
};

// A run's counts and times as the command line keeps them.
struct RunCounts {
    int calls = 0;  // UpdateDatas calls made
    int steps = 0;  // time steps taken
    double modelTime = 0.0;
    long long nonFiniteReports = 0;
    int snapshots = 0;
    int lastSnapshotStep = -1;
    double solverSeconds = 0.0;
    double totalSeconds = 0.0;
};

// The colour scale on which a field's heat maps have been drawn so far, so that a continued run
// draws the rest of the series in the same colours.
struct FieldScale {
    std::string field;  // the field's name, as --fields takes it
    ColorScale scale;
};

// What the command line needs to continue its outputs where it stopped.
struct RunRecord : RunCounts {
    int snapshotEvery = 1;
    int checkpointEvery = 1;
    std::vector<std::string> fields;
    std::vector<std::string> formats;
    std::optional<double> pixelsPerNode;
    std::vector<PvdEntry> series;    // the .pvd collection so far
    std::vector<FieldScale> scales;  // colour scales of the heat-map series so far
};

struct Checkpoint {
    std::string caseName;
    SolverRecord solver;
    CaseState caseState;
    RunRecord run;
};

// Where a run's checkpoint lives in its output folder.
fs::path CheckpointPath(const fs::path& outputDirectory);

// The members of `solver` that follow from its construction, by name.
std::vector<std::pair<std::string, double>> SolverSetting(
    const Nembra::NavierStokesEquations2D& solver);

// Copies what the solver holds into `record`: its mesh, step count and setting. `stepOffset`
// is added to the solver's own step count (a resumed solver counts from its laying call).
void RecordSolver(Nembra::NavierStokesEquations2D& solver, int stepOffset, SolverRecord& record);

// Writes the file under a temporary name, seals and flushes it, and renames it into place, so
// a crash at any moment leaves the previous checkpoint or the new one, both complete. Throws
// OutputError.
void WriteCheckpoint(const fs::path& path, const Checkpoint& checkpoint);

// Reads and checks a checkpoint: every value is validated before it is used. The HDF5 contents
// are read first in a child process (fork), so that contents on which the HDF5 library crashes or
// hangs are refused rather than taking the program down; call it while no other thread runs.
// Throws CheckpointError naming the file and the problem.
Checkpoint ReadCheckpoint(const fs::path& path);

}  // namespace nembra_cli
