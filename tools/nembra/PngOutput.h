#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ColorMaps.h"
#include "OutputFiles.h"
#include "Ticks.h"

namespace nembra_cli {

// How values map to colours: [min, max] spans the colour map, linearly or by decades; values
// beyond it take the end colours (and the colour bar shows an arrow at that end). A log scale
// needs 0 < min; values <= 0 then count as below the range.
struct ColorScale {
    double min = 0.0;
    double max = 1.0;
    bool log = false;
};

// The finite values' range, positive values only for a log scale.
struct ValueRange;
ValueRange ScalableRange(const std::vector<double>& values, bool log);

// The scale fitted to the finite values (positive ones for a log scale), centred on zero when
// `symmetric`. A range too narrow to show is widened around its value; no usable value at all
// gives an empty optional.
std::optional<ColorScale> FitColorScale(const std::vector<double>& values, bool symmetric,
                                        bool log);

// A field on an nx x ny grid (index i + nx * j), drawn with x to the right and y up, each node a
// cell of cellWidth x cellHeight pixels.
struct HeatMap {
    const std::vector<double>* values = nullptr;
    int nx = 0;
    int ny = 0;
    double cellWidth = 1.0;
    double cellHeight = 1.0;
    double lengthX = 0.0;  // physical extents of the node centres, m
    double lengthY = 0.0;
    ColorMapId colorMap = ColorMapId::Viridis;
    bool symmetricRange = false;      // centre a fitted colour range on zero
    std::optional<ColorScale> scale;  // absent: fitted to this map's values
    std::string title;                // field name and unit
    std::string caption;              // step and model time
};

// Pixels per node along x so that the map of a typical mesh is about 420 pixels wide; the cell
// height follows the physical aspect of a cell.
double DefaultCellWidth(int nx);

// The map's drawn size: its width is nx * cellWidth; its height follows the true aspect but
// stays between kSmallestMapSide and twice the width (and kLargestMapSide), so that a very
// flat or very tall domain still leaves room for its labels. The picture says when it stretches.
constexpr double kSmallestMapSide = 200.0;
constexpr double kLargestMapSide = 16000.0;  // Cairo refuses images beyond 32767 pixels a side

struct ImageSize {
    int width = 0;
    int height = 0;
};
ImageSize HeatMapImageSize(const HeatMap& map);
void WriteHeatMapPng(const fs::path& path, const HeatMap& map);

// Image pixel at the centre of node (i, j)'s cell.
struct Pixel {
    int x = 0;
    int y = 0;
};
Pixel HeatMapPixelOfNode(const HeatMap& map, int i, int j);

// A computed curve, or published values drawn as markers beside it.
enum class SeriesStyle { Line, Markers };

struct LineSeries {
    std::string label;
    std::vector<double> x;
    std::vector<double> y;
    Rgb color;
    SeriesStyle style = SeriesStyle::Line;
};

// A plot of one or more series: a legend appears when there are two or more. Axes leave a
// margin around the data; `yRange` fixes the y axis instead (curves beyond it are cut off), and
// `logY` draws y by decades, leaving out values <= 0. `note` is printed under the title.
struct LinePlot {
    std::string title;
    std::string xLabel;
    std::string yLabel;
    std::vector<LineSeries> series;
    int width = 900;
    int height = 540;
    bool logY = false;
    std::optional<Span> yRange{};
    std::string note{};
};
void WriteLinePlotPng(const fs::path& path, const LinePlot& plot);

// Compact number for labels: four significant digits.
std::string FormatNumber(double value);

}  // namespace nembra_cli
