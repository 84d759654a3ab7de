#include <gtest/gtest.h>
#include <hdf5.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>

#include "Checkpoint.h"
#include "CliTestSupport.h"
#include "FlowCases.h"
#include "FlowResume.h"
#include "Nembra/BlastWave.h"
#include "Nembra/ShockTube.h"
#include "Nembra/SupersonicFlatPlate.h"

namespace nembra_cli_test {
namespace {

using nembra_cli::Checkpoint;
using nembra_cli::CheckpointError;
using nembra_cli::FlowNode;
using Solver = Nembra::NavierStokesEquations2D;
using Plate = Nembra::SupersonicFlatPlate;

// A host's run of one solver, counting model time as the command line does: the sum of the
// time steps of the calls that advanced the field.
struct HostRun {
    std::unique_ptr<Solver> solver;
    int stepOffset = 0;
    double modelTime = 0.0;

    void Call(int calls) {
        for (int k = 0; k < calls; ++k) {
            const int before = solver->GetStepCount();
            solver->UpdateDatas();
            if (before >= 1 && before < solver->GetMaxStepCount()) {
                modelTime += solver->GetDeltaT();
            }
        }
    }
    int StepCount() const { return solver->GetStepCount() + stepOffset; }
};

std::vector<unsigned char> MeshBytes(Solver& solver) {
    int nx = 0;
    int ny = 0;
    FlowNode** mesh = solver.GetMeshNodes(nx, ny);
    std::vector<unsigned char> bytes;
    for (int i = 0; i < nx; ++i) {
        const auto* row = reinterpret_cast<const unsigned char*>(mesh[i]);
        bytes.insert(bytes.end(), row, row + sizeof(FlowNode) * ny);
    }
    return bytes;
}

bool SameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

struct FlowCaseUnderTest {
    std::string label;
    std::string caseName;
    std::function<std::unique_ptr<Solver>()> make;
    bool defaultConstructor;
};

const nembra_cli::FlowCase& CaseNamed(const std::string& name) {
    static const nembra_cli::FlowCaseList cases = nembra_cli::MakeFlowCases();
    return nembra_cli::FindFlowCase(cases, name);
}

std::ostream& operator<<(std::ostream& out, const FlowCaseUnderTest& c) {
    return out << c.label;
}

Checkpoint Capture(HostRun& run, const FlowCaseUnderTest& c) {
    Checkpoint checkpoint;
    checkpoint.caseName = c.caseName;
    nembra_cli::RecordSolver(*run.solver, run.stepOffset, checkpoint.solver);
    checkpoint.solver.defaultConstructor = c.defaultConstructor;
    checkpoint.caseState = CaseNamed(c.caseName).SaveState(*run.solver);
    checkpoint.run.calls = run.StepCount();
    checkpoint.run.steps = run.StepCount() - 1;
    checkpoint.run.modelTime = run.modelTime;
    checkpoint.run.fields = {"density"};
    checkpoint.run.formats = {"json"};
    return checkpoint;
}

// Saves the run into `path` and continues it, as a new process would, from the file alone.
HostRun SaveAndResume(HostRun& run, const FlowCaseUnderTest& c, const fs::path& path) {
    nembra_cli::WriteCheckpoint(path, Capture(run, c));
    Checkpoint loaded = nembra_cli::ReadCheckpoint(path);
    nembra_cli::ResumedSolver resumed = nembra_cli::ResumeFlow(
        loaded, CaseNamed(loaded.caseName), "checkpoint '" + path.string() + "'");
    HostRun continued;
    continued.solver = std::move(resumed.solver);
    continued.stepOffset = resumed.stepOffset;
    continued.modelTime = loaded.run.modelTime;
    return continued;
}

void ExpectSameRun(HostRun& resumed, HostRun& straight) {
    EXPECT_EQ(resumed.StepCount(), straight.StepCount());
    EXPECT_TRUE(SameBits(resumed.modelTime, straight.modelTime))
        << resumed.modelTime << " vs " << straight.modelTime;
    EXPECT_TRUE(SameBits(resumed.solver->GetDeltaT(), straight.solver->GetDeltaT()));
    EXPECT_TRUE(MeshBytes(*resumed.solver) == MeshBytes(*straight.solver)) << "the meshes differ";
    auto* a = dynamic_cast<Plate*>(resumed.solver.get());
    auto* b = dynamic_cast<Plate*>(straight.solver.get());
    ASSERT_EQ(a == nullptr, b == nullptr);
    if (a != nullptr) {
        EXPECT_EQ(a->GetWallCondition(), b->GetWallCondition());
        EXPECT_TRUE(SameBits(a->GetLargestDensityChange(), b->GetLargestDensityChange()));
    }
}

std::vector<FlowCaseUnderTest> CasesUnderTest() {
    return {
        {"ClosedBoxDefault", "closed-box", [] { return std::make_unique<Solver>(); }, true},
        {"ClosedBox20x16", "closed-box", [] { return std::make_unique<Solver>(20, 16, 2e-5, 60); },
         false},
        {"FlatPlateIsothermal", "flat-plate", [] { return std::make_unique<Plate>(); }, true},
        {"ShockTubeDefault", "shock-tube", [] { return std::make_unique<Nembra::ShockTube>(); },
         true},
        {"BlastDefault", "blast", [] { return std::make_unique<Nembra::BlastWave>(); }, true},
        {"FlatPlateAdiabatic", "flat-plate",
         [] { return std::make_unique<Plate>(Plate::WallCondition::Adiabatic); }, true},
    };
}

class CheckpointContinuation : public ::testing::TestWithParam<FlowCaseUnderTest> {
protected:
    ScratchFolder scratch_{"checkpoint-continuation"};
    fs::path Path() {
        fs::create_directories(scratch_.Path());
        return nembra_cli::CheckpointPath(scratch_.Path());
    }
};

// N calls in one run against N/2 calls, a checkpoint, and N/2 calls of a solver built from the
// file alone: every slot of every node, the model time and the step count agree to the bit.
TEST_P(CheckpointContinuation, HalfwayCheckpointContinuesToTheSameLastBit) {
    constexpr int kCalls = 40;
    const FlowCaseUnderTest& c = GetParam();
    HostRun straight{c.make()};
    straight.Call(kCalls);

    HostRun first{c.make()};
    first.Call(kCalls / 2);
    HostRun resumed = SaveAndResume(first, c, Path());
    ASSERT_EQ(resumed.StepCount(), kCalls / 2);
    resumed.Call(kCalls - kCalls / 2);
    ExpectSameRun(resumed, straight);
}

// A checkpoint of the freshly laid field, and a run resumed twice in a row.
TEST_P(CheckpointContinuation, CheckpointsOfTheInitialFieldAndOfAResumedRunContinueExactly) {
    const FlowCaseUnderTest& c = GetParam();
    HostRun straight{c.make()};
    straight.Call(21);

    HostRun first{c.make()};
    first.Call(1);
    HostRun second = SaveAndResume(first, c, Path());
    second.Call(7);
    HostRun third = SaveAndResume(second, c, Path());
    third.Call(13);
    ExpectSameRun(third, straight);
}

// At the step limit the stored run stands still, and so does its continuation.
TEST_P(CheckpointContinuation, RunAtItsStepLimitStaysAtIt) {
    const FlowCaseUnderTest& c = GetParam();
    HostRun run{c.make()};
    const int limit = run.solver->GetMaxStepCount();
    const int calls = std::min(limit, 30);
    run.Call(calls);
    HostRun resumed = SaveAndResume(run, c, Path());
    EXPECT_EQ(resumed.solver->GetMaxStepCount() + resumed.stepOffset, limit);
    if (calls == limit) {
        const std::vector<unsigned char> before = MeshBytes(*resumed.solver);
        resumed.Call(3);
        EXPECT_EQ(resumed.StepCount(), limit);
        EXPECT_TRUE(MeshBytes(*resumed.solver) == before);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryCase, CheckpointContinuation, ::testing::ValuesIn(CasesUnderTest()),
                         [](const auto& info) { return info.param.label; });

TEST(CheckpointContinuationLimit, SmallStepLimitIsReachedAtTheSameCall) {
    const FlowCaseUnderTest c{"ClosedBox12", "closed-box",
                              [] { return std::make_unique<Solver>(12, 12, 1e-5, 9); }, false};
    ScratchFolder scratch("checkpoint-limit");
    fs::create_directories(scratch.Path());
    HostRun straight{c.make()};
    straight.Call(15);
    HostRun first{c.make()};
    first.Call(4);
    HostRun resumed = SaveAndResume(first, c, scratch.Path() / "c.h5");
    resumed.Call(11);
    EXPECT_EQ(resumed.StepCount(), 9);
    ExpectSameRun(resumed, straight);
}

// ---------------------------------------------------------------------------------------------
// The file itself

double QuietNaNWithPayload(std::uint64_t payload) {
    std::uint64_t bits = 0x7ff8000000000000ULL | payload;
    double value = 0.0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

Checkpoint SmallCheckpoint() {
    Plate plate(12, 12, 1e-5, 50, Plate::WallCondition::Adiabatic);
    for (int k = 0; k < 6; ++k) {
        plate.UpdateDatas();
    }
    Checkpoint c;
    c.caseName = "flat-plate";
    nembra_cli::RecordSolver(plate, 0, c.solver);
    c.solver.defaultConstructor = false;
    c.caseState = CaseNamed("flat-plate").SaveState(plate);
    c.run.calls = 6;
    c.run.steps = 5;
    c.run.modelTime = 1.25e-10;
    c.run.nonFiniteReports = 3;
    c.run.snapshots = 2;
    c.run.lastSnapshotStep = 5;
    c.run.solverSeconds = 0.5;
    c.run.totalSeconds = 0.75;
    c.run.snapshotEvery = 5;
    c.run.checkpointEvery = 2;
    c.run.fields = {"density", "mach"};
    c.run.formats = {"png", "vtk"};
    c.run.pixelsPerNode = 3.5;
    c.run.series = {{0.0, "flow_000000.vti"}, {1.25e-10, "flow_000005.vti"}};
    // Bounds of every kind a series can settle on: fitted ones with all their bits, a user's, a
    // symmetric one and one by decades.
    c.run.scales = {{"density", {std::nextafter(0.4, 0.0), 4.0 / 3.0, false}},
                    {"u", {-7000.0, 7000.0, false}},
                    {"temperature", {1e-300, 2e7, true}}};
    // Slots the step never reads keep whatever they hold, NaN payloads and signed zeros too.
    c.solver.nodes[0].DUDt[0] = QuietNaNWithPayload(0x12345);
    c.solver.nodes[0].DUDt[1] = -0.0;
    return c;
}

class CheckpointFile : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        scratch_ = new ScratchFolder("checkpoint-file");
        fs::create_directories(scratch_->Path());
        nembra_cli::WriteCheckpoint(Good(), SmallCheckpoint());
        bytes_ = new std::string(ReadText(Good()));
    }
    static void TearDownTestSuite() {
        delete bytes_;
        delete scratch_;
    }
    static fs::path Good() { return scratch_->Path() / "good.h5"; }
    static fs::path Bad() { return scratch_->Path() / "bad.h5"; }
    static void WriteBad(const std::string& bytes) {
        std::ofstream(Bad(), std::ios::binary | std::ios::trunc) << bytes;
    }

    static ScratchFolder* scratch_;
    static std::string* bytes_;
};
ScratchFolder* CheckpointFile::scratch_ = nullptr;
std::string* CheckpointFile::bytes_ = nullptr;

// The refusal names the file and says what is wrong with it.
void ExpectRefused(const fs::path& path, const std::string& problem) {
    try {
        nembra_cli::ReadCheckpoint(path);
        ADD_FAILURE() << "accepted " << path << ", expected: " << problem;
    } catch (const CheckpointError& e) {
        const std::string message = e.what();
        EXPECT_NE(message.find(path.string()), std::string::npos) << message;
        EXPECT_NE(message.find(problem), std::string::npos) << message;
    }
}

TEST_F(CheckpointFile, ReadsBackEveryValueItWrote) {
    const Checkpoint w = SmallCheckpoint();
    const Checkpoint r = nembra_cli::ReadCheckpoint(Good());
    EXPECT_EQ(r.caseName, "flat-plate");
    EXPECT_EQ(r.solver.defaultConstructor, false);
    EXPECT_EQ(r.solver.nodesX, 12);
    EXPECT_EQ(r.solver.nodesY, 12);
    EXPECT_TRUE(SameBits(r.solver.lengthX, 1e-5));
    EXPECT_EQ(r.solver.maxStepCount, 50);
    EXPECT_EQ(r.solver.stepCount, 6);
    EXPECT_TRUE(SameBits(r.solver.deltaT, w.solver.deltaT));
    ASSERT_EQ(r.solver.nodes.size(), w.solver.nodes.size());
    EXPECT_EQ(std::memcmp(r.solver.nodes.data(), w.solver.nodes.data(),
                          w.solver.nodes.size() * sizeof(FlowNode)),
              0);
    const auto setting = w.solver.setting;
    ASSERT_EQ(r.solver.setting.size(), setting.size());
    for (const auto& [name, value] : setting) {
        bool found = false;
        for (const auto& [rname, rvalue] : r.solver.setting) {
            found = found || (rname == name && SameBits(rvalue, value));
        }
        EXPECT_TRUE(found) << name;
    }
    EXPECT_EQ(r.caseState.words.at("wall"), "adiabatic");
    EXPECT_TRUE(SameBits(r.caseState.numbers.at("largest_density_change"),
                         w.caseState.numbers.at("largest_density_change")));
    EXPECT_EQ(r.run.calls, 6);
    EXPECT_EQ(r.run.steps, 5);
    EXPECT_TRUE(SameBits(r.run.modelTime, 1.25e-10));
    EXPECT_EQ(r.run.nonFiniteReports, 3);
    EXPECT_EQ(r.run.snapshots, 2);
    EXPECT_EQ(r.run.lastSnapshotStep, 5);
    EXPECT_EQ(r.run.snapshotEvery, 5);
    EXPECT_EQ(r.run.checkpointEvery, 2);
    EXPECT_EQ(r.run.fields, (std::vector<std::string>{"density", "mach"}));
    EXPECT_EQ(r.run.formats, (std::vector<std::string>{"png", "vtk"}));
    ASSERT_TRUE(r.run.pixelsPerNode.has_value());
    EXPECT_EQ(*r.run.pixelsPerNode, 3.5);
    ASSERT_EQ(r.run.series.size(), 2u);
    EXPECT_EQ(r.run.series[1].file, "flow_000005.vti");
    EXPECT_TRUE(SameBits(r.run.series[1].time, 1.25e-10));
    ASSERT_EQ(r.run.scales.size(), w.run.scales.size());
    for (std::size_t k = 0; k < w.run.scales.size(); ++k) {
        EXPECT_EQ(r.run.scales[k].field, w.run.scales[k].field);
        EXPECT_TRUE(SameBits(r.run.scales[k].scale.min, w.run.scales[k].scale.min)) << k;
        EXPECT_TRUE(SameBits(r.run.scales[k].scale.max, w.run.scales[k].scale.max)) << k;
        EXPECT_EQ(r.run.scales[k].scale.log, w.run.scales[k].scale.log) << k;
    }
}

// A checkpoint of a run that kept no colour scales (written before they were kept) is read
// whole, with none; one that lost only some of their datasets is refused.
TEST_F(CheckpointFile, FileWithoutColourScalesIsReadWithNone) {
    auto without = [&](const std::vector<const char*>& datasets) {
        WriteBad(*bytes_);
        const hid_t file = H5Fopen(Bad().c_str(), H5F_ACC_RDWR, H5P_DEFAULT);
        EXPECT_GE(file, 0);
        for (const char* name : datasets) {
            EXPECT_GE(H5Ldelete(file, (std::string("run/") + name).c_str(), H5P_DEFAULT), 0);
        }
        H5Fclose(file);
        nembra_cli::SealFile(Bad(), nembra_cli::kCheckpointFormatVersion);
    };
    without({"scale_field", "scale_range", "scale_kind"});
    const Checkpoint r = nembra_cli::ReadCheckpoint(Bad());
    EXPECT_TRUE(r.run.scales.empty());
    EXPECT_EQ(r.run.series.size(), 2u);
    EXPECT_EQ(r.run.calls, 6);

    without({"scale_kind"});
    ExpectRefused(Bad(), "lacks the dataset 'scale_kind'");
}

TEST_F(CheckpointFile, EveryFlippedHeaderByteAndRandomFlipsElsewhereAreRefused) {
    std::mt19937 random(17);
    std::uniform_int_distribution<int> mask(1, 255);
    std::vector<std::size_t> positions;
    for (std::size_t k = 0; k < nembra_cli::kSealBytes; ++k) {
        positions.push_back(k);
    }
    std::uniform_int_distribution<std::size_t> anywhere(nembra_cli::kSealBytes, bytes_->size() - 1);
    for (int k = 0; k < 300; ++k) {
        positions.push_back(anywhere(random));
    }
    for (std::size_t at : positions) {
        std::string bytes = *bytes_;
        bytes[at] = static_cast<char>(bytes[at] ^ mask(random));
        WriteBad(bytes);
        try {
            nembra_cli::ReadCheckpoint(Bad());
            ADD_FAILURE() << "a flipped byte at " << at << " was accepted";
        } catch (const CheckpointError& e) {
            EXPECT_NE(std::string(e.what()).find(Bad().string()), std::string::npos) << e.what();
        }
    }
}

TEST_F(CheckpointFile, TruncatedFilesAreRefused) {
    std::mt19937 random(29);
    std::uniform_int_distribution<std::size_t> length(0, bytes_->size() - 1);
    std::vector<std::size_t> lengths{0, 10, 511, 512, 513, bytes_->size() - 1};
    for (int k = 0; k < 100; ++k) {
        lengths.push_back(length(random));
    }
    for (std::size_t cut : lengths) {
        WriteBad(bytes_->substr(0, cut));
        if (cut < std::strlen("nembra checkpoint\n")) {
            ExpectRefused(Bad(), "is not a nembra checkpoint");
        } else {
            ExpectRefused(Bad(), "is truncated");
        }
    }
    WriteBad(*bytes_ + "extra");
    ExpectRefused(Bad(), "is damaged");
}

TEST_F(CheckpointFile, ForeignFilesAreRefused) {
    ExpectRefused(scratch_->Path() / "missing.h5", "cannot open");
    ExpectRefused(scratch_->Path(), "it is not a file");
    WriteBad("x,y\n1,2\n");
    ExpectRefused(Bad(), "is not a nembra checkpoint");

    // A plain HDF5 file, made by another program.
    const fs::path plain = scratch_->Path() / "plain.h5";
    hid_t file = H5Fcreate(plain.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT);
    ASSERT_GE(file, 0);
    H5Fclose(file);
    ExpectRefused(plain, "is not a nembra checkpoint");

    // A sealed HDF5 file that holds something else.
    const fs::path other = scratch_->Path() / "other.h5";
    hid_t creation = H5Pcreate(H5P_FILE_CREATE);
    H5Pset_userblock(creation, nembra_cli::kSealBytes);
    file = H5Fcreate(other.c_str(), H5F_ACC_TRUNC, creation, H5P_DEFAULT);
    ASSERT_GE(file, 0);
    hid_t group = H5Gcreate2(file, "solver", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT);
    H5Gclose(group);
    H5Fclose(file);
    H5Pclose(creation);
    nembra_cli::SealFile(other, nembra_cli::kCheckpointFormatVersion);
    ExpectRefused(other, "lacks the value 'format'");
}

TEST_F(CheckpointFile, AnotherFormatVersionIsRefused) {
    std::string bytes = *bytes_;
    WriteBad(bytes);
    nembra_cli::SealFile(Bad(), nembra_cli::kCheckpointFormatVersion + 1);
    ExpectRefused(Bad(), "has format version 2; this nembra reads version 1");
}

// A file sealed correctly around HDF5 contents that the HDF5 library itself cannot survive: one
// byte of the attribute message of /solver/setting@cp, 33 bytes after the attribute's name, set
// to 0xf7 (found by the checkpoint fuzz target) makes HDF5 1.10 close an attribute it never
// finished building while it lists the group's attributes. What happens then depends on what the
// memory it never set holds: with the allocator filling new blocks (as AddressSanitizer's does,
// and glibc's does with M_PERTURB) it dereferences a wild pointer. The reader must refuse the file
// and the program live on.
TEST_F(CheckpointFile, ContentsThatCrashTheHdf5LibraryAreRefused) {
    std::string bytes = *bytes_;
    const std::size_t name = bytes.find(std::string("cp", 3), nembra_cli::kSealBytes);
    ASSERT_NE(name, std::string::npos);
    bytes[name + 33] = static_cast<char>(0xf7);
    WriteBad(bytes);
    nembra_cli::SealFile(Bad(), nembra_cli::kCheckpointFormatVersion);
#if defined(__GLIBC__)
    mallopt(M_PERTURB, 0xa5);
#endif
    ExpectRefused(Bad(), "is damaged: the HDF5 library failed on its contents");
#if defined(__GLIBC__)
    mallopt(M_PERTURB, 0);
#endif
    // The process that refused it reads a sound checkpoint as before.
    EXPECT_EQ(nembra_cli::ReadCheckpoint(Good()).solver.nodesX, 12);
}

// A file sealed correctly around HDF5 contents on which the HDF5 library goes round without end
// (found by the checkpoint fuzz target; kept as found). It is refused once the reading has had
// its allowance, and nothing is left running.
TEST(CheckpointHdf5, ContentsOnWhichTheHdf5LibraryNeverEndsAreRefused) {
    const fs::path path = fs::path(NEMBRA_CHECKPOINT_DATA) / "checkpoint-hdf5-never-ends.h5";
    ExpectRefused(path, "is damaged: the HDF5 library did not finish reading it in 10 s");
    int status = 0;
    EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1) << "a child process is left";
}

// Files sealed correctly around values that no run can have.
TEST_F(CheckpointFile, ImpossibleValuesAreRefused) {
    const std::vector<std::pair<std::function<void(Checkpoint&)>, std::string>> cases = {
        {[](Checkpoint& c) { c.solver.stepCount = 51; }, "'step_count' = 51"},
        {[](Checkpoint& c) { c.solver.stepCount = 0; }, "'step_count' = 0"},
        {[](Checkpoint& c) { c.solver.lengthX = std::nan(""); }, "length_x"},
        {[](Checkpoint& c) { c.run.steps = 7; }, "'steps' = 7"},
        {[](Checkpoint& c) { c.run.snapshotEvery = 0; }, "'snapshot_every' = 0"},
        {[](Checkpoint& c) { c.run.series[0].file = "../../etc/passwd"; }, "plain file name"},
        {[](Checkpoint& c) { c.run.series[1].file = "a\"b.vti"; }, "plain file name"},
        {[](Checkpoint& c) { c.run.pixelsPerNode = -1.0; }, "pixels_per_node"},
        {[](Checkpoint& c) { c.run.fields = {std::string(5000, 'x')}; }, "overlong"},
        {[](Checkpoint& c) { c.run.scales[0].scale.min = std::nan(""); }, "not finite numbers"},
        {[](Checkpoint& c) { c.run.scales[0].scale.max = HUGE_VAL; }, "not finite numbers"},
        {[](Checkpoint& c) { c.run.scales[1].scale.max = -7000.0; }, "MIN < MAX"},
        {[](Checkpoint& c) { c.run.scales[1].scale.min = 8000.0; }, "MIN < MAX"},
        {[](Checkpoint& c) { c.run.scales[2].scale.min = 0.0; }, "log colour scale of temperature"},
        {[](Checkpoint& c) { c.run.scales[2].scale.min = -1.0; }, "log colour scale"},
        {[](Checkpoint& c) { c.run.scales[1].scale.log = true; }, "log colour scale of u"},
        {[](Checkpoint& c) { c.run.scales[0].field = "vorticity"; }, "unknown field 'vorticity'"},
        {[](Checkpoint& c) { c.run.scales[0].field = "\x1b[2J"; }, "unknown field '\\x1B[2J'"},
        {[](Checkpoint& c) { c.run.scales[2].field = "u"; }, "two colour scales of u"},
        {[](Checkpoint& c) { c.run.scales.resize(40, c.run.scales[0]); }, "more colour scales"},
    };
    for (const auto& [spoil, problem] : cases) {
        Checkpoint c = SmallCheckpoint();
        spoil(c);
        nembra_cli::WriteCheckpoint(Bad(), c);
        ExpectRefused(Bad(), problem);
    }
}

TEST_F(CheckpointFile, StateOfAnotherCaseOrSettingIsRefusedOnResume) {
    const std::string name = "checkpoint 'x.h5'";
    Checkpoint c = nembra_cli::ReadCheckpoint(Good());
    c.caseState.words.erase("wall");
    EXPECT_THROW(nembra_cli::ResumeFlow(c, CaseNamed("flat-plate"), name), CheckpointError);

    c = nembra_cli::ReadCheckpoint(Good());
    for (auto& [member, value] : c.solver.setting) {
        if (member == "gamma") {
            value = 1.3;
        }
    }
    try {
        nembra_cli::ResumeFlow(c, CaseNamed("flat-plate"), name);
        ADD_FAILURE() << "a checkpoint of another gas was resumed";
    } catch (const CheckpointError& e) {
        EXPECT_NE(std::string(e.what()).find("another solver setting: gamma"), std::string::npos)
            << e.what();
    }
}

// A write that fails leaves the previous checkpoint whole under its name, and no temporary.
TEST_F(CheckpointFile, FailedWriteKeepsThePreviousCheckpoint) {
    const fs::path path = scratch_->Path() / "kept.h5";
    nembra_cli::WriteCheckpoint(path, SmallCheckpoint());
    const std::string before = ReadText(path);
    // The temporary's name is taken by a folder, so the file cannot be created.
    const fs::path blocker = scratch_->Path() / (".kept.h5.part-" + std::to_string(::getpid()));
    fs::create_directories(blocker / "inside");
    Checkpoint later = SmallCheckpoint();
    later.run.calls = 40;
    EXPECT_THROW(nembra_cli::WriteCheckpoint(path, later), nembra_cli::OutputError);
    EXPECT_EQ(ReadText(path), before);
    EXPECT_EQ(nembra_cli::ReadCheckpoint(path).run.calls, 6);
    fs::remove_all(blocker);
}

}  // namespace
}  // namespace nembra_cli_test
