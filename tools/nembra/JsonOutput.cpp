#include "JsonOutput.h"

namespace nembra_cli {

nlohmann::json RangeJson(const ValueRange& range) {
    if (range.empty) {
        return {{"min", nullptr}, {"max", nullptr}};
    }
    return {{"min", range.min}, {"max", range.max}};
}

void WriteJson(const fs::path& path, const nlohmann::json& document) {
    WriteTextAtomically(path, document.dump(2) + "\n");
}

}  // namespace nembra_cli
