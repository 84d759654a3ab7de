#include "OptionRules.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <unistd.h>

namespace nembra_cli {

namespace {

std::string Because(const std::string& reason) {
    return reason.empty() ? std::string() : " (" + reason + ")";
}

}  // namespace

std::string JoinNames(const std::vector<std::string>& names) {
    std::string joined;
    for (const std::string& name : names) {
        joined += (joined.empty() ? "" : ", ") + name;
    }
    return joined;
}

void RequireMemoryFor(double bytes, const std::string& options) {
    const double pages = static_cast<double>(::sysconf(_SC_PHYS_PAGES));
    const double pageSize = static_cast<double>(::sysconf(_SC_PAGESIZE));
    if (pages <= 0.0 || pageSize <= 0.0) {
        return;  // unknown: let the allocation decide
    }
    const double usable = pages * pageSize / 2.0;
    if (bytes > usable) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "%s: would need %.3g GB, more than half of this machine's %.3g GB of memory",
                      options.c_str(), bytes / 1e9, 2.0 * usable / 1e9);
        throw UsageError(text);
    }
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
    for (const std::string& candidate : names) {
        if (candidate == name) {
            return true;
        }
    }
    return false;
}

CLI::Validator WholeNumberAtLeast(long long minimum, const std::string& reason) {
    const std::string rule =
        "must be a whole number of at least " + std::to_string(minimum) + Because(reason);
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            errno = 0;
            char* end = nullptr;
            const long long value = std::strtoll(text.c_str(), &end, 10);
            if (text.empty() || end == text.c_str() || *end != '\0') {
                return rule + ", got '" + text + "'";
            }
            if (errno == ERANGE || value > INT_MAX) {
                return rule + " and at most " + std::to_string(INT_MAX) + ", got " + text;
            }
            if (value < minimum) {
                return rule + ", got " + text;
            }
            return {};
        },
        "INT>=" + std::to_string(minimum));
}

CLI::Validator PositiveNumber(const std::string& reason) {
    const std::string rule = "must be a finite number greater than 0" + Because(reason);
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            char* end = nullptr;
            const double value = std::strtod(text.c_str(), &end);
            if (text.empty() || end == text.c_str() || *end != '\0') {
                return rule + ", got '" + text + "'";
            }
            if (!std::isfinite(value) || !(value > 0.0)) {
                return rule + ", got " + text;
            }
            return {};
        },
        "NUMBER>0");
}

CLI::Validator OneOf(const std::vector<std::string>& choices, const std::string& what) {
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            if (Contains(choices, text)) {
                return {};
            }
            return "'" + text + "' is not a known " + what + "; choose from " + JoinNames(choices);
        },
        "{" + JoinNames(choices) + "}");
}

}  // namespace nembra_cli
