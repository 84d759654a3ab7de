#pragma once

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace nembra_cli {

namespace fs = std::filesystem;

// A file could not be written; the run stops with this message.
class OutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Files of an earlier run in `directory`: snapshots (name_NNNNNN.png, .vti, .csv), flow.pvd,
// profiles.png and summary.json.
std::vector<fs::path> PreviousRunFiles(const fs::path& directory);

// Creates the folder if needed and proves that a file can be created in it. A folder holding
// another run's files is refused, so that old snapshots do not mix with new ones, unless
// `overwrite`: those files are then removed first. Throws OutputError naming the folder and the
// reason.
// `continuing` (a resumed run) keeps such files.
// Temporaries left in the folder by runs that were killed while writing are removed.
void PrepareOutputDirectory(const fs::path& directory, bool overwrite = false,
                            bool continuing = false);

// Writes through `write` into a temporary name beside `path`, then renames it into place, so a
// reader never sees a half-written file under the final name. `write` reports failure by
// returning false or throwing; the temporary is then removed and OutputError thrown.
void WriteAtomically(const fs::path& path, const std::function<bool(const fs::path&)>& write);
void WriteTextAtomically(const fs::path& path, std::string_view content);

// What a run wrote, grouped for the closing table: one row per kind of file.
class OutputLog {
public:
    void Add(const std::string& kind, const fs::path& path);
    struct Row {
        std::string kind;
        int count = 0;
        fs::path last;
    };
    const std::vector<Row>& Rows() const { return rows_; }

private:
    std::vector<Row> rows_;
};

}  // namespace nembra_cli
