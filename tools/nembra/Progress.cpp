#include "Progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace nembra_cli {

namespace {

constexpr double kBarRedrawSeconds = 0.1;
constexpr double kLineIntervalSeconds = 10.0;
constexpr int kBarCells = 30;

}  // namespace

ProgressStyle ChooseProgressStyle(bool quiet, bool toTerminal) {
    if (quiet) {
        return ProgressStyle::Silent;
    }
    return toTerminal ? ProgressStyle::Bar : ProgressStyle::Lines;
}

std::string FormatDuration(double seconds) {
    char text[40];
    if (!std::isfinite(seconds)) {
        return "?";
    }
    if (seconds < 1.0) {
        std::snprintf(text, sizeof text, "%.3g ms", seconds * 1e3);
    } else if (seconds < 60.0) {
        std::snprintf(text, sizeof text, "%.1f s", seconds);
    } else {
        const long whole = std::lround(seconds);
        std::snprintf(text, sizeof text, "%ld min %02ld s", whole / 60, whole % 60);
    }
    return text;
}

Progress::Progress(std::ostream& out, ProgressStyle style, std::string label, int total)
    : out_(out),
      style_(style),
      label_(std::move(label)),
      total_(std::max(total, 1)),
      start_(Clock::now()),
      lastShown_(start_) {}

void Progress::Update(int done) {
    if (style_ == ProgressStyle::Silent) {
        return;
    }
    const Clock::time_point now = Clock::now();
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    const double sinceShown = std::chrono::duration<double>(now - lastShown_).count();
    const double rate = elapsed > 0.0 ? done / elapsed : 0.0;
    if (style_ == ProgressStyle::Bar) {
        if (sinceShown >= kBarRedrawSeconds || done == total_) {
            DrawBar(done, rate);
            lastShown_ = now;
        }
        return;
    }
    // Plain lines: every tenth of the run, or every few seconds on long runs.
    const bool tenthReached = done * 10 >= nextLineTenth_ * total_;
    if (tenthReached || sinceShown >= kLineIntervalSeconds) {
        WriteLine(done, rate);
        lastShown_ = now;
        while (nextLineTenth_ <= 10 && done * 10 >= nextLineTenth_ * total_) {
            ++nextLineTenth_;
        }
    }
}

void Progress::DrawBar(int done, double rate) {
    const int filled = static_cast<int>(static_cast<long long>(done) * kBarCells / total_);
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(kBarCells, '.');
    const double left = rate > 0.0 ? (total_ - done) / rate : NAN;
    char text[160];
    std::snprintf(text, sizeof text, "\r%s [%s] %d/%d  %.0f/s  %s left \033[K", label_.c_str(),
                  bar.c_str(), done, total_, rate, FormatDuration(left).c_str());
    out_ << text << std::flush;
    drawn_ = true;
}

void Progress::WriteLine(int done, double rate) {
    const double left = rate > 0.0 ? (total_ - done) / rate : NAN;
    char text[160];
    std::snprintf(text, sizeof text, "%s: %d/%d (%d%%), %.0f/s, %s left\n", label_.c_str(), done,
                  total_, static_cast<int>(100LL * done / total_), rate,
                  FormatDuration(left).c_str());
    out_ << text << std::flush;
}

void Progress::Finish() {
    if (drawn_) {
        out_ << '\n' << std::flush;
        drawn_ = false;
    }
}

}  // namespace nembra_cli
