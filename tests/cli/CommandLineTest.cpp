#include <gtest/gtest.h>

#include "CliTestSupport.h"

namespace nembra_cli_test {
namespace {

struct BadInput {
    std::vector<std::string> arguments;
    std::vector<std::string> messageParts;  // the option and its rule
};

void PrintTo(const BadInput& input, std::ostream* os) {
    for (const std::string& a : input.arguments)
        *os << a << ' ';
}

class RejectsBadInput : public ::testing::TestWithParam<BadInput> {};

TEST_P(RejectsBadInput, WithStatusTwoAndOneMessageBeforeAnyWork) {
    ScratchFolder scratch("bad-input");
    std::vector<std::string> arguments = GetParam().arguments;
    arguments.insert(arguments.end(), {"--output", scratch.Sub("out")});
    const CliResult result = RunCli(arguments);
    EXPECT_EQ(result.status, 2);
    for (const std::string& part : GetParam().messageParts) {
        EXPECT_NE(result.err.find(part), std::string::npos) << result.err;
    }
    EXPECT_EQ(result.out, "");
    // Nothing was simulated, so nothing was written.
    EXPECT_FALSE(fs::exists(scratch.Path() / "out"));
}

INSTANTIATE_TEST_SUITE_P(
    CliOptions, RejectsBadInput,
    ::testing::Values(
        BadInput{{"flow", "--nx", "10"}, {"--nx", "at least 11", "got 10"}},
        BadInput{{"flow", "--ny", "seventy"}, {"--ny", "whole number", "'seventy'"}},
        BadInput{{"flow", "--nx", "1.5"}, {"--nx", "whole number"}},
        BadInput{{"flow", "--nx", "99999999999"}, {"--nx", "at most"}},
        BadInput{{"flow", "--length", "0"}, {"--length", "greater than 0"}},
        BadInput{{"flow", "--length", "inf"}, {"--length", "finite"}},
        BadInput{{"flow", "--max-steps", "-5"}, {"--max-steps", "at least 1"}},
        BadInput{{"flow", "--calls", "0"}, {"--calls", "at least 1"}},
        BadInput{{"flow", "--calls", "10001"}, {"--calls", "step limit 10000"}},
        BadInput{{"flow", "--max-steps", "50", "--calls", "51"}, {"--calls", "step limit 50"}},
        BadInput{{"flow", "--nx", "2000000000", "--ny", "2000000000"}, {"--nx/--ny", "memory"}},
        BadInput{{"flow", "--snapshot-every", "0"}, {"--snapshot-every", "at least 1"}},
        BadInput{{"flow", "--fields", "density,vorticity"}, {"--fields", "'vorticity'"}},
        BadInput{{"flow", "--formats", "png,gif"}, {"--formats", "'gif'"}},
        BadInput{{"flow", "--case", "pipe"}, {"--case", "'pipe'", "closed-box"}},
        BadInput{{"flow", "--pixels-per-node", "-2"}, {"--pixels-per-node", "greater than 0"}},
        BadInput{{"flow", "--pixels-per-node", "1000"}, {"--pixels-per-node", "pixels wide"}},
        // Labels cannot fit: refused instead of a picture whose text piles up.
        BadInput{{"flow", "--pixels-per-node", "1e-6"}, {"--pixels-per-node", "too narrow"}},
        BadInput{{"flow", "--range", "density=2:1"}, {"--range", "MIN < MAX"}},
        BadInput{{"flow", "--range", "density:1:2"}, {"--range", "FIELD=MIN:MAX"}},
        BadInput{{"flow", "--range", "vorticity=1:2"}, {"--range", "'vorticity'"}},
        BadInput{{"flow", "--range", "u=-1:1", "--range", "u=-2:2"}, {"--range", "two ranges"}},
        BadInput{{"flow", "--log", "u"}, {"--log", "negative values"}},
        BadInput{{"flow", "--log", "density", "--range", "density=0:2"}, {"--range", "MIN > 0"}},
        BadInput{{"flow", "--colour", "red"}, {"--colour"}},
        BadInput{{"diffusion", "--segments", "0"}, {"--segments", "at least 1"}},
        BadInput{{"diffusion", "--dt", "-0.1"}, {"--dt", "greater than 0"}},
        BadInput{{"diffusion", "--dx", "x"}, {"--dx", "'x'"}},
        BadInput{{"diffusion", "--beta", "nan"}, {"--beta", "finite"}},
        BadInput{{"diffusion", "--steps", "0"}, {"--steps", "at least 1"}},
        BadInput{{"diffusion", "--initial", "ramp"}, {"--initial", "'ramp'", "gaussian"}},
        BadInput{{"diffusion", "--initial-csv", "no-such-file.csv"},
                 {"--initial-csv", "no-such-file.csv"}},
        BadInput{{"diffusion", "--initial", "step", "--initial-csv", "x.csv"},
                 {"--initial", "--initial-csv"}},
        BadInput{{"walk"}, {"'walk' is not a command", "flow, diffusion"}},
        BadInput{{"flow", "--nx", "70", "--nx", "80"}, {"--nx: given 2 times"}},
        // Once blamed the next argument ("'--output' is not a known field").
        BadInput{{"flow", "--fields", ","}, {"--fields: needs at least one item, got ','"}},
        BadInput{{"flow", "--formats=,,"}, {"--formats: needs at least one item"}},
        BadInput{{"diffusion", "--formats", " , "}, {"--formats: needs at least one item"}},
        // Once silently ignored, running the default profile instead.
        BadInput{{"diffusion", "--initial-csv", ""}, {"--initial-csv", "empty"}}));

TEST(CliCommandLine, NeedsACommand) {
    const CliResult result = RunCli({});
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("subcommand"), std::string::npos) << result.err;
}

TEST(CliCommandLine, RefusesAnOutputPathThatIsAFile) {
    ScratchFolder scratch("output-is-file");
    fs::create_directories(scratch.Path());
    const fs::path file = scratch.Path() / "taken";
    std::ofstream(file) << "x";
    const CliResult result = RunCli({"flow", "--output", file.string()});
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("--output"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("not a folder"), std::string::npos) << result.err;
}

// Snapshots of an earlier run would mix with the new ones: refused, or removed with --overwrite.
TEST(CliCommandLine, RefusesAFolderOfAnotherRunUnlessOverwriting) {
    ScratchFolder scratch("another-run");
    const std::string out = scratch.Sub("out");
    for (const std::vector<std::string>& run :
         {std::vector<std::string>{"flow", "--nx", "11", "--ny", "11", "--calls", "12",
                                   "--snapshot-every", "5", "-q", "--output", out},
          std::vector<std::string>{"diffusion", "--steps", "4", "-q", "--output", out}}) {
        fs::remove_all(out);
        ASSERT_EQ(RunCli(run).status, 0);
        const std::size_t before = FilesContaining(out, "_0000").size();
        const CliResult again = RunCli(run);
        EXPECT_EQ(again.status, 2) << run[0];
        EXPECT_NE(again.err.find("another run's files"), std::string::npos) << again.err;
        EXPECT_NE(again.err.find("--overwrite"), std::string::npos) << again.err;
        EXPECT_EQ(FilesContaining(out, "_0000").size(), before);

        std::ofstream(fs::path(out) / "density_999999.png") << "stale";
        std::ofstream(fs::path(out) / "notes.txt") << "the user's own";
        std::vector<std::string> overwrite = run;
        overwrite.push_back("--overwrite");
        ASSERT_EQ(RunCli(overwrite).status, 0) << run[0];
        EXPECT_FALSE(fs::exists(fs::path(out) / "density_999999.png"));
        EXPECT_TRUE(fs::exists(fs::path(out) / "notes.txt"));
        EXPECT_EQ(FilesContaining(out, "_0000").size(), before);
    }
}

TEST(CliCommandLine, HelpAndVersionSucceed) {
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {"--help"}, {"flow", "--help"}, {"diffusion", "--help"}}) {
        const CliResult result = RunCli(arguments);
        EXPECT_EQ(result.status, 0);
        EXPECT_NE(result.out.find("Usage:"), std::string::npos) << result.out;
    }
    const CliResult flowHelp = RunCli({"flow", "--help"});
    for (const char* option :
         {"--nx", "--ny", "--length", "--max-steps", "--calls", "--snapshot-every", "--fields",
          "--formats", "--output", "--quiet", "--range", "--log", "--overwrite",
          "half of this machine's memory"}) {
        EXPECT_NE(flowHelp.out.find(option), std::string::npos) << option;
    }
    const CliResult version = RunCli({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_NE(version.out.find("nembra "), std::string::npos) << version.out;
}

}  // namespace
}  // namespace nembra_cli_test
