#pragma once

#include <nlohmann/json.hpp>

#include <memory>
#include <string>
#include <vector>

#include "LiveModel.h"

namespace nembra_cli {

// A model as the command line or a page asks for it: `flow` or `diffusion` and options in the
// form of the command line (`--case flat-plate --nx 100`), so that both are held to exactly the
// rules of `nembra flow` and `nembra diffusion`.
struct ModelRequest {
    std::string model = "flow";
    std::vector<std::string> options;
};

const std::vector<std::string>& ModelNames();

// The options of `nembra flow` or `nembra diffusion` that choose a model, without the dashes;
// output options have no meaning in the viewer.
const std::vector<std::string>& ModelOptionNames(const std::string& model);
// "--case, --nx, ..." for messages and help.
std::string ModelOptionList(const std::string& model);

// From a control message's "model" and "settings" members ({"case": "flat-plate", "nx": 100}).
// Throws UsageError for a wrong type or an unknown setting.
ModelRequest RequestFromJson(const nlohmann::json& model, const nlohmann::json& settings);

// Throws UsageError naming the option for anything the command line would refuse, and for
// models too large to watch live.
std::unique_ptr<LiveModel> BuildModel(const ModelRequest& request);

// A live view sends every node about 30 times a second; beyond this count frames would outgrow
// what a page can draw and a network carry.
constexpr long long kMostLiveNodes = 4194304;

}  // namespace nembra_cli
