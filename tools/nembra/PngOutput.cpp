#include "PngOutput.h"

#include <cairo.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "FlowFields.h"

namespace nembra_cli {

namespace {

using SurfacePtr = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;
using ContextPtr = std::unique_ptr<cairo_t, decltype(&cairo_destroy)>;

SurfacePtr MakeSurface(cairo_format_t format, int width, int height) {
    return SurfacePtr(cairo_image_surface_create(format, width, height), cairo_surface_destroy);
}

// Heat map layout, pixels.
constexpr double kMarginLeft = 44.0;
constexpr double kMarginTop = 52.0;
constexpr double kMarginBottom = 40.0;
constexpr double kBarGap = 18.0;
constexpr double kBarWidth = 20.0;
constexpr double kBarLabelWidth = 96.0;
constexpr double kFontSize = 13.0;
constexpr std::uint32_t kUnusableColor = 0xFFBFBFBFu;  // light grey marks infinite and NaN values

struct PlotBox {
    double x, y, width, height;
};

PlotBox HeatMapBox(const HeatMap& map) {
    return {kMarginLeft, kMarginTop, std::max(1.0, std::round(map.nx * map.cellWidth)),
            std::max(1.0, std::round(map.ny * map.cellHeight))};
}

void UseFont(cairo_t* cr, double size, bool bold = false) {
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
}

enum class Align { Left, Centre, Right };

void DrawText(cairo_t* cr, const std::string& text, double x, double y, Align align) {
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    double left = x;
    if (align == Align::Centre) {
        left = x - extents.x_advance / 2.0;
    } else if (align == Align::Right) {
        left = x - extents.x_advance;
    }
    cairo_move_to(cr, left, y);
    cairo_show_text(cr, text.c_str());
}

void DrawRotatedText(cairo_t* cr, const std::string& text, double x, double y) {
    cairo_save(cr);
    cairo_translate(cr, x, y);
    cairo_rotate(cr, -M_PI / 2.0);
    DrawText(cr, text, 0.0, 0.0, Align::Centre);
    cairo_restore(cr);
}

ValueRange ColorRange(const HeatMap& map) {
    ValueRange range = FiniteRange(*map.values);
    if (map.symmetricRange && !range.empty) {
        const double reach = std::max(std::fabs(range.min), std::fabs(range.max));
        range.min = -reach;
        range.max = reach;
    }
    return range;
}

// One pixel per node, row 0 at the top holding the highest y; the caller scales it up.
SurfacePtr RenderNodes(const HeatMap& map, const ValueRange& range) {
    SurfacePtr surface = MakeSurface(CAIRO_FORMAT_RGB24, map.nx, map.ny);
    const ColorTable table = MakeColorTable(map.colorMap);
    const double span = range.max - range.min;
    unsigned char* data = cairo_image_surface_get_data(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    for (int j = 0; j < map.ny; ++j) {
        auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(stride) *
                                                                (map.ny - 1 - j));
        for (int i = 0; i < map.nx; ++i) {
            const double value =
                (*map.values)[static_cast<std::size_t>(i) + static_cast<std::size_t>(map.nx) * j];
            if (!std::isfinite(value)) {
                row[i] = kUnusableColor;
                continue;
            }
            const double t = span > 0.0 ? (value - range.min) / span : 0.5;
            row[i] = table.packed[std::clamp(static_cast<int>(std::lround(t * 255.0)), 0, 255)];
        }
    }
    cairo_surface_mark_dirty(surface.get());
    return surface;
}

void DrawColorBar(cairo_t* cr, const HeatMap& map, const PlotBox& box, const ValueRange& range) {
    const double left = box.x + box.width + kBarGap;
    cairo_pattern_t* gradient = cairo_pattern_create_linear(0, box.y + box.height, 0, box.y);
    for (int k = 0; k <= 32; ++k) {
        const Rgb c = SampleColorMap(map.colorMap, k / 32.0);
        cairo_pattern_add_color_stop_rgb(gradient, k / 32.0, c.r, c.g, c.b);
    }
    cairo_rectangle(cr, left, box.y, kBarWidth, box.height);
    cairo_set_source(cr, gradient);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(gradient);
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);

    UseFont(cr, kFontSize);
    const double labelX = left + kBarWidth + 6.0;
    if (range.empty) {
        DrawText(cr, "no finite value", labelX, box.y + box.height / 2.0, Align::Left);
        return;
    }
    const double mid = range.min + (range.max - range.min) / 2.0;
    DrawText(cr, FormatNumber(range.max), labelX, box.y + kFontSize * 0.8, Align::Left);
    DrawText(cr, FormatNumber(mid), labelX, box.y + box.height / 2.0 + kFontSize * 0.35,
             Align::Left);
    DrawText(cr, FormatNumber(range.min), labelX, box.y + box.height, Align::Left);
}

void DrawHeatMapLabels(cairo_t* cr, const HeatMap& map, const PlotBox& box) {
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    UseFont(cr, kFontSize + 3.0, true);
    DrawText(cr, map.title, box.x, 22.0, Align::Left);
    UseFont(cr, kFontSize);
    DrawText(cr, map.caption, box.x, 42.0, Align::Left);
    DrawText(cr, "x → 0 … " + FormatNumber(map.lengthX) + " m", box.x + box.width / 2.0,
             box.y + box.height + 24.0, Align::Centre);
    DrawRotatedText(cr, "y → 0 … " + FormatNumber(map.lengthY) + " m", kMarginLeft - 14.0,
                    box.y + box.height / 2.0);
}

// Cairo draws the picture; libpng encodes it in the fast mode of its simplified interface (no
// row filters, light compression). That takes about a third of the time of
// cairo_surface_write_to_png, which uses libpng's defaults, for files a third larger: a run
// encodes a picture every few hundred steps, so encoding time is what snapshots cost.
bool WriteSurface(cairo_surface_t* surface, const fs::path& path) {
    cairo_surface_flush(surface);
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    if (cairo_image_surface_get_format(surface) != CAIRO_FORMAT_RGB24 || data == nullptr) {
        return false;
    }
    std::vector<unsigned char> rgb(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        const auto* pixel = reinterpret_cast<const std::uint32_t*>(data + y * stride);
        unsigned char* out = rgb.data() + static_cast<std::size_t>(y) * width * 3;
        for (int x = 0; x < width; ++x) {
            out[3 * x] = static_cast<unsigned char>(pixel[x] >> 16);
            out[3 * x + 1] = static_cast<unsigned char>(pixel[x] >> 8);
            out[3 * x + 2] = static_cast<unsigned char>(pixel[x]);
        }
    }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    image.flags = PNG_IMAGE_FLAG_FAST;
    const bool written =
        png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr) != 0;
    png_image_free(&image);
    return written;
}

}  // namespace

std::string FormatNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4g", value);
    return text;
}

double DefaultCellWidth(int nx) {
    // Six pixels per node on the default 70-node mesh: clearly visible, while the PNG encoding
    // of every snapshot, which grows with the pixel count, stays cheap next to the solver.
    constexpr double kTargetWidth = 420.0;
    constexpr double kLargestCell = 40.0;
    return std::clamp(std::ceil(kTargetWidth / std::max(nx, 1)), 1.0, kLargestCell);
}

ImageSize HeatMapImageSize(const HeatMap& map) {
    const PlotBox box = HeatMapBox(map);
    return {static_cast<int>(box.x + box.width + kBarGap + kBarWidth + kBarLabelWidth),
            static_cast<int>(box.y + box.height + kMarginBottom)};
}

Pixel HeatMapPixelOfNode(const HeatMap& map, int i, int j) {
    const PlotBox box = HeatMapBox(map);
    return {static_cast<int>(box.x + (i + 0.5) * box.width / map.nx),
            static_cast<int>(box.y + (map.ny - 1 - j + 0.5) * box.height / map.ny)};
}

void WriteHeatMapPng(const fs::path& path, const HeatMap& map) {
    const PlotBox box = HeatMapBox(map);
    const ImageSize size = HeatMapImageSize(map);
    const ValueRange range = ColorRange(map);
    // RGB24: no alpha channel to encode, which makes the PNG noticeably cheaper to write.
    SurfacePtr image = MakeSurface(CAIRO_FORMAT_RGB24, size.width, size.height);
    ContextPtr cr(cairo_create(image.get()), cairo_destroy);
    cairo_set_source_rgb(cr.get(), 1.0, 1.0, 1.0);
    cairo_paint(cr.get());

    if (map.nx > 0 && map.ny > 0) {
        SurfacePtr nodes = RenderNodes(map, range);
        cairo_save(cr.get());
        cairo_translate(cr.get(), box.x, box.y);
        cairo_scale(cr.get(), box.width / map.nx, box.height / map.ny);
        cairo_set_source_surface(cr.get(), nodes.get(), 0.0, 0.0);
        // Nearest neighbour: every node stays one flat cell, as computed.
        cairo_pattern_set_filter(cairo_get_source(cr.get()), CAIRO_FILTER_NEAREST);
        cairo_rectangle(cr.get(), 0.0, 0.0, map.nx, map.ny);
        cairo_fill(cr.get());
        cairo_restore(cr.get());
    }
    DrawColorBar(cr.get(), map, box, range);
    DrawHeatMapLabels(cr.get(), map, box);
    WriteAtomically(
        path, [&](const fs::path& temporary) { return WriteSurface(image.get(), temporary); });
}

namespace {

struct Axis {
    double min = 0.0;
    double max = 1.0;
    std::vector<double> ticks;
};

// Round tick spacing (1, 2 or 5 times a power of ten) giving about `count` ticks.
Axis MakeAxis(double lo, double hi, int count) {
    if (!(hi > lo)) {
        const double pad = lo == 0.0 ? 1.0 : std::fabs(lo) * 0.1;
        lo -= pad;
        hi += pad;
    }
    const double raw = (hi - lo) / count;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    double step = magnitude;
    for (double factor : {1.0, 2.0, 5.0, 10.0}) {
        step = factor * magnitude;
        if (step >= raw) {
            break;
        }
    }
    Axis axis;
    axis.min = std::floor(lo / step) * step;
    axis.max = std::ceil(hi / step) * step;
    for (double t = axis.min; t <= axis.max + step * 0.5; t += step) {
        axis.ticks.push_back(std::fabs(t) < step * 1e-9 ? 0.0 : t);
    }
    return axis;
}

void ExtendRange(double& lo, double& hi, const std::vector<double>& values) {
    for (double v : values) {
        if (std::isfinite(v)) {
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    }
}

}  // namespace

namespace {

// Maps data coordinates into the plot box.
struct PlotFrame {
    PlotBox box;
    Axis x;
    Axis y;
    double Px(double value) const { return box.x + (value - x.min) / (x.max - x.min) * box.width; }
    double Py(double value) const {
        return box.y + box.height - (value - y.min) / (y.max - y.min) * box.height;
    }
};

PlotFrame FrameFor(const LinePlot& plot) {
    constexpr double kLeft = 86.0;
    constexpr double kTop = 44.0;
    constexpr double kBottom = 58.0;
    constexpr double kLegendWidth = 166.0;
    double xLo = HUGE_VAL, xHi = -HUGE_VAL, yLo = HUGE_VAL, yHi = -HUGE_VAL;
    for (const LineSeries& s : plot.series) {
        ExtendRange(xLo, xHi, s.x);
        ExtendRange(yLo, yHi, s.y);
    }
    if (xLo > xHi) {
        xLo = yLo = 0.0;
        xHi = yHi = 1.0;
    }
    return {{kLeft, kTop, plot.width - kLeft - kLegendWidth, plot.height - kTop - kBottom},
            MakeAxis(xLo, xHi, 8),
            MakeAxis(yLo, yHi, 6)};
}

void DrawGridAndTicks(cairo_t* cr, const PlotFrame& f) {
    const PlotBox& box = f.box;
    UseFont(cr, kFontSize);
    cairo_set_line_width(cr, 1.0);
    for (double t : f.x.ticks) {
        const double x = std::round(f.Px(t)) + 0.5;
        cairo_set_source_rgb(cr, 0.88, 0.88, 0.88);
        cairo_move_to(cr, x, box.y);
        cairo_line_to(cr, x, box.y + box.height);
        cairo_stroke(cr);
        cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
        DrawText(cr, FormatNumber(t), f.Px(t), box.y + box.height + 18.0, Align::Centre);
    }
    for (double t : f.y.ticks) {
        const double y = std::round(f.Py(t)) + 0.5;
        cairo_set_source_rgb(cr, 0.88, 0.88, 0.88);
        cairo_move_to(cr, box.x, y);
        cairo_line_to(cr, box.x + box.width, y);
        cairo_stroke(cr);
        cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
        DrawText(cr, FormatNumber(t), box.x - 6.0, f.Py(t) + kFontSize * 0.35, Align::Right);
    }
    cairo_rectangle(cr, box.x + 0.5, box.y + 0.5, box.width, box.height);
    cairo_stroke(cr);
}

// Non-finite points break a curve instead of being drawn somewhere.
void DrawCurves(cairo_t* cr, const PlotFrame& f, const std::vector<LineSeries>& series) {
    cairo_save(cr);
    cairo_rectangle(cr, f.box.x, f.box.y, f.box.width, f.box.height);
    cairo_clip(cr);
    cairo_set_line_width(cr, 1.6);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    for (const LineSeries& s : series) {
        cairo_set_source_rgb(cr, s.color.r, s.color.g, s.color.b);
        bool penDown = false;
        for (std::size_t k = 0; k < s.x.size() && k < s.y.size(); ++k) {
            if (!std::isfinite(s.x[k]) || !std::isfinite(s.y[k])) {
                penDown = false;
                continue;
            }
            if (penDown) {
                cairo_line_to(cr, f.Px(s.x[k]), f.Py(s.y[k]));
            } else {
                cairo_move_to(cr, f.Px(s.x[k]), f.Py(s.y[k]));
                penDown = true;
            }
        }
        cairo_stroke(cr);
    }
    cairo_restore(cr);
}

void DrawLegend(cairo_t* cr, const PlotFrame& f, const std::vector<LineSeries>& series) {
    const double x = f.box.x + f.box.width + 16.0;
    double y = f.box.y + 10.0;
    UseFont(cr, kFontSize);
    for (const LineSeries& s : series) {
        cairo_set_source_rgb(cr, s.color.r, s.color.g, s.color.b);
        cairo_rectangle(cr, x, y - 9.0, 16.0, 10.0);
        cairo_fill(cr);
        cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
        DrawText(cr, s.label, x + 22.0, y, Align::Left);
        y += kFontSize + 6.0;
    }
}

void DrawTitles(cairo_t* cr, const PlotFrame& f, const LinePlot& plot) {
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    UseFont(cr, kFontSize + 3.0, true);
    DrawText(cr, plot.title, f.box.x, 26.0, Align::Left);
    UseFont(cr, kFontSize + 1.0);
    DrawText(cr, plot.xLabel, f.box.x + f.box.width / 2.0, plot.height - 14.0, Align::Centre);
    DrawRotatedText(cr, plot.yLabel, 22.0, f.box.y + f.box.height / 2.0);
}

}  // namespace

void WriteLinePlotPng(const fs::path& path, const LinePlot& plot) {
    const PlotFrame frame = FrameFor(plot);
    SurfacePtr image = MakeSurface(CAIRO_FORMAT_RGB24, plot.width, plot.height);
    ContextPtr cr(cairo_create(image.get()), cairo_destroy);
    cairo_set_source_rgb(cr.get(), 1.0, 1.0, 1.0);
    cairo_paint(cr.get());
    DrawGridAndTicks(cr.get(), frame);
    DrawCurves(cr.get(), frame, plot.series);
    DrawLegend(cr.get(), frame, plot.series);
    DrawTitles(cr.get(), frame, plot);
    WriteAtomically(
        path, [&](const fs::path& temporary) { return WriteSurface(image.get(), temporary); });
}

}  // namespace nembra_cli
