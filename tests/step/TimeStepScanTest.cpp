// The time step's scan of one row at a time, called directly: the largest viscous diffusivity
// and the largest acoustic-plus-convective rate over all rows folded in, and the count of nodes
// holding an infinite or NaN value among the first `checked` nodes of a row, for rows whose
// lengths put the unusable nodes in vector blocks and in tails.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "Nembra/step/TimeStepScan.h"

namespace Nembra::step {
namespace {

const TimeStepTerms kTerms{1.2444444444444445, 401.8, 3.1e7, 1.4e-7, 2.9e-7};

Node RandomNode(std::mt19937& random) {
    std::uniform_real_distribution<double> velocity(-400, 400), temperature(200, 700),
        density(0.5, 2.0), viscosity(1e-5, 4e-5);
    Node n{};
    n.Rho = density(random);
    n.U = velocity(random);
    n.V = velocity(random);
    n.T = temperature(random);
    n.Mu = viscosity(random);
    n.RhoU = n.Rho * n.U;
    n.RhoV = n.Rho * n.V;
    n.Et = 2.5e5;
    n.Eint = 2.1e5;
    n.P = 1e5;
    n.K = 0.025;
    return n;
}

// The same terms, written out node by node as the time step defines them.
double RateOf(const Node& n) {
    return std::sqrt(std::fabs(n.T * kTerms.soundFactor)) * kTerms.sqrtSpacing +
           (std::fabs(n.U) / kTerms.deltaX + std::fabs(n.V) / kTerms.deltaY);
}

double DiffusivityOf(const Node& n) {
    return (n.Mu * kTerms.viscousFactor) / n.Rho;
}

TEST(TimeStepScan, FoldsEveryNodeOfEveryRowIntoTheLargestTerms) {
    std::mt19937 random(11);
    for (int count = 1; count <= 13; ++count) {
        std::vector<std::vector<Node>> rows(3);
        TimeStepScan scan;
        double rate = -1;
        double diffusivity = 0;
        for (std::vector<Node>& row : rows) {
            for (int j = 0; j < count; ++j) {
                row.push_back(RandomNode(random));
                rate = std::max(rate, RateOf(row.back()));
                diffusivity = std::max(diffusivity, DiffusivityOf(row.back()));
            }
            int unusable = 0;
            ScanTimeStepRow(row.data(), count, count, kTerms, scan, unusable);
            EXPECT_EQ(unusable, 0);
        }
        EXPECT_TRUE(scan.visitedAny);
        EXPECT_EQ(scan.firstRate, RateOf(rows[0][0])) << count;
        EXPECT_EQ(scan.largestRate, rate) << count;
        EXPECT_EQ(scan.largestDiffusivity, diffusivity) << count;
    }
}

// One unusable slot, which enters no term of the time step, at every position of rows of 1 to
// 13 nodes; the scan counts what it checked, the caller the rest.
TEST(TimeStepScan, CountsUnusableNodesOnlyAmongTheCheckedOnes) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    std::mt19937 random(5);
    for (int count = 1; count <= 13; ++count) {
        for (int bad = 0; bad < count; ++bad) {
            for (int checked : {0, bad, bad + 1, count}) {
                std::vector<Node> row;
                for (int j = 0; j < count; ++j) {
                    row.push_back(RandomNode(random));
                }
                double Node::*slots[] = {&Node::Et, &Node::Eint, &Node::K, &Node::P};
                row[bad].*slots[bad % 4] = bad % 2 == 0 ? nan : -inf;
                TimeStepScan scan;
                int unusable = 0;
                const int done =
                    ScanTimeStepRow(row.data(), count, checked, kTerms, scan, unusable);
                ASSERT_LE(done, checked);
                for (int j = done; j < checked; ++j) {
                    const Node& n = row[j];
                    unusable += std::isfinite(n.Et) && std::isfinite(n.Eint) &&
                                        std::isfinite(n.K) && std::isfinite(n.P)
                                    ? 0
                                    : 1;
                }
                EXPECT_EQ(unusable, bad < checked ? 1 : 0)
                    << "node " << bad << " of " << count << ", " << checked << " checked";
            }
        }
    }
}

}  // namespace
}  // namespace Nembra::step
