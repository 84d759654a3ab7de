#include <cairo.h>
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <set>

#include "CliTestSupport.h"
#include "PngOutput.h"
#include "SnapshotWriter.h"
#include "Ticks.h"

namespace nembra_cli {
namespace {

using nembra_cli_test::ScratchFolder;

struct Range {
    double lo;
    double hi;
};

void PrintTo(const Range& r, std::ostream* os) {
    *os << r.lo << " … " << r.hi;
}

class TicksOfAnyRange : public ::testing::TestWithParam<Range> {};

// Whatever range an axis shows (after its margin), its ticks are few, inside it, in order, and
// labelled so that no two read alike.
TEST_P(TicksOfAnyRange, AreFewOrderedInsideAndDistinct) {
    const Span span = AxisSpan(GetParam().lo, GetParam().hi, 0.04);
    ASSERT_TRUE(std::isfinite(span.lo) && std::isfinite(span.hi));
    ASSERT_LT(span.lo, span.hi);
    EXPECT_LE(span.lo, GetParam().lo);
    EXPECT_GE(span.hi, GetParam().hi);
    const Ticks ticks = LinearTicks(span.lo, span.hi, 5);
    ASSERT_GE(ticks.values.size(), 5u);
    EXPECT_LE(ticks.values.size(), 14u);
    ASSERT_EQ(ticks.labels.size(), ticks.values.size());
    for (std::size_t k = 0; k < ticks.values.size(); ++k) {
        EXPECT_GE(ticks.values[k], span.lo);
        EXPECT_LE(ticks.values[k], span.hi);
        if (k > 0) {
            EXPECT_GT(ticks.values[k], ticks.values[k - 1]);
        }
    }
    const std::set<std::string> distinct(ticks.labels.begin(), ticks.labels.end());
    EXPECT_EQ(distinct.size(), ticks.labels.size());
}

INSTANTIATE_TEST_SUITE_P(
    CliPictures, TicksOfAnyRange,
    ::testing::Values(Range{0.0, 1.0}, Range{108.1, 1.177e7}, Range{-6400.0, 6400.0},
                      Range{1.0, 1.0001}, Range{0.0, 0.0}, Range{3.0, 3.0},
                      // Found by fuzzing: near the largest double, and a few ulps wide.
                      Range{-1.6e308, 1e307}, Range{-DBL_MAX, DBL_MAX}, Range{DBL_MAX, DBL_MAX},
                      Range{1.0, 1.0000000000000002}, Range{1e300, 1e300 * (1 + 1e-15)},
                      Range{0.0, 5e-324}, Range{1e-310, 3e-310}, Range{-1e-5, 2e-5}));

TEST(CliTicks, FallOnRoundValues) {
    const Ticks ticks = LinearTicks(0.0, 1.0, 5);
    EXPECT_EQ(ticks.labels, (std::vector<std::string>{"0.0", "0.2", "0.4", "0.6", "0.8", "1.0"}));
    const Ticks large = LinearTicks(0.0, 1.2e7, 5);
    EXPECT_EQ(large.labels.front(), "0");
    EXPECT_EQ(large.labels.back(), "1.2e7");
}

TEST(CliTicks, OnALogScaleMarkDecades) {
    const Ticks ticks = LogTicks(108.1, 1.177e7, 5);
    EXPECT_EQ(ticks.labels, (std::vector<std::string>{"1e3", "1e4", "1e5", "1e6", "1e7"}));
    // Hundreds of decades: a tick every few of them, still few.
    const Ticks wide = LogTicks(1e-300, 1e300, 5);
    EXPECT_GE(wide.values.size(), 5u);
    EXPECT_LE(wide.values.size(), 14u);
    // Within one decade: 1, 2, 5 times a power of ten, else plain ticks.
    EXPECT_GE(LogTicks(1.0, 9.0, 5).values.size(), 5u);
}

TEST(CliTicks, ChooseTheLengthUnitOfTheDomain) {
    EXPECT_EQ(ChooseLengthUnit(1e-5).name, "µm");
    EXPECT_EQ(ChooseLengthUnit(8.2e-6).name, "µm");
    EXPECT_EQ(ChooseLengthUnit(2.5e-3).name, "mm");
    EXPECT_EQ(ChooseLengthUnit(1.0).name, "m");
    EXPECT_EQ(ChooseLengthUnit(1e-12).name, "nm");
    EXPECT_EQ(TidyExponent("1.5e+06"), "1.5e6");
    EXPECT_EQ(TidyExponent("2e-05"), "2e-5");
}

struct Image {
    explicit Image(const fs::path& path)
        : surface(cairo_image_surface_create_from_png(path.c_str())) {}
    ~Image() { cairo_surface_destroy(surface); }
    bool Valid() const { return cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS; }
    int Width() const { return cairo_image_surface_get_width(surface); }
    int Height() const { return cairo_image_surface_get_height(surface); }
    std::uint32_t At(int x, int y) const {
        const auto* row = reinterpret_cast<const std::uint32_t*>(
            cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface));
        return row[x] & 0xFFFFFFu;
    }
    cairo_surface_t* surface;
};

HeatMap MapOf(const std::vector<double>& values, int nx, int ny, double cellHeight) {
    HeatMap map;
    map.values = &values;
    map.nx = nx;
    map.ny = ny;
    map.cellWidth = 6.0;
    map.cellHeight = cellHeight;
    map.lengthX = 1.0;
    map.lengthY = 1.0 * cellHeight / 6.0;
    map.title = "density (kg/m³)";
    map.caption = "step 0";
    return map;
}

// A domain 400 times wider than tall (a metre-long plate) or the reverse keeps a map high
// enough for its colour bar's labels, and no picture exceeds what Cairo can make.
TEST(CliHeatMap, StaysReadableAtAnyAspect) {
    const std::vector<double> values(70 * 70, 1.0);
    const ImageSize flat = HeatMapImageSize(MapOf(values, 70, 70, 0.015));
    EXPECT_GE(flat.height, kSmallestMapSide + 60);
    const ImageSize tall = HeatMapImageSize(MapOf(values, 70, 70, 6e5));
    EXPECT_LE(tall.height, 2 * 420 + 200);
    const ImageSize square = HeatMapImageSize(MapOf(values, 70, 70, 6.0));
    EXPECT_EQ(square.height - flat.height, 420 - kSmallestMapSide - 18);  // less the stretch note
}

TEST(CliHeatMap, FixedScaleClampsValuesToTheEndColours) {
    ScratchFolder scratch("heat-map-scale");
    fs::create_directories(scratch.Path());
    std::vector<double> values(20 * 20, 5.0);
    values[0] = -100.0;  // node (0, 0): below the range
    values[19] = 100.0;  // node (19, 0): above it
    HeatMap map = MapOf(values, 20, 20, 21.0);
    map.scale = ColorScale{0.0, 10.0, false};
    const fs::path path = scratch.Path() / "map.png";
    WriteHeatMapPng(path, map);
    const Image image(path);
    ASSERT_TRUE(image.Valid());
    const ColorTable table = MakeColorTable(ColorMapId::Viridis);
    const Pixel low = HeatMapPixelOfNode(map, 0, 0);
    const Pixel high = HeatMapPixelOfNode(map, 19, 0);
    const Pixel middle = HeatMapPixelOfNode(map, 10, 10);
    EXPECT_EQ(image.At(low.x, low.y), table.packed[0] & 0xFFFFFFu);
    EXPECT_EQ(image.At(high.x, high.y), table.packed[255] & 0xFFFFFFu);
    EXPECT_EQ(image.At(middle.x, middle.y), table.packed[128] & 0xFFFFFFu);
}

TEST(CliHeatMap, LogScalePlacesDecadesEvenly) {
    ScratchFolder scratch("heat-map-log");
    fs::create_directories(scratch.Path());
    // 1, 10, ..., 1e4 across x: on a log scale from 1 to 1e4 they take evenly spaced colours.
    std::vector<double> values(5 * 5);
    for (int i = 0; i < 5; ++i) {
        for (int j = 0; j < 5; ++j) {
            values[static_cast<std::size_t>(i + 5 * j)] = std::pow(10.0, i);
        }
    }
    HeatMap map = MapOf(values, 5, 5, 40.0);
    map.cellWidth = 40.0;
    map.scale = FitColorScale(values, false, true);
    ASSERT_TRUE(map.scale);
    EXPECT_EQ(map.scale->min, 1.0);
    EXPECT_EQ(map.scale->max, 1e4);
    const fs::path path = scratch.Path() / "log.png";
    WriteHeatMapPng(path, map);
    const Image image(path);
    const ColorTable table = MakeColorTable(ColorMapId::Viridis);
    for (int i = 0; i < 5; ++i) {
        const Pixel at = HeatMapPixelOfNode(map, i, 2);
        const int entry = static_cast<int>(std::lround(i / 4.0 * 255.0));
        EXPECT_EQ(image.At(at.x, at.y), table.packed[entry] & 0xFFFFFFu) << i;
    }
}

TEST(CliHeatMap, FitsAUniformFieldAroundItsValue) {
    const std::optional<ColorScale> scale =
        FitColorScale(std::vector<double>(9, 1.225), false, false);
    ASSERT_TRUE(scale);
    EXPECT_LT(scale->min, 1.225);
    EXPECT_GT(scale->max, 1.225);
    EXPECT_FALSE(FitColorScale({NAN, INFINITY}, false, false));
    EXPECT_FALSE(FitColorScale({-1.0, 0.0}, false, true));
}

bool IsWhite(std::uint32_t pixel) {
    return pixel == 0xFFFFFFu;
}

// Columns of the plot holding any non-white, non-grid pixel of a saturated colour.
int CurvePixelsInColumn(const Image& image, int x, std::uint32_t colour) {
    int count = 0;
    for (int y = 0; y < image.Height(); ++y) {
        count += image.At(x, y) == colour ? 1 : 0;
    }
    return count;
}

// A jagged profile of a million points: drawn through the lowest and highest value of each
// pixel column, so the whole swing shows in every column, in the time a few thousand points
// take.
TEST(CliLinePlot, DrawsAMillionJaggedPointsPerPixelColumn) {
    ScratchFolder scratch("jagged");
    fs::create_directories(scratch.Path());
    LineSeries series;
    series.label = "jagged";
    series.color = {1.0, 0.0, 0.0};
    for (int k = 0; k < 1000000; ++k) {
        series.x.push_back(k);
        series.y.push_back(k % 2 == 0 ? 1.0 : -1.0);
    }
    LinePlot plot;
    plot.series.push_back(series);
    const fs::path path = scratch.Path() / "jagged.png";
    WriteLinePlotPng(path, plot);
    const Image image(path);
    ASSERT_TRUE(image.Valid());
    // Every column inside the frame is filled from -1 to +1 in the curve's colour.
    int filled = 0;
    for (int x = 150; x < 850; x += 50) {
        filled += CurvePixelsInColumn(image, x, 0xFF0000u) > 300 ? 1 : 0;
    }
    EXPECT_EQ(filled, 14);
}

TEST(CliLinePlot, NoCurveLiesOnTheFrameAndOneSeriesHasNoLegend) {
    ScratchFolder scratch("margins");
    fs::create_directories(scratch.Path());
    LinePlot plot;
    plot.series.push_back({"u / u∞", {0.0, 0.5, 1.0}, {1.0, 1.0, 1.0}, {1.0, 0.0, 0.0}});
    plot.series.back().y = {0.0, 0.5, 1.0};
    const fs::path path = scratch.Path() / "one.png";
    WriteLinePlotPng(path, plot);
    const Image image(path);
    ASSERT_TRUE(image.Valid());
    // The right-hand strip where a legend would stand stays white: one series needs none.
    int coloured = 0;
    for (int x = image.Width() - 25; x < image.Width(); ++x) {
        for (int y = 0; y < image.Height(); ++y) {
            coloured += IsWhite(image.At(x, y)) ? 0 : 1;
        }
    }
    EXPECT_EQ(coloured, 0);
    // The curve's ends (0, 0) and (1, 1) sit inside the frame, not on it: the frame's corners
    // stay free of the curve's colour.
    int onFrame = 0;
    for (int x = 0; x < image.Width(); ++x) {
        for (int y = 0; y < image.Height(); ++y) {
            const bool red = image.At(x, y) == 0xFF0000u;
            const bool nearCorner =
                (x < 92 && y > image.Height() - 64) || (x > image.Width() - 34 && y < 48);
            onFrame += red && nearCorner ? 1 : 0;
        }
    }
    EXPECT_EQ(onFrame, 0);
}

}  // namespace
}  // namespace nembra_cli

namespace nembra_cli {
namespace {

// A 12 x 12 snapshot whose density is `ambient` everywhere but at node (3, 3), which holds
// `low`, and node (8, 8), which holds `high`.
FlowSnapshot DensitySnapshot(int step, double ambient, double low, double high) {
    FlowSnapshot s;
    s.steps = step;
    s.calls = step + 1;
    s.nx = s.ny = 12;
    s.dx = s.dy = 1e-6;
    s.gamma = 1.4;
    s.gasConstant = 287.0;
    for (std::vector<double>* a : {&s.rho, &s.u, &s.v, &s.t, &s.p, &s.mu}) {
        a->assign(144, 1.0);
    }
    s.rho.assign(144, ambient);
    s.rho[3 + 12 * 3] = low;
    s.rho[8 + 12 * 8] = high;
    return s;
}

std::uint32_t DensityPixel(const fs::path& folder, int step, int i, int j) {
    char name[32];
    std::snprintf(name, sizeof name, "density_%06d.png", step);
    const Image image(folder / name);
    EXPECT_TRUE(image.Valid()) << name;
    HeatMap map;
    map.nx = map.ny = 12;
    map.cellWidth = map.cellHeight = 35.0;
    const Pixel at = HeatMapPixelOfNode(map, i, j);
    return image.At(at.x, at.y);
}

void WriteSeries(const SnapshotFiles& files, const std::vector<FlowSnapshot>& snapshots) {
    SnapshotWriter writer(files);
    for (const FlowSnapshot& s : snapshots) {
        writer.Submit(s);
    }
    writer.Finish();
}

SnapshotFiles DensityPictures(const fs::path& folder) {
    SnapshotFiles files;
    files.directory = folder;
    files.pictures = {FlowField::Density};
    files.vtk = false;
    files.cellWidth = 35.0;
    return files;
}

// Unchanged air keeps its colour from the first picture to the last, although the extremes grow;
// pictures of a still-uniform field wait for the first range that varies.
TEST(CliHeatMapSeries, KeepsOneColourRangeAcrossTheSeries) {
    ScratchFolder scratch("series-range");
    fs::create_directories(scratch.Path());
    WriteSeries(DensityPictures(scratch.Path()),
                {DensitySnapshot(0, 1.0, 1.0, 1.0), DensitySnapshot(10, 1.0, 0.5, 2.0),
                 DensitySnapshot(20, 1.0, 0.1, 5.0)});
    const std::uint32_t ambient = DensityPixel(scratch.Path(), 10, 0, 0);
    EXPECT_EQ(DensityPixel(scratch.Path(), 0, 0, 0), ambient);
    EXPECT_EQ(DensityPixel(scratch.Path(), 20, 0, 0), ambient);
    // Beyond the range of step 10: the end colours.
    const ColorTable table = MakeColorTable(ColorMapId::Viridis);
    EXPECT_EQ(DensityPixel(scratch.Path(), 20, 3, 3), table.packed[0] & 0xFFFFFFu);
    EXPECT_EQ(DensityPixel(scratch.Path(), 20, 8, 8), table.packed[255] & 0xFFFFFFu);
    EXPECT_NE(ambient, table.packed[0] & 0xFFFFFFu);
    EXPECT_NE(ambient, table.packed[255] & 0xFFFFFFu);
}

TEST(CliHeatMapSeries, UsesTheGivenRangeAndLogScale) {
    ScratchFolder scratch("series-given");
    fs::create_directories(scratch.Path());
    SnapshotFiles files = DensityPictures(scratch.Path());
    files.scales = {PictureScale{FlowField::Density, Span{1.0, 100.0}, true}};
    WriteSeries(files, {DensitySnapshot(0, 10.0, 1.0, 1000.0)});
    const ColorTable table = MakeColorTable(ColorMapId::Viridis);
    // 10 is half way between 1 and 100 by decades; 1000 lies above the range.
    EXPECT_EQ(DensityPixel(scratch.Path(), 0, 0, 0), table.packed[128] & 0xFFFFFFu);
    EXPECT_EQ(DensityPixel(scratch.Path(), 0, 3, 3), table.packed[0] & 0xFFFFFFu);
    EXPECT_EQ(DensityPixel(scratch.Path(), 0, 8, 8), table.packed[255] & 0xFFFFFFu);
}

}  // namespace
}  // namespace nembra_cli

#include "LibraryOutput.h"
#include "Nembra/MessageHandler.h"

namespace nembra_cli {
namespace {

void Ignore(const char*, const char*) {}

// The library's message boxes reach the tool's collector while it lives, and the handler in
// place before is back afterwards.
TEST(CliLibraryMessages, AreCollectedWhileTheCollectorLives) {
    const Nembra::MessageHandler before = Nembra::SetMessageHandler(&Ignore);
    {
        const LibraryMessages messages;
        const Nembra::MessageHandler collector = Nembra::SetMessageHandler(nullptr);
        Nembra::SetMessageHandler(collector);
        ASSERT_NE(collector, &Ignore);
        collector("AllocateMeshNodesSpace 2: 2", "memory error");
        EXPECT_EQ(messages.Text(), "memory error: AllocateMeshNodesSpace 2: 2");
    }
    EXPECT_EQ(Nembra::SetMessageHandler(before), &Ignore);
}

}  // namespace
}  // namespace nembra_cli
