#pragma once

#include <string>
#include <vector>

#include "FlowFields.h"
#include "OutputFiles.h"

namespace nembra_cli {

// VTK XML image data of one snapshot: point arrays density, velocity (3 components, w = 0),
// temperature, pressure, mach and viscosity on the node grid with the real spacings. Arrays are
// Float64, base64-encoded inline, so the values are exact and the document is well-formed XML.
// Its TimeValue is `frameTime`, the time under which the collection lists it (NextFrameTime);
// ModelTime holds the snapshot's model time.
std::string VtiDocument(const FlowSnapshot& snapshot, double frameTime);
void WriteVti(const fs::path& path, const FlowSnapshot& snapshot, double frameTime);

// A collection that indexes the .vti files by model time, opened as one animated series.
struct PvdEntry {
    double time = 0.0;
    std::string file;  // relative to the collection
};
std::string PvdDocument(const std::vector<PvdEntry>& entries);

// The collection time of a new snapshot: its model time, or the smallest double above the last
// entry's time when the model time did not advance (a field whose time step has collapsed), so
// that every snapshot stays a frame of its own in an animation.
double NextFrameTime(const std::vector<PvdEntry>& entries, double modelTime);
void WritePvd(const fs::path& path, const std::vector<PvdEntry>& entries);

std::string EncodeBase64(const unsigned char* data, std::size_t size);

}  // namespace nembra_cli
