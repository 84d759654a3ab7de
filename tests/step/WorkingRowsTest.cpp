// The working rows that the step carves out of the solver's scratch: every row lies inside the
// allocation, starts on a cache line of its own and overlaps no other. A row counted in the
// layout but not in the allocation would make the step write past the end of its scratch.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "Nembra/step/WorkingRows.h"

namespace Nembra::step {
namespace {

// Every row pointer of the layout, in no particular order.
std::vector<double*> AllRows(const StepRows& w) {
    std::vector<double*> rows;
    for (const GatheredRow& g : w.ring) {
        rows.insert(rows.end(), {g.u, g.v, g.t, g.rho, g.p, g.et, g.mu, g.k});
        rows.insert(rows.end(), std::begin(g.q), std::end(g.q));
        rows.insert(rows.end(), std::begin(g.qp), std::end(g.qp));
    }
    rows.insert(rows.end(), {w.dUdX, w.dUdY, w.dVdX, w.dVdY, w.dTdX, w.dTdY, w.ratio, w.power});
    for (int r = 0; r < kFluxRows; ++r) {
        rows.insert(rows.end(), std::begin(w.e[r]), std::end(w.e[r]));
        rows.insert(rows.end(), std::begin(w.f[r]), std::end(w.f[r]));
    }
    for (const RowResults& r : w.results) {
        rows.insert(rows.end(), std::begin(r.dudt), std::end(r.dudt));
        rows.insert(rows.end(), std::begin(r.updated), std::end(r.updated));
        rows.insert(rows.end(), {r.u, r.v, r.eint, r.t, r.p, r.mu, r.k});
    }
    return rows;
}

TEST(WorkingRows, EveryRowLiesInsideTheScratchAndApartFromTheOthers) {
    for (int nodesPerRow : {1, 3, 4, 5, 8, 9, 70, 281}) {
        double* raw = nullptr;
        ASSERT_TRUE(AllocateWorkingRows(raw, nodesPerRow));
        const std::unique_ptr<double[]> scratch(raw);
        const std::size_t stride = StepRowStride(nodesPerRow);
        const std::size_t total = stride * kStepArrayCount;
        EXPECT_GE(stride, static_cast<std::size_t>(nodesPerRow));
        EXPECT_EQ(stride % 8, 0U) << "rows of whole cache lines";

        std::vector<double*> rows = AllRows(MapStepRows(scratch.get(), nodesPerRow));
        EXPECT_EQ(rows.size(), static_cast<std::size_t>(kStepArrayCount)) << nodesPerRow;
        std::sort(rows.begin(), rows.end());
        for (std::size_t k = 0; k < rows.size(); ++k) {
            const std::size_t offset = static_cast<std::size_t>(rows[k] - scratch.get());
            EXPECT_LE(offset + stride, total) << "row " << k << " of " << nodesPerRow;
            if (k + 1 < rows.size()) {
                EXPECT_GE(static_cast<std::size_t>(rows[k + 1] - rows[k]), stride)
                    << "rows " << k << " and " << k + 1 << " overlap, " << nodesPerRow;
            }
        }
    }
}

TEST(WorkingRows, NoRowsAreAllocatedForAnEmptyRow) {
    double* scratch = reinterpret_cast<double*>(std::uintptr_t{1});
    EXPECT_TRUE(AllocateWorkingRows(scratch, 0));
    EXPECT_EQ(scratch, nullptr);
}

}  // namespace
}  // namespace Nembra::step
