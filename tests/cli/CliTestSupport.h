#pragma once

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "CommandLine.h"

namespace nembra_cli_test {

namespace fs = std::filesystem;

// Cairo and fontconfig keep their font caches for the life of the process; releasing them when
// the tests end keeps LeakSanitizer's report to real leaks.
class ReleaseFontCaches : public ::testing::Environment {
public:
    void TearDown() override {
        cairo_debug_reset_static_data();
        FcFini();
    }
};
inline ::testing::Environment* const kReleaseFontCaches =
    ::testing::AddGlobalTestEnvironment(new ReleaseFontCaches);

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};

inline CliResult RunCli(const std::vector<std::string>& arguments) {
    std::ostringstream out;
    std::ostringstream err;
    CliResult result;
    result.status = nembra_cli::RunCommandLine(arguments, out, err, false);
    result.out = out.str();
    result.err = err.str();
    return result;
}

// A fresh folder in the test's working directory, removed afterwards. The process id keeps
// test processes that CTest runs side by side apart.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& name)
        : path_(fs::current_path() / ("scratch-" + name + "-" + std::to_string(::getpid()))) {
        fs::remove_all(path_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& Path() const { return path_; }
    std::string Sub(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

inline std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline std::vector<unsigned char> DecodeBase64(const std::string& text) {
    std::vector<unsigned char> bytes;
    std::uint32_t buffer = 0;
    int bits = 0;
    for (char c : text) {
        int value = -1;
        if (c >= 'A' && c <= 'Z')
            value = c - 'A';
        if (c >= 'a' && c <= 'z')
            value = c - 'a' + 26;
        if (c >= '0' && c <= '9')
            value = c - '0' + 52;
        if (c == '+')
            value = 62;
        if (c == '/')
            value = 63;
        if (value < 0)
            continue;
        buffer = buffer << 6 | static_cast<std::uint32_t>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes.push_back(static_cast<unsigned char>(buffer >> bits & 0xFF));
        }
    }
    return bytes;
}

// The value of attribute `name` in the first element of `xml` that starts with `tag`.
inline std::string Attribute(const std::string& element, const std::string& name) {
    const std::string key = " " + name + "=\"";
    const auto at = element.find(key);
    if (at == std::string::npos)
        return {};
    const auto start = at + key.size();
    return element.substr(start, element.find('"', start) - start);
}

struct VtiArray {
    int components = 0;
    std::uint64_t declaredBytes = 0;
    std::vector<double> values;
};

struct VtiFile {
    std::string imageData;  // the <ImageData ...> start tag
    std::map<std::string, VtiArray> arrays;
};

// Reads the inline binary Float64 point arrays written by the tool: each one base64 text of a
// UInt64 byte count followed by the values.
inline VtiFile ReadVti(const fs::path& path) {
    const std::string xml = ReadText(path);
    VtiFile file;
    const auto image = xml.find("<ImageData ");
    if (image != std::string::npos) {
        file.imageData = xml.substr(image, xml.find('>', image) - image);
    }
    std::size_t at = xml.find("<PointData");
    while ((at = xml.find("<DataArray ", at)) != std::string::npos) {
        const auto tagEnd = xml.find('>', at);
        const std::string tag = xml.substr(at, tagEnd - at);
        const auto close = xml.find("</DataArray>", tagEnd);
        const std::vector<unsigned char> bytes =
            DecodeBase64(xml.substr(tagEnd + 1, close - tagEnd - 1));
        VtiArray array;
        array.components = std::stoi(Attribute(tag, "NumberOfComponents"));
        if (bytes.size() >= 8) {
            std::memcpy(&array.declaredBytes, bytes.data(), 8);
            array.values.resize((bytes.size() - 8) / sizeof(double));
            std::memcpy(array.values.data(), bytes.data() + 8, array.values.size() * 8);
        }
        file.arrays[Attribute(tag, "Name")] = array;
        at = close;
    }
    return file;
}

// Files in `folder` whose names contain `part`.
inline std::vector<std::string> FilesContaining(const fs::path& folder, const std::string& part) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.find(part) != std::string::npos)
            names.push_back(name);
    }
    return names;
}

}  // namespace nembra_cli_test
