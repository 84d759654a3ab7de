#pragma once

#include <memory>
#include <string>

#include "LiveModel.h"
#include "Nembra/NavierStokesEquations2D.h"

namespace nembra_cli {

// The flow solver of one case, with the model time and step count a host keeps.
class FlowModel : public LiveModel {
public:
    // Makes the first call, which lays the initial field, so that there is something to show.
    FlowModel(std::string caseName, std::unique_ptr<Nembra::NavierStokesEquations2D> solver);

    void Step() override;
    bool Finished() override;
    nlohmann::json Describe() override;
    nlohmann::json Progress() override;
    const std::vector<std::string>& QuantityNames() const override;
    std::string Frame(const std::string& quantity) override;
    nlohmann::json Probe(long long i, long long j) override;

private:
    double DensityChange();

    std::string caseName_;
    std::unique_ptr<Nembra::NavierStokesEquations2D> solver_;
    int calls_ = 0;
    int steps_ = 0;
    double modelTime_ = 0.0;
};

}  // namespace nembra_cli
