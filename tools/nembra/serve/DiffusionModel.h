#pragma once

#include <memory>
#include <vector>

#include "LiveModel.h"
#include "Nembra/DiffusionEquation.h"

namespace nembra_cli {

// The diffusion solver with its initial profile, which every frame carries beside the current
// one so that a page opened late still sees where the profile started.
class DiffusionModel : public LiveModel {
public:
    DiffusionModel(std::unique_ptr<Nembra::DiffusionEquation> solver, std::string initialName,
                   std::vector<double> initial);

    void Step() override;
    bool Finished() override;
    nlohmann::json Describe() override;
    nlohmann::json Progress() override;
    const std::vector<std::string>& QuantityNames() const override;
    std::string Frame(const std::string& quantity) override;
    nlohmann::json Probe(long long i, long long j) override;

private:
    std::unique_ptr<Nembra::DiffusionEquation> solver_;
    std::string initialName_;
    std::vector<double> initial_;
    int steps_ = 0;
};

}  // namespace nembra_cli
