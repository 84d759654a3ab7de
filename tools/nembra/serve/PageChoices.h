#pragma once

#include <nlohmann/json.hpp>

namespace nembra_cli {

// What the page offers in its menus, part of every "state" message: the flow cases, the
// diffusion model's initial profiles and the colour maps of the tool's pictures (256 colours
// each, packed 0xAARRGGBB).
nlohmann::json PageChoices();

}  // namespace nembra_cli
