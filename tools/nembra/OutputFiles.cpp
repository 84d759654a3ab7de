#include "OutputFiles.h"

#include <unistd.h>

#include <cstdio>
#include <system_error>

namespace nembra_cli {

namespace {

fs::path TemporaryBeside(const fs::path& path) {
    // Hidden and marked with the process id, so it cannot be mistaken for a result and two runs
    // into the same folder do not collide.
    return path.parent_path() /
           ("." + path.filename().string() + ".part-" + std::to_string(::getpid()));
}

bool WriteBytes(const fs::path& path, std::string_view content) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace

void PrepareOutputDirectory(const fs::path& directory) {
    std::error_code error;
    if (fs::exists(directory, error) && !fs::is_directory(directory, error)) {
        throw OutputError("'" + directory.string() + "' exists and is not a folder");
    }
    fs::create_directories(directory, error);
    if (error) {
        throw OutputError("cannot create folder '" + directory.string() + "': " + error.message());
    }
    const fs::path probe = TemporaryBeside(directory / "write-test");
    if (!WriteBytes(probe, "")) {
        throw OutputError("cannot write into folder '" + directory.string() + "'");
    }
    fs::remove(probe, error);
}

void WriteAtomically(const fs::path& path, const std::function<bool(const fs::path&)>& write) {
    const fs::path temporary = TemporaryBeside(path);
    bool written = false;
    try {
        written = write(temporary);
    } catch (...) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw;
    }
    std::error_code error;
    if (written) {
        fs::rename(temporary, path, error);
    }
    if (!written || error) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw OutputError("cannot write '" + path.string() + "'" +
                          (error ? ": " + error.message() : std::string()));
    }
}

void WriteTextAtomically(const fs::path& path, std::string_view content) {
    WriteAtomically(path,
                    [&](const fs::path& temporary) { return WriteBytes(temporary, content); });
}

void OutputLog::Add(const std::string& kind, const fs::path& path) {
    for (Row& row : rows_) {
        if (row.kind == kind) {
            ++row.count;
            row.last = path;
            return;
        }
    }
    rows_.push_back({kind, 1, path});
}

}  // namespace nembra_cli
