#include "DiffusionModel.h"

#include <climits>
#include <limits>

#include "FrameEncoding.h"

namespace nembra_cli {

DiffusionModel::DiffusionModel(std::unique_ptr<Nembra::DiffusionEquation> solver,
                               std::string initialName, std::vector<double> initial)
    : solver_(std::move(solver)),
      initialName_(std::move(initialName)),
      initial_(std::move(initial)) {
    for (std::size_t i = 0; i < initial_.size(); ++i) {
        solver_->SetSamplingPointsValue(static_cast<int>(i), initial_[i]);
    }
}

void DiffusionModel::Step() {
    solver_->UpdateDatas();
    ++steps_;
}

// The solver itself has no step limit; the count shown must not overflow.
bool DiffusionModel::Finished() {
    return steps_ == INT_MAX;
}

nlohmann::json DiffusionModel::Describe() {
    return {{"model", "diffusion"},
            {"case", initialName_},
            {"nodes_x", solver_->GetSamplingPoints()},
            {"nodes_y", 1},
            {"length_x", solver_->GetSegments() * solver_->GetCoordinateStepSize()},
            {"delta_x", solver_->GetCoordinateStepSize()},
            {"beta", solver_->GetBeta()},
            {"diffusion_number", solver_->GetConstValue_A()},
            {"quantities", {{{"name", "profile"}, {"unit", ""}}}}};
}

nlohmann::json DiffusionModel::Progress() {
    return {{"calls", steps_},
            {"step", steps_},
            {"model_time", steps_ * solver_->GetTimeInterval()},
            {"time_step", solver_->GetTimeInterval()},
            {"finished", Finished()},
            {"density_change", nullptr}};
}

const std::vector<std::string>& DiffusionModel::QuantityNames() const {
    static const std::vector<std::string> names{"profile"};
    return names;
}

std::string DiffusionModel::Frame(const std::string&) {
    FrameHeader header;
    header.kind = FrameKind::DiffusionProfiles;
    header.nx = static_cast<std::uint32_t>(initial_.size());
    header.ny = 2;
    header.calls = static_cast<std::uint32_t>(steps_);
    header.steps = static_cast<std::uint32_t>(steps_);
    header.modelTime = steps_ * solver_->GetTimeInterval();
    header.deltaT = solver_->GetTimeInterval();
    header.dx = solver_->GetCoordinateStepSize();
    header.densityChange = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> rows(2 * initial_.size());
    for (std::size_t i = 0; i < initial_.size(); ++i) {
        rows[i] = solver_->GetSamplingPointsValue(static_cast<int>(i));
        rows[initial_.size() + i] = initial_[i];
    }
    return EncodeFrame(header, rows);
}

nlohmann::json DiffusionModel::Probe(long long i, long long) {
    if (i < 0 || i >= static_cast<long long>(initial_.size())) {
        return {{"error", "no point " + std::to_string(i)}};
    }
    const int index = static_cast<int>(i);
    return {{"i", i},
            {"x", index * solver_->GetCoordinateStepSize()},
            {"values",
             {{"profile", solver_->GetSamplingPointsValue(index)}, {"initial", initial_[i]}}}};
}

}  // namespace nembra_cli
