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
constexpr double kMarginLeft = 84.0;
constexpr double kMarginTop = 60.0;
constexpr double kMarginBottom = 52.0;
constexpr double kNoteHeight = 18.0;
constexpr double kBarGap = 18.0;
constexpr double kBarWidth = 20.0;
constexpr double kBarLabelWidth = 80.0;
constexpr double kFontSize = 13.0;
constexpr int kColorBarTicks = 5;
constexpr std::uint32_t kUnusableColor = 0xFFBFBFBFu;  // light grey marks infinite and NaN values

struct PlotBox {
    double x, y, width, height;
};

double TrueMapHeight(const HeatMap& map) {
    return map.ny * map.cellHeight;
}

double MapWidth(const HeatMap& map) {
    return std::max(1.0, std::round(map.nx * map.cellWidth));
}

double MapHeight(const HeatMap& map) {
    const double tallest = std::min(2.0 * MapWidth(map), kLargestMapSide);
    return std::round(std::clamp(TrueMapHeight(map), kSmallestMapSide, tallest));
}

// How much taller (> 1) or flatter (< 1) the map is drawn than the domain's true aspect.
double VerticalStretch(const HeatMap& map) {
    const double trueHeight = TrueMapHeight(map);
    return trueHeight > 0.0 ? MapHeight(map) / trueHeight : 1.0;
}

bool Stretched(const HeatMap& map) {
    return std::fabs(VerticalStretch(map) - 1.0) > 0.02;
}

PlotBox HeatMapBox(const HeatMap& map) {
    return {kMarginLeft, kMarginTop, MapWidth(map), MapHeight(map)};
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

void DrawLine(cairo_t* cr, double x0, double y0, double x1, double y1) {
    cairo_move_to(cr, x0, y0);
    cairo_line_to(cr, x1, y1);
    cairo_stroke(cr);
}

// Position of a value along the colour scale, 0 at min and 1 at max; NaN for a value that a
// log scale cannot place (<= 0), which then counts as below the range.
double ScalePosition(const ColorScale& scale, double value) {
    if (scale.log) {
        if (!(value > 0.0)) {
            return -HUGE_VAL;
        }
        return FractionOf(std::log10(value), std::log10(scale.min), std::log10(scale.max));
    }
    return FractionOf(value, scale.min, scale.max);
}

struct RenderedNodes {
    SurfacePtr surface{nullptr, cairo_surface_destroy};
    long long below = 0;  // finite values beyond the colour range, drawn in the end colours
    long long above = 0;
};

// One pixel per node, row 0 at the top holding the highest y; the caller scales it up.
RenderedNodes RenderNodes(const HeatMap& map, const std::optional<ColorScale>& scale) {
    RenderedNodes rendered;
    rendered.surface = MakeSurface(CAIRO_FORMAT_RGB24, map.nx, map.ny);
    const ColorTable table = MakeColorTable(map.colorMap);
    unsigned char* data = cairo_image_surface_get_data(rendered.surface.get());
    const int stride = cairo_image_surface_get_stride(rendered.surface.get());
    for (int j = 0; j < map.ny; ++j) {
        auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(stride) *
                                                                (map.ny - 1 - j));
        for (int i = 0; i < map.nx; ++i) {
            const double value =
                (*map.values)[static_cast<std::size_t>(i) + static_cast<std::size_t>(map.nx) * j];
            if (!std::isfinite(value) || !scale) {
                row[i] = kUnusableColor;
                continue;
            }
            const double t = ScalePosition(*scale, value);
            rendered.below += t < 0.0 ? 1 : 0;
            rendered.above += t > 1.0 ? 1 : 0;
            row[i] = table.packed[static_cast<int>(std::lround(std::clamp(t, 0.0, 1.0) * 255.0))];
        }
    }
    cairo_surface_mark_dirty(rendered.surface.get());
    return rendered;
}

// A small triangle beyond one end of the colour bar: some values lie past that end.
void DrawBeyondArrow(cairo_t* cr, double left, double tipY, double baseY) {
    cairo_move_to(cr, left + kBarWidth / 2.0, tipY);
    cairo_line_to(cr, left + kBarWidth, baseY);
    cairo_line_to(cr, left, baseY);
    cairo_close_path(cr);
    cairo_fill(cr);
}

void DrawColorBar(cairo_t* cr, const HeatMap& map, const PlotBox& box,
                  const std::optional<ColorScale>& scale, const RenderedNodes& rendered) {
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
    if (!scale) {
        DrawText(cr, "no finite value", labelX, box.y + box.height / 2.0, Align::Left);
        return;
    }
    if (rendered.above > 0) {
        DrawBeyondArrow(cr, left, box.y - 9.0, box.y - 2.0);
    }
    if (rendered.below > 0) {
        DrawBeyondArrow(cr, left, box.y + box.height + 9.0, box.y + box.height + 2.0);
    }
    const Ticks ticks = scale->log ? LogTicks(scale->min, scale->max, kColorBarTicks)
                                   : LinearTicks(scale->min, scale->max, kColorBarTicks);
    for (std::size_t k = 0; k < ticks.values.size(); ++k) {
        const double y =
            box.y +
            box.height * (1.0 - std::clamp(ScalePosition(*scale, ticks.values[k]), 0.0, 1.0));
        DrawLine(cr, left + kBarWidth - 5.0, std::round(y) + 0.5, left + kBarWidth,
                 std::round(y) + 0.5);
        DrawText(cr, ticks.labels[k], labelX, y + kFontSize * 0.35, Align::Left);
    }
}

// Ticks on both axes in a unit that suits the domain (µm for a domain of micrometres), placed at
// the node centres' coordinates: node 0 sits at x = 0, in the middle of its cell.
void DrawHeatMapAxes(cairo_t* cr, const HeatMap& map, const PlotBox& box) {
    const LengthUnit unit = ChooseLengthUnit(std::max(map.lengthX, map.lengthY));
    UseFont(cr, kFontSize);
    cairo_set_line_width(cr, 1.0);
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    const double cellX = box.width / std::max(map.nx, 1);
    const double cellY = box.height / std::max(map.ny, 1);
    const double spanX = map.lengthX / unit.metres;
    const double spanY = map.lengthY / unit.metres;
    const Ticks xTicks = LinearTicks(0.0, spanX, 4);
    for (std::size_t k = 0; k < xTicks.values.size(); ++k) {
        const double x =
            box.x + cellX / 2.0 + FractionOf(xTicks.values[k], 0.0, spanX) * (box.width - cellX);
        DrawLine(cr, std::round(x) + 0.5, box.y + box.height, std::round(x) + 0.5,
                 box.y + box.height + 5.0);
        DrawText(cr, xTicks.labels[k], x, box.y + box.height + 19.0, Align::Centre);
    }
    const Ticks yTicks = LinearTicks(0.0, spanY, 4);
    for (std::size_t k = 0; k < yTicks.values.size(); ++k) {
        const double y = box.y + box.height - cellY / 2.0 -
                         FractionOf(yTicks.values[k], 0.0, spanY) * (box.height - cellY);
        DrawLine(cr, box.x - 5.0, std::round(y) + 0.5, box.x, std::round(y) + 0.5);
        DrawText(cr, yTicks.labels[k], box.x - 7.0, y + kFontSize * 0.35, Align::Right);
    }
    cairo_rectangle(cr, box.x - 0.5, box.y - 0.5, box.width + 1.0, box.height + 1.0);
    cairo_stroke(cr);
    DrawText(cr, "x (" + unit.name + ")", box.x + box.width / 2.0, box.y + box.height + 38.0,
             Align::Centre);
    DrawRotatedText(cr, "y (" + unit.name + ")", 16.0, box.y + box.height / 2.0);
}

void DrawHeatMapLabels(cairo_t* cr, const HeatMap& map, const PlotBox& box) {
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    UseFont(cr, kFontSize + 3.0, true);
    DrawText(cr, map.title, box.x, 22.0, Align::Left);
    UseFont(cr, kFontSize);
    DrawText(cr, map.caption, box.x, 42.0, Align::Left);
    if (Stretched(map)) {
        const double stretch = VerticalStretch(map);
        const std::string how = stretch > 1.0 ? "y stretched ×" + FormatNumber(stretch)
                                              : "y squeezed ÷" + FormatNumber(1.0 / stretch);
        DrawText(cr, how + " to keep the picture readable", box.x,
                 box.y + box.height + kMarginBottom + 10.0, Align::Left);
    }
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

ValueRange ScalableRange(const std::vector<double>& values, bool log) {
    if (!log) {
        return FiniteRange(values);
    }
    std::vector<double> positive;
    std::copy_if(values.begin(), values.end(), std::back_inserter(positive),
                 [](double v) { return v > 0.0; });
    return FiniteRange(positive);
}

std::optional<ColorScale> FitColorScale(const std::vector<double>& values, bool symmetric,
                                        bool log) {
    ValueRange range = ScalableRange(values, log);
    if (range.empty) {
        return std::nullopt;
    }
    if (symmetric && !log) {
        const double reach = std::max(std::fabs(range.min), std::fabs(range.max));
        range.min = -reach;
        range.max = reach;
    }
    if (log) {
        // A uniform positive field: a decade around its value.
        if (!(range.max > range.min)) {
            return ColorScale{range.min / std::sqrt(10.0), range.max * std::sqrt(10.0), true};
        }
        return ColorScale{range.min, range.max, true};
    }
    const Span span = AxisSpan(range.min, range.max, 0.0);
    return ColorScale{span.lo, span.hi, false};
}

ImageSize HeatMapImageSize(const HeatMap& map) {
    const PlotBox box = HeatMapBox(map);
    const double note = Stretched(map) ? kNoteHeight : 0.0;
    return {static_cast<int>(box.x + box.width + kBarGap + kBarWidth + kBarLabelWidth),
            static_cast<int>(box.y + box.height + kMarginBottom + note)};
}

Pixel HeatMapPixelOfNode(const HeatMap& map, int i, int j) {
    const PlotBox box = HeatMapBox(map);
    return {static_cast<int>(box.x + (i + 0.5) * box.width / map.nx),
            static_cast<int>(box.y + (map.ny - 1 - j + 0.5) * box.height / map.ny)};
}

void WriteHeatMapPng(const fs::path& path, const HeatMap& map) {
    const PlotBox box = HeatMapBox(map);
    const ImageSize size = HeatMapImageSize(map);
    const std::optional<ColorScale> scale =
        map.scale ? map.scale : FitColorScale(*map.values, map.symmetricRange, false);
    // RGB24: no alpha channel to encode, which makes the PNG noticeably cheaper to write.
    SurfacePtr image = MakeSurface(CAIRO_FORMAT_RGB24, size.width, size.height);
    ContextPtr cr(cairo_create(image.get()), cairo_destroy);
    cairo_set_source_rgb(cr.get(), 1.0, 1.0, 1.0);
    cairo_paint(cr.get());

    RenderedNodes rendered;
    if (map.nx > 0 && map.ny > 0) {
        rendered = RenderNodes(map, scale);
        cairo_save(cr.get());
        cairo_translate(cr.get(), box.x, box.y);
        cairo_scale(cr.get(), box.width / map.nx, box.height / map.ny);
        cairo_set_source_surface(cr.get(), rendered.surface.get(), 0.0, 0.0);
        // Nearest neighbour: every node stays one flat cell, as computed.
        cairo_pattern_set_filter(cairo_get_source(cr.get()), CAIRO_FILTER_NEAREST);
        cairo_rectangle(cr.get(), 0.0, 0.0, map.nx, map.ny);
        cairo_fill(cr.get());
        cairo_restore(cr.get());
    }
    DrawColorBar(cr.get(), map, box, scale, rendered);
    DrawHeatMapAxes(cr.get(), map, box);
    DrawHeatMapLabels(cr.get(), map, box);
    WriteAtomically(
        path, [&](const fs::path& temporary) { return WriteSurface(image.get(), temporary); });
}

namespace {

// Line plot layout, pixels.
constexpr double kPlotLeft = 86.0;
constexpr double kPlotTop = 44.0;
constexpr double kPlotBottom = 58.0;
constexpr double kPlotRight = 30.0;
constexpr double kLegendWidth = 170.0;
constexpr double kDataMargin = 0.04;  // of the data's span, beyond each end of an axis
// Coordinates far outside the frame are pulled in to this distance: Cairo's fixed-point
// geometry wraps beyond a few million pixels, and the frame clips them anyway.
constexpr double kFarOutside = 1e5;

bool ShowsLegend(const LinePlot& plot) {
    return plot.series.size() >= 2;
}

// One axis: the shown span (in log10 units on a log axis) and its ticks in data units.
struct Axis {
    Span span{0.0, 1.0};
    bool log = false;
    Ticks ticks;

    double Fraction(double value) const {
        if (log) {
            return value > 0.0 ? FractionOf(std::log10(value), span.lo, span.hi) : std::nan("");
        }
        return FractionOf(value, span.lo, span.hi);
    }
};

struct DataRange {
    double lo = HUGE_VAL;
    double hi = -HUGE_VAL;
    void Extend(const std::vector<double>& values, bool positiveOnly) {
        for (double v : values) {
            if (std::isfinite(v) && (!positiveOnly || v > 0.0)) {
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
        }
    }
    bool Empty() const { return lo > hi; }
};

Axis LinearAxis(const DataRange& data) {
    Axis axis;
    axis.span = data.Empty() ? Span{0.0, 1.0} : AxisSpan(data.lo, data.hi, kDataMargin);
    axis.ticks = LinearTicks(axis.span.lo, axis.span.hi, 5);
    return axis;
}

Axis LogAxis(const DataRange& data) {
    Axis axis;
    axis.log = true;
    axis.span = data.Empty() ? Span{0.0, 1.0}
                             : AxisSpan(std::log10(data.lo), std::log10(data.hi), kDataMargin);
    axis.ticks = LogTicks(std::pow(10.0, axis.span.lo), std::pow(10.0, axis.span.hi), 4);
    return axis;
}

// Maps data coordinates into the plot box.
struct PlotFrame {
    PlotBox box;
    Axis x;
    Axis y;
    double Px(double value) const {
        return std::clamp(box.x + x.Fraction(value) * box.width, box.x - kFarOutside,
                          box.x + box.width + kFarOutside);
    }
    double Py(double value) const {
        return std::clamp(box.y + box.height - y.Fraction(value) * box.height, box.y - kFarOutside,
                          box.y + box.height + kFarOutside);
    }
    bool Placeable(double px, double py) const { return std::isfinite(px) && std::isfinite(py); }
};

PlotFrame FrameFor(const LinePlot& plot) {
    DataRange xData;
    DataRange yData;
    for (const LineSeries& s : plot.series) {
        xData.Extend(s.x, false);
        yData.Extend(s.y, plot.logY);
    }
    const double right = ShowsLegend(plot) ? kLegendWidth : kPlotRight;
    PlotFrame frame{{kPlotLeft, kPlotTop + (plot.note.empty() ? 0.0 : kNoteHeight),
                     plot.width - kPlotLeft - right, 0.0},
                    LinearAxis(xData),
                    plot.logY ? LogAxis(yData) : LinearAxis(yData)};
    frame.box.height = plot.height - frame.box.y - kPlotBottom;
    if (plot.yRange) {
        if (plot.logY) {
            frame.y.span = {std::log10(plot.yRange->lo), std::log10(plot.yRange->hi)};
            frame.y.ticks = LogTicks(plot.yRange->lo, plot.yRange->hi, 4);
        } else {
            frame.y.span = *plot.yRange;
            frame.y.ticks = LinearTicks(plot.yRange->lo, plot.yRange->hi, 5);
        }
    }
    return frame;
}

void DrawGridAndTicks(cairo_t* cr, const PlotFrame& f) {
    const PlotBox& box = f.box;
    UseFont(cr, kFontSize);
    cairo_set_line_width(cr, 1.0);
    for (std::size_t k = 0; k < f.x.ticks.values.size(); ++k) {
        const double x = f.Px(f.x.ticks.values[k]);
        cairo_set_source_rgb(cr, 0.88, 0.88, 0.88);
        DrawLine(cr, std::round(x) + 0.5, box.y, std::round(x) + 0.5, box.y + box.height);
        cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
        DrawText(cr, f.x.ticks.labels[k], x, box.y + box.height + 18.0, Align::Centre);
    }
    for (std::size_t k = 0; k < f.y.ticks.values.size(); ++k) {
        const double y = f.Py(f.y.ticks.values[k]);
        cairo_set_source_rgb(cr, 0.88, 0.88, 0.88);
        DrawLine(cr, box.x, std::round(y) + 0.5, box.x + box.width, std::round(y) + 0.5);
        cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
        DrawText(cr, f.y.ticks.labels[k], box.x - 6.0, y + kFontSize * 0.35, Align::Right);
    }
    cairo_rectangle(cr, box.x + 0.5, box.y + 0.5, box.width, box.height);
    cairo_stroke(cr);
}

// Traces a curve, at most four points per pixel column: the first, lowest, highest and last
// point of each run of points that fall in one column. A million-point profile then costs what
// the pixels can show, and looks the same. Non-finite points (and, on a log axis, values <= 0)
// break the curve instead of being drawn somewhere.
class CurveTracer {
public:
    explicit CurveTracer(cairo_t* cr) : cr_(cr) {}

    void Add(double px, double py) {
        const long column = static_cast<long>(std::floor(px));
        if (open_ && column == column_) {
            lowest_ = std::min(lowest_, py);
            highest_ = std::max(highest_, py);
            lastX_ = px;
            lastY_ = py;
            return;
        }
        Flush();
        open_ = true;
        column_ = column;
        firstX_ = lastX_ = px;
        firstY_ = lastY_ = lowest_ = highest_ = py;
    }

    void Break() {
        Flush();
        penDown_ = false;
    }

private:
    void Flush() {
        if (!open_) {
            return;
        }
        Visit(firstX_, firstY_);
        if (lowest_ != highest_) {
            Visit(firstX_, lowest_);
            Visit(firstX_, highest_);
        }
        Visit(lastX_, lastY_);
        open_ = false;
    }

    void Visit(double x, double y) {
        if (penDown_) {
            cairo_line_to(cr_, x, y);
        } else {
            cairo_move_to(cr_, x, y);
            penDown_ = true;
        }
    }

    cairo_t* cr_;
    bool penDown_ = false;
    bool open_ = false;
    long column_ = 0;
    double firstX_ = 0.0, firstY_ = 0.0, lastX_ = 0.0, lastY_ = 0.0;
    double lowest_ = 0.0, highest_ = 0.0;
};

void DrawMarker(cairo_t* cr, const Rgb& color, double x, double y) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x, y, 4.5, 0.0, 2.0 * M_PI);
    cairo_set_source_rgb(cr, 1.0, 1.0, 1.0);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, color.r, color.g, color.b);
    cairo_stroke(cr);
}

void DrawSeries(cairo_t* cr, const PlotFrame& f, const LineSeries& s) {
    const std::size_t count = std::min(s.x.size(), s.y.size());
    if (s.style == SeriesStyle::Markers) {
        cairo_set_line_width(cr, 1.8);
        for (std::size_t k = 0; k < count; ++k) {
            const double px = f.Px(s.x[k]);
            const double py = f.Py(s.y[k]);
            if (std::isfinite(s.x[k]) && std::isfinite(s.y[k]) && f.Placeable(px, py)) {
                DrawMarker(cr, s.color, px, py);
            }
        }
        return;
    }
    cairo_set_line_width(cr, 1.6);
    cairo_set_source_rgb(cr, s.color.r, s.color.g, s.color.b);
    CurveTracer tracer(cr);
    for (std::size_t k = 0; k < count; ++k) {
        const double px = f.Px(s.x[k]);
        const double py = f.Py(s.y[k]);
        if (!std::isfinite(s.x[k]) || !std::isfinite(s.y[k]) || !f.Placeable(px, py)) {
            tracer.Break();
        } else {
            tracer.Add(px, py);
        }
    }
    tracer.Break();
    cairo_stroke(cr);
}

// Curves first, then markers on top, so that published values stay visible on the curve.
void DrawAllSeries(cairo_t* cr, const PlotFrame& f, const std::vector<LineSeries>& series) {
    cairo_save(cr);
    cairo_rectangle(cr, f.box.x, f.box.y, f.box.width, f.box.height);
    cairo_clip(cr);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    for (SeriesStyle style : {SeriesStyle::Line, SeriesStyle::Markers}) {
        for (const LineSeries& s : series) {
            if (s.style == style) {
                DrawSeries(cr, f, s);
            }
        }
    }
    cairo_restore(cr);
}

// Each entry drawn as its series is: a short line or a marker.
void DrawLegend(cairo_t* cr, const PlotFrame& f, const std::vector<LineSeries>& series) {
    const double x = f.box.x + f.box.width + 16.0;
    double y = f.box.y + 10.0;
    UseFont(cr, kFontSize);
    for (const LineSeries& s : series) {
        if (s.style == SeriesStyle::Markers) {
            cairo_set_line_width(cr, 1.8);
            DrawMarker(cr, s.color, x + 10.0, y - 4.5);
        } else {
            cairo_set_line_width(cr, 2.0);
            cairo_set_source_rgb(cr, s.color.r, s.color.g, s.color.b);
            DrawLine(cr, x, y - 4.5, x + 20.0, y - 4.5);
        }
        cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
        DrawText(cr, s.label, x + 26.0, y, Align::Left);
        y += kFontSize + 6.0;
    }
}

void DrawTitles(cairo_t* cr, const PlotFrame& f, const LinePlot& plot) {
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    UseFont(cr, kFontSize + 3.0, true);
    DrawText(cr, plot.title, f.box.x, 26.0, Align::Left);
    UseFont(cr, kFontSize);
    if (!plot.note.empty()) {
        DrawText(cr, plot.note, f.box.x, 26.0 + kNoteHeight, Align::Left);
    }
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
    DrawAllSeries(cr.get(), frame, plot.series);
    if (ShowsLegend(plot)) {
        DrawLegend(cr.get(), frame, plot.series);
    }
    DrawTitles(cr.get(), frame, plot);
    WriteAtomically(
        path, [&](const fs::path& temporary) { return WriteSurface(image.get(), temporary); });
}

}  // namespace nembra_cli
