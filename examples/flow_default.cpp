// A minimal host of the flow solver: the default closed box of air with its hot, fast block,
// stepped a number of calls, printing the largest density on the mesh as it goes.
#include <Nembra/NavierStokesEquations2D.h>

#include <cstdio>

namespace {

using Mesh = Nembra::NavierStokesEquations2D::_MeshNode**;

double LargestDensity(Mesh mesh, int imax, int jmax) {
    double largest = 0.0;
    for (int i = 0; i < imax; ++i) {
        for (int j = 0; j < jmax; ++j) {
            if (mesh[i][j].Rho > largest) {
                largest = mesh[i][j].Rho;
            }
        }
    }
    return largest;
}

}  // namespace

int main() {
    Nembra::NavierStokesEquations2D flow;
    const int calls = 50;
    for (int call = 1; call <= calls; ++call) {
        // The first call lays the initial field; each later call advances one time step.
        flow.UpdateDatas();
        if (call % 10 != 0 && call != 1) {
            continue;
        }
        int imax = 0;
        int jmax = 0;
        const Mesh mesh = flow.GetMeshNodes(imax, jmax);
        if (mesh == nullptr) {
            std::printf("call %d: the solver holds no mesh\n", call);
            continue;
        }
        std::printf("call %3d: %d x %d nodes, dt = %g s, largest density %.6f kg/m^3\n", call, imax,
                    jmax, flow.GetDeltaT(), LargestDensity(mesh, imax, jmax));
    }
    return 0;
}
