// Construction, members, copies and the mesh storage of the flow solver.

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstddef>
#include <ostream>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "support/FlowHelpers.h"
#include "support/MessageCapture.h"

// The failed-allocation tests ask for absurd amounts of memory and expect a null answer.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}

namespace Nembra {
namespace {

// The host reads records in place by slot position.
static_assert(sizeof(Node) == 44 * sizeof(double));
static_assert(std::is_standard_layout_v<Node>);
static_assert(offsetof(Node, Rho) == 0 * sizeof(double));
static_assert(offsetof(Node, Et) == 3 * sizeof(double));
static_assert(offsetof(Node, U) == 4 * sizeof(double));
static_assert(offsetof(Node, T) == 7 * sizeof(double));
static_assert(offsetof(Node, K) == 10 * sizeof(double));
static_assert(offsetof(Node, UProspect) == 11 * sizeof(double));
static_assert(offsetof(Node, RhoProspect) == 15 * sizeof(double));
static_assert(offsetof(Node, KProspect) == 19 * sizeof(double));
static_assert(offsetof(Node, FluxE) == 20 * sizeof(double));
static_assert(offsetof(Node, FluxF) == 24 * sizeof(double));
static_assert(offsetof(Node, DUDt) == 28 * sizeof(double));
static_assert(offsetof(Node, QProspect) == 32 * sizeof(double));
static_assert(offsetof(Node, FluxEProspect) == 36 * sizeof(double));
static_assert(offsetof(Node, FluxFProspect) == 40 * sizeof(double));

bool AllZero(const MeshView& view) {
    for (int i = 0; i < view.imax; ++i) {
        for (int j = 0; j < view.jmax; ++j) {
            const auto* bytes = reinterpret_cast<const unsigned char*>(&view.rows[i][j]);
            for (std::size_t b = 0; b < sizeof(Node); ++b) {
                if (bytes[b] != 0) {
                    return false;
                }
            }
        }
    }
    return true;
}

// The members that follow from the node counts and the length, by the construction formulas.
void ExpectDerivedMembers(const FlowMembers& m, int imax, int jmax, double lengthX) {
    const double reynolds = std::fabs(m.RhoInf * m.UInf * lengthX / m.MuInf);
    const double thickness = std::fabs(5 * lengthX / std::sqrt(std::fabs(reynolds)));
    const double lengthY = std::fabs(5 * thickness);
    EXPECT_EQ(m.ReynoldsL, reynolds);
    EXPECT_EQ(m.BoundaryLayerThickness, thickness);
    EXPECT_EQ(m.LengthY, lengthY);
    EXPECT_EQ(m.DeltaX, std::fabs(lengthX / (imax - 1)));
    EXPECT_EQ(m.DeltaY, std::fabs(lengthY / (jmax - 1)));
}

// Everything that does not depend on the four constructor arguments.
void ExpectSettingMembers(const FlowMembers& m) {
    EXPECT_EQ(m.StepCount, 0);
    EXPECT_EQ(m.DeltaT, 0.0);
    EXPECT_EQ(m.HeightFactor, 5.0);
    EXPECT_EQ(m.MachInf, 4.0);
    EXPECT_EQ(m.TInf, 288.16);
    EXPECT_EQ(m.SoundSpeedInf, 340.28);
    EXPECT_EQ(m.UInf, 1361.12);
    EXPECT_EQ(m.VInf, 0.0);
    EXPECT_EQ(m.PInf, 101325.0);
    EXPECT_EQ(m.RhoInf, 1.225183163824975);
    EXPECT_EQ(m.MuInf, 1.789e-5);
    EXPECT_EQ(m.EintInf, 206754.80000000005);
    EXPECT_EQ(m.KInf, std::fabs(m.MuInf * m.Cp / m.Prandtl));
    EXPECT_NEAR(m.KInf, 0.0253106, 1e-7);
    EXPECT_EQ(m.Prandtl, 0.71);
    EXPECT_EQ(m.GasConstant, 287.0);
    EXPECT_EQ(m.WallTemperatureRatio, 1.0);
    EXPECT_EQ(m.Gamma, 1.4);
    EXPECT_EQ(m.MuRef, 1.789e-5);
    EXPECT_EQ(m.TRef, 288.16);
    EXPECT_EQ(m.Cv, 717.5000000000001);
    EXPECT_EQ(m.Cp, 1004.5000000000001);
    EXPECT_EQ(m.Courant, 0.6);
}

TEST(FlowConstruction, DefaultMembersToTheLastBit) {
    Solver solver;
    const FlowMembers m = Access::Members(solver);
    EXPECT_EQ(m.IMax, 70);
    EXPECT_EQ(m.JMax, 70);
    EXPECT_EQ(m.MaxStepCount, 10000);
    EXPECT_EQ(m.LengthX, 1e-5);
    EXPECT_EQ(m.DeltaX, 1.4492753623188408e-7);
    ExpectSettingMembers(m);
    ExpectDerivedMembers(m, 70, 70, 1e-5);
    EXPECT_NEAR(m.ReynoldsL, 932, 1);
    EXPECT_NEAR(m.BoundaryLayerThickness, 1.64e-6, 0.01e-6);
    EXPECT_NEAR(m.LengthY, 8.19e-6, 0.01e-6);
    EXPECT_NEAR(m.DeltaY, 1.19e-7, 0.01e-7);
}

TEST(FlowConstruction, PublicAccessorsReportTheMembers) {
    Solver solver(31, 17, 2e-5, 50);
    const FlowMembers m = Access::Members(solver);
    EXPECT_EQ(solver.GetStepCount(), 0);
    EXPECT_EQ(solver.GetMaxStepCount(), 50);
    EXPECT_EQ(solver.GetDeltaX(), m.DeltaX);
    EXPECT_EQ(solver.GetDeltaY(), m.DeltaY);
    EXPECT_EQ(solver.GetLengthX(), 2e-5);
    EXPECT_EQ(solver.GetLengthY(), m.LengthY);
    EXPECT_EQ(solver.GetReynoldsL(), m.ReynoldsL);
    EXPECT_EQ(solver.GetDeltaT(), 0.0);
}

struct ShapeCase {
    int imax, jmax;
    double lengthX;
    int maxSteps;
};

class FlowFourArgumentConstruction : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(FlowFourArgumentConstruction, StoresArgumentsAndRecomputesDerivedMembers) {
    const ShapeCase c = GetParam();
    Solver solver(c.imax, c.jmax, c.lengthX, c.maxSteps);
    const FlowMembers m = Access::Members(solver);
    EXPECT_EQ(m.IMax, c.imax);
    EXPECT_EQ(m.JMax, c.jmax);
    EXPECT_EQ(m.LengthX, c.lengthX);
    EXPECT_EQ(m.MaxStepCount, c.maxSteps);
    ExpectSettingMembers(m);
    ExpectDerivedMembers(m, c.imax, c.jmax, c.lengthX);
    const MeshView view = ViewOf(solver);
    EXPECT_EQ(view.imax, c.imax);
    EXPECT_EQ(view.jmax, c.jmax);
    EXPECT_TRUE(AllZero(view));
}

INSTANTIATE_TEST_SUITE_P(Shapes, FlowFourArgumentConstruction,
                         ::testing::Values(ShapeCase{70, 70, 1e-5, 10000},
                                           ShapeCase{31, 17, 2e-5, 50}, ShapeCase{4, 4, 1e-5, 3},
                                           ShapeCase{1, 3, 3e-6, 0}, ShapeCase{2, 2, 1e-4, -5}));

TEST(FlowConstruction, DefaultMeshIsZeroFilledAndLive) {
    Solver solver;
    const MeshView view = ViewOf(solver);
    ASSERT_EQ(view.imax, 70);
    ASSERT_EQ(view.jmax, 70);
    ASSERT_NE(view.rows, nullptr);
    EXPECT_TRUE(AllZero(view));
    int imax = 0;
    int jmax = 0;
    EXPECT_EQ(&solver.GetMeshNodes(imax, jmax), &Access::Mesh(solver));
    solver.UpdateDatas();  // lays the initial field in the same storage
    EXPECT_EQ(view.rows[0][0].T, 288.16);
    EXPECT_EQ(view.rows[35][35].U, 6400.0);
}

TEST(FlowConstruction, ZeroCountGivesAnEmptyMeshThatStepsHarmlessly) {
    for (const auto& [imax, jmax] : {std::pair{0, 0}, std::pair{0, 5}, std::pair{5, 0}}) {
        Solver solver(imax, jmax, 1e-5, 5);
        const MeshView view = ViewOf(solver);
        EXPECT_EQ(view.imax * view.jmax, 0);
        for (int call = 0; call < 3; ++call) {
            solver.UpdateDatas();
        }
        Solver copy(solver);
        EXPECT_EQ(ViewOf(copy).imax, ViewOf(solver).imax);
    }
}

TEST(FlowConstruction, CopyConstructionIsDeep) {
    Solver original(13, 11, 1e-5, 20);
    original.UpdateDatas();
    original.UpdateDatas();
    Solver copy(original);
    const MeshView a = ViewOf(original);
    const MeshView b = ViewOf(copy);
    ASSERT_EQ(b.imax, 13);
    ASSERT_EQ(b.jmax, 11);
    EXPECT_NE(a.rows, b.rows);
    EXPECT_NE(a.rows[0], b.rows[0]);
    EXPECT_EQ(reference::FirstDifference(b.rows, Snapshot(original)), "");
    EXPECT_EQ(copy.GetStepCount(), 2);
    EXPECT_EQ(copy.GetDeltaT(), original.GetDeltaT());

    // Both go on independently and identically.
    const reference::ReferenceMesh before = Snapshot(original);
    copy.UpdateDatas();
    EXPECT_EQ(reference::FirstDifference(a.rows, before), "");
    original.UpdateDatas();
    EXPECT_EQ(reference::FirstDifference(b.rows, Snapshot(original)), "");
}

TEST(FlowConstruction, CopyAssignmentTakesShapeAndContents) {
    Solver source(9, 12, 2e-5, 7);
    source.UpdateDatas();
    Solver target;
    target = source;
    const MeshView view = ViewOf(target);
    ASSERT_EQ(view.imax, 9);
    ASSERT_EQ(view.jmax, 12);
    EXPECT_NE(view.rows, ViewOf(source).rows);
    EXPECT_EQ(reference::FirstDifference(view.rows, Snapshot(source)), "");
    EXPECT_EQ(Access::Members(target).DeltaX, Access::Members(source).DeltaX);
    EXPECT_EQ(target.GetMaxStepCount(), 7);

    const reference::ReferenceMesh before = Snapshot(target);
    Solver& self = target;
    target = self;
    EXPECT_EQ(ViewOf(target).imax, 9);
    EXPECT_EQ(reference::FirstDifference(ViewOf(target).rows, before), "");
}

TEST(FlowConstruction, MovesLeaveTheSourceWithoutMesh) {
    Solver source(6, 5, 1e-5, 10);
    source.UpdateDatas();
    const reference::ReferenceMesh contents = Snapshot(source);
    Node** const storage = ViewOf(source).rows;

    Solver moved(std::move(source));
    EXPECT_EQ(ViewOf(moved).rows, storage);
    EXPECT_EQ(reference::FirstDifference(ViewOf(moved).rows, contents), "");
    // The moved-from solver holds no mesh and stays usable.
    const MeshView empty = ViewOf(source);  // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(empty.rows, nullptr);
    EXPECT_EQ(empty.imax, 0);
    EXPECT_EQ(empty.jmax, 0);
    source.UpdateDatas();

    Solver target(3, 3, 1e-5, 10);
    target = std::move(moved);
    EXPECT_EQ(ViewOf(target).rows, storage);
    EXPECT_EQ(ViewOf(moved).rows, nullptr);  // NOLINT(bugprone-use-after-move)
    moved.UpdateDatas();
}

int& HostDestructions() {
    static int count = 0;
    return count;
}

TEST(FlowConstruction, DestructionThroughTheBaseDestroysTheDerivedHost) {
    struct Host : Solver {
        ~Host() override { ++HostDestructions(); }
    };
    HostDestructions() = 0;
    Solver* host = new Host;
    delete host;
    EXPECT_EQ(HostDestructions(), 1);
}

TEST_F(MessageCaptureTest, FailedTableRequestShowsBoxOneThenTheMemoryBox) {
    Solver solver(-1, 5, 1e-5, 10);
    EXPECT_EQ(Captured(), (std::vector<Message>{kTableBox, kMemoryBox}));
    const MeshView view = ViewOf(solver);
    EXPECT_EQ(view.rows, nullptr);
    EXPECT_EQ(view.imax, 0);
    EXPECT_EQ(view.jmax, 0);
}

class FailedRowRequest : public MessageCaptureTest, public ::testing::WithParamInterface<int> {};

// Row requests of a negative count, or of so many records that the byte count is absurd.
TEST_P(FailedRowRequest, ShowsBoxTwoThenTheMemoryBoxAndHoldsNoMesh) {
    Solver solver(1, GetParam(), 1e-5, 10);
    EXPECT_EQ(Captured(), (std::vector<Message>{kRowBox, kMemoryBox}));
    const MeshView view = ViewOf(solver);
    EXPECT_EQ(view.rows, nullptr);
    EXPECT_EQ(view.imax, 0);
    EXPECT_EQ(view.jmax, 0);

    // Nothing later touches the missing mesh.
    for (int call = 0; call < 3; ++call) {
        solver.UpdateDatas();
    }
    Solver copy(solver);
    EXPECT_EQ(ViewOf(copy).rows, nullptr);
    Solver assigned;
    assigned = solver;
    EXPECT_EQ(ViewOf(assigned).rows, nullptr);
    EXPECT_EQ(Captured().size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Counts, FailedRowRequest, ::testing::Values(-1, -70, INT_MAX));

TEST_F(MessageCaptureTest, StorageErrorShowsTheMemoryBoxOnly) {
    Solver solver;
    Access::AllocateStorageError(solver);
    EXPECT_EQ(Captured(), std::vector<Message>{kMemoryBox});
}

TEST_F(MessageCaptureTest, AllocateAndReleaseDirectly) {
    Solver solver(2, 2, 1e-5, 1);
    Node** rows = nullptr;
    Access::AllocateMeshNodesSpace(solver, rows, 3, 4);
    ASSERT_NE(rows, nullptr);
    EXPECT_TRUE(AllZero(MeshView{rows, 3, 4}));
    Access::ReleaseMeshNodes(solver, rows, 3, 4);
    EXPECT_EQ(rows, nullptr);

    Access::AllocateMeshNodesSpace(solver, rows, 0, 4);
    Access::ReleaseMeshNodes(solver, rows, 0, 4);
    EXPECT_EQ(rows, nullptr);
    EXPECT_TRUE(Captured().empty());
}

// A negative count is refused before anything is computed from it, even at the end of int's range
// where count - 1 would overflow; the table's count is checked before the row's.
struct RefusedCounts {
    int imax;
    int jmax;
    Message box;
};

void PrintTo(const RefusedCounts& counts, std::ostream* out) {
    *out << counts.imax << " x " << counts.jmax;
}

class NegativeCount : public MessageCaptureTest,
                      public ::testing::WithParamInterface<RefusedCounts> {};

TEST_P(NegativeCount, IsAnnouncedAndLeavesNoMesh) {
    const RefusedCounts counts = GetParam();
    Solver solver(counts.imax, counts.jmax, 1e-5, 10);
    EXPECT_EQ(Captured(), (std::vector<Message>{counts.box, kMemoryBox}));
    const MeshView view = ViewOf(solver);
    EXPECT_EQ(view.rows, nullptr);
    EXPECT_EQ(view.imax, 0);
    EXPECT_EQ(view.jmax, 0);
    const FlowMembers m = Access::Members(solver);
    EXPECT_TRUE(std::isfinite(m.DeltaX) && std::isfinite(m.DeltaY));
    solver.UpdateDatas();
    solver.UpdateDatas();
    EXPECT_EQ(Captured().size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Counts, NegativeCount,
                         ::testing::Values(RefusedCounts{0, -5, kRowBox},
                                           RefusedCounts{-5, 0, kTableBox},
                                           RefusedCounts{INT_MIN, 70, kTableBox},
                                           RefusedCounts{70, INT_MIN, kRowBox},
                                           RefusedCounts{INT_MIN, INT_MIN, kTableBox}));

// A mesh without nodes holds nothing at all, however many empty rows or rows of no node it names:
// a host that walks the reported shape touches no storage.
TEST_F(MessageCaptureTest, MeshWithoutNodesIsEmptyAtOnce) {
    for (const auto& [imax, jmax] :
         {std::pair{0, 0}, std::pair{200000000, 0}, std::pair{0, INT_MAX}, std::pair{7, 0}}) {
        Solver solver(imax, jmax, 1e-5, 5);
        const MeshView view = ViewOf(solver);
        EXPECT_EQ(view.rows, nullptr) << imax << " x " << jmax;
        EXPECT_EQ(view.imax, 0) << imax << " x " << jmax;
        EXPECT_EQ(view.jmax, 0) << imax << " x " << jmax;
        solver.UpdateDatas();
        solver.UpdateDatas();
        Solver copy(solver);
        EXPECT_EQ(ViewOf(copy).rows, nullptr);
    }
    EXPECT_TRUE(Captured().empty());
}

}  // namespace
}  // namespace Nembra
