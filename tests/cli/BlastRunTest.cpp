#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "CliTestSupport.h"

namespace nembra_cli_test {
namespace {

TEST(CliBlast, DrawsPressureAndDensityAndMeasuresTheSymmetry) {
    ScratchFolder scratch("blast-small");
    const fs::path out = scratch.Path() / "out";
    const CliResult result =
        RunCli({"flow", "--case", "blast", "--nx", "41", "--ny", "41", "--max-steps", "60",
                "--snapshot-every", "100", "--output", out.string()});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(fs::exists(out / "pressure_000059.png"));
    EXPECT_TRUE(fs::exists(out / "density_000059.png"));
    const nlohmann::json summary = nlohmann::json::parse(ReadText(out / "summary.json"));
    EXPECT_EQ(summary["parameters"]["fields"], nlohmann::json({"pressure", "density"}));
    EXPECT_EQ(summary["non_finite_reports"], 0);
    EXPECT_EQ(summary["blast"]["disc"]["pressure"], 1013250.0);
    const nlohmann::json& asymmetry = summary["blast"]["asymmetry"];
    for (const char* key :
         {"density_about_vertical_midline", "density_about_horizontal_midline",
          "pressure_about_vertical_midline", "pressure_about_horizontal_midline"}) {
        ASSERT_TRUE(asymmetry.contains(key)) << key;
        EXPECT_GT(asymmetry[key].get<double>(), 0.0) << key;
        EXPECT_LT(asymmetry[key].get<double>(), 0.1) << key;
    }
    EXPECT_NE(result.out.find("density asymmetry about x = L/2"), std::string::npos) << result.out;
    // --fields still chooses.
    const CliResult chosen =
        RunCli({"flow", "--case", "blast", "--nx", "21", "--ny", "21", "--max-steps", "3",
                "--fields", "temperature", "--output", scratch.Sub("chosen")});
    ASSERT_EQ(chosen.status, 0) << chosen.err;
    EXPECT_TRUE(fs::exists(scratch.Path() / "chosen" / "temperature_000002.png"));
    EXPECT_FALSE(fs::exists(scratch.Path() / "chosen" / "pressure_000002.png"));
}

// The burst's disc would set a range in which every later wave is dark: the case's pictures
// span three times the ambient state instead, and the user's --range or --log still wins.
TEST(CliBlast, PicturesSpanTheWavesUnlessTheUserChoosesAScale) {
    ScratchFolder scratch("blast-scales");
    auto picture = [&](const std::string& name, std::vector<std::string> extra) {
        std::vector<std::string> args{"flow",
                                      "--case",
                                      "blast",
                                      "--nx",
                                      "31",
                                      "--ny",
                                      "31",
                                      "--max-steps",
                                      "20",
                                      "--snapshot-every",
                                      "100",
                                      "--fields",
                                      "pressure",
                                      "--formats",
                                      "png",
                                      "--output",
                                      scratch.Sub(name)};
        args.insert(args.end(), extra.begin(), extra.end());
        const CliResult result = RunCli(args);
        EXPECT_EQ(result.status, 0) << result.err;
        return ReadText(scratch.Path() / name / "pressure_000019.png");
    };
    const std::string byDefault = picture("default", {});
    EXPECT_EQ(byDefault, picture("three-ambient", {"--range", "pressure=0:303975"}));
    EXPECT_NE(byDefault, picture("disc", {"--range", "pressure=101325:1013250"}));
    EXPECT_NE(byDefault, picture("log", {"--log", "pressure"}));
}

}  // namespace
}  // namespace nembra_cli_test
