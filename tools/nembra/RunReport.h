#pragma once

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "OutputFiles.h"

namespace nembra_cli {

// The closing table of a run: what was written where, then the run's figures.
class RunReport {
public:
    explicit RunReport(std::string heading) : heading_(std::move(heading)) {}
    void AddFiles(const OutputLog& log);
    void AddFigure(const std::string& name, const std::string& value);
    void Print(std::ostream& out) const;

private:
    std::string heading_;
    std::vector<OutputLog::Row> files_;
    std::vector<std::pair<std::string, std::string>> figures_;
};

}  // namespace nembra_cli
