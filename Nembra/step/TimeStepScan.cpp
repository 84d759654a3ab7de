#include "Nembra/step/TimeStepScan.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace Nembra::step {
namespace {

double Diffusivity(const Node& n, const TimeStepTerms& terms) {
    return (n.Mu * terms.viscousFactor) / n.Rho;
}

double Rate(const Node& n, const TimeStepTerms& terms) {
    const double acoustic = std::sqrt(std::fabs(n.T * terms.soundFactor)) * terms.sqrtSpacing;
    const double convective = std::fabs(n.U) / terms.deltaX + std::fabs(n.V) / terms.deltaY;
    return acoustic + convective;
}

#ifdef NEMBRA_NODE_BLOCKS
// How many records ahead of its loads the scan asks for the lines it will read. The scan reads
// 88 of every 352 bytes, a pattern the hardware prefetchers follow too late once the records
// live beyond the last-level cache (a fifth less time for the scan on 280 x 280 here, no change
// on meshes that fit the caches).
constexpr int kScanLookahead = 48;

// All lanes set where the value is finite: the vector form of ValueAvailability.
NEMBRA_BLOCK_HELPER Bits4 Usable(Double4 values) {
    return Abs(values) <= DBL_MAX;
}

NEMBRA_BLOCK_HELPER double LargestLane(Double4 lanes, double largest) {
    for (int k = 0; k < 4; ++k) {
        largest = lanes[k] > largest ? lanes[k] : largest;
    }
    return largest;
}

// The scan over four nodes at a time, as far as whole blocks go, and the value check of the
// first `checked` nodes among them. Returns the number of nodes scanned.
int ScanTimeStepBlocks(const Node* row, int count, int checked, const TimeStepTerms& terms,
                       TimeStepScan& scan, int& unusable) {
    Double4 largestDiffusivity = Double4{} + scan.largestDiffusivity;
    Double4 largestRate = Double4{} + scan.largestRate;
    Bits4 unusableLanes{};
    int j = 0;
    for (; j + kBlockNodes <= count; j += kBlockNodes) {
        if (j + kScanLookahead + kBlockNodes <= count) {
            PrefetchForReading(row + j + kScanLookahead, kBlockNodes, offsetof(Node, UProspect));
        }
        const SlotBlock conserved = LoadBlock(row + j, offsetof(Node, Rho));  // Rho RhoU RhoV Et
        const SlotBlock primitives = LoadBlock(row + j, offsetof(Node, U));   // U V Eint T
        const SlotBlock transport = LoadBlock(row + j, offsetof(Node, P));    // P Mu K -
        const Double4 rho = conserved.slot[0];
        const Double4 u = primitives.slot[0];
        const Double4 v = primitives.slot[1];
        const Double4 T = primitives.slot[3];
        const Double4 mu = transport.slot[1];
        const Double4 diffusivity = (mu * terms.viscousFactor) / rho;
        largestDiffusivity = diffusivity > largestDiffusivity ? diffusivity : largestDiffusivity;
        const Double4 acoustic = Sqrt(Abs(T * terms.soundFactor)) * terms.sqrtSpacing;
        const Double4 rate = acoustic + (Abs(u) / terms.deltaX + Abs(v) / terms.deltaY);
        largestRate = rate > largestRate ? rate : largestRate;
        if (j < checked) {
            const Bits4 usable = Usable(rho) & Usable(u) & Usable(v) & Usable(conserved.slot[3]) &
                                 Usable(primitives.slot[2]) & Usable(transport.slot[2]) &
                                 Usable(mu) & Usable(transport.slot[0]);
            const Bits4 lane = Bits4{0, 1, 2, 3} + j;
            // A true comparison is -1 in every bit: subtracting it counts the node.
            unusableLanes -= (usable == 0) & (lane < checked);
        }
    }
    scan.largestDiffusivity = LargestLane(largestDiffusivity, scan.largestDiffusivity);
    scan.largestRate = LargestLane(largestRate, scan.largestRate);
    for (int k = 0; k < 4; ++k) {
        unusable += static_cast<int>(unusableLanes[k]);
    }
    return j;
}
#endif

}  // namespace

int ScanTimeStepRow(const Node* row, int count, int checked, const TimeStepTerms& terms,
                    TimeStepScan& scan, [[maybe_unused]] int& unusable) {
    if (count <= 0) {
        return 0;
    }
    if (!scan.visitedAny) {
        scan.firstRate = Rate(row[0], terms);
        scan.visitedAny = true;
    }
    int blocks = 0;
#ifdef NEMBRA_NODE_BLOCKS
    blocks = ScanTimeStepBlocks(row, count, checked, terms, scan, unusable);
#endif
    double largestDiffusivity = scan.largestDiffusivity;
    double largestRate = scan.largestRate;
    for (int j = blocks; j < count; ++j) {
        const double diffusivity = Diffusivity(row[j], terms);
        largestDiffusivity = diffusivity > largestDiffusivity ? diffusivity : largestDiffusivity;
        const double rate = Rate(row[j], terms);
        largestRate = rate > largestRate ? rate : largestRate;
    }
    scan.largestDiffusivity = largestDiffusivity;
    scan.largestRate = largestRate;
    return std::min(blocks, checked);
}

}  // namespace Nembra::step
