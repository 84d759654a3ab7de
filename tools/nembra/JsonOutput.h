#pragma once

#include <nlohmann/json.hpp>

#include <vector>

#include "FlowFields.h"
#include "OutputFiles.h"

namespace nembra_cli {

// {"min": .., "max": ..} of the finite values, nulls when there are none.
nlohmann::json RangeJson(const ValueRange& range);

// Indented, with a final line break, written atomically.
void WriteJson(const fs::path& path, const nlohmann::json& document);

}  // namespace nembra_cli
