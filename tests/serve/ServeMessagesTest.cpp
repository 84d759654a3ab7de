// The viewer's pure parts: the access token, the control messages and model requests a page
// may send, and the binary frame layout the page decodes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <set>
#include <sstream>

#include "CommandLine.h"
#include "OptionRules.h"
#include "serve/AccessToken.h"
#include "serve/ControlMessage.h"
#include "serve/FlowQuantities.h"
#include "serve/FrameEncoding.h"
#include "serve/ModelRequest.h"

namespace nembra_cli {
namespace {

TEST(AccessTokenTest, HasAtLeast128RandomBitsAndNeverRepeats) {
    std::set<std::string> seen;
    for (int k = 0; k < 50; ++k) {
        const std::string token = NewAccessToken();
        EXPECT_EQ(token.size(), 64u);  // 256 bits in hexadecimal
        EXPECT_EQ(token.find_first_not_of("0123456789abcdef"), std::string::npos);
        seen.insert(token);
    }
    EXPECT_EQ(seen.size(), 50u);
}

TEST(AccessTokenTest, MatchesOnlyTheWholeToken) {
    const std::string token = "0123456789abcdef0123456789abcdef";
    EXPECT_TRUE(SameToken(token, token));
    EXPECT_FALSE(SameToken(token.substr(0, 31), token));
    EXPECT_FALSE(SameToken(token + "0", token));
    EXPECT_FALSE(SameToken("", token));
    EXPECT_FALSE(SameToken("", ""));  // an empty token never opens anything
    std::string lastWrong = token;
    lastWrong.back() = 'e';
    EXPECT_FALSE(SameToken(lastWrong, token));
    std::string firstWrong = token;
    firstWrong.front() = '1';
    EXPECT_FALSE(SameToken(firstWrong, token));
}

TEST(AccessTokenTest, FindsTheTokenParameterAmongOthers) {
    EXPECT_EQ(TokenInTarget("/?token=abc"), "abc");
    EXPECT_EQ(TokenInTarget("/api/status?x=1&token=abc&y=2"), "abc");
    EXPECT_EQ(TokenInTarget("/?mytoken=abc"), "");
    EXPECT_EQ(TokenInTarget("/token=abc"), "");
    EXPECT_EQ(TokenInTarget("/?"), "");
    EXPECT_EQ(PathOfTarget("/api/status?token=abc"), "/api/status");
    EXPECT_EQ(PathOfTarget("/"), "/");
}

void ExpectRefused(const std::string& text, const std::string& words) {
    try {
        ParseControlMessage(text);
        ADD_FAILURE() << "accepted: " << text;
    } catch (const UsageError& e) {
        EXPECT_NE(std::string(e.what()).find(words), std::string::npos)
            << "message for " << text << ": " << e.what();
    }
}

TEST(ControlMessageTest, ReadsEveryCommand) {
    EXPECT_EQ(ParseControlMessage(R"({"type":"run"})").kind, ControlMessage::Kind::Run);
    EXPECT_EQ(ParseControlMessage(R"({"type":"pause"})").kind, ControlMessage::Kind::Pause);
    EXPECT_EQ(ParseControlMessage(R"({"type":"reset"})").kind, ControlMessage::Kind::Reset);
    EXPECT_EQ(ParseControlMessage(R"({"type":"step","count":25})").count, 25);
    EXPECT_EQ(ParseControlMessage(R"({"type":"steps_per_frame","value":0})").count, 0);
    const ControlMessage probe = ParseControlMessage(R"({"type":"probe","i":3,"j":4})");
    EXPECT_EQ(probe.i, 3);
    EXPECT_EQ(probe.j, 4);
    EXPECT_EQ(ParseControlMessage(R"({"type":"view","quantity":"mach"})").quantity, "mach");
    const ControlMessage configure = ParseControlMessage(
        R"({"type":"configure","model":"flow","settings":{"case":"flat-plate","nx":40}})");
    EXPECT_EQ(configure.request.model, "flow");
    EXPECT_EQ(configure.request.options,
              (std::vector<std::string>{"--case", "flat-plate", "--nx", "40"}));
}

TEST(ControlMessageTest, RefusesMalformedAndMistypedMessages) {
    ExpectRefused("", "JSON object");
    ExpectRefused("{", "JSON object");
    ExpectRefused("[1,2]", "JSON object");
    ExpectRefused("\"run\"", "JSON object");
    ExpectRefused(R"({"type":"launch"})", "unknown message type 'launch'");
    ExpectRefused(R"({"type":7})", "'type' must be a text");
    ExpectRefused(R"({})", "'type' must be a text");
    ExpectRefused(R"({"type":"step"})", "'count' must be a whole number");
    ExpectRefused(R"({"type":"step","count":"5"})", "'count' must be a whole number");
    ExpectRefused(R"({"type":"step","count":2.5})", "'count' must be a whole number");
    ExpectRefused(R"({"type":"step","count":0})", "between 1 and");
    ExpectRefused(R"({"type":"step","count":-3})", "between 1 and");
    ExpectRefused(R"({"type":"step","count":99999999999999999999})", "whole number");
    ExpectRefused(R"({"type":"step","count":18446744073709551615})", "out of range");
    ExpectRefused(R"({"type":"steps_per_frame","value":100001})", "between 0 and");
    ExpectRefused(R"({"type":"probe","i":-1,"j":0})", "between 0 and");
    ExpectRefused(R"({"type":"view","quantity":["mach"]})", "'quantity' must be a text");
    ExpectRefused(std::string(kMostControlMessageBytes + 1, ' '), "too long");
    ExpectRefused(std::string(2000, '[') + std::string(2000, ']'), "JSON object");
}

TEST(ControlMessageTest, RefusesModelsAndSettingsOutsideTheCommandsRules) {
    ExpectRefused(R"({"type":"configure","model":"plasma"})", "'model' must be one of");
    ExpectRefused(R"({"type":"configure"})", "'model' must be one of");
    ExpectRefused(R"({"type":"configure","model":"flow","settings":[1]})", "must be an object");
    ExpectRefused(R"({"type":"configure","model":"flow","settings":{"output":"/tmp"}})",
                  "'output' is not a setting of the flow model");
    ExpectRefused(R"({"type":"configure","model":"flow","settings":{"nx":true}})",
                  "must be a number or a text");
    ExpectRefused(R"({"type":"configure","model":"diffusion","settings":{"nx":50}})",
                  "'nx' is not a setting of the diffusion model");
}

void ExpectBuildRefused(const ModelRequest& request, const std::string& words) {
    try {
        BuildModel(request);
        ADD_FAILURE() << "built";
    } catch (const UsageError& e) {
        EXPECT_NE(std::string(e.what()).find(words), std::string::npos) << e.what();
    }
}

TEST(ModelRequestTest, HoldsMeshesToTheRulesOfTheFlowCommand) {
    ExpectBuildRefused({"flow", {"--nx", "5"}}, "at least 11");
    ExpectBuildRefused({"flow", {"--nx", "70.5"}}, "whole number");
    ExpectBuildRefused({"flow", {"--nx", "-70"}}, "at least 11");
    ExpectBuildRefused({"flow", {"--length", "0"}}, "greater than 0");
    ExpectBuildRefused({"flow", {"--length", "nan"}}, "finite number");
    ExpectBuildRefused({"flow", {"--case", "volcano"}}, "not a known case");
    ExpectBuildRefused({"flow", {"--wall", "adiabatic"}}, "--wall");
    ExpectBuildRefused({"diffusion", {"--segments", "0"}}, "at least 1");
    ExpectBuildRefused({"diffusion", {"--initial", "square"}}, "not a known initial profile");
}

TEST(ModelRequestTest, RefusesMeshesTooLargeToWatchOrToHold) {
    ExpectBuildRefused({"flow", {"--nx", "2048", "--ny", "2049"}}, "at most 4194304 nodes");
    ExpectBuildRefused({"flow", {"--nx", "2000000000", "--ny", "2000000000"}}, "--nx/--ny");
    ExpectBuildRefused({"diffusion", {"--segments", "2000000000"}}, "at most 4194304");
}

TEST(ModelRequestTest, RefusesOptionsThatChooseNoModel) {
    ExpectBuildRefused({"flow", {"--output", "/tmp/x"}}, "'--output' is not an option");
    ExpectBuildRefused({"flow", {"--case", "-o"}}, "'-o' is not an option");
    ExpectBuildRefused({"flow", {"--calls=5"}}, "'--calls' is not an option");
    ExpectBuildRefused({"diffusion", {"--initial-csv", "/etc/passwd"}}, "is not an option");
}

TEST(ModelRequestTest, BuildsEachModel) {
    std::unique_ptr<LiveModel> plate = BuildModel({"flow", {"--case", "flat-plate", "--nx", "21"}});
    EXPECT_EQ(plate->Describe()["case"], "flat-plate");
    EXPECT_EQ(plate->Describe()["nodes_x"], 21);
    EXPECT_EQ(plate->Progress()["step"], 0);
    plate->Step();
    EXPECT_EQ(plate->Progress()["step"], 1);
    EXPECT_GT(plate->Progress()["model_time"].get<double>(), 0.0);
    EXPECT_TRUE(plate->Progress()["density_change"].is_number());

    std::unique_ptr<LiveModel> rod = BuildModel({"diffusion", {"--initial", "spike"}});
    EXPECT_EQ(rod->QuantityNames(), std::vector<std::string>{"profile"});
    EXPECT_EQ(rod->Probe(150, 0)["values"]["initial"], 1.0);
    EXPECT_EQ(rod->Probe(301, 0).count("error"), 1u);
}

// Bad options stop the command before it listens, with the usage status and the option named.
TEST(ServeCommandTest, RefusesBadOptionsBeforeListening) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"serve", "--nx", "5"}, "--nx: must be a whole number of at least 11"},
        {{"serve", "--calls", "5"}, "'--calls' is not an option of the flow model"},
        {{"serve", "--model", "diffusion", "--nx", "50"},
         "'--nx' is not an option of the diffusion"},
        {{"serve", "--model", "plasma"}, "not a known model"},
        {{"serve", "--port", "70000"}, "--port"},
        {{"serve", "--case", "flat-plate", "--ny", "2049", "--nx", "2049"}, "at most 4194304"},
    };
    for (const auto& [arguments, words] : cases) {
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(RunCommandLine(arguments, out, err, false), kExitUsage) << words;
        EXPECT_NE(err.str().find(words), std::string::npos) << err.str();
        EXPECT_EQ(out.str(), "");
    }
}

std::uint32_t WordAt(const std::string& bytes, std::size_t offset) {
    std::uint32_t word = 0;
    std::memcpy(&word, bytes.data() + offset, sizeof word);
    return word;
}

float FloatAt(const std::string& bytes, std::size_t k) {
    float value = 0.0F;
    std::memcpy(&value, bytes.data() + kFrameHeaderBytes + k * sizeof(float), sizeof value);
    return value;
}

TEST(FrameEncodingTest, WritesTheHeaderAndValuesInThePagesLayout) {
    FrameHeader header;
    header.kind = FrameKind::DiffusionProfiles;
    header.nx = 3;
    header.ny = 1;
    header.steps = 7;
    header.modelTime = 0.7;
    const std::string bytes = EncodeFrame(header, {1.0, -2.5, 1e300});
    ASSERT_EQ(bytes.size(), kFrameHeaderBytes + 3 * sizeof(float));
    std::uint32_t word = 0;
    std::memcpy(&word, bytes.data(), 4);
    EXPECT_EQ(std::string(bytes.data(), 4), "NMBR");
    std::memcpy(&word, bytes.data() + 4, 4);
    EXPECT_EQ(word, 2u);
    std::memcpy(&word, bytes.data() + 24, 4);
    EXPECT_EQ(word, 7u);
    double time = 0.0;
    std::memcpy(&time, bytes.data() + 32, 8);
    EXPECT_EQ(time, 0.7);
    EXPECT_EQ(FloatAt(bytes, 0), 1.0F);
    EXPECT_EQ(FloatAt(bytes, 1), -2.5F);
    EXPECT_TRUE(std::isinf(FloatAt(bytes, 2)));
}

// The shock tube's frames carry its middle row and the exact solution along it; at step 0 both
// hold the two initial states away from the diaphragm's layer.
TEST(FrameEncodingTest, ShockTubeFramesCarryTheCentrelineAndTheExactSolution) {
    std::unique_ptr<LiveModel> tube =
        BuildModel({"flow", {"--case", "shock-tube", "--nx", "201", "--ny", "11"}});
    const std::string density = tube->Frame("density");
    const std::size_t nx = 201;
    const std::size_t rows = 11;
    ASSERT_EQ(WordAt(density, 28), 2u);
    ASSERT_EQ(density.size(), kFrameHeaderBytes + sizeof(float) * nx * (rows + 2));
    for (std::size_t i : {std::size_t{0}, std::size_t{40}, std::size_t{160}, nx - 1}) {
        const float computed = FloatAt(density, nx * rows + i);
        const float exact = FloatAt(density, nx * rows + nx + i);
        EXPECT_NEAR(computed, exact, 1e-6 * exact) << "node " << i;
    }
    EXPECT_GT(FloatAt(density, nx * rows + nx), 7.0F * FloatAt(density, nx * rows + 2 * nx - 1));
    const std::string flux = tube->Frame("FluxE[0]");
    EXPECT_TRUE(std::isnan(FloatAt(flux, nx * rows + nx)));  // no exact flux
    std::unique_ptr<LiveModel> box = BuildModel({"flow", {"--nx", "21"}});
    EXPECT_EQ(WordAt(box->Frame("density"), 28), 0u);
}

TEST(FlowQuantitiesTest, NamesTheDerivedFieldsAndAll44RecordSlots) {
    EXPECT_EQ(FlowQuantities().size(), 7u + 44u);
    for (const char* name :
         {"density", "mach", "Rho", "KProspect", "FluxE[0]", "FluxFProspect[3]"}) {
        EXPECT_TRUE(FindFlowQuantity(name).has_value()) << name;
    }
    EXPECT_FALSE(FindFlowQuantity("FluxE[4]").has_value());
}

// The record is 44 doubles in a fixed order; the k-th slot quantity must read the k-th double.
TEST(FlowQuantitiesTest, ReadsEachSlotFromItsOwnPlaceInTheRecord) {
    using Node = Nembra::NavierStokesEquations2D::_MeshNode;
    static_assert(sizeof(Node) == 44 * sizeof(double), "the record is 44 doubles");
    Nembra::NavierStokesEquations2D solver(12, 11, 1e-5, 10);
    solver.UpdateDatas();
    int nx = 0;
    int ny = 0;
    Node** mesh = solver.GetMeshNodes(nx, ny);
    double slots[44];
    for (int k = 0; k < 44; ++k) {
        slots[k] = 1000.0 + k;
    }
    std::memcpy(&mesh[3][5], slots, sizeof slots);
    const std::size_t at = 3 + static_cast<std::size_t>(nx) * 5;
    const std::size_t firstSlot = FlowQuantities().size() - 44;
    for (std::size_t k = 0; k < 44; ++k) {
        EXPECT_EQ(FlowQuantityValues(solver, firstSlot + k)[at], 1000.0 + k)
            << FlowQuantities()[firstSlot + k].name;
    }
    EXPECT_EQ(FlowQuantityValues(solver, *FindFlowQuantity("density"))[at], 1000.0);
    EXPECT_EQ(FlowQuantityValues(solver, *FindFlowQuantity("temperature"))[at], 1007.0);
}

}  // namespace
}  // namespace nembra_cli
