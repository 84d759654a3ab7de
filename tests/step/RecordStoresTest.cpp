// The sweeps' two ways of storing records, called directly: streamed stores (whole cache lines
// sent to memory without reading them first) against cached ones, byte for byte after every
// sweep, on rows whose lengths put the 4-record blocks and their tails in every position; rows
// that do not start on a cache line, where the writers must fall back to cached stores; and the
// solver's rows, which start on one.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <new>
#include <ostream>
#include <string>
#include <vector>

#include "Nembra/step/Sweeps.h"
#include "support/FlowHelpers.h"

namespace Nembra {
namespace {

using step::RecordStores;

// A copy of a field in rows of its own, each starting `offset` bytes past a cache line.
class PlacedMesh {
public:
    PlacedMesh(const reference::ReferenceMesh& field, std::size_t offset)
        : imax_(field.imax), jmax_(field.jmax) {
        const std::size_t rowBytes = static_cast<std::size_t>(jmax_) * sizeof(Node);
        const std::size_t stride = (rowBytes + offset + kLine - 1) / kLine * kLine;
        storage_.resize(static_cast<std::size_t>(imax_) * stride + kLine);
        const auto start = reinterpret_cast<std::uintptr_t>(storage_.data());
        unsigned char* first = storage_.data() + ((kLine - start % kLine) % kLine);
        for (int i = 0; i < imax_; ++i) {
            void* place = first + static_cast<std::size_t>(i) * stride + offset;
            const Node* source = &field.at(i, 0);
            rows_.push_back(
                std::uninitialized_copy(source, source + jmax_, static_cast<Node*>(place)) - jmax_);
        }
    }

    Node** rows() { return rows_.data(); }
    reference::ReferenceMesh Snapshot() const {
        return reference::ReferenceMesh::CopyOf(rows_.data(), imax_, jmax_);
    }

private:
    static constexpr std::size_t kLine = 64;
    int imax_;
    int jmax_;
    std::vector<unsigned char> storage_;
    std::vector<Node*> rows_;
};

struct Shape {
    int imax;
    int jmax;
    std::size_t rowOffset;  // bytes past a cache line at which each row starts
};

void PrintTo(const Shape& s, std::ostream* out) {
    *out << s.imax << " x " << s.jmax << ", rows at line + " << s.rowOffset;
}

class RecordStoresShapes : public ::testing::TestWithParam<Shape> {};

TEST_P(RecordStoresShapes, StreamedAndCachedSweepsStoreTheSameBytes) {
    const Shape shape = GetParam();
    Solver solver(shape.imax, shape.jmax, 1e-5, 10000);
    solver.UpdateDatas();
    FillRandomField(solver, static_cast<std::uint32_t>(shape.imax * 131 + shape.jmax));
    const reference::ReferenceMesh field = Snapshot(solver);
    const reference::FlowConstants f = reference::ConstantsOf(solver);
    const step::StepConstants c{f.dx,    f.dy,          reference::TimeStep(field, f),
                                f.cv,    f.gasConstant, f.tRef,
                                f.muRef, f.cp,          f.prandtl};

    PlacedMesh cached(field, shape.rowOffset);
    PlacedMesh streamed(field, shape.rowOffset);
    double* scratch = nullptr;
    ASSERT_TRUE(step::AllocateWorkingRows(scratch, shape.jmax));
    const std::unique_ptr<double[]> ownedScratch(scratch);

    // The same sweep over both meshes, cached and streamed, must leave the same bytes.
    const auto sweepBoth = [&](auto sweep, const char* phase, int round) {
        sweep(cached.rows(), shape.imax, shape.jmax, scratch, c, RecordStores::kCached);
        sweep(streamed.rows(), shape.imax, shape.jmax, scratch, c, RecordStores::kStreamed);
        EXPECT_EQ(reference::FirstDifference(streamed.rows(), cached.Snapshot()), "")
            << phase << ", round " << round;
    };
    for (int round = 0; round < 3 && !HasFailure(); ++round) {
        sweepBoth(step::PredictorSweep, "predictor", round);
        sweepBoth(step::CorrectorSweep, "corrector", round);
    }
}

// Rows of 5 to 12 nodes hold every count of whole blocks and leftover nodes; the longer ones run
// many blocks. Rows 8 bytes past a line cannot be streamed (the writers know the lines only of
// rows that start on one) and must come out the same through the cache.
INSTANTIATE_TEST_SUITE_P(RowLengthsAndPlaces, RecordStoresShapes,
                         ::testing::Values(Shape{6, 5, 0}, Shape{5, 6, 0}, Shape{7, 7, 0},
                                           Shape{6, 8, 0}, Shape{5, 9, 0}, Shape{8, 10, 0},
                                           Shape{6, 11, 0}, Shape{5, 12, 0}, Shape{23, 37, 0},
                                           Shape{9, 64, 0}, Shape{13, 65, 0}, Shape{7, 9, 8},
                                           Shape{11, 37, 8}, Shape{9, 64, 32}));

// The writers stream only into rows that start on a cache line: the solver's rows, its copies'
// and its assigned meshes' do.
TEST(RecordStores, SolverRowsStartOnACacheLine) {
    Solver original(9, 13, 1e-5, 10);
    Solver copy(original);
    Solver assigned(5, 7, 1e-5, 10);
    assigned = original;
    for (Solver* solver : {&original, &copy, &assigned}) {
        const MeshView view = ViewOf(*solver);
        for (int i = 0; i < view.imax; ++i) {
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(view.rows[i]) % 64, 0U) << "row " << i;
        }
    }
}

}  // namespace
}  // namespace Nembra
