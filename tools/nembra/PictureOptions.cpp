#include "PictureOptions.h"

#include <cmath>
#include <cstdlib>

#include "FlowFields.h"
#include "OptionRules.h"
#include "PngOutput.h"

namespace nembra_cli {

namespace {

std::vector<std::string> FieldNames() {
    std::vector<std::string> names;
    for (const FieldInfo& info : AllFlowFields()) {
        names.push_back(info.name);
    }
    return names;
}

bool ReadNumber(const std::string& text, double& value) {
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && end == text.c_str() + text.size() && std::isfinite(value);
}

struct FieldRange {
    FlowField field;
    Span span;
};

// "temperature=100:2e4" into its field and span; the message says what is wrong otherwise.
std::optional<FieldRange> ParseFieldRange(const std::string& text, std::string& problem) {
    const auto equals = text.find('=');
    const auto colon = text.find(':', equals == std::string::npos ? 0 : equals);
    if (equals == std::string::npos || colon == std::string::npos) {
        problem = "expects FIELD=MIN:MAX (such as temperature=100:2e4), got '" + text + "'";
        return std::nullopt;
    }
    const std::string name = text.substr(0, equals);
    const std::optional<FlowField> field = FindFlowField(name);
    if (!field) {
        problem = "'" + name + "' is not a known field; choose from " + JoinNames(FieldNames());
        return std::nullopt;
    }
    double lo = 0.0;
    double hi = 0.0;
    if (!ReadNumber(text.substr(equals + 1, colon - equals - 1), lo) ||
        !ReadNumber(text.substr(colon + 1), hi) || !(lo < hi)) {
        problem = "MIN and MAX must be finite numbers with MIN < MAX, got '" + text + "'";
        return std::nullopt;
    }
    return FieldRange{*field, Span{lo, hi}};
}

PictureScale& ScaleOf(std::vector<PictureScale>& scales, FlowField field) {
    for (PictureScale& scale : scales) {
        if (scale.field == field) {
            return scale;
        }
    }
    scales.push_back(PictureScale{field, std::nullopt, false});
    return scales.back();
}

}  // namespace

void AddPictureOptions(CLI::App& flow, PictureOptions& o) {
    flow.add_option("--range", o.ranges,
                    "Colour range of a field's heat maps, FIELD=MIN:MAX (repeatable) [the range "
                    "of the first snapshot in which the field varies, kept for the series]")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                std::string problem;
                return ParseFieldRange(text, problem) ? std::string() : problem;
            },
            "FIELD=MIN:MAX"));
    flow.add_option("--log", o.logFields,
                    "Fields coloured by decades, comma-separated (for fields spanning many, such "
                    "as temperature in the default run)")
        ->delimiter(',')
        ->check(OneOf(FieldNames(), "field"));
}

std::vector<PictureScale> PictureScales(const PictureOptions& o) {
    std::vector<PictureScale> scales;
    for (const std::string& text : o.ranges) {
        std::string problem;
        const std::optional<FieldRange> range = ParseFieldRange(text, problem);
        if (!range) {
            throw UsageError("--range: " + problem);
        }
        PictureScale& scale = ScaleOf(scales, range->field);
        if (scale.range) {
            throw UsageError("--range: " + DescribeField(range->field).name +
                             " is given two ranges; give one");
        }
        scale.range = range->span;
    }
    for (const std::string& name : o.logFields) {
        const FlowField field = *FindFlowField(name);
        if (DescribeField(field).signedValues) {
            throw UsageError("--log: " + name +
                             " takes negative values, which a log scale cannot show");
        }
        ScaleOf(scales, field).log = true;
    }
    for (const PictureScale& scale : scales) {
        if (scale.log && scale.range && !(scale.range->lo > 0.0)) {
            throw UsageError("--range: a log scale for " + DescribeField(scale.field).name +
                             " needs MIN > 0, got " + FormatNumber(scale.range->lo));
        }
    }
    return scales;
}

double ChooseCellWidth(std::optional<double> pixelsPerNode, int nx) {
    const double cellWidth = pixelsPerNode.value_or(DefaultCellWidth(nx));
    const double width = nx * cellWidth;
    const std::string options = pixelsPerNode ? "--pixels-per-node" : "--nx";
    if (width > kLargestMapSide) {
        throw UsageError(options + ": the heat maps would be " + FormatNumber(width) +
                         " pixels wide (" + std::to_string(nx) + " nodes × " +
                         FormatNumber(cellWidth) + "), more than " + FormatNumber(kLargestMapSide) +
                         "; choose fewer pixels per node");
    }
    if (width < kSmallestMapSide) {
        throw UsageError(options + ": the heat maps would be " + FormatNumber(width) +
                         " pixels wide (" + std::to_string(nx) + " nodes × " +
                         FormatNumber(cellWidth) + "), too narrow for their labels; they need " +
                         FormatNumber(kSmallestMapSide));
    }
    return cellWidth;
}

}  // namespace nembra_cli
