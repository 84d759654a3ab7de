#pragma once

#include <nlohmann/json.hpp>

#include <memory>
#include <string>
#include <vector>

namespace nembra_cli {

// What the viewer asks of a model, flow or diffusion: a solver call, what it is, where it
// stands, its frames and the values at one node. Used by the solver thread only.
class LiveModel {
public:
    virtual ~LiveModel() = default;

    // One UpdateDatas call.
    virtual void Step() = 0;
    // True once further calls would do nothing.
    virtual bool Finished() = 0;
    // Model, case, mesh and the names of the quantities it can show, for the page.
    virtual nlohmann::json Describe() = 0;
    // Step, model time and time step, for the page and GET /api/status.
    virtual nlohmann::json Progress() = 0;
    virtual const std::vector<std::string>& QuantityNames() const = 0;
    // The binary frame of the named quantity (one of QuantityNames()).
    virtual std::string Frame(const std::string& quantity) = 0;
    // Values at node (i, j); an "error" member when the node does not exist.
    virtual nlohmann::json Probe(long long i, long long j) = 0;
};

}  // namespace nembra_cli
