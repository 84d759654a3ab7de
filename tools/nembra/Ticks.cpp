#include "Ticks.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>

namespace nembra_cli {

namespace {

// A spacing of 1, 2 or 5 times a power of ten, the largest not above `raw` (> 0).
double RoundStepBelow(double raw) {
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (double factor : {5.0, 2.0}) {
        if (factor * magnitude <= raw) {
            return factor * magnitude;
        }
    }
    return magnitude;
}

// Significant digits that tell ticks `step` apart at values up to `largest` in size.
int DigitsFor(double largest, double step) {
    const double ratio = largest / step;
    const int digits = ratio > 1.0 ? static_cast<int>(std::ceil(std::log10(ratio))) + 1 : 1;
    return std::clamp(digits, 1, 17);
}

// Plain decimals where they stay short (0.25, 150, 12000), otherwise the shortest exponent form.
std::string Label(double value, double largest, double step) {
    char text[40];
    if (largest < 1e6 && step >= 1e-4) {
        const int decimals = std::max(0, -static_cast<int>(std::floor(std::log10(step) + 1e-9)));
        std::snprintf(text, sizeof text, "%.*f", decimals, value);
        return text;
    }
    std::snprintf(text, sizeof text, "%.*g", DigitsFor(largest, step), value);
    return TidyExponent(text);
}

// Half of hi - lo: never overflows, unlike the difference itself.
double HalfSpan(double lo, double hi) {
    return hi / 2.0 - lo / 2.0;
}

}  // namespace

std::string TidyExponent(const std::string& text) {
    const auto e = text.find('e');
    if (e == std::string::npos) {
        return text;
    }
    std::string mantissa = text.substr(0, e);
    std::string exponent = text.substr(e + 1);
    const bool negative = !exponent.empty() && exponent[0] == '-';
    if (!exponent.empty() && (exponent[0] == '-' || exponent[0] == '+')) {
        exponent.erase(0, 1);
    }
    exponent.erase(0, std::min(exponent.find_first_not_of('0'), exponent.size() - 1));
    return mantissa + "e" + (negative ? "-" : "") + exponent;
}

Span AxisSpan(double lo, double hi, double margin) {
    if (!std::isfinite(lo) || !std::isfinite(hi) || hi < lo) {
        return {0.0, 1.0};
    }
    const double half = HalfSpan(lo, hi);
    const double middle = lo / 2.0 + hi / 2.0;
    if (half <= std::fabs(middle) * 1e-9 || half == 0.0) {
        const double pad = middle == 0.0 ? 1.0 : std::fabs(middle) * 0.05;
        return {std::max(middle - pad, -DBL_MAX), std::min(middle + pad, DBL_MAX)};
    }
    // Margins computed from half spans stay finite; the ends are clamped to the doubles.
    const double pad = 2.0 * half * margin;
    return {std::max(lo - pad, -DBL_MAX), std::min(hi + pad, DBL_MAX)};
}

double FractionOf(double value, double lo, double hi) {
    const double half = HalfSpan(lo, hi);
    return half > 0.0 ? (value / 2.0 - lo / 2.0) / half : 0.5;
}

Ticks LinearTicks(double lo, double hi, int minCount) {
    Ticks ticks;
    minCount = std::max(minCount, 2);
    if (!std::isfinite(lo) || !std::isfinite(hi) || !(HalfSpan(lo, hi) > 0.0)) {
        return ticks;
    }
    // Spacing from half spans, so that a range near the largest double does not overflow.
    const double step = RoundStepBelow(HalfSpan(lo, hi) / minCount * 2.0);
    const double first = std::ceil(lo / step);
    const double last = std::floor(hi / step);
    // Far from zero a range of a few ulps has no two distinct multiples to offer.
    if (!(last - first < 4.0 * minCount) || first + 1.0 == first) {
        return ticks;
    }
    const double largest = std::max(std::fabs(lo), std::fabs(hi));
    const int count = static_cast<int>(last - first) + 1;
    for (int k = 0; k < count; ++k) {
        double value = (first + k) * step;
        if (std::fabs(value) < step * 1e-9) {
            value = 0.0;  // not 1e-17 from the rounding of (first + k) * step
        }
        ticks.values.push_back(value);
        ticks.labels.push_back(Label(value, largest, step));
    }
    return ticks;
}

Ticks LogTicks(double lo, double hi, int minCount) {
    Ticks ticks;
    if (!(lo > 0.0) || !(hi > lo) || !std::isfinite(hi)) {
        return LinearTicks(lo, hi, minCount);
    }
    const int firstDecade = static_cast<int>(std::ceil(std::log10(lo)));
    const int lastDecade = static_cast<int>(std::floor(std::log10(hi)));
    if (lastDecade - firstDecade + 1 >= minCount) {
        const int every = std::max(1, (lastDecade - firstDecade) / std::max(minCount - 1, 1) / 2);
        for (int d = firstDecade; d <= lastDecade; d += every) {
            ticks.values.push_back(std::pow(10.0, d));
            ticks.labels.push_back("1e" + std::to_string(d));
        }
        return ticks;
    }
    for (int d = firstDecade - 1; d <= lastDecade; ++d) {
        for (double mantissa : {1.0, 2.0, 5.0}) {
            const double value = mantissa * std::pow(10.0, d);
            if (value >= lo && value <= hi) {
                ticks.values.push_back(value);
                ticks.labels.push_back(Label(value, value, value));
            }
        }
    }
    if (static_cast<int>(ticks.values.size()) >= minCount) {
        return ticks;
    }
    return LinearTicks(lo, hi, minCount);
}

LengthUnit ChooseLengthUnit(double extent) {
    static const LengthUnit units[] = {
        {1e3, "km"}, {1.0, "m"}, {1e-3, "mm"}, {1e-6, "µm"}, {1e-9, "nm"}};
    for (const LengthUnit& unit : units) {
        if (extent >= unit.metres) {
            return unit;
        }
    }
    return units[4];
}

}  // namespace nembra_cli
