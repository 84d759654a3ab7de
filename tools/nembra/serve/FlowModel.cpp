#include "FlowModel.h"

#include <cmath>
#include <limits>

#include "FlowFields.h"
#include "FlowQuantities.h"
#include "FrameEncoding.h"
#include "Nembra/SupersonicFlatPlate.h"
#include "ShockTubeCentreline.h"

namespace nembra_cli {

namespace {

std::vector<std::string> FlowQuantityNames() {
    std::vector<std::string> names;
    for (const FlowQuantity& q : FlowQuantities()) {
        names.push_back(q.name);
    }
    return names;
}

nlohmann::json QuantityList() {
    nlohmann::json list = nlohmann::json::array();
    for (const FlowQuantity& q : FlowQuantities()) {
        list.push_back({{"name", q.name},
                        {"unit", q.unit},
                        {"colormap", ColorMapName(q.colorMap)},
                        {"signed", q.signedValues}});
    }
    return list;
}

}  // namespace

FlowModel::FlowModel(std::string caseName, std::unique_ptr<Nembra::NavierStokesEquations2D> solver)
    : caseName_(std::move(caseName)), solver_(std::move(solver)) {
    solver_->UpdateDatas();
    calls_ = 1;
}

void FlowModel::Step() {
    const int before = solver_->GetStepCount();
    const bool advancing = before >= 1 && before < solver_->GetMaxStepCount();
    solver_->UpdateDatas();
    ++calls_;
    if (advancing) {
        ++steps_;
        modelTime_ += solver_->GetDeltaT();
    }
}

bool FlowModel::Finished() {
    return solver_->GetStepCount() >= solver_->GetMaxStepCount();
}

nlohmann::json FlowModel::Describe() {
    int nx = 0;
    int ny = 0;
    solver_->GetMeshNodes(nx, ny);
    return {{"model", "flow"},
            {"case", caseName_},
            {"nodes_x", nx},
            {"nodes_y", ny},
            {"length_x", solver_->GetLengthX()},
            {"length_y", solver_->GetLengthY()},
            {"delta_x", solver_->GetDeltaX()},
            {"delta_y", solver_->GetDeltaY()},
            {"max_step_count", solver_->GetMaxStepCount()},
            {"quantities", QuantityList()}};
}

nlohmann::json FlowModel::Progress() {
    const double change = DensityChange();
    return {{"calls", calls_},
            {"step", steps_},
            {"model_time", modelTime_},
            {"time_step", solver_->GetDeltaT()},
            {"finished", Finished()},
            {"density_change", std::isfinite(change) ? nlohmann::json(change) : nlohmann::json()}};
}

const std::vector<std::string>& FlowModel::QuantityNames() const {
    static const std::vector<std::string> names = FlowQuantityNames();
    return names;
}

std::string FlowModel::Frame(const std::string& quantity) {
    const std::size_t index = FindFlowQuantity(quantity).value_or(0);
    FrameHeader header;
    header.kind = FrameKind::FlowField;
    int nx = 0;
    int ny = 0;
    solver_->GetMeshNodes(nx, ny);
    header.nx = static_cast<std::uint32_t>(nx);
    header.ny = static_cast<std::uint32_t>(ny);
    header.quantity = static_cast<std::uint32_t>(index);
    header.calls = static_cast<std::uint32_t>(calls_);
    header.steps = static_cast<std::uint32_t>(steps_);
    header.modelTime = modelTime_;
    header.deltaT = solver_->GetDeltaT();
    header.dx = solver_->GetDeltaX();
    header.dy = solver_->GetDeltaY();
    header.densityChange = DensityChange();
    std::vector<double> values = FlowQuantityValues(*solver_, index);
    const std::optional<std::vector<double>> centreline =
        ShockTubeCentreline(*solver_, values, FlowQuantities()[index].name, modelTime_);
    if (centreline) {
        header.extraRows = 2;
        values.insert(values.end(), centreline->begin(), centreline->end());
    }
    return EncodeFrame(header, values);
}

nlohmann::json FlowModel::Probe(long long i, long long j) {
    int nx = 0;
    int ny = 0;
    Nembra::NavierStokesEquations2D::_MeshNode** mesh = solver_->GetMeshNodes(nx, ny);
    if (mesh == nullptr || i < 0 || j < 0 || i >= nx || j >= ny) {
        return {{"error", "no node (" + std::to_string(i) + ", " + std::to_string(j) + ")"}};
    }
    const auto& n = mesh[i][j];
    return {
        {"i", i},
        {"j", j},
        {"x", static_cast<double>(i) * solver_->GetDeltaX()},
        {"y", static_cast<double>(j) * solver_->GetDeltaY()},
        {"values",
         {{"density", n.Rho},
          {"pressure", n.P},
          {"temperature", n.T},
          {"u", n.U},
          {"v", n.V},
          {"mach", MachNumber(n.U, n.V, n.T, solver_->GetGamma(), solver_->GetGasConstant())}}}};
}

// Only the flat plate measures it; NaN tells the page that there is no convergence to chart.
double FlowModel::DensityChange() {
    const auto* plate = dynamic_cast<const Nembra::SupersonicFlatPlate*>(solver_.get());
    if (plate == nullptr || steps_ == 0) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    return plate->GetLargestDensityChange();
}

}  // namespace nembra_cli
