#pragma once

#include <cstddef>
#include <cstring>
#include <utility>
#include <vector>

#include "Nembra/NavierStokesEquations2D.h"

namespace nembra_cli {

// A host that continues a stored run in a solver of the same case, through the public API only.
// Its first UpdateDatas call, the one that would lay an initial field, lays the stored records
// instead: all 44 slots of every node, bit for bit. Every later call is the library's own time
// step inside the case's own boundary conditions, exactly as in the run that was stored.
//
// The solver counts its calls from 1 again after laying, so build it with the stored step limit
// less the calls that the stored run had made before (see ResumeFlow in FlowResume.h).
template <class Case>
class ResumedFlow final : public Case {
public:
    using Node = Nembra::NavierStokesEquations2D::_MeshNode;

    template <class... CaseArguments>
    explicit ResumedFlow(std::vector<Node> records, CaseArguments&&... arguments)
        : Case(std::forward<CaseArguments>(arguments)...), records_(std::move(records)) {}

    // True once the first call has laid the records.
    bool Laid() const { return laid_; }

protected:
    void InitializeMeshNodes2(Node**& mesh) override {
        int nx = 0;
        int ny = 0;
        if (mesh == nullptr || mesh != this->GetMeshNodes(nx, ny) ||
            records_.size() != static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny)) {
            return;
        }
        for (int i = 0; i < nx; ++i) {
            std::memcpy(mesh[i], &records_[static_cast<std::size_t>(i) * ny],
                        sizeof(Node) * static_cast<std::size_t>(ny));
        }
        laid_ = true;
        records_ = std::vector<Node>();
    }
    // The stored records are the whole field; no block is laid over them.
    void SetMeshNodesValues(Node**& /*mesh*/) override {}

private:
    std::vector<Node> records_;
    bool laid_ = false;
};

}  // namespace nembra_cli
