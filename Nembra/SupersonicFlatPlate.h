#pragma once

#include <cstddef>
#include <memory>

#include "Nembra/Export.h"
#include "Nembra/NavierStokesEquations2D.h"

namespace Nembra {

// The classic validation case of MacCormack's scheme: a Mach 4 free stream of sea-level air over
// a flat plate along the lower edge of the mesh (the solver's compiled-in setting, Re_L about
// 932). The free stream enters through the left and upper edges and leaves through the right
// edge, whose values are extrapolated from the interior; the plate is a no-slip wall, either at
// the free-stream temperature or thermally insulated.
//
// Drive it like its base: the first UpdateDatas call lays the free stream, every later call
// advances one time step. GetLargestDensityChange tells a host when the field has settled.
class NEMBRA_API SupersonicFlatPlate : public NavierStokesEquations2D {
public:
    enum class WallCondition {
        Isothermal,  // the wall holds WallTemperatureRatio x TInf
        Adiabatic    // no heat crosses the wall: it takes the temperature of the node above it
    };

    explicit SupersonicFlatPlate(WallCondition wall = WallCondition::Isothermal);
    // imax x jmax nodes over a plate lengthX metres long, maxStepCount calls of UpdateDatas (an
    // insulated wall needs more than the default 10000 steps to settle).
    SupersonicFlatPlate(int imax, int jmax, double lengthX, int maxStepCount,
                        WallCondition wall = WallCondition::Isothermal);
    // Copies hold a mesh of their own, like the base solver's. Nothing throws: density storage
    // that cannot be had is announced like a failed mesh and the plate steps on, reporting +inf
    // as its density change until storage can be had; a copy assignment that fails changes
    // nothing.
    SupersonicFlatPlate(const SupersonicFlatPlate& other);
    SupersonicFlatPlate(SupersonicFlatPlate&& other) noexcept = default;
    SupersonicFlatPlate& operator=(const SupersonicFlatPlate& other);
    SupersonicFlatPlate& operator=(SupersonicFlatPlate&& other) noexcept = default;

    WallCondition GetWallCondition() const { return Wall; }
    // Takes effect from the next boundary operation on, so a run may also switch walls midway.
    void SetWallCondition(WallCondition wall) { Wall = wall; }

    // Largest |rho_new - rho_old| over all nodes in the last time step, kg/m^3: +infinity until
    // a time step has been taken, NaN when a node's density has become unusable. Test for
    // convergence with `change < tolerance`, which neither of these passes.
    double GetLargestDensityChange() const { return LargestDensityChange; }
    // For a host that continues a stored run: the figure to report until the next time step
    // measures its own. The step itself never reads it, so the continuation is unchanged.
    void SetLargestDensityChange(double change) { LargestDensityChange = change; }

protected:
    // The free stream everywhere, then the plate's edge values.
    void InitializeMeshNodes2(_MeshNode**& mesh) override;
    // The closed box's central block has no place in this case.
    void SetMeshNodesValues(_MeshNode**& mesh) override;
    // The plate's edge values of the new state, and the density change of the step.
    void BoundaryConditions2(_MeshNode**& mesh) override;
    // The plate's edge values of the predicted state.
    void BoundaryConditionsProspect2(_MeshNode**& mesh) override;

private:
    bool IsOwnMesh(_MeshNode** mesh, int& imax, int& jmax);
    void InsulateWall(_MeshNode** mesh);
    void InsulateWallProspect(_MeshNode** mesh);
    void RememberDensities(_MeshNode** mesh);
    void MeasureDensityChange(_MeshNode** mesh);
    void HoldDensitiesForOwnMesh();
    bool FitDensitiesTo(std::size_t count);

    WallCondition Wall;
    double LargestDensityChange;
    // Densities at the start of the step under way, one per node in row order. They matter only
    // within one step, so copies start with storage of their own and no contents.
    std::unique_ptr<double[]> PreviousDensities;
    std::size_t PreviousDensityCount;
    bool PreviousDensitiesValid;
};

}  // namespace Nembra
