// Prints the hash of every byte of every node after every call of a whole run, one line a call,
// so that two builds of the library can be compared byte for byte over a run of any length:
//
//   nembra_run_hashes default 10000 > before.txt   (library before a change)
//   nembra_run_hashes default 10000 > after.txt    (library after it)
//   cmp before.txt after.txt
//
// Runs: default | plate | plate-adiabatic | box IMAX JMAX. Uses only the public interface.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "Nembra/NavierStokesEquations2D.h"
#include "Nembra/SupersonicFlatPlate.h"
#include "support/MeshHash.h"

namespace {

using Nembra::NavierStokesEquations2D;
using Nembra::SupersonicFlatPlate;

std::unique_ptr<NavierStokesEquations2D> MakeRun(int argc, char** argv) {
    const char* run = argv[1];
    if (std::strcmp(run, "default") == 0) {
        return std::make_unique<NavierStokesEquations2D>();
    }
    if (std::strcmp(run, "plate") == 0) {
        return std::make_unique<SupersonicFlatPlate>();
    }
    if (std::strcmp(run, "plate-adiabatic") == 0) {
        return std::make_unique<SupersonicFlatPlate>(SupersonicFlatPlate::WallCondition::Adiabatic);
    }
    if (std::strcmp(run, "box") == 0 && argc == 5) {
        return std::make_unique<NavierStokesEquations2D>(std::atoi(argv[3]), std::atoi(argv[4]),
                                                         1e-5, 1 << 30);
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    std::unique_ptr<NavierStokesEquations2D> solver = argc >= 3 ? MakeRun(argc, argv) : nullptr;
    if (solver == nullptr) {
        std::fprintf(stderr,
                     "usage: %s default|plate|plate-adiabatic CALLS\n"
                     "       %s box CALLS IMAX JMAX\n",
                     argv[0], argv[0]);
        return 2;
    }
    const long calls = std::atol(argv[2]);
    for (long call = 1; call <= calls; ++call) {
        solver->UpdateDatas();
        std::printf("%ld %016llx\n", call,
                    static_cast<unsigned long long>(Nembra::HashOfMesh(*solver)));
    }
    return 0;
}
