#pragma once

#include <cstdint>
#include <string>

namespace nembra_cli {

struct Rgb {
    double r;
    double g;
    double b;
};

// Viridis and inferno are perceptually uniform sequential maps; cool-warm is a diverging map
// whose white middle marks zero when the value range is symmetric about it.
enum class ColorMapId { Viridis, Inferno, CoolWarm };

// The colour at t in [0, 1] (clamped), interpolated linearly between tabulated control points.
Rgb SampleColorMap(ColorMapId map, double t);

std::string ColorMapName(ColorMapId map);

// 256 colours sampled evenly, packed as 0xAARRGGBB (opaque) for pixel buffers.
struct ColorTable {
    std::uint32_t packed[256];
};
ColorTable MakeColorTable(ColorMapId map);

}  // namespace nembra_cli
