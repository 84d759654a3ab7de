#include "ColorMaps.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace nembra_cli {
namespace {

// Entries 0, 8, 16, ..., 248 and 255 of the published 256-entry viridis and inferno tables
// (released to the public domain by their authors); linear interpolation between them stays
// within about 0.4 % of the full tables.
constexpr std::size_t kSequentialPoints = 33;
constexpr Rgb kViridis[kSequentialPoints] = {
    {0.267004, 0.004874, 0.329415}, {0.277018, 0.050344, 0.375715}, {0.282327, 0.094955, 0.417331},
    {0.282884, 0.135920, 0.453427}, {0.278826, 0.175490, 0.483397}, {0.270595, 0.214069, 0.507052},
    {0.258965, 0.251537, 0.524736}, {0.244972, 0.287675, 0.537260}, {0.229739, 0.322361, 0.545706},
    {0.214298, 0.355619, 0.551184}, {0.199430, 0.387607, 0.554642}, {0.185556, 0.418570, 0.556753},
    {0.172719, 0.448791, 0.557885}, {0.160665, 0.478540, 0.558115}, {0.149039, 0.508051, 0.557250},
    {0.137770, 0.537492, 0.554906}, {0.127568, 0.566949, 0.550556}, {0.120565, 0.596422, 0.543611},
    {0.120638, 0.625828, 0.533488}, {0.132268, 0.655014, 0.519661}, {0.157851, 0.683765, 0.501686},
    {0.196571, 0.711827, 0.479221}, {0.246070, 0.738910, 0.452024}, {0.304148, 0.764704, 0.419943},
    {0.369214, 0.788888, 0.382914}, {0.440137, 0.811138, 0.340967}, {0.515992, 0.831158, 0.294279},
    {0.595839, 0.848717, 0.243329}, {0.678489, 0.863742, 0.189503}, {0.762373, 0.876424, 0.137064},
    {0.845561, 0.887322, 0.099702}, {0.926106, 0.897330, 0.104071}, {0.993248, 0.906157, 0.143936},
};
constexpr Rgb kInferno[kSequentialPoints] = {
    {0.001462, 0.000466, 0.013866}, {0.013995, 0.011225, 0.071862}, {0.042253, 0.028139, 0.141141},
    {0.081962, 0.043328, 0.215289}, {0.129285, 0.047293, 0.290788}, {0.183429, 0.040329, 0.354971},
    {0.238273, 0.036621, 0.396353}, {0.290763, 0.045644, 0.418637}, {0.341500, 0.062325, 0.429425},
    {0.391453, 0.080927, 0.433109}, {0.441207, 0.099338, 0.431594}, {0.491022, 0.117179, 0.425552},
    {0.540920, 0.134729, 0.415123}, {0.590734, 0.152563, 0.400290}, {0.640135, 0.171438, 0.381065},
    {0.688653, 0.192239, 0.357603}, {0.735683, 0.215906, 0.330245}, {0.780517, 0.243327, 0.299523},
    {0.822386, 0.275197, 0.266085}, {0.860533, 0.311892, 0.230606}, {0.894305, 0.353399, 0.193584},
    {0.923215, 0.399359, 0.155193}, {0.946965, 0.449191, 0.115272}, {0.965397, 0.502249, 0.073859},
    {0.978422, 0.557937, 0.034931}, {0.985952, 0.615750, 0.025592}, {0.987874, 0.675267, 0.065257},
    {0.984075, 0.736087, 0.129527}, {0.974638, 0.797692, 0.206332}, {0.960626, 0.859069, 0.298010},
    {0.947594, 0.917399, 0.410665}, {0.954529, 0.965896, 0.540361}, {0.988362, 0.998364, 0.644924},
};
// Position of control point k of the sequential maps: table entry min(8k, 255) of 0..255.
double SequentialPosition(std::size_t k) {
    return std::min<double>(8.0 * k, 255.0) / 255.0;
}

// The smooth cool-warm diverging map, tabulated at 33 evenly spaced points.
constexpr std::size_t kDivergingPoints = 33;
constexpr Rgb kCoolWarm[kDivergingPoints] = {
    {0.2298057, 0.298717966, 0.753683153},   {0.26623388, 0.353094838, 0.801466763},
    {0.30386891, 0.406535296, 0.84495867},   {0.342804478, 0.458757618, 0.883725899},
    {0.38301334, 0.50941904, 0.917387822},   {0.424369608, 0.558148092, 0.945619588},
    {0.46666708, 0.604562568, 0.968154911},  {0.509635204, 0.648280772, 0.98478814},
    {0.552953156, 0.688929332, 0.995375608}, {0.596262162, 0.726149107, 0.999836203},
    {0.639176211, 0.759599947, 0.998151185}, {0.681291281, 0.788964712, 0.990363227},
    {0.722193294, 0.813952739, 0.976574709}, {0.761464949, 0.834302879, 0.956945269},
    {0.798691636, 0.849786142, 0.931688648}, {0.833466556, 0.860207984, 0.901068838},
    {0.865395197, 0.86541021, 0.865395561},  {0.897787179, 0.848937047, 0.820880546},
    {0.924127593, 0.827384882, 0.774508472}, {0.944468518, 0.800927443, 0.726736146},
    {0.958852946, 0.769767752, 0.678007945}, {0.96732803, 0.734132809, 0.628751763},
    {0.969954137, 0.694266682, 0.579375448}, {0.966811177, 0.650421156, 0.530263762},
    {0.958003065, 0.602842431, 0.481775914}, {0.943660866, 0.551750968, 0.434243684},
    {0.923944917, 0.49730856, 0.387970225},  {0.89904617, 0.439559467, 0.343229596},
    {0.869186849, 0.378313092, 0.300267182}, {0.834620542, 0.312874446, 0.259301199},
    {0.795631745, 0.24128379, 0.220525627},  {0.752534934, 0.157246067, 0.184115123},
    {0.705673158, 0.01555616, 0.150232812},
};
double EvenPosition(std::size_t k) {
    return static_cast<double>(k) / (kDivergingPoints - 1);
}

Rgb Mix(const Rgb& a, const Rgb& b, double w) {
    return {a.r + (b.r - a.r) * w, a.g + (b.g - a.g) * w, a.b + (b.b - a.b) * w};
}

template <std::size_t N, typename Position>
Rgb Interpolate(const Rgb (&points)[N], Position position, double t) {
    std::size_t upper = 1;
    while (upper < N - 1 && position(upper) < t) {
        ++upper;
    }
    const double lo = position(upper - 1);
    const double hi = position(upper);
    return Mix(points[upper - 1], points[upper], (t - lo) / (hi - lo));
}

std::uint32_t Pack(const Rgb& c) {
    auto channel = [](double v) {
        return static_cast<std::uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0));
    };
    return 0xFF000000u | channel(c.r) << 16 | channel(c.g) << 8 | channel(c.b);
}

}  // namespace

Rgb SampleColorMap(ColorMapId map, double t) {
    // NaN falls to the low end rather than indexing with garbage.
    t = std::isnan(t) ? 0.0 : std::clamp(t, 0.0, 1.0);
    switch (map) {
        case ColorMapId::Viridis:
            return Interpolate(kViridis, SequentialPosition, t);
        case ColorMapId::Inferno:
            return Interpolate(kInferno, SequentialPosition, t);
        case ColorMapId::CoolWarm:
            break;
    }
    return Interpolate(kCoolWarm, EvenPosition, t);
}

std::string ColorMapName(ColorMapId map) {
    switch (map) {
        case ColorMapId::Viridis:
            return "viridis";
        case ColorMapId::Inferno:
            return "inferno";
        case ColorMapId::CoolWarm:
            break;
    }
    return "cool-warm";
}

ColorTable MakeColorTable(ColorMapId map) {
    ColorTable table{};
    for (int k = 0; k < 256; ++k) {
        table.packed[k] = Pack(SampleColorMap(map, k / 255.0));
    }
    return table;
}

}  // namespace nembra_cli
