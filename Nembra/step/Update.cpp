#include <algorithm>
#include <cmath>

#include "Nembra/step/PowerThreeHalves.h"
#include "Nembra/step/Update.h"

namespace Nembra::step {

// out[j] = std::pow(x[j], 1.5) for j = begin .. end-1: the shortcut in a vector loop, then
// the libm calls that remain in one tight loop of their own.
void PowersThreeHalves(const double* x, double* out, int begin, int end) {
    if (detail::kPowerThreeHalvesShortcut) {
        NEMBRA_VECTOR_LOOP
        for (int j = begin; j < end; ++j) {
            out[j] = detail::PowerThreeHalvesOrNaN(x[j]);
        }
    }
    // The nodes left to pow are listed without a branch per node: about one in eight, at random,
    // would defeat branch prediction.
    constexpr int kChunk = 64;
    int pending[kChunk];
    for (int first = begin; first < end; first += kChunk) {
        const int last = std::min(first + kChunk, end);
        int count = 0;
        for (int j = first; j < last; ++j) {
            pending[count] = j;
            count += !detail::kPowerThreeHalvesShortcut || std::isnan(out[j]) ? 1 : 0;
        }
        for (int k = 0; k < count; ++k) {
            out[pending[k]] = std::pow(x[pending[k]], 1.5);
        }
    }
}

}  // namespace Nembra::step
