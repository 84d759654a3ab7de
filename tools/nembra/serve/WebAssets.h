#pragma once

#include <string_view>

namespace nembra_cli {

// The viewer's page, compiled into the program from tools/nembra/web/ so that nothing but the
// executable is needed at run time.
struct WebAsset {
    std::string_view path;  // "/viewer.js"
    std::string_view contentType;
    std::string_view body;
};

// Null for a path that is not one of the page's files; "/" is the page itself.
const WebAsset* FindWebAsset(std::string_view path);

}  // namespace nembra_cli
