#pragma once

// A 64-bit FNV-1a hash of every byte of every node of a live mesh, rows in order: two runs that
// hold the same bits in every slot of every node give the same hash, and a single flipped bit
// anywhere changes it.

#include <cstddef>
#include <cstdint>

#include "Nembra/NavierStokesEquations2D.h"

namespace Nembra {

inline std::uint64_t HashBytes(const void* data, std::size_t size, std::uint64_t hash) {
    constexpr std::uint64_t kPrime = 0x100000001b3ULL;
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t k = 0; k < size; ++k) {
        hash = (hash ^ bytes[k]) * kPrime;
    }
    return hash;
}

// The hash of every node's bytes; 0 names "no mesh" (no FNV-1a hash of a non-empty mesh is 0
// except by a one-in-2^64 chance).
inline std::uint64_t HashOfMesh(NavierStokesEquations2D& solver) {
    int imax = 0;
    int jmax = 0;
    NavierStokesEquations2D::_MeshNode** rows = solver.GetMeshNodes(imax, jmax);
    if (rows == nullptr) {
        return 0;
    }
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (int i = 0; i < imax; ++i) {
        hash = HashBytes(
            rows[i], sizeof(NavierStokesEquations2D::_MeshNode) * static_cast<std::size_t>(jmax),
            hash);
    }
    return hash;
}

}  // namespace Nembra
