// Drives both solvers through the installed headers and library; exits non-zero on any surprise.
#include <Nembra/DiffusionEquation.h>
#include <Nembra/NavierStokesEquations2D.h>

#include <cmath>
#include <cstdio>

namespace {

bool DiffusionSpreadsASpike() {
    Nembra::DiffusionEquation diffusion;
    diffusion.SetSamplingPointsValue(150, 1.0);
    diffusion.UpdateDatas();
    diffusion.UpdateDatas();
    double sum = 0.0;
    for (int i = 0; i < diffusion.GetSamplingPoints(); ++i) {
        sum += diffusion.GetSamplingPointsValue(i);
    }
    const double peak = diffusion.GetSamplingPointsValue(150);
    std::printf("diffusion: peak %.6f, sum %.6f\n", peak, sum);
    return peak > 0.0 && peak < 1.0 && std::fabs(sum - 1.0) < 1e-12;
}

bool FlowTakesTwoCalls() {
    Nembra::NavierStokesEquations2D flow;
    flow.UpdateDatas();
    flow.UpdateDatas();
    int imax = 0;
    int jmax = 0;
    Nembra::NavierStokesEquations2D::_MeshNode** mesh = flow.GetMeshNodes(imax, jmax);
    std::printf("flow: %d calls, mesh %d x %d\n", flow.GetStepCount(), imax, jmax);
    if (flow.GetStepCount() != 2) {
        return false;
    }
    // A solver that holds a mesh holds the default 70 x 70 one, filled with gas.
    return mesh == nullptr || (imax == 70 && jmax == 70 && mesh[35][35].Rho > 0.0);
}

}  // namespace

int main() {
    const bool diffusionOk = DiffusionSpreadsASpike();
    const bool flowOk = FlowTakesTwoCalls();
    return diffusionOk && flowOk ? 0 : 1;
}
