// Drives both solvers through the installed headers and library; exits non-zero on any surprise.
#include <Nembra/BlastWave.h>
#include <Nembra/DiffusionEquation.h>
#include <Nembra/ExactRiemannSolution.h>
#include <Nembra/NavierStokesEquations2D.h>
#include <Nembra/ShockTube.h>

#include <cmath>
#include <cstdio>
#include <stdexcept>

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

// The derived cases and the exact solution a host compares the shock tube with.
bool CasesRun() {
    Nembra::ShockTube tube(40, 11, 4e-6, 3);
    tube.UpdateDatas();
    tube.UpdateDatas();
    const Nembra::ExactRiemannSolution exact = tube.GetExactSolution();
    Nembra::BlastWave blast(20, 20, 1e-5, 3);
    blast.UpdateDatas();
    blast.UpdateDatas();
    bool refused = false;
    try {
        Nembra::ExactRiemannSolution({1.0, 0.0, -1.0}, {1.0, 0.0, 1.0}, 1.4);
    } catch (const std::invalid_argument&) {
        refused = true;
    }
    std::printf("cases: shock tube p* %.6g Pa, blast %d calls, bad state refused: %s\n",
                exact.GetStarPressure(), blast.GetStepCount(), refused ? "yes" : "no");
    return tube.GetStepCount() == 2 && blast.GetStepCount() == 2 && refused &&
           std::fabs(exact.GetStarPressure() / tube.GetLeftPressure() - 0.30313) < 1e-5;
}

}  // namespace

int main() {
    const bool diffusionOk = DiffusionSpreadsASpike();
    const bool flowOk = FlowTakesTwoCalls();
    const bool casesOk = CasesRun();
    return diffusionOk && flowOk && casesOk ? 0 : 1;
}
