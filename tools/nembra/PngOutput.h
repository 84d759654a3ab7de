#pragma once

#include <string>
#include <vector>

#include "ColorMaps.h"
#include "OutputFiles.h"

namespace nembra_cli {

// A field on an nx x ny grid (index i + nx * j), drawn with x to the right and y up, each node a
// cell of cellWidth x cellHeight pixels.
struct HeatMap {
    const std::vector<double>* values = nullptr;
    int nx = 0;
    int ny = 0;
    double cellWidth = 1.0;
    double cellHeight = 1.0;
    double lengthX = 0.0;  // physical extents printed under and beside the map, m
    double lengthY = 0.0;
    ColorMapId colorMap = ColorMapId::Viridis;
    bool symmetricRange = false;  // centre the colour range on zero
    std::string title;            // field name and unit
    std::string caption;          // step and model time
};

// Pixels per node along x so that the map of a typical mesh is about 420 pixels wide; the cell
// height follows the physical aspect of a cell.
double DefaultCellWidth(int nx);

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

struct LineSeries {
    std::string label;
    std::vector<double> x;
    std::vector<double> y;
    Rgb color;
};

struct LinePlot {
    std::string title;
    std::string xLabel;
    std::string yLabel;
    std::vector<LineSeries> series;
    int width = 900;
    int height = 540;
};
void WriteLinePlotPng(const fs::path& path, const LinePlot& plot);

// Compact number for labels: four significant digits.
std::string FormatNumber(double value);

}  // namespace nembra_cli
