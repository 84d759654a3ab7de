#include "CsvOutput.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "PrintableText.h"

namespace nembra_cli {

namespace {

void AppendNumber(std::string& out, double value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    out.append(text, result.ptr);
}

std::string Trim(const std::string& text) {
    const char* blanks = " \t\r\n";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

double ParseValue(const std::string& text, const std::string& where) {
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    // The whole line must be the number: strtod would stop quietly at an embedded NUL byte.
    if (end == text.c_str() || end != text.c_str() + text.size()) {
        throw ProfileCsvError(where + ": '" + Printable(text) +
                              "' is not a number (one value per line)");
    }
    if (errno == ERANGE && std::isinf(value)) {
        throw ProfileCsvError(where + ": '" + text + "' is out of range");
    }
    if (!std::isfinite(value)) {
        throw ProfileCsvError(where + ": '" + text + "' is not a finite number");
    }
    return value;
}

}  // namespace

std::string ProfileCsv(double spacing, const std::vector<double>& values) {
    std::string csv = "x,f\n";
    csv.reserve(values.size() * 40 + 8);
    for (std::size_t i = 0; i < values.size(); ++i) {
        AppendNumber(csv, static_cast<double>(i) * spacing);
        csv += ',';
        AppendNumber(csv, values[i]);
        csv += '\n';
    }
    return csv;
}

void WriteProfileCsv(const fs::path& path, double spacing, const std::vector<double>& values) {
    WriteTextAtomically(path, ProfileCsv(spacing, values));
}

std::vector<double> ReadProfileCsv(const fs::path& path) {
    std::error_code error;
    if (!fs::is_regular_file(path, error)) {
        throw ProfileCsvError("cannot read '" + path.string() + "': not a readable file");
    }
    std::ifstream in(path);
    if (!in) {
        throw ProfileCsvError("cannot read '" + path.string() + "': " + std::strerror(errno));
    }
    std::vector<double> values;
    std::string text;
    int line = 0;
    int blankLine = 0;  // the first blank line not yet followed by a value
    while (std::getline(in, text)) {
        ++line;
        const std::string field = Trim(text);
        if (field.empty()) {
            blankLine = blankLine == 0 ? line : blankLine;
            continue;
        }
        // Skipping a blank line between values would shift every later value by one point.
        if (blankLine != 0) {
            throw ProfileCsvError(path.string() + ":" + std::to_string(blankLine) +
                                  ": blank line; every line must hold one value (blank lines "
                                  "may only end the file)");
        }
        values.push_back(ParseValue(field, path.string() + ":" + std::to_string(line)));
    }
    if (in.bad()) {
        throw ProfileCsvError("cannot read '" + path.string() + "'");
    }
    if (values.size() < 2) {
        throw ProfileCsvError(path.string() + ": needs at least two values (one segment), found " +
                              std::to_string(values.size()));
    }
    return values;
}

}  // namespace nembra_cli
