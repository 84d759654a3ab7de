// Checkpoints as `nembra flow --resume FILE` meets them. An input that begins with the header's
// first line is the whole file, as found on the disk: the header's parser and checks meet it
// first. Any other input is the HDF5 part of a file, sealed here with a correct length and CRC
// the way the writer seals its files, so that damaged or hostile HDF5 contents reach the reader
// and everything the resumed run takes from them. The run makes two calls into a folder of its
// own. A refusal must come as exit status 2 with a message; anything else (a crash, a sanitizer
// report, an escaping exception, another status) is a finding.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "CheckpointSeal.h"
#include "CommandLine.h"
#include "FuzzSupport.h"
#include "OptionRules.h"

namespace {

namespace fs = std::filesystem;

constexpr char kHeaderLine[] = "nembra checkpoint\n";
constexpr int kFormatVersion = 1;

fs::path& Folder() {
    static fs::path folder;
    return folder;
}

void RemoveFolder() {
    std::error_code ignored;
    fs::remove_all(Folder(), ignored);
}

void WriteFile(const fs::path& path, const std::uint8_t* bytes, std::size_t size, bool header) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (header) {
        const std::vector<char> block(nembra_cli::kSealBytes, '\0');
        file.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    file.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
}

bool BeginsWithHeader(const std::uint8_t* bytes, std::size_t size) {
    const std::size_t length = std::strlen(kHeaderLine);
    return size >= length && std::memcmp(bytes, kHeaderLine, length) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    nembra_fuzz::QuietenLibrary();
    std::string pattern = (fs::temp_directory_path() / "nembra-fuzz-checkpoint-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    Folder() = pattern;
    std::atexit(&RemoveFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const fs::path file = Folder() / "checkpoint.h5";
    const bool whole = BeginsWithHeader(bytes, size);
    WriteFile(file, bytes, size, !whole);
    if (!whole) {
        try {
            nembra_cli::SealFile(file, kFormatVersion);
        } catch (const nembra_cli::OutputError&) {
            return 0;  // no HDF5 part at all: nothing to seal
        }
    }
    std::ostringstream out;
    std::ostringstream err;
    const int status =
        nembra_cli::RunCommandLine({"flow", "--resume", file.string(), "--calls", "2", "--quiet",
                                    "--formats", "json", "-o", (Folder() / "run").string()},
                                   out, err, false);
    if (status != nembra_cli::kExitSuccess && status != nembra_cli::kExitUsage) {
        nembra_fuzz::Finding(
            "a checkpoint run ended with another status than success or refusal\n" + err.str());
    }
    if (status == nembra_cli::kExitUsage && err.str().empty()) {
        nembra_fuzz::Finding("a checkpoint refused without a message");
    }
    return 0;
}
