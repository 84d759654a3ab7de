#pragma once

#include <chrono>
#include <ostream>
#include <string>

namespace nembra_cli {

// How a run shows that it is alive: a redrawn one-line bar on a terminal, occasional plain lines
// in logs and pipes, or nothing.
enum class ProgressStyle { Bar, Lines, Silent };
ProgressStyle ChooseProgressStyle(bool quiet, bool toTerminal);

class Progress {
public:
    Progress(std::ostream& out, ProgressStyle style, std::string label, int total);
    // `done` of `total` units finished; cheap enough to call after every unit.
    void Update(int done);
    // Leaves the terminal on a fresh line.
    void Finish();

private:
    using Clock = std::chrono::steady_clock;
    void DrawBar(int done, double rate);
    void WriteLine(int done, double rate);

    std::ostream& out_;
    ProgressStyle style_;
    std::string label_;
    int total_;
    Clock::time_point start_;
    Clock::time_point lastShown_;
    int nextLineTenth_ = 1;
    bool drawn_ = false;
};

// "12.5 ms", "3.2 s", "4 min 05 s": durations for people.
std::string FormatDuration(double seconds);

}  // namespace nembra_cli
