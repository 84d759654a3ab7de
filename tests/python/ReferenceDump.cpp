// Writes the library's own results as raw bytes, for the Python package's tests to compare with
// what the package computes: the whole mesh (IMax x JMax records of 44 doubles, row by row) or a
// diffusion profile.
//
//   nembra_reference_dump flow CALLS FILE                  default solver after CALLS calls
//   nembra_reference_dump plate CALLS isothermal|adiabatic FILE
//   nembra_reference_dump shock-tube CALLS FILE            default shock tube after CALLS calls
//   nembra_reference_dump blast CALLS FILE                 default blast wave after CALLS calls
//   nembra_reference_dump diffusion FILE                   the diffusion run described below
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Nembra/BlastWave.h"
#include "Nembra/DiffusionEquation.h"
#include "Nembra/NavierStokesEquations2D.h"
#include "Nembra/ShockTube.h"
#include "Nembra/SupersonicFlatPlate.h"

namespace {

bool WriteBytes(const char* path, const void* data, std::size_t size, std::FILE* file) {
    return std::fwrite(data, 1, size, file) == size || (std::perror(path), false);
}

int WriteMesh(Nembra::NavierStokesEquations2D& solver, int calls, const char* path) {
    for (int call = 0; call < calls; ++call) {
        solver.UpdateDatas();
    }
    int imax = 0;
    int jmax = 0;
    Nembra::NavierStokesEquations2D::_MeshNode** rows = solver.GetMeshNodes(imax, jmax);
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        std::perror(path);
        return 1;
    }
    bool written = true;
    for (int i = 0; i < imax && written; ++i) {
        written =
            WriteBytes(path, rows[i], sizeof(rows[i][0]) * static_cast<std::size_t>(jmax), file);
    }
    return std::fclose(file) == 0 && written ? 0 : 1;
}

// 100 segments, dt 0.1, dx 1, beta 2 (A = 0.2); a profile of exact quarter values; 200 steps,
// then beta 1.5 with the diffusion number recomputed, then 50 steps more.
int WriteDiffusion(const char* path) {
    Nembra::DiffusionEquation diffusion(0.1, 1.0, 100, 2.0);
    for (int k = 0; k < diffusion.GetSamplingPoints(); ++k) {
        diffusion.SetSamplingPointsValue(k, (k % 7) * 0.25);
    }
    for (int step = 0; step < 200; ++step) {
        diffusion.UpdateDatas();
    }
    diffusion.SetBeta(1.5);
    diffusion.ChangeConstValue_A();
    for (int step = 0; step < 50; ++step) {
        diffusion.UpdateDatas();
    }
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        std::perror(path);
        return 1;
    }
    bool written = true;
    for (int k = 0; k < diffusion.GetSamplingPoints() && written; ++k) {
        const double value = diffusion.GetSamplingPointsValue(k);
        written = WriteBytes(path, &value, sizeof value, file);
    }
    return std::fclose(file) == 0 && written ? 0 : 1;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: nembra_reference_dump flow CALLS FILE\n"
                 "       nembra_reference_dump plate CALLS isothermal|adiabatic FILE\n"
                 "       nembra_reference_dump shock-tube|blast CALLS FILE\n"
                 "       nembra_reference_dump diffusion FILE\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string what = argc > 1 ? argv[1] : "";
    if (what == "flow" && argc == 4) {
        Nembra::NavierStokesEquations2D solver;
        return WriteMesh(solver, std::atoi(argv[2]), argv[3]);
    }
    if (what == "plate" && argc == 5) {
        const bool adiabatic = std::strcmp(argv[3], "adiabatic") == 0;
        Nembra::SupersonicFlatPlate plate(
            adiabatic ? Nembra::SupersonicFlatPlate::WallCondition::Adiabatic
                      : Nembra::SupersonicFlatPlate::WallCondition::Isothermal);
        return WriteMesh(plate, std::atoi(argv[2]), argv[4]);
    }
    if (what == "shock-tube" && argc == 4) {
        Nembra::ShockTube tube;
        return WriteMesh(tube, std::atoi(argv[2]), argv[3]);
    }
    if (what == "blast" && argc == 4) {
        Nembra::BlastWave blast;
        return WriteMesh(blast, std::atoi(argv[2]), argv[3]);
    }
    if (what == "diffusion" && argc == 3) {
        return WriteDiffusion(argv[2]);
    }
    return Usage();
}
