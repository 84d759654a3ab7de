#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <string>
#include <vector>

#include "SnapshotWriter.h"

// The heat-map options of `nembra flow`: a colour range per field (--range FIELD=MIN:MAX), a
// log scale per field (--log FIELD,...) and the picture's scale (--pixels-per-node).
namespace nembra_cli {

struct PictureOptions {
    std::vector<std::string> ranges;     // FIELD=MIN:MAX, as typed
    std::vector<std::string> logFields;  // fields coloured by decades
};

void AddPictureOptions(CLI::App& flow, PictureOptions& options);

// The colour choices for the fields drawn. Throws UsageError naming the option for a range
// given twice or empty, or a log scale for a field with no positive values to show (u, v).
std::vector<PictureScale> PictureScales(const PictureOptions& options);

// Pixels per node along x: the one given, or about 420 pixels across. Throws UsageError, naming
// the options that set it, when the map would be too narrow for its labels or too wide for an
// image.
double ChooseCellWidth(std::optional<double> pixelsPerNode, int nx);

}  // namespace nembra_cli
