#include "JsonOutput.h"

namespace nembra_cli {

nlohmann::json RangeJson(const ValueRange& range) {
    if (range.empty) {
        return {{"min", nullptr}, {"max", nullptr}};
    }
    return {{"min", range.min}, {"max", range.max}};
}

void WriteJson(const fs::path& path, const nlohmann::json& document) {
    // Text from the user (a file name) need not be UTF-8: bytes that are not become U+FFFD
    // rather than an exception that would lose the summary.
    WriteTextAtomically(
        path, document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
}

}  // namespace nembra_cli
