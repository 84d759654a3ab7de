#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cmath>
#include <cstring>
#include <random>
#include <thread>

#include "Checkpoint.h"
#include "CliTestSupport.h"
#include "FlowCases.h"
#include "FlowResume.h"
#include "Nembra/SupersonicFlatPlate.h"

extern char** environ;

// The command line's checkpoints: runs in separate processes of the program itself, stopped
// and continued, against runs that were never stopped.
namespace nembra_cli_test {
namespace {

using nembra_cli::Checkpoint;
using nembra_cli::FlowNode;
using Plate = Nembra::SupersonicFlatPlate;

// Starts the program with `arguments`, its output discarded; returns its process id.
pid_t Start(const std::vector<std::string>& arguments) {
    std::vector<std::string> all{NEMBRA_PROGRAM};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : all) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed == 0 ? pid : -1;
}

// The process's exit status, or 128 + the signal that ended it.
int Wait(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int RunProgram(const std::vector<std::string>& arguments) {
    const pid_t pid = Start(arguments);
    return pid < 0 ? -1 : Wait(pid);
}

bool SameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool SameNodes(const std::vector<FlowNode>& a, const std::vector<FlowNode>& b) {
    return a.size() == b.size() &&
           std::memcmp(a.data(), b.data(), a.size() * sizeof(FlowNode)) == 0;
}

nlohmann::json Summary(const fs::path& folder) {
    return nlohmann::json::parse(ReadText(folder / "summary.json"));
}

struct CaseArguments {
    std::string label;
    std::vector<std::string> arguments;
};

std::ostream& operator<<(std::ostream& out, const CaseArguments& c) {
    return out << c.label;
}

class CheckpointResumeRun : public ::testing::TestWithParam<CaseArguments> {
protected:
    ScratchFolder scratch_{"checkpoint-resume-run"};

    std::vector<std::string> Flow(const std::vector<std::string>& more) const {
        std::vector<std::string> arguments{"flow"};
        arguments.insert(arguments.end(), GetParam().arguments.begin(), GetParam().arguments.end());
        arguments.insert(arguments.end(), more.begin(), more.end());
        return arguments;
    }
};

// N calls in one process against N/2 calls, a checkpoint, and N/2 calls in a new process that
// resumes from it: the same last state to the bit, and the same figures.
TEST_P(CheckpointResumeRun, NewProcessContinuesToTheSameLastBit) {
    const fs::path straight = scratch_.Path() / "straight";
    const fs::path stopped = scratch_.Path() / "stopped";
    const std::vector<std::string> common{"--checkpoint-every", "1000", "--formats", "json", "-q"};
    auto with = [&](std::vector<std::string> more) {
        more.insert(more.end(), common.begin(), common.end());
        return Flow(more);
    };
    ASSERT_EQ(RunProgram(with({"--calls", "30", "-o", straight.string()})), 0);
    ASSERT_EQ(RunProgram(with({"--calls", "15", "-o", stopped.string()})), 0);
    ASSERT_EQ(RunProgram({"flow", "--resume", nembra_cli::CheckpointPath(stopped).string(),
                          "--calls", "15", "-q"}),
              0);

    const Checkpoint a = nembra_cli::ReadCheckpoint(nembra_cli::CheckpointPath(straight));
    const Checkpoint b = nembra_cli::ReadCheckpoint(nembra_cli::CheckpointPath(stopped));
    EXPECT_TRUE(SameNodes(a.solver.nodes, b.solver.nodes)) << "the final meshes differ";
    EXPECT_EQ(a.solver.stepCount, 30);
    EXPECT_EQ(b.solver.stepCount, 30);
    EXPECT_TRUE(SameBits(a.solver.deltaT, b.solver.deltaT));
    EXPECT_TRUE(SameBits(a.run.modelTime, b.run.modelTime));
    EXPECT_EQ(a.caseState.words, b.caseState.words);
    for (const auto& [name, value] : a.caseState.numbers) {
        EXPECT_TRUE(SameBits(b.caseState.numbers.at(name), value)) << name;
    }
    const nlohmann::json sa = Summary(straight);
    const nlohmann::json sb = Summary(stopped);
    EXPECT_EQ(sb["calls_made"], 30);
    EXPECT_EQ(sb["steps"], sa["steps"]);
    EXPECT_EQ(sb["model_time"].get<double>(), sa["model_time"].get<double>());
    EXPECT_EQ(sb["fields_at_end"], sa["fields_at_end"]);
    EXPECT_EQ(sb["parameters"]["max_step_count"], sa["parameters"]["max_step_count"]);
}

INSTANTIATE_TEST_SUITE_P(
    EveryCase, CheckpointResumeRun,
    ::testing::Values(CaseArguments{"ClosedBoxDefault", {}},
                      CaseArguments{"ClosedBox24x20", {"--nx", "24", "--ny", "20"}},
                      CaseArguments{"FlatPlateIsothermal", {"--case", "flat-plate"}},
                      CaseArguments{"ShockTube200x11", {"--case", "shock-tube", "--nx", "200"}},
                      CaseArguments{"Blast61x61", {"--case", "blast", "--nx", "61", "--ny", "61"}},
                      CaseArguments{"FlatPlateAdiabatic",
                                    {"--case", "flat-plate", "--wall", "adiabatic"}}),
    [](const auto& info) { return info.param.label; });

// The snapshots go on in the same folder: numbering, series and files as in one run.
TEST(CheckpointResumeOutputs, SnapshotsAndSeriesContinueInTheSameFolder) {
    ScratchFolder scratch("checkpoint-resume-outputs");
    const fs::path one = scratch.Path() / "one";
    const fs::path two = scratch.Path() / "two";
    const std::vector<std::string> small{"flow",
                                         "--nx",
                                         "12",
                                         "--ny",
                                         "12",
                                         "--formats",
                                         "vtk",
                                         "--snapshot-every",
                                         "5",
                                         "-q",
                                         "--checkpoint-every",
                                         "100"};
    auto with = [&](std::vector<std::string> more) {
        std::vector<std::string> a = small;
        a.insert(a.end(), more.begin(), more.end());
        return a;
    };
    ASSERT_EQ(RunProgram(with({"--calls", "21", "-o", one.string()})), 0);
    ASSERT_EQ(RunProgram(with({"--calls", "11", "-o", two.string()})), 0);
    ASSERT_EQ(
        RunProgram({"flow", "--resume", nembra_cli::CheckpointPath(two).string(), "--calls", "10"}),
        0);
    for (const char* name : {"flow_000000.vti", "flow_000005.vti", "flow_000010.vti",
                             "flow_000015.vti", "flow_000020.vti"}) {
        ASSERT_TRUE(fs::exists(two / name)) << name;
        EXPECT_EQ(ReadText(two / name), ReadText(one / name)) << name;
    }
    // The resumed series is the stored one and the new frames, in order of model time.
    const std::string pvd = ReadText(two / "flow.pvd");
    std::size_t at = 0;
    for (const char* name : {"flow_000000.vti", "flow_000005.vti", "flow_000010.vti",
                             "flow_000015.vti", "flow_000020.vti"}) {
        const std::size_t found = pvd.find(name, at);
        ASSERT_NE(found, std::string::npos) << name << " missing or out of order in\n" << pvd;
        at = found;
    }
    EXPECT_FALSE(fs::exists(two / "summary.json"));
}

bool SameScales(const std::vector<nembra_cli::FieldScale>& a,
                const std::vector<nembra_cli::FieldScale>& b) {
    bool same = a.size() == b.size();
    for (std::size_t k = 0; same && k < a.size(); ++k) {
        same = a[k].field == b[k].field && SameBits(a[k].scale.min, b[k].scale.min) &&
               SameBits(a[k].scale.max, b[k].scale.max) && a[k].scale.log == b[k].scale.log;
    }
    return same;
}

const nembra_cli::FieldScale* ScaleOf(const Checkpoint& c, const std::string& field) {
    for (const nembra_cli::FieldScale& s : c.run.scales) {
        if (s.field == field) {
            return &s;
        }
    }
    return nullptr;
}

// Runs that draw pictures are run in this process, whose font caches are released at its end
// (see CliTestSupport.h): the program, which keeps them to its end, would fail LeakSanitizer.
// A resumed run shares nothing with the run it continues but the files.
bool Runs(const std::vector<std::string>& arguments) {
    const CliResult result = RunCli(arguments);
    EXPECT_EQ(result.status, 0) << result.err;
    return result.status == 0;
}

// Heat maps of the closed box, whose fields vary from the initial state on and change their
// ranges as the block spreads: a run that fitted its own ranges on resuming would draw its
// pictures on other scales than the run that never stopped.
std::vector<std::string> SmallPictureRun(const std::string& fields, std::vector<std::string> more) {
    std::vector<std::string> a{"flow", "--nx",
                               "24",   "--ny",
                               "20",   "--formats",
                               "png",  "--fields",
                               fields, "--snapshot-every",
                               "5",    "--checkpoint-every",
                               "100",  "-q"};
    a.insert(a.end(), more.begin(), more.end());
    return a;
}

// The pictures after the resume are those of the run that never stopped, byte for byte, and the
// series keeps the scales of its first part: fitted ones and one by decades that the resume
// was not told of again.
TEST(CheckpointResumeOutputs, HeatMapsKeepTheColourScalesOfTheSeries) {
    ScratchFolder scratch("checkpoint-resume-scales");
    const fs::path one = scratch.Path() / "one";
    const fs::path two = scratch.Path() / "two";
    ASSERT_TRUE(Runs(SmallPictureRun(
        "density,temperature", {"--log", "temperature", "--calls", "21", "-o", one.string()})));
    ASSERT_TRUE(Runs(SmallPictureRun(
        "density,temperature", {"--log", "temperature", "--calls", "11", "-o", two.string()})));
    const Checkpoint first = nembra_cli::ReadCheckpoint(nembra_cli::CheckpointPath(two));
    ASSERT_NE(ScaleOf(first, "density"), nullptr);
    ASSERT_NE(ScaleOf(first, "temperature"), nullptr);
    EXPECT_TRUE(ScaleOf(first, "temperature")->scale.log);

    ASSERT_TRUE(
        Runs({"flow", "--resume", nembra_cli::CheckpointPath(two).string(), "--calls", "10"}));
    for (const char* name : {"density_000015.png", "density_000020.png", "temperature_000015.png",
                             "temperature_000020.png"}) {
        ASSERT_TRUE(fs::exists(two / name)) << name;
        EXPECT_TRUE(ReadText(two / name) == ReadText(one / name)) << name << " differs";
    }
    const Checkpoint straight = nembra_cli::ReadCheckpoint(nembra_cli::CheckpointPath(one));
    const Checkpoint resumed = nembra_cli::ReadCheckpoint(nembra_cli::CheckpointPath(two));
    EXPECT_TRUE(SameScales(resumed.run.scales, first.run.scales));
    EXPECT_TRUE(SameScales(resumed.run.scales, straight.run.scales));
}

// A --range or --log given on the resume colours its field from there on; the other fields keep
// the stored scales.
TEST(CheckpointResumeOutputs, RangeOrLogGivenOnTheResumeTakesPrecedence) {
    ScratchFolder scratch("checkpoint-resume-choice");
    const fs::path run = scratch.Path() / "run";
    ASSERT_TRUE(Runs(
        SmallPictureRun("density,temperature,pressure", {"--calls", "11", "-o", run.string()})));
    const Checkpoint first = nembra_cli::ReadCheckpoint(nembra_cli::CheckpointPath(run));
    ASSERT_NE(ScaleOf(first, "density"), nullptr);
    ASSERT_NE(ScaleOf(first, "temperature"), nullptr);
    ASSERT_FALSE(ScaleOf(first, "temperature")->scale.log);

    ASSERT_TRUE(Runs({"flow", "--resume", nembra_cli::CheckpointPath(run).string(), "--calls", "5",
                      "--range", "pressure=9e4:2e5", "--log", "temperature", "-q"}));
    const Checkpoint resumed = nembra_cli::ReadCheckpoint(nembra_cli::CheckpointPath(run));
    const nembra_cli::FieldScale* pressure = ScaleOf(resumed, "pressure");
    ASSERT_NE(pressure, nullptr);
    EXPECT_EQ(pressure->scale.min, 9e4);
    EXPECT_EQ(pressure->scale.max, 2e5);
    EXPECT_FALSE(pressure->scale.log);
    ASSERT_NE(ScaleOf(resumed, "temperature"), nullptr);
    EXPECT_TRUE(ScaleOf(resumed, "temperature")->scale.log);
    ASSERT_NE(ScaleOf(resumed, "density"), nullptr);
    EXPECT_TRUE(SameScales({*ScaleOf(resumed, "density")}, {*ScaleOf(first, "density")}));
}

// A run killed at a random moment, even in the middle of writing a checkpoint, leaves under
// the checkpoint's name a file that loads and continues exactly as the run it came from.
TEST(CheckpointKill, NewestCheckpointOfAKilledRunContinuesExactly) {
    constexpr int kNodes = 24;
    constexpr int kLimit = 1000000;
    constexpr int kFurther = 3;
    ScratchFolder scratch("checkpoint-kill");
    std::mt19937 random(2026);
    std::uniform_int_distribution<int> delay(150, 900);
    int checked = 0;
    for (int round = 0; round < 8; ++round) {
        const fs::path folder = scratch.Path() / ("round" + std::to_string(round));
        // Every other run is stopped by SIGTERM instead, which must save its last state.
        const bool terminate = round % 4 == 3;
        const pid_t pid =
            Start({"flow", "--case", "flat-plate", "--nx", std::to_string(kNodes), "--ny",
                   std::to_string(kNodes), "--max-steps", std::to_string(kLimit),
                   "--checkpoint-every", "1", "--formats", "json", "-q", "-o", folder.string()});
        ASSERT_GT(pid, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(delay(random)));
        kill(pid, terminate ? SIGTERM : SIGKILL);
        const int status = Wait(pid);
        EXPECT_EQ(status, terminate ? 130 : 128 + SIGKILL);
        const fs::path path = nembra_cli::CheckpointPath(folder);
        if (!fs::exists(path)) {
            EXPECT_FALSE(terminate) << "a terminated run must leave its checkpoint";
            continue;
        }
        Checkpoint stored = nembra_cli::ReadCheckpoint(path);
        const int k = stored.solver.stepCount;
        const double storedTime = stored.run.modelTime;
        if (terminate) {
            EXPECT_EQ(Summary(folder)["calls_made"], k);
        }
        const nembra_cli::FlowCaseList cases = nembra_cli::MakeFlowCases();
        nembra_cli::ResumedSolver resumed = nembra_cli::ResumeFlow(
            stored, nembra_cli::FindFlowCase(cases, "flat-plate"), path.string());

        Plate reference(kNodes, kNodes, 1e-5, kLimit);
        double referenceTime = 0.0;
        for (int call = 1; call <= k; ++call) {
            reference.UpdateDatas();
            referenceTime += call > 1 ? reference.GetDeltaT() : 0.0;
        }
        EXPECT_TRUE(SameBits(storedTime, referenceTime)) << "round " << round;
        for (int call = 0; call < kFurther; ++call) {
            reference.UpdateDatas();
            resumed.solver->UpdateDatas();
        }
        EXPECT_EQ(resumed.solver->GetStepCount() + resumed.stepOffset, k + kFurther);
        Checkpoint a;
        Checkpoint b;
        nembra_cli::RecordSolver(reference, 0, a.solver);
        nembra_cli::RecordSolver(*resumed.solver, resumed.stepOffset, b.solver);
        EXPECT_TRUE(SameNodes(a.solver.nodes, b.solver.nodes)) << "round " << round;
        ++checked;
    }
    EXPECT_GE(checked, 4) << "too few runs got as far as a checkpoint to mean anything";
}

// ---------------------------------------------------------------------------------------------
// Refusals: exit status 2, a message naming the file and the problem, nothing written.

class CheckpointResumeRefusal : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        scratch_ = new ScratchFolder("checkpoint-refusal");
        ASSERT_EQ(RunProgram({"flow", "--case", "flat-plate", "--nx", "14", "--ny", "12",
                              "--max-steps", "40", "--calls", "8", "--checkpoint-every", "100",
                              "--formats", "json", "-q", "-o", Folder().string()}),
                  0);
    }
    static void TearDownTestSuite() { delete scratch_; }
    static fs::path Folder() { return scratch_->Path() / "run"; }
    static std::string File() { return nembra_cli::CheckpointPath(Folder()).string(); }

    // The folder's files and their contents.
    static std::map<std::string, std::string> Contents() {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::directory_iterator(Folder())) {
            files[entry.path().filename().string()] = ReadText(entry.path());
        }
        return files;
    }

    static void ExpectRefused(const std::vector<std::string>& arguments,
                              const std::vector<std::string>& fragments) {
        const auto before = Contents();
        const CliResult result = RunCli(arguments);
        EXPECT_EQ(result.status, 2) << result.err;
        for (const std::string& fragment : fragments) {
            EXPECT_NE(result.err.find(fragment), std::string::npos)
                << "expected '" << fragment << "' in: " << result.err;
        }
        EXPECT_TRUE(Contents() == before) << "a refused resume changed the folder";
    }

    static ScratchFolder* scratch_;
};
ScratchFolder* CheckpointResumeRefusal::scratch_ = nullptr;

TEST_F(CheckpointResumeRefusal, DamagedOrMissingFilesAreRefused) {
    const fs::path damaged = scratch_->Path() / "damaged.h5";
    std::string bytes = ReadText(File());
    bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x10);
    std::ofstream(damaged, std::ios::binary) << bytes;
    ExpectRefused({"flow", "--resume", damaged.string(), "-o", Folder().string()},
                  {"--resume", damaged.string(), "is damaged"});
    const fs::path cut = scratch_->Path() / "cut.h5";
    std::ofstream(cut, std::ios::binary) << bytes.substr(0, bytes.size() / 3);
    ExpectRefused({"flow", "--resume", cut.string(), "-o", Folder().string()},
                  {cut.string(), "is truncated"});
    ExpectRefused({"flow", "--resume", (scratch_->Path() / "none.h5").string()}, {"--resume"});
}

// A checkpoint sealed around a colour scale no series can have is refused before anything runs.
TEST_F(CheckpointResumeRefusal, ImpossibleColourScaleIsRefused) {
    const fs::path bad = scratch_->Path() / "bad-scale.h5";
    Checkpoint c = nembra_cli::ReadCheckpoint(File());
    c.run.scales = {{"density", {1.0, std::nan(""), false}}};
    nembra_cli::WriteCheckpoint(bad, c);
    ExpectRefused({"flow", "--resume", bad.string(), "-o", Folder().string()},
                  {"--resume", bad.string(), "colour scale of density"});
}

TEST_F(CheckpointResumeRefusal, OptionsThatContradictTheStoredRunAreRefused) {
    ExpectRefused({"flow", "--resume", File(), "--case", "closed-box"},
                  {"--case", File(), "holds a flat-plate run"});
    ExpectRefused({"flow", "--resume", File(), "--nx", "70"}, {"--nx", "14 × 12"});
    ExpectRefused({"flow", "--resume", File(), "--length", "2e-5"}, {"--length", File()});
    ExpectRefused({"flow", "--resume", File(), "--wall", "adiabatic"},
                  {File(), "isothermal wall", "--wall adiabatic"});
    ExpectRefused({"flow", "--resume", File(), "--max-steps", "5"}, {"--max-steps", "8 calls"});
    ExpectRefused({"flow", "--resume", File(), "--calls", "33"}, {"--calls", "32 calls left"});
}

TEST_F(CheckpointResumeRefusal, UnwritableOutputFolderIsRefused) {
    const fs::path blocker = scratch_->Path() / "a-file";
    std::ofstream(blocker) << "x";
    ExpectRefused({"flow", "--resume", File(), "-o", (blocker / "sub").string()}, {"--output"});
}

// Agreeing options and a raised step limit are taken.
TEST_F(CheckpointResumeRefusal, AgreeingOptionsAndARaisedStepLimitAreTaken) {
    const fs::path elsewhere = scratch_->Path() / "elsewhere";
    const CliResult result =
        RunCli({"flow", "--resume", File(), "--case", "flat-plate", "--nx", "14", "--wall",
                "isothermal", "--max-steps", "60", "-o", elsewhere.string(), "-q"});
    ASSERT_EQ(result.status, 0) << result.err;
    const nlohmann::json summary = Summary(elsewhere);
    EXPECT_EQ(summary["calls_made"], 60);
    EXPECT_EQ(summary["parameters"]["max_step_count"], 60);
    EXPECT_EQ(nembra_cli::ReadCheckpoint(nembra_cli::CheckpointPath(elsewhere)).solver.stepCount,
              60);
}

}  // namespace
}  // namespace nembra_cli_test
