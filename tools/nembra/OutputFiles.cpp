#include "OutputFiles.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <system_error>

namespace nembra_cli {

namespace {

constexpr std::string_view kTemporaryMark = ".part-";

fs::path TemporaryBeside(const fs::path& path) {
    // Hidden and marked with the process id, so it cannot be mistaken for a result and two runs
    // into the same folder do not collide.
    return path.parent_path() / ("." + path.filename().string() + std::string(kTemporaryMark) +
                                 std::to_string(::getpid()));
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

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// "density_001000.png", "flow_000000.vti", "profile_000200.csv", "wall-pressure_000010.png":
// a lower-case stem, an underscore, six or more digits and a snapshot extension.
bool IsSnapshotName(const std::string& name) {
    const auto underscore = name.rfind('_');
    const auto dot = name.rfind('.');
    if (underscore == std::string::npos || underscore == 0 || dot == std::string::npos ||
        dot < underscore + 7) {
        return false;
    }
    const std::string extension = name.substr(dot);
    const bool stemOk = std::all_of(name.begin(), name.begin() + underscore,
                                    [](char c) { return (c >= 'a' && c <= 'z') || c == '-'; });
    const bool digitsOk = std::all_of(name.begin() + underscore + 1, name.begin() + dot, IsDigit);
    return stemOk && digitsOk &&
           (extension == ".png" || extension == ".vti" || extension == ".csv");
}

// The process id in a temporary's name (".checkpoint.h5.part-4242"), or 0 for any other name.
pid_t TemporaryOwner(const std::string& name) {
    const auto mark = name.rfind(kTemporaryMark);
    if (name.size() < 2 || name[0] != '.' || mark == std::string::npos || mark < 2) {
        return 0;
    }
    const std::string digits = name.substr(mark + kTemporaryMark.size());
    if (digits.empty() || digits.size() > 9 ||
        !std::all_of(digits.begin(), digits.end(), IsDigit)) {
        return 0;
    }
    return static_cast<pid_t>(std::stol(digits));
}

// A temporary whose writer no longer runs: a run killed while it wrote (SIGKILL, a crash, the
// machine stopping) leaves one behind, and a checkpoint's can be as large as the mesh. Those of
// this process and of any process still alive (another run into the same folder) are not stale.
bool IsStaleTemporary(const std::string& name) {
    const pid_t owner = TemporaryOwner(name);
    return owner > 0 && owner != ::getpid() && ::kill(owner, 0) == -1 && errno == ESRCH;
}

bool IsRunFile(const std::string& name) {
    return name == "summary.json" || name == "flow.pvd" || name == "profiles.png" ||
           IsSnapshotName(name);
}

}  // namespace

std::vector<fs::path> PreviousRunFiles(const fs::path& directory) {
    std::vector<fs::path> files;
    std::error_code error;
    for (fs::directory_iterator it(directory, error), end; !error && it != end;
         it.increment(error)) {
        if (it->is_regular_file(error) && IsRunFile(it->path().filename().string())) {
            files.push_back(it->path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

namespace {

void RemovePreviousRun(const fs::path& directory, bool overwrite) {
    const std::vector<fs::path> files = PreviousRunFiles(directory);
    if (files.empty()) {
        return;
    }
    if (!overwrite) {
        throw OutputError("folder '" + directory.string() + "' holds another run's files (" +
                          std::to_string(files.size()) + ", such as " +
                          files.front().filename().string() +
                          "); give --overwrite to replace them, or choose another folder");
    }
    for (const fs::path& file : files) {
        std::error_code error;
        if (!fs::remove(file, error) && error) {
            throw OutputError("cannot remove '" + file.string() + "': " + error.message());
        }
    }
}

void RemoveStaleTemporaries(const fs::path& directory) {
    std::error_code error;
    for (fs::directory_iterator it(directory, error), end; !error && it != end;
         it.increment(error)) {
        std::error_code ignored;
        if (it->is_regular_file(ignored) && IsStaleTemporary(it->path().filename().string())) {
            fs::remove(it->path(), ignored);
        }
    }
}

}  // namespace

void PrepareOutputDirectory(const fs::path& directory, bool overwrite, bool continuing) {
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
    RemoveStaleTemporaries(directory);
    if (!continuing) {
        RemovePreviousRun(directory, overwrite);
    }
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
