#include <gtest/gtest.h>

#include <set>
#include <string>

#include "CliTestSupport.h"
#include "FlowCases.h"

namespace nembra_cli_test {
namespace {

using nembra_cli::FlowCaseList;
using nembra_cli::FlowGeometry;

TEST(FlowCaseTable, NamesEachCaseOnceAndFindsItByName) {
    const FlowCaseList cases = nembra_cli::MakeFlowCases();
    std::set<std::string> names;
    for (const auto& c : cases) {
        EXPECT_TRUE(names.insert(c->Name()).second) << c->Name();
        EXPECT_FALSE(c->Description().empty()) << c->Name();
        EXPECT_EQ(&nembra_cli::FindFlowCase(cases, c->Name()), c.get());
    }
    EXPECT_THROW(nembra_cli::FindFlowCase(cases, "no-such-case"), std::invalid_argument);
}

TEST(FlowCaseTable, EveryCaseBuildsTheGeometryItIsGiven) {
    const FlowGeometry geometry{13, 17, 2.5e-5, 42};
    for (const auto& c : nembra_cli::MakeFlowCases()) {
        const auto solver = c->Create(geometry);
        int nx = 0;
        int ny = 0;
        ASSERT_NE(solver->GetMeshNodes(nx, ny), nullptr) << c->Name();
        EXPECT_EQ(nx, geometry.nodesX) << c->Name();
        EXPECT_EQ(ny, geometry.nodesY) << c->Name();
        EXPECT_EQ(solver->GetLengthX(), geometry.lengthX) << c->Name();
        EXPECT_EQ(solver->GetMaxStepCount(), geometry.maxStepCount) << c->Name();
    }
}

// A case's own option given while another case runs is refused with the case's reason, before
// anything runs; every case's options are checked, not only the flat plate's.
TEST(FlowCaseTable, RefusesEachCaseOptionForEveryOtherCase) {
    ScratchFolder scratch("case-options");
    const std::vector<std::string> names = nembra_cli::FlowCaseNames(nembra_cli::MakeFlowCases());
    const struct {
        std::vector<std::string> option;
        std::string owner;
    } owned[] = {
        {{"--wall", "adiabatic"}, "flat-plate"},
        {{"--until-converged", "1e-8"}, "flat-plate"},
    };
    for (const auto& o : owned) {
        for (const std::string& name : names) {
            // A folder per run: a folder holding another run's files is refused.
            std::vector<std::string> arguments{
                "flow",    "--case",   name,
                "--calls", "2",        "--formats",
                "json",    "--output", scratch.Sub(name + o.option[0])};
            arguments.insert(arguments.end(), o.option.begin(), o.option.end());
            const CliResult result = RunCli(arguments);
            EXPECT_EQ(result.status, name == o.owner ? 0 : 2) << name << " " << o.option[0];
            if (name != o.owner) {
                EXPECT_NE(result.err.find(o.option[0] + ": only the " + o.owner), std::string::npos)
                    << result.err;
            }
        }
    }
}

}  // namespace
}  // namespace nembra_cli_test
