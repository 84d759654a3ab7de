#pragma once

#include <cstddef>
#include <stdexcept>
#include <vector>

#include "OutputFiles.h"

namespace nembra_cli {

// A checkpoint that cannot be used: the message names the file and the problem.
class CheckpointError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A checkpoint opens with a block of kSealBytes that HDF5 leaves to its user (a "user block";
// HDF5 tools and h5py skip it). The block holds four lines of text, the rest zeros:
//
//   nembra checkpoint
//   format-version 1
//   bytes 1751104
//   crc32 5f0c3e1a
//
// the file's length and a CRC-32 of the whole file, taken with the eight digits of the CRC read
// as zeros. A reader checks them before a single byte reaches the HDF5 parser, so a truncated or
// damaged file is refused here rather than by whatever the parser makes of broken metadata.
constexpr std::size_t kSealBytes = 512;

// Writes the block into a complete HDF5 file created with a user block of kSealBytes, and
// flushes the file to the disk. Throws OutputError.
void SealFile(const fs::path& path, int formatVersion);

// The whole file, once its length and CRC match its block; the format version is returned
// through `formatVersion` and left to the caller to judge. Throws CheckpointError.
std::vector<unsigned char> ReadSealedFile(const fs::path& path, int& formatVersion);

}  // namespace nembra_cli
