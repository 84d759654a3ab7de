#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "Nembra/SupersonicFlatPlate.h"
#include "support/FlowHelpers.h"

namespace {

using Nembra::SupersonicFlatPlate;
using Node = SupersonicFlatPlate::_MeshNode;
using Wall = SupersonicFlatPlate::WallCondition;

// A coarse plate that steps fast; its flow still differs from the free stream after a few steps.
constexpr int kSmallCount = 20;

SupersonicFlatPlate SmallPlate(Wall wall) {
    return SupersonicFlatPlate(kSmallCount, kSmallCount, 1e-5, 1000, wall);
}

// `calls` calls of UpdateDatas; on a fresh solver the first one lays the initial field.
void Advance(SupersonicFlatPlate& plate, int calls) {
    for (int n = 0; n < calls; ++n) {
        plate.UpdateDatas();
    }
}

std::vector<double> Densities(SupersonicFlatPlate& plate) {
    const Nembra::MeshView mesh = Nembra::ViewOf(plate);
    std::vector<double> rho;
    for (int i = 0; i < mesh.imax; ++i) {
        for (int j = 0; j < mesh.jmax; ++j) {
            rho.push_back(mesh.rows[i][j].Rho);
        }
    }
    return rho;
}

double LargestDifference(const std::vector<double>& a, const std::vector<double>& b) {
    double largest = 0;
    for (size_t k = 0; k < a.size(); ++k) {
        largest = std::max(largest, std::fabs(a[k] - b[k]));
    }
    return largest;
}

// ---------------------------------------------------------------------------------------------
// Construction

TEST(SupersonicFlatPlateConstruction, WallIsIsothermalUnlessChosenOtherwise) {
    EXPECT_EQ(SupersonicFlatPlate().GetWallCondition(), Wall::Isothermal);
    EXPECT_EQ(SupersonicFlatPlate(Wall::Adiabatic).GetWallCondition(), Wall::Adiabatic);
    EXPECT_EQ(SupersonicFlatPlate(30, 40, 2e-5, 123).GetWallCondition(), Wall::Isothermal);
    EXPECT_EQ(SupersonicFlatPlate(30, 40, 2e-5, 123, Wall::Adiabatic).GetWallCondition(),
              Wall::Adiabatic);
}

TEST(SupersonicFlatPlateConstruction, WallCanBeSwitchedMidRun) {
    SupersonicFlatPlate plate = SmallPlate(Wall::Isothermal);
    Advance(plate, 20);
    plate.SetWallCondition(Wall::Adiabatic);
    EXPECT_EQ(plate.GetWallCondition(), Wall::Adiabatic);
    Advance(plate, 1);
    const Nembra::MeshView mesh = Nembra::ViewOf(plate);
    for (int i = 1; i < mesh.imax; ++i) {
        EXPECT_EQ(mesh.rows[i][0].T, mesh.rows[i][1].T) << "wall node " << i;
        EXPECT_EQ(mesh.rows[i][0].TProspect, mesh.rows[i][1].TProspect) << "wall node " << i;
    }
}

TEST(SupersonicFlatPlateConstruction, FourArgumentConstructorSetsMeshAndStepLimit) {
    SupersonicFlatPlate plate(30, 40, 2e-5, 123, Wall::Adiabatic);
    const Nembra::MeshView mesh = Nembra::ViewOf(plate);
    EXPECT_NE(mesh.rows, nullptr);
    EXPECT_EQ(mesh.imax, 30);
    EXPECT_EQ(mesh.jmax, 40);
    EXPECT_EQ(plate.GetMaxStepCount(), 123);
    EXPECT_DOUBLE_EQ(plate.GetLengthX(), 2e-5);
}

TEST(SupersonicFlatPlateConstruction, CopiesRunOnIndependentlyAndAlike) {
    SupersonicFlatPlate original = SmallPlate(Wall::Adiabatic);
    Advance(original, 10);
    SupersonicFlatPlate copy(original);
    SupersonicFlatPlate assigned = SmallPlate(Wall::Isothermal);
    assigned = original;
    EXPECT_EQ(assigned.GetWallCondition(), Wall::Adiabatic);
    EXPECT_NE(Nembra::ViewOf(copy).rows, Nembra::ViewOf(original).rows);
    EXPECT_NE(Nembra::ViewOf(assigned).rows, Nembra::ViewOf(original).rows);

    const std::vector<double> before = Densities(original);
    Advance(copy, 5);
    Advance(assigned, 5);
    EXPECT_EQ(Densities(original), before) << "stepping a copy moved the original";
    Advance(original, 5);
    EXPECT_EQ(Densities(copy), Densities(original));
    EXPECT_EQ(Densities(assigned), Densities(original));
    EXPECT_EQ(copy.GetLargestDensityChange(), original.GetLargestDensityChange());
    EXPECT_EQ(assigned.GetLargestDensityChange(), original.GetLargestDensityChange());
}

// Down to an empty mesh, the plate neither reads nor writes outside its nodes (checked under
// AddressSanitizer), and its leading edge stays at rest.
TEST(SupersonicFlatPlateConstruction, TinyMeshesStayInsideTheMesh) {
    for (const Wall wall : {Wall::Isothermal, Wall::Adiabatic}) {
        for (int imax = 0; imax <= 4; ++imax) {
            for (int jmax = 0; jmax <= 4; ++jmax) {
                SCOPED_TRACE(testing::Message() << imax << " x " << jmax);
                SupersonicFlatPlate plate(imax, jmax, 1e-5, 5, wall);
                testing::internal::CaptureStdout();
                Advance(plate, 5);
                testing::internal::GetCapturedStdout();
                const Nembra::MeshView mesh = Nembra::ViewOf(plate);
                if (mesh.imax > 0 && mesh.jmax > 0) {
                    EXPECT_EQ(mesh.rows[0][0].U, 0.0);
                    EXPECT_EQ(mesh.rows[0][0].T, plate.GetTInf());
                }
            }
        }
    }
}

// The base part of a plate can be given another mesh through a reference to the base class
// (legal, if unusual): the plate's own storage must fit whatever mesh it finds at its next step.
TEST(SupersonicFlatPlateConstruction, PlateStepsWhateverMeshItsBaseWasGiven) {
    SupersonicFlatPlate reference(12, 12, 1e-5, 100);
    Advance(reference, 4);

    SupersonicFlatPlate movedFrom = SmallPlate(Wall::Isothermal);
    const SupersonicFlatPlate keeper(std::move(movedFrom));
    Nembra::NavierStokesEquations2D& base = movedFrom;  // NOLINT(bugprone-use-after-move)
    base = Nembra::NavierStokesEquations2D(12, 12, 1e-5, 100);
    Advance(movedFrom, 4);
    EXPECT_EQ(Densities(movedFrom), Densities(reference));
    EXPECT_EQ(movedFrom.GetLargestDensityChange(), reference.GetLargestDensityChange());

    // A plate whose base part is given a larger mesh mid-run measures the change over all of it.
    SupersonicFlatPlate grown(5, 5, 1e-5, 100);
    Advance(grown, 3);
    Nembra::NavierStokesEquations2D& grownBase = grown;
    grownBase = Nembra::NavierStokesEquations2D(kSmallCount, kSmallCount, 1e-5, 100);
    Advance(grown, 2);
    const std::vector<double> before = Densities(grown);
    Advance(grown, 1);
    EXPECT_EQ(grown.GetLargestDensityChange(), LargestDifference(Densities(grown), before));
}

// ---------------------------------------------------------------------------------------------
// Initial field

TEST(SupersonicFlatPlateInitialField, IsTheFreeStreamWithThePlatesEdgeValuesAndNoBlock) {
    SupersonicFlatPlate plate;
    plate.UpdateDatas();
    EXPECT_EQ(plate.GetStepCount(), 1);
    const Nembra::MeshView mesh = Nembra::ViewOf(plate);
    ASSERT_EQ(mesh.imax, 70);
    ASSERT_EQ(mesh.jmax, 70);
    const double uInf = plate.GetUInf();
    const double tInf = plate.GetTInf();
    const double pInf = plate.GetPInf();
    const double rhoInf = plate.GetRhoInf();

    for (int i = 0; i < mesh.imax; ++i) {
        for (int j = 0; j < mesh.jmax; ++j) {
            SCOPED_TRACE(testing::Message() << "node [" << i << "][" << j << "]");
            const Node& n = mesh.rows[i][j];
            // The plate and its leading edge are at rest; the uniform field above makes the
            // extrapolated wall pressure the free-stream pressure.
            const double u = j == 0 ? 0.0 : uInf;
            EXPECT_EQ(n.U, u);
            EXPECT_EQ(n.V, 0.0);
            EXPECT_EQ(n.T, tInf);
            EXPECT_DOUBLE_EQ(n.P, pInf);
            EXPECT_DOUBLE_EQ(n.Rho, rhoInf);
            EXPECT_DOUBLE_EQ(n.RhoU, rhoInf * u);
            EXPECT_EQ(n.RhoV, 0.0);
        }
    }
}

TEST(SupersonicFlatPlateInitialField, AdiabaticWallStartsAtTheFreeStreamTemperature) {
    SupersonicFlatPlate plate(Wall::Adiabatic);
    plate.UpdateDatas();
    const Nembra::MeshView mesh = Nembra::ViewOf(plate);
    for (int i = 0; i < mesh.imax; ++i) {
        EXPECT_EQ(mesh.rows[i][0].T, plate.GetTInf()) << "wall node " << i;
        EXPECT_EQ(mesh.rows[i][0].U, 0.0) << "wall node " << i;
    }
}

// ---------------------------------------------------------------------------------------------
// Boundary values during the run

// The free stream on the inflow and upper edges, extrapolation on the outflow edge and the
// no-slip wall, on the new state (current slots) and on the predicted state of the last step.
void ExpectFlatPlateEdges(SupersonicFlatPlate& plate) {
    const Nembra::MeshView mesh = Nembra::ViewOf(plate);
    const int last = mesh.imax - 1;
    const int top = mesh.jmax - 1;
    for (int j = 1; j < mesh.jmax; ++j) {
        const Node& inflow = mesh.rows[0][j];
        EXPECT_EQ(inflow.U, plate.GetUInf()) << "inflow node " << j;
        EXPECT_EQ(inflow.UProspect, plate.GetUInf()) << "inflow node " << j;
        EXPECT_EQ(inflow.P, plate.GetPInf()) << "inflow node " << j;
        EXPECT_EQ(inflow.PProspect, plate.GetPInf()) << "inflow node " << j;
    }
    for (int i = 1; i < mesh.imax; ++i) {
        const Node& upper = mesh.rows[i][top];
        EXPECT_EQ(upper.U, plate.GetUInf()) << "upper node " << i;
        EXPECT_EQ(upper.UProspect, plate.GetUInf()) << "upper node " << i;
        EXPECT_EQ(upper.T, plate.GetTInf()) << "upper node " << i;
        EXPECT_EQ(upper.TProspect, plate.GetTInf()) << "upper node " << i;
    }
    for (int j = 1; j < top; ++j) {
        const Node& outflow = mesh.rows[last][j];
        const Node& nearNode = mesh.rows[last - 1][j];
        const Node& farNode = mesh.rows[last - 2][j];
        EXPECT_EQ(outflow.U, 2 * nearNode.U - farNode.U) << "outflow node " << j;
        EXPECT_EQ(outflow.P, std::fabs(2 * nearNode.P - farNode.P)) << "outflow node " << j;
        EXPECT_EQ(outflow.UProspect, 2 * nearNode.UProspect - farNode.UProspect)
            << "outflow node " << j;
    }
    for (int i = 1; i < mesh.imax; ++i) {
        const Node& wall = mesh.rows[i][0];
        const Node& above = mesh.rows[i][1];
        const Node& twoAbove = mesh.rows[i][2];
        EXPECT_EQ(wall.U, 0.0) << "wall node " << i;
        EXPECT_EQ(wall.VProspect, 0.0) << "wall node " << i;
        EXPECT_EQ(wall.P, std::fabs(2 * above.P - twoAbove.P)) << "wall node " << i;
        EXPECT_EQ(wall.PProspect, std::fabs(2 * above.PProspect - twoAbove.PProspect))
            << "wall node " << i;
    }
    const Node& leadingEdge = mesh.rows[0][0];
    EXPECT_EQ(leadingEdge.U, 0.0);
    EXPECT_EQ(leadingEdge.UProspect, 0.0);
    EXPECT_EQ(leadingEdge.T, plate.GetTInf());
    EXPECT_EQ(leadingEdge.TProspect, plate.GetTInf());
}

TEST(SupersonicFlatPlateBoundaries, BothStatesKeepThePlatesEdgesWithEitherWall) {
    for (const Wall wall : {Wall::Isothermal, Wall::Adiabatic}) {
        SCOPED_TRACE(wall == Wall::Isothermal ? "isothermal" : "adiabatic");
        SupersonicFlatPlate plate = SmallPlate(wall);
        Advance(plate, 40);
        ExpectFlatPlateEdges(plate);
    }
}

TEST(SupersonicFlatPlateBoundaries, IsothermalWallHoldsTheFreeStreamTemperatureInBothStates) {
    SupersonicFlatPlate plate = SmallPlate(Wall::Isothermal);
    Advance(plate, 40);
    const Nembra::MeshView mesh = Nembra::ViewOf(plate);
    double largestHeatingAbove = 0;
    for (int i = 1; i < mesh.imax; ++i) {
        EXPECT_EQ(mesh.rows[i][0].T, plate.GetTInf()) << "wall node " << i;
        EXPECT_EQ(mesh.rows[i][0].TProspect, plate.GetTInf()) << "wall node " << i;
        largestHeatingAbove = std::max(largestHeatingAbove, mesh.rows[i][1].T - plate.GetTInf());
    }
    // Otherwise the wall could not tell the two conditions apart.
    EXPECT_GT(largestHeatingAbove, 10.0);
}

TEST(SupersonicFlatPlateBoundaries, AdiabaticWallTakesTheTemperatureAboveItInBothStates) {
    SupersonicFlatPlate plate = SmallPlate(Wall::Adiabatic);
    Advance(plate, 40);
    const Nembra::MeshView mesh = Nembra::ViewOf(plate);
    double largestWallHeating = 0;
    for (int i = 1; i < mesh.imax; ++i) {
        const Node& wall = mesh.rows[i][0];
        const Node& above = mesh.rows[i][1];
        EXPECT_EQ(wall.T, above.T) << "wall node " << i;
        EXPECT_EQ(wall.TProspect, above.TProspect) << "wall node " << i;
        // The node's state is completed from its new temperature.
        EXPECT_DOUBLE_EQ(wall.Rho, wall.P / (plate.GetGasConstant() * wall.T)) << i;
        EXPECT_DOUBLE_EQ(wall.RhoProspect,
                         wall.PProspect / (plate.GetGasConstant() * wall.TProspect))
            << i;
        largestWallHeating = std::max(largestWallHeating, wall.T - plate.GetTInf());
    }
    EXPECT_GT(largestWallHeating, 10.0);
    EXPECT_EQ(mesh.rows[0][0].T, plate.GetTInf());
    EXPECT_EQ(mesh.rows[0][0].TProspect, plate.GetTInf());
}

// ---------------------------------------------------------------------------------------------
// Convergence measure

TEST(SupersonicFlatPlateConvergence, LargestDensityChangeIsThatOfTheLastStep) {
    SupersonicFlatPlate plate(kSmallCount, kSmallCount, 1e-5, 30);
    const double noStepYet = std::numeric_limits<double>::infinity();
    EXPECT_EQ(plate.GetLargestDensityChange(), noStepYet);
    plate.UpdateDatas();
    EXPECT_EQ(plate.GetLargestDensityChange(), noStepYet) << "laying the field is no step";

    while (plate.GetStepCount() < plate.GetMaxStepCount()) {
        const std::vector<double> before = Densities(plate);
        plate.UpdateDatas();
        const double expected = LargestDifference(Densities(plate), before);
        EXPECT_GT(expected, 0.0);
        EXPECT_EQ(plate.GetLargestDensityChange(), expected) << "step " << plate.GetStepCount();
    }
    // At the step limit nothing moves and the last measure stays.
    const double last = plate.GetLargestDensityChange();
    plate.UpdateDatas();
    EXPECT_EQ(plate.GetLargestDensityChange(), last);
}

TEST(SupersonicFlatPlateConvergence, BrokenDensityIsNeverReportedAsSettled) {
    SupersonicFlatPlate plate = SmallPlate(Wall::Isothermal);
    Advance(plate, 3);
    const Nembra::MeshView mesh = Nembra::ViewOf(plate);
    mesh.rows[kSmallCount / 2][kSmallCount / 2].Rho = std::numeric_limits<double>::quiet_NaN();
    testing::internal::CaptureStdout();  // the solver reports the unusable value
    plate.UpdateDatas();
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(std::isnan(plate.GetLargestDensityChange()));
    EXPECT_FALSE(plate.GetLargestDensityChange() < 1e-8);
}

}  // namespace
