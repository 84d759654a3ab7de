# Writes a C++ source holding the files of the viewer's page as byte arrays.
# Called as: cmake -DOUTPUT=<file.cpp> -DINPUTS=<a;b;...> -P EmbedWebAssets.cmake
set(types_html "text/html; charset=utf-8")
set(types_js "text/javascript; charset=utf-8")
set(types_css "text/css; charset=utf-8")

set(arrays "")
set(entries "")
set(index 0)
foreach(input IN LISTS INPUTS)
    get_filename_component(name "${input}" NAME)
    get_filename_component(extension "${input}" LAST_EXT)
    string(SUBSTRING "${extension}" 1 -1 extension)
    set(type "${types_${extension}}")
    if(NOT type)
        message(FATAL_ERROR "no content type for ${input}")
    endif()
    file(READ "${input}" hex HEX)
    string(LENGTH "${hex}" hex_length)
    math(EXPR size "${hex_length} / 2")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
    string(APPEND arrays "const char kAsset${index}[] = {${bytes}};\n")
    if(name STREQUAL "index.html")
        set(path "/")
    else()
        set(path "/${name}")
    endif()
    string(APPEND entries "    {\"${path}\", \"${type}\", std::string_view(kAsset${index}, ${size})},\n")
    math(EXPR index "${index} + 1")
endforeach()

file(WRITE "${OUTPUT}.tmp" "// Generated from tools/nembra/web/ by EmbedWebAssets.cmake; do not edit.
#include \"WebAssets.h\"

namespace nembra_cli {

namespace {

${arrays}
const WebAsset kAssets[] = {
${entries}};

}  // namespace

const WebAsset* FindWebAsset(std::string_view path) {
    for (const WebAsset& asset : kAssets) {
        if (asset.path == path) {
            return &asset;
        }
    }
    return nullptr;
}

}  // namespace nembra_cli
")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
