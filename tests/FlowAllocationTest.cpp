// Storage that cannot be had, provoked on demand: this program replaces the array forms of
// operator new and delete, aligned or not (for itself and the library it loads), so that
// requests of a chosen size fail while a test asks for it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "Nembra/SupersonicFlatPlate.h"
#include "Nembra/step/WorkingRows.h"
#include "support/FlowHelpers.h"
#include "support/MessageCapture.h"

namespace {

std::size_t failingSize = 0;  // 0: every request is served
int replacementCalls = 0;

void* AllocateArray(std::size_t size) noexcept {
    ++replacementCalls;
    if (failingSize != 0 && size == failingSize) {
        return nullptr;
    }
    return std::malloc(size == 0 ? 1 : size);
}

// The aligned array forms, for the mesh's rows: over-allocated through AllocateArray, the block
// handed out at the first aligned address after room for the start of the whole allocation.
void* AllocateAlignedArray(std::size_t size, std::align_val_t alignment) noexcept {
    ++replacementCalls;
    const auto align = static_cast<std::size_t>(alignment);
    if ((failingSize != 0 && size == failingSize) ||
        size > std::numeric_limits<std::size_t>::max() - align - sizeof(void*)) {
        return nullptr;
    }
    void* whole = std::malloc(size + align + sizeof(void*));
    if (whole == nullptr) {
        return nullptr;
    }
    const auto first = reinterpret_cast<std::uintptr_t>(whole) + sizeof(void*);
    void* block = reinterpret_cast<void*>((first + align - 1) / align * align);
    std::memcpy(static_cast<char*>(block) - sizeof(void*), &whole, sizeof whole);
    return block;
}

void ReleaseAlignedArray(void* block) noexcept {
    if (block == nullptr) {
        return;
    }
    void* whole = nullptr;
    std::memcpy(&whole, static_cast<char*>(block) - sizeof(void*), sizeof whole);
    std::free(whole);
}

}  // namespace

void* operator new[](std::size_t size) {
    if (void* block = AllocateArray(size)) {
        return block;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return AllocateArray(size);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    if (void* block = AllocateAlignedArray(size, alignment)) {
        return block;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return AllocateAlignedArray(size, alignment);
}
void operator delete[](void* block, std::align_val_t) noexcept {
    ReleaseAlignedArray(block);
}
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept {
    ReleaseAlignedArray(block);
}
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept {
    ReleaseAlignedArray(block);
}

namespace Nembra {
namespace {

using Wall = SupersonicFlatPlate::WallCondition;
constexpr std::size_t RowBytes(int nodes) {
    return static_cast<std::size_t>(nodes) * sizeof(Node);
}
constexpr std::size_t DensityBytes(int imax, int jmax) {
    return static_cast<std::size_t>(imax) * static_cast<std::size_t>(jmax) * sizeof(double);
}

// Array requests of `bytes` fail while an object of this type lives.
class FailRequestsOf {
public:
    explicit FailRequestsOf(std::size_t bytes) { failingSize = bytes; }
    ~FailRequestsOf() { failingSize = 0; }
    FailRequestsOf(const FailRequestsOf&) = delete;
    FailRequestsOf& operator=(const FailRequestsOf&) = delete;
};

std::vector<double> Densities(Solver& solver) {
    const MeshView mesh = ViewOf(solver);
    std::vector<double> rho;
    for (int i = 0; i < mesh.imax; ++i) {
        for (int j = 0; j < mesh.jmax; ++j) {
            rho.push_back(mesh.rows[i][j].Rho);
        }
    }
    return rho;
}

void Advance(Solver& solver, int calls) {
    for (int n = 0; n < calls; ++n) {
        solver.UpdateDatas();
    }
}

// Memory checkers such as valgrind put their own operator new[] in place of this program's, and
// a library linked with its own runtime does not see it.
class FlowAllocation : public MessageCaptureTest {
protected:
    void SetUp() override {
        const int before = replacementCalls;
        const SupersonicFlatPlate probe(3, 3, 1e-5, 1);
        if (replacementCalls == before) {
            GTEST_SKIP() << "operator new[] of this program is not in effect";
        }
        MessageCaptureTest::SetUp();
    }
};

// ---------------------------------------------------------------------------------------------
// The flat plate's density storage

TEST_F(FlowAllocation, PlateWithoutDensityStorageIsAnnouncedCompletesAndStepsUnsettled) {
    SupersonicFlatPlate twin(5, 5, 1e-5, 50);
    std::vector<SupersonicFlatPlate> plates;
    {
        const FailRequestsOf densities(DensityBytes(5, 5));
        plates.emplace_back(5, 5, 1e-5, 50);
        plates.emplace_back(twin);
        EXPECT_EQ(Captured(), (std::vector<Message>{kMemoryBox, kMemoryBox}));
        for (SupersonicFlatPlate& plate : plates) {
            ASSERT_EQ(ViewOf(plate).imax, 5);
            ASSERT_EQ(ViewOf(plate).jmax, 5);
            Advance(plate, 3);
            EXPECT_EQ(plate.GetLargestDensityChange(), std::numeric_limits<double>::infinity())
                << "a change that could not be measured passes for settled";
        }
    }
    for (SupersonicFlatPlate& plate : plates) {
        SupersonicFlatPlate fresh(twin);
        Advance(fresh, 3);
        EXPECT_EQ(Densities(plate), Densities(fresh));
        // Storage is sought again at the next step, and the change is measured from then on.
        Advance(plate, 1);
        Advance(fresh, 1);
        EXPECT_EQ(plate.GetLargestDensityChange(), fresh.GetLargestDensityChange());
    }
}

// The strong guarantee: an assignment that cannot get the storage for the other plate's mesh
// changes nothing, and the target goes on as if it had not been tried.
TEST_F(FlowAllocation, PlateAssignmentWithoutDensityStorageTakesNothing) {
    SupersonicFlatPlate target(5, 5, 1e-5, 100, Wall::Isothermal);
    Advance(target, 3);
    SupersonicFlatPlate twin(target);
    SupersonicFlatPlate source(20, 20, 1e-5, 100, Wall::Adiabatic);
    Advance(source, 4);
    Node** const mesh = ViewOf(target).rows;
    Captured().clear();
    {
        const FailRequestsOf densities(DensityBytes(20, 20));
        target = source;
    }
    EXPECT_EQ(Captured(), std::vector<Message>{kMemoryBox});
    EXPECT_EQ(ViewOf(target).rows, mesh);
    EXPECT_EQ(ViewOf(target).imax, 5);
    EXPECT_EQ(ViewOf(target).jmax, 5);
    EXPECT_EQ(target.GetStepCount(), twin.GetStepCount());
    EXPECT_EQ(target.GetWallCondition(), Wall::Isothermal);
    EXPECT_EQ(target.GetLargestDensityChange(), twin.GetLargestDensityChange());
    Advance(target, 3);
    Advance(twin, 3);
    EXPECT_EQ(Densities(target), Densities(twin));
    EXPECT_EQ(target.GetLargestDensityChange(), twin.GetLargestDensityChange());
}

// When the base cannot copy the other's mesh it keeps its own: the plate keeps its wall and the
// change of its own last step, never another plate's convergence.
TEST_F(FlowAllocation, PlateAssignmentWithoutMeshTakesNothing) {
    SupersonicFlatPlate target(5, 5, 1e-5, 100, Wall::Isothermal);
    SupersonicFlatPlate source(20, 20, 1e-5, 100, Wall::Adiabatic);
    Advance(source, 4);
    ASSERT_LT(source.GetLargestDensityChange(), std::numeric_limits<double>::infinity());
    {
        const FailRequestsOf rows(RowBytes(20));
        target = source;
    }
    EXPECT_EQ(Captured(), (std::vector<Message>{kRowBox, kMemoryBox}));
    EXPECT_EQ(ViewOf(target).imax, 5);
    EXPECT_EQ(target.GetStepCount(), 0);
    EXPECT_EQ(target.GetWallCondition(), Wall::Isothermal);
    EXPECT_EQ(target.GetLargestDensityChange(), std::numeric_limits<double>::infinity());

    // Once storage is there again, assignment takes everything.
    target = source;
    EXPECT_EQ(target.GetWallCondition(), Wall::Adiabatic);
    EXPECT_EQ(target.GetLargestDensityChange(), source.GetLargestDensityChange());
    Advance(target, 2);
    Advance(source, 2);
    EXPECT_EQ(Densities(target), Densities(source));
}

// ---------------------------------------------------------------------------------------------
// The flow step's working rows

// The row-wise step's working rows for rows of `nodes` nodes.
std::size_t WorkingRowBytes(int nodes) {
    return step::StepRowStride(nodes) * step::kStepArrayCount * sizeof(double);
}

// Every slot of every node, after each of `calls` calls of both.
void ExpectSameSteps(Solver& solver, Solver& twin, int calls) {
    for (int call = 0; call < calls; ++call) {
        solver.UpdateDatas();
        twin.UpdateDatas();
        ASSERT_EQ(solver.GetDeltaT(), twin.GetDeltaT()) << "call " << call;
        ASSERT_EQ(reference::FirstDifference(ViewOf(solver).rows, Snapshot(twin)), "")
            << "call " << call;
    }
}

// A solver whose mesh was allocated keeps it and steps, node by node, when the working rows of
// the row-wise step cannot be had; nothing is announced, as nothing the host asked for failed.
TEST_F(FlowAllocation, SolverWithoutWorkingRowsKeepsItsMeshAndStepsToTheSameBits) {
    const Solver source(13, 12, 1e-5, 100);
    std::vector<std::unique_ptr<Solver>> starved;
    {
        const FailRequestsOf workingRows(WorkingRowBytes(12));
        starved.push_back(std::make_unique<Solver>(13, 12, 1e-5, 100));
        starved.push_back(std::make_unique<Solver>(source));
        starved.push_back(std::make_unique<Solver>(5, 5, 1e-5, 100));
        *starved.back() = source;
        starved.push_back(
            std::make_unique<SupersonicFlatPlate>(12, 12, 1e-5, 100, Wall::Adiabatic));
        EXPECT_TRUE(Captured().empty());
        for (auto& solver : starved) {
            ASSERT_NE(ViewOf(*solver).rows, nullptr);
            ASSERT_EQ(ViewOf(*solver).jmax, 12);
            Advance(*solver, 5);
        }
    }
    std::vector<std::unique_ptr<Solver>> twins;
    for (int k = 0; k < 3; ++k) {
        twins.push_back(std::make_unique<Solver>(13, 12, 1e-5, 100));
    }
    twins.push_back(std::make_unique<SupersonicFlatPlate>(12, 12, 1e-5, 100, Wall::Adiabatic));
    for (std::size_t k = 0; k < twins.size(); ++k) {
        SCOPED_TRACE(testing::Message() << "solver " << k);
        Advance(*twins[k], 5);
        EXPECT_EQ(starved[k]->GetDeltaT(), twins[k]->GetDeltaT());
        EXPECT_EQ(reference::FirstDifference(ViewOf(*starved[k]).rows, Snapshot(*twins[k])), "");
        // Once the working rows can be had, the solver takes them and steps on alike.
        ExpectSameSteps(*starved[k], *twins[k], 3);
    }
    EXPECT_TRUE(Captured().empty());
}

// The node-by-node step against the plain evaluation of the formulas, from a field in which
// every node differs.
TEST_F(FlowAllocation, NodeByNodeStepMatchesTheFormulasInEverySlot) {
    const FailRequestsOf workingRows(WorkingRowBytes(14));
    for (const auto& [imax, jmax] : {std::pair{15, 14}, std::pair{4, 14}, std::pair{1, 14}}) {
        SCOPED_TRACE(testing::Message() << imax << " x " << jmax);
        Solver solver(imax, jmax, 1e-5, 100);
        solver.UpdateDatas();
        FillRandomField(solver, 7);
        reference::ReferenceMesh expected = Snapshot(solver);
        ExpectStepsMatchReference(solver, expected, 3);
    }
}

}  // namespace
}  // namespace Nembra
