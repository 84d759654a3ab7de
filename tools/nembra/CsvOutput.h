#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "OutputFiles.h"

namespace nembra_cli {

// A profile file that cannot be used; the message names the line and what is wrong with it.
class ProfileCsvError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Header "x,f", then one line per sampling point: x = index * spacing and the value, both in
// the shortest form that reads back to the same double.
std::string ProfileCsv(double spacing, const std::vector<double>& values);
void WriteProfileCsv(const fs::path& path, double spacing, const std::vector<double>& values);

// One finite number per line, nothing else on it (blanks around it aside); blank lines may only
// end the file. At least two values (one segment).
std::vector<double> ReadProfileCsv(const fs::path& path);

}  // namespace nembra_cli
