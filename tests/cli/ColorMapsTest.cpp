#include <gtest/gtest.h>

#include <cmath>

#include "ColorMaps.h"

namespace nembra_cli {
namespace {

void ExpectColour(const Rgb& actual, const Rgb& expected, double tolerance) {
    EXPECT_NEAR(actual.r, expected.r, tolerance);
    EXPECT_NEAR(actual.g, expected.g, tolerance);
    EXPECT_NEAR(actual.b, expected.b, tolerance);
}

double Luminance(const Rgb& c) {
    return 0.2126 * c.r + 0.7152 * c.g + 0.0722 * c.b;
}

TEST(CliColorMaps, MatchThePublishedTablesAtEndsAndMiddle) {
    // Entries 0, 128 and 255 of the published 256-entry tables.
    ExpectColour(SampleColorMap(ColorMapId::Viridis, 0.0), {0.267004, 0.004874, 0.329415}, 1e-9);
    ExpectColour(SampleColorMap(ColorMapId::Viridis, 128.0 / 255.0), {0.127568, 0.566949, 0.550556},
                 1e-9);
    ExpectColour(SampleColorMap(ColorMapId::Viridis, 1.0), {0.993248, 0.906157, 0.143936}, 1e-9);
    ExpectColour(SampleColorMap(ColorMapId::Inferno, 0.0), {0.001462, 0.000466, 0.013866}, 1e-9);
    ExpectColour(SampleColorMap(ColorMapId::Inferno, 128.0 / 255.0), {0.735683, 0.215906, 0.330245},
                 1e-9);
    ExpectColour(SampleColorMap(ColorMapId::Inferno, 1.0), {0.988362, 0.998364, 0.644924}, 1e-9);
    // Between control points: entry 100 of viridis, entry 60 of inferno.
    ExpectColour(SampleColorMap(ColorMapId::Viridis, 100.0 / 255.0), {0.166617, 0.463708, 0.558119},
                 0.004);
    ExpectColour(SampleColorMap(ColorMapId::Inferno, 60.0 / 255.0), {0.316282, 0.053490, 0.425116},
                 0.004);
}

TEST(CliColorMaps, SequentialMapsGetSteadilyLighter) {
    for (ColorMapId map : {ColorMapId::Viridis, ColorMapId::Inferno}) {
        double previous = -1.0;
        for (int k = 0; k <= 255; ++k) {
            const double l = Luminance(SampleColorMap(map, k / 255.0));
            EXPECT_GT(l, previous) << ColorMapName(map) << " at " << k;
            previous = l;
        }
    }
}

TEST(CliColorMaps, DivergingMapIsBlueToGreyToRed) {
    const Rgb low = SampleColorMap(ColorMapId::CoolWarm, 0.0);
    const Rgb mid = SampleColorMap(ColorMapId::CoolWarm, 0.5);
    const Rgb high = SampleColorMap(ColorMapId::CoolWarm, 1.0);
    EXPECT_GT(low.b, low.r);
    EXPECT_GT(high.r, high.b);
    EXPECT_NEAR(mid.r, mid.g, 1e-3);
    EXPECT_NEAR(mid.g, mid.b, 1e-3);
    // Lightness peaks in the middle and falls symmetrically towards both ends.
    EXPECT_GT(Luminance(mid), Luminance(SampleColorMap(ColorMapId::CoolWarm, 0.25)));
    EXPECT_GT(Luminance(mid), Luminance(SampleColorMap(ColorMapId::CoolWarm, 0.75)));
}

TEST(CliColorMaps, ClampOutOfRangeAndNaN) {
    ExpectColour(SampleColorMap(ColorMapId::Viridis, -3.0),
                 SampleColorMap(ColorMapId::Viridis, 0.0), 0.0);
    ExpectColour(SampleColorMap(ColorMapId::Viridis, 7.0), SampleColorMap(ColorMapId::Viridis, 1.0),
                 0.0);
    ExpectColour(SampleColorMap(ColorMapId::Inferno, std::nan("")),
                 SampleColorMap(ColorMapId::Inferno, 0.0), 0.0);
}

TEST(CliColorMaps, PackedTableHoldsOpaqueRgb) {
    const ColorTable table = MakeColorTable(ColorMapId::Viridis);
    EXPECT_EQ(table.packed[0], 0xFF000000u | 68u << 16 | 1u << 8 | 84u);  // (0.267, 0.005, 0.329)
    EXPECT_EQ(table.packed[255],
              0xFF000000u | 253u << 16 | 231u << 8 | 37u);  // (0.993, 0.906, 0.144)
}

}  // namespace
}  // namespace nembra_cli
