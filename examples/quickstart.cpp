#include <Nembra/DiffusionEquation.h>
#include <Nembra/NavierStokesEquations2D.h>

#include <cstdio>

int main() {
    // 1-D diffusion: 301 points, dt = 0.1, dx = 1, beta = 1, so A = beta dt / dx^2 = 0.1.
    Nembra::DiffusionEquation rod;
    rod.SetSamplingPointsValue(150, 1.0);  // a unit spike in the middle
    for (int step = 0; step < 100; ++step) {
        rod.UpdateDatas();
    }
    std::printf("centre after 100 steps: %.6f\n", rod.GetSamplingPointsValue(150));

    // 2-D flow: the first call lays the initial field, each later call advances one time step.
    Nembra::NavierStokesEquations2D flow;
    for (int call = 0; call < 10; ++call) {
        flow.UpdateDatas();
    }
    int imax = 0;
    int jmax = 0;
    Nembra::NavierStokesEquations2D::_MeshNode** mesh = flow.GetMeshNodes(imax, jmax);
    if (mesh != nullptr) {
        std::printf("density at the centre: %.6f kg/m^3\n", mesh[imax / 2][jmax / 2].Rho);
    }
    return 0;
}
