#include "RunReport.h"

#include <algorithm>
#include <iomanip>

namespace nembra_cli {

namespace {

// Column width in characters, not bytes, so that "×" or "µ" do not shift the columns.
std::size_t DisplayWidth(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::string PadRight(const std::string& text, std::size_t width) {
    const std::size_t shown = DisplayWidth(text);
    return text + std::string(width > shown ? width - shown : 0, ' ');
}

}  // namespace

void RunReport::AddFiles(const OutputLog& log) {
    files_.insert(files_.end(), log.Rows().begin(), log.Rows().end());
}

void RunReport::AddFigure(const std::string& name, const std::string& value) {
    figures_.emplace_back(name, value);
}

void RunReport::Print(std::ostream& out) const {
    std::size_t width = 0;
    for (const auto& row : files_) {
        width = std::max(width, DisplayWidth(row.kind));
    }
    for (const auto& figure : figures_) {
        width = std::max(width, DisplayWidth(figure.first));
    }
    width += 2;
    out << heading_ << "\n";
    if (!files_.empty()) {
        out << "  " << PadRight("written", width) << "files  last\n";
    }
    for (const auto& row : files_) {
        out << "  " << PadRight(row.kind, width) << std::setw(5) << row.count << "  "
            << row.last.string() << "\n";
    }
    for (const auto& figure : figures_) {
        out << "  " << PadRight(figure.first, width) << figure.second << "\n";
    }
}

}  // namespace nembra_cli
