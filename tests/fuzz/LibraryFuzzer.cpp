// Drives the library's public API with whatever the fuzzer hands in: solvers of any size and
// length, hosts that write any double into any slot of any node from their initial and boundary
// operations, bounded stepping, copies, moves, self-assignment, assignment across sizes and
// kinds, deletion through the base class, the flat plate with either wall, the shock tube and
// its exact solution, the blast wave, and the diffusion solver with any arguments and indices.
// AddressSanitizer and UndefinedBehaviorSanitizer catch any read or write outside the arrays; the
// checks below catch a mesh that lies about its shape.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include "FuzzSupport.h"
#include "Nembra/BlastWave.h"
#include "Nembra/DiffusionEquation.h"
#include "Nembra/ExactRiemannSolution.h"
#include "Nembra/NavierStokesEquations2D.h"
#include "Nembra/ShockTube.h"
#include "Nembra/SupersonicFlatPlate.h"

namespace {

using Nembra::BlastWave;
using Nembra::DiffusionEquation;
using Nembra::ExactRiemannSolution;
using Nembra::NavierStokesEquations2D;
using Nembra::ShockTube;
using Nembra::SupersonicFlatPlate;
using nembra_fuzz::Finding;
using Node = NavierStokesEquations2D::_MeshNode;

// Keeps each input fast and within the fuzzer's memory limit: meshes of at most this many nodes
// (1.4 MiB of records), steps of at most this many node updates per input.
constexpr long long kMaxNodes = 1 << 12;
constexpr long long kMaxNodeSteps = 1 << 12;
constexpr int kMaxOperations = 48;
constexpr int kMaxSamplingPoints = 1 << 16;
constexpr int kSlotsPerNode = static_cast<int>(sizeof(Node) / sizeof(double));

double AnyDouble(FuzzedDataProvider& data) {
    switch (data.ConsumeIntegralInRange(0, 9)) {
        case 0:
            return std::numeric_limits<double>::quiet_NaN();
        case 1:
            return std::numeric_limits<double>::infinity();
        case 2:
            return -std::numeric_limits<double>::infinity();
        case 3:
            return 0.0;
        case 4:
            return std::numeric_limits<double>::denorm_min();
        case 5:
            return -1e-5;
        case 6:
            return std::numeric_limits<double>::max();
        case 7:
            return 1e-5;
        default:
            return data.ConsumeFloatingPoint<double>();
    }
}

int AnyCount(FuzzedDataProvider& data) {
    switch (data.ConsumeIntegralInRange(0, 5)) {
        case 0:
            return data.ConsumeIntegralInRange(-3, 16);
        case 1:
            return std::numeric_limits<int>::min();
        case 2:
            return std::numeric_limits<int>::max();
        case 3:
            return data.ConsumeIntegralInRange(std::numeric_limits<int>::min(), -1);
        default:
            return data.ConsumeIntegralInRange(0, 160);
    }
}

// A positive node count beyond the memory cap is replaced by a small one; zero and negative
// counts, which allocate nothing, stay whatever their size.
void CapMesh(int& imax, int& jmax) {
    if (imax > 0 && jmax > 0 && static_cast<long long>(imax) * jmax > kMaxNodes) {
        imax = 1 + imax % 64;
        jmax = 1 + jmax % 64;
    }
}

// A host that writes any value into any slot of any node whenever the solver hands it the mesh,
// and also calls the base class's operations of either family.
class Host : public NavierStokesEquations2D {
public:
    Host(FuzzedDataProvider& data, int imax, int jmax, double lengthX, int steps)
        : NavierStokesEquations2D(imax, jmax, lengthX, steps), data_(&data) {}

protected:
    void InitializeMeshNodes2(_MeshNode**& mesh) override { Operation(mesh); }
    void SetMeshNodesValues(_MeshNode**& mesh) override { Operation(mesh); }
    void BoundaryConditions2(_MeshNode**& mesh) override { Operation(mesh); }
    void BoundaryConditionsProspect2(_MeshNode**& mesh) override { Operation(mesh); }

private:
    void Operation(_MeshNode**& mesh) {
        FuzzedDataProvider& data = *data_;
        switch (data.ConsumeIntegralInRange(0, 7)) {
            case 0:
                NavierStokesEquations2D::InitializeMeshNodes2(mesh);
                break;
            case 1:
                NavierStokesEquations2D::InitializeMeshNodes(mesh);
                break;
            case 2:
                NavierStokesEquations2D::SetMeshNodesValues(mesh);
                break;
            case 3:
                NavierStokesEquations2D::BoundaryConditions(mesh);
                break;
            case 4:
                NavierStokesEquations2D::BoundaryConditionsProspect(mesh);
                break;
            case 5:
                NavierStokesEquations2D::BoundaryConditions2(mesh);
                break;
            case 6:
                NavierStokesEquations2D::BoundaryConditionsProspect2(mesh);
                break;
            default:
                break;
        }
        int imax = 0;
        int jmax = 0;
        _MeshNode** rows = GetMeshNodes(imax, jmax);
        // Extrapolation is documented to do nothing for a neighbour outside the mesh.
        const int i = data.ConsumeIntegralInRange(-2, imax + 1);
        const int j = data.ConsumeIntegralInRange(-2, jmax + 1);
        if (data.ConsumeBool()) {
            Extrapolation(mesh, i, j, data.ConsumeBool());
        } else {
            ExtrapolationProspect(mesh, i, j, data.ConsumeBool());
        }
        if (rows == nullptr || imax <= 0 || jmax <= 0) {
            return;
        }
        for (int write = data.ConsumeIntegralInRange(0, 6); write > 0; --write) {
            _MeshNode& node = rows[data.ConsumeIntegralInRange(0, imax - 1)]
                                  [data.ConsumeIntegralInRange(0, jmax - 1)];
            if (data.ConsumeBool()) {
                reinterpret_cast<double*>(
                    &node)[data.ConsumeIntegralInRange(0, kSlotsPerNode - 1)] = AnyDouble(data);
            } else {
                SetMeshNodeValue(node, AnyDouble(data), AnyDouble(data), AnyDouble(data),
                                 AnyDouble(data));
            }
        }
    }

    FuzzedDataProvider* data_;
};

enum class Kind { Solver, Host, Isothermal, Adiabatic, ShockTube, BlastWave };
constexpr int kKinds = 6;

struct Slot {
    std::unique_ptr<NavierStokesEquations2D> solver;
    Kind kind = Kind::Solver;
};

// The mesh must be null and 0 x 0, or a table of imax rows of jmax records each; every record is
// read so that a short row shows up under AddressSanitizer.
double CheckMesh(NavierStokesEquations2D& solver) {
    int imax = -1;
    int jmax = -1;
    Node** rows = solver.GetMeshNodes(imax, jmax);
    if (rows == nullptr) {
        if (imax != 0 || jmax != 0) {
            Finding("a solver without a mesh reports a shape");
        }
        return 0;
    }
    if (imax <= 0 || jmax <= 0) {
        Finding("a mesh table with no node");
    }
    double sum = 0;
    for (int i = 0; i < imax; ++i) {
        sum += rows[i][0].Rho + rows[i][jmax - 1].FluxFProspect[3];
    }
    return sum;
}

std::unique_ptr<NavierStokesEquations2D> Make(FuzzedDataProvider& data, Kind kind) {
    int imax = AnyCount(data);
    int jmax = AnyCount(data);
    CapMesh(imax, jmax);
    const double length = AnyDouble(data);
    const int steps = data.ConsumeIntegral<int>();
    switch (kind) {
        case Kind::Solver:
            return std::make_unique<NavierStokesEquations2D>(imax, jmax, length, steps);
        case Kind::Host:
            return std::make_unique<Host>(data, imax, jmax, length, steps);
        case Kind::Isothermal:
            return std::make_unique<SupersonicFlatPlate>(imax, jmax, length, steps);
        case Kind::Adiabatic:
            return std::make_unique<SupersonicFlatPlate>(
                imax, jmax, length, steps, SupersonicFlatPlate::WallCondition::Adiabatic);
        case Kind::ShockTube:
            return std::make_unique<ShockTube>(imax, jmax, length, steps);
        case Kind::BlastWave:
            return std::make_unique<BlastWave>(imax, jmax, length, steps);
    }
    return nullptr;
}

std::unique_ptr<NavierStokesEquations2D> CopyOf(FuzzedDataProvider& data, Slot& from) {
    NavierStokesEquations2D& source = *from.solver;
    switch (from.kind) {
        case Kind::Solver:
            return std::make_unique<NavierStokesEquations2D>(source);
        case Kind::Host: {
            int imax = 0;
            int jmax = 0;
            source.GetMeshNodes(imax, jmax);
            auto host = std::make_unique<Host>(data, 0, 0, 1e-5, 0);
            static_cast<NavierStokesEquations2D&>(*host) = source;
            return host;
        }
        case Kind::ShockTube:
            return std::make_unique<ShockTube>(static_cast<ShockTube&>(source));
        case Kind::BlastWave:
            return std::make_unique<BlastWave>(static_cast<BlastWave&>(source));
        default:
            return std::make_unique<SupersonicFlatPlate>(static_cast<SupersonicFlatPlate&>(source));
    }
}

bool IsPlate(Kind kind) {
    return kind == Kind::Isothermal || kind == Kind::Adiabatic;
}

// Copy or move assignment of the derived class itself, where both slots hold the same case.
template <class Case>
void AssignCase(Slot& a, Slot& b, bool move) {
    auto& to = static_cast<Case&>(*a.solver);
    auto& from = static_cast<Case&>(*b.solver);
    if (move) {
        to = std::move(from);
    } else {
        to = from;
    }
}

bool AssignSameCase(Slot& a, Slot& b, bool move) {
    if (IsPlate(a.kind) && IsPlate(b.kind)) {
        AssignCase<SupersonicFlatPlate>(a, b, move);
    } else if (a.kind == Kind::ShockTube && b.kind == Kind::ShockTube) {
        AssignCase<ShockTube>(a, b, move);
    } else if (a.kind == Kind::BlastWave && b.kind == Kind::BlastWave) {
        AssignCase<BlastWave>(a, b, move);
    } else {
        return false;
    }
    return true;
}

// The tube's exact solution exists whenever its diaphragm has a place; sampled anywhere, it
// gives one of the states of the problem or of the fan between them.
void SampleExactSolution(FuzzedDataProvider& data, const ShockTube& tube) {
    if (!std::isfinite(tube.GetDiaphragmPosition())) {
        return;
    }
    const ExactRiemannSolution exact = tube.GetExactSolution();
    volatile double end = tube.GetDefaultEndTime();
    static_cast<void>(end);
    const ExactRiemannSolution::State state = exact.Sample(AnyDouble(data), AnyDouble(data));
    if (!(state.Density > 0 && state.Pressure > 0)) {
        Finding("the shock tube's exact solution gives a state without gas");
    }
}

// Any two states and gamma: either refused with std::invalid_argument, or solved (in a bounded
// number of iterations, which the fuzzer's time limit checks) with a star pressure within the
// bracket of its search.
void ExactSolutionOfAnyStates(FuzzedDataProvider& data) {
    const ExactRiemannSolution::State left{AnyDouble(data), AnyDouble(data), AnyDouble(data)};
    const ExactRiemannSolution::State right{AnyDouble(data), AnyDouble(data), AnyDouble(data)};
    try {
        const ExactRiemannSolution exact(left, right, AnyDouble(data), AnyDouble(data));
        volatile double density = exact.Sample(AnyDouble(data), AnyDouble(data)).Density;
        static_cast<void>(density);
        if (exact.GetStarPressure() < 0) {
            Finding("a negative star pressure");
        }
    } catch (const std::invalid_argument&) {
    }
}

void Step(FuzzedDataProvider& data, NavierStokesEquations2D& solver, long long& budget) {
    int imax = 0;
    int jmax = 0;
    solver.GetMeshNodes(imax, jmax);
    const long long nodes = std::max(1LL, static_cast<long long>(imax) * jmax);
    for (int call = data.ConsumeIntegralInRange(1, 6); call > 0 && budget >= nodes; --call) {
        budget -= nodes;
        solver.UpdateDatas();
        if (auto* plate = dynamic_cast<SupersonicFlatPlate*>(&solver)) {
            if (plate->GetLargestDensityChange() < 0) {
                Finding("a negative density change");
            }
        }
    }
}

void FlowOperation(FuzzedDataProvider& data, std::vector<Slot>& slots, long long& budget) {
    Slot& a = slots[data.ConsumeIntegralInRange<std::size_t>(0, slots.size() - 1)];
    Slot& b = slots[data.ConsumeIntegralInRange<std::size_t>(0, slots.size() - 1)];
    switch (data.ConsumeIntegralInRange(0, 9)) {
        case 0:
            a.kind = static_cast<Kind>(data.ConsumeIntegralInRange(0, kKinds - 1));
            a.solver = Make(data, a.kind);  // the old one is deleted through the base pointer
            break;
        case 1:
            Step(data, *a.solver, budget);
            break;
        case 2:
            a.solver = CopyOf(data, b);
            a.kind = b.kind;
            break;
        case 3:  // assignment through the base class, across sizes and kinds
            *a.solver = *b.solver;
            break;
        case 4:
            AssignSameCase(a, b, false);
            break;
        case 5:  // a move leaves the source holding no mesh, to be used again later
            if (!AssignSameCase(a, b, true)) {
                *a.solver = std::move(*b.solver);
            }
            break;
        case 6:
            if (a.kind == Kind::Solver) {
                a.solver = std::make_unique<NavierStokesEquations2D>(std::move(*b.solver));
            }
            break;
        case 7: {
            NavierStokesEquations2D& self = *a.solver;
            *a.solver = self;
            break;
        }
        case 8:
            if (auto* plate = dynamic_cast<SupersonicFlatPlate*>(a.solver.get())) {
                plate->SetWallCondition(data.ConsumeBool()
                                            ? SupersonicFlatPlate::WallCondition::Adiabatic
                                            : SupersonicFlatPlate::WallCondition::Isothermal);
            } else if (auto* tube = dynamic_cast<ShockTube*>(a.solver.get())) {
                SampleExactSolution(data, *tube);
            } else {
                ExactSolutionOfAnyStates(data);
            }
            break;
        default: {
            int imax = 0;
            int jmax = 0;
            Node** rows = a.solver->GetMeshNodes(imax, jmax);
            if (rows != nullptr) {
                Node& node = rows[data.ConsumeIntegralInRange(0, imax - 1)]
                                 [data.ConsumeIntegralInRange(0, jmax - 1)];
                reinterpret_cast<double*>(
                    &node)[data.ConsumeIntegralInRange(0, kSlotsPerNode - 1)] = AnyDouble(data);
            }
            break;
        }
    }
    CheckMesh(*a.solver);
    CheckMesh(*b.solver);
}

std::unique_ptr<DiffusionEquation> MakeDiffusion(FuzzedDataProvider& data) {
    if (data.ConsumeBool()) {
        return std::make_unique<DiffusionEquation>();
    }
    int segments = AnyCount(data);
    if (segments >= kMaxSamplingPoints) {
        segments = 1 + segments % kMaxSamplingPoints;
    }
    try {
        return std::make_unique<DiffusionEquation>(AnyDouble(data), AnyDouble(data), segments,
                                                   AnyDouble(data));
    } catch (const std::invalid_argument&) {
        if (segments >= 1 && segments < std::numeric_limits<int>::max()) {
            Finding("a valid segment count refused");
        }
        return std::make_unique<DiffusionEquation>(0.1, 1.0, 1, 1.0);
    }
}

void DiffusionOperation(FuzzedDataProvider& data, std::unique_ptr<DiffusionEquation>& a,
                        std::unique_ptr<DiffusionEquation>& b) {
    switch (data.ConsumeIntegralInRange(0, 9)) {
        case 0:
            a = MakeDiffusion(data);
            break;
        case 1:
            for (int call = data.ConsumeIntegralInRange(1, 8); call > 0; --call) {
                a->UpdateDatas();
            }
            break;
        case 2:
            a->SetSamplingPointsValue(AnyCount(data), AnyDouble(data));
            break;
        case 3:
            a->SetBeta(AnyDouble(data));
            break;
        case 4:
            a->SetCoordinateStepSize(AnyDouble(data));
            break;
        case 5:
            a->ChangeConstValue_A();
            break;
        case 6:
            *a = *b;
            break;
        case 7:
            *a = std::move(*b);
            break;
        case 8:
            a = std::make_unique<DiffusionEquation>(*b);
            break;
        default: {
            DiffusionEquation& self = *a;
            *a = self;
            break;
        }
    }
    const int points = a->GetSamplingPoints();
    volatile double read = a->GetSamplingPointsValue(AnyCount(data));
    if (points > 0) {
        read = a->GetSamplingPointsValue(points - 1);
    }
    static_cast<void>(read);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    nembra_fuzz::QuietenLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    std::vector<Slot> slots(3);
    for (Slot& slot : slots) {
        slot.solver = std::make_unique<NavierStokesEquations2D>(3, 3, 1e-5, 5);
    }
    std::unique_ptr<DiffusionEquation> a = MakeDiffusion(data);
    std::unique_ptr<DiffusionEquation> b = MakeDiffusion(data);
    long long budget = kMaxNodeSteps;
    for (int op = 0; op < kMaxOperations && data.remaining_bytes() > 0; ++op) {
        if (data.ConsumeIntegralInRange(0, 3) == 0) {
            DiffusionOperation(data, a, b);
        } else {
            FlowOperation(data, slots, budget);
        }
    }
    return 0;
}
