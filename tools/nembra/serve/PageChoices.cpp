#include "PageChoices.h"

#include "ColorMaps.h"
#include "DiffusionCommand.h"
#include "FlowCases.h"

namespace nembra_cli {

namespace {

nlohmann::json ColorMapTables() {
    nlohmann::json tables = nlohmann::json::object();
    for (ColorMapId map : {ColorMapId::Viridis, ColorMapId::Inferno, ColorMapId::CoolWarm}) {
        const ColorTable table = MakeColorTable(map);
        tables[ColorMapName(map)] = std::vector<std::uint32_t>(table.packed, table.packed + 256);
    }
    return tables;
}

}  // namespace

nlohmann::json PageChoices() {
    static const nlohmann::json choices = {
        {"cases", FlowCaseNames(MakeFlowCases())},
        {"initial_profiles", InitialProfileNames()},
        {"colormaps", ColorMapTables()},
    };
    return choices;
}

}  // namespace nembra_cli
