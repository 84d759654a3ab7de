#pragma once

#include <string>
#include <vector>

namespace nembra_cli {

// Labelled positions along an axis or a colour bar, in the axis's own units.
struct Ticks {
    std::vector<double> values;
    std::vector<std::string> labels;
};

// Multiples of a round spacing (1, 2 or 5 times a power of ten) inside [lo, hi]: at least
// `minCount` of them and at most about 2.5 times as many, each labelled with just enough digits
// to tell it from its neighbours. Any finite lo <= hi is accepted, near the largest double or a
// few ulps apart included; a range too narrow to divide is first widened by AxisSpan.
Ticks LinearTicks(double lo, double hi, int minCount);

// Powers of ten inside [lo, hi] (every few decades when there are many), or 1, 2, 5 times a
// power of ten, or linear ticks, whichever first gives `minCount`. Needs 0 < lo.
Ticks LogTicks(double lo, double hi, int minCount);

// The range an axis shows for data in [lo, hi]: the data with a margin of `margin` times its
// span on each side, so that no curve lies on the frame. A range narrower than the data's
// ninth significant digit is drawn as flat and centred, five per cent of its size each side
// (one unit each side at zero). The result stays finite.
struct Span {
    double lo;
    double hi;
};
Span AxisSpan(double lo, double hi, double margin);

// Where `value` sits in [lo, hi], as a fraction; safe near the largest double.
double FractionOf(double value, double lo, double hi);

// A length unit for labelling a domain of the given extent in metres: the largest of nm, µm,
// mm, m and km in which the extent is at least 1.
struct LengthUnit {
    double metres;
    std::string name;
};
LengthUnit ChooseLengthUnit(double extent);

// "1.5e6" rather than "1.5e+06": printf's exponent without its padding.
std::string TidyExponent(const std::string& text);

}  // namespace nembra_cli
