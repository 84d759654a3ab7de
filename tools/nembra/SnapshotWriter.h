#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "FlowFields.h"
#include "OutputFiles.h"
#include "PngOutput.h"
#include "VtkOutput.h"

namespace nembra_cli {

// How a field's heat maps are coloured: a range fixed by the user, or else one range for the
// whole series, taken from the first snapshot in which the field is not uniform (the initial
// field as a rule); linear or by decades.
struct PictureScale {
    FlowField field = FlowField::Density;
    std::optional<Span> range;
    bool log = false;
};

struct SnapshotFiles {
    fs::path directory;
    std::vector<FlowField> pictures;   // one heat map per field and snapshot
    std::vector<PictureScale> scales;  // choices for some of those fields
    bool vtk = true;
    double cellWidth = 6.0;  // heat map pixels per node along x
};

// A series as written so far: the .pvd collection, and the colour scale on which each field's heat
// maps have been drawn (fields still uniform have none yet).
struct SnapshotSeries {
    std::vector<PvdEntry> frames;
    std::map<FlowField, ColorScale> scales;
};

// Writes snapshots on a thread of its own, so that encoding pictures (the dominant cost, mostly
// PNG compression) overlaps the solver's next steps instead of adding to them. Snapshots wait in
// a short queue; a full queue makes the solver wait, which bounds the memory held.
class SnapshotWriter {
public:
    // `series` is what the run that this one continues has written: each field's pictures go on
    // in the colour scale it holds for the field, unless `files` gives the field a range.
    explicit SnapshotWriter(SnapshotFiles files, SnapshotSeries series = {});
    ~SnapshotWriter();
    SnapshotWriter(const SnapshotWriter&) = delete;
    SnapshotWriter& operator=(const SnapshotWriter&) = delete;

    // Rethrows the writer's first failure, so a run stops soon after a file could not be written.
    void Submit(FlowSnapshot snapshot);
    // Waits until every submitted snapshot is on the disk, rethrows the first failure, and
    // returns the series as it stands; the thread goes on.
    SnapshotSeries Drain();
    // Writes what is queued, stops the thread and rethrows the first failure.
    void Finish();
    // Complete after Finish.
    const OutputLog& Log() const { return log_; }

private:
    // A heat map waiting for its series' colour range: its field was uniform so far.
    struct PendingPicture {
        FlowField field;
        bool log;
        HeatMap map;
        std::vector<double> values;
        fs::path path;
    };

    void Work();
    void Write(const FlowSnapshot& snapshot);
    void DrawPicture(const FlowSnapshot& snapshot, FlowField field);
    void DrawPending(FlowField field, const std::optional<ColorScale>& scale);
    void DrawAllPending();
    PictureScale ScaleChoice(FlowField field) const;
    void RethrowFailure();

    static constexpr std::size_t kQueueLength = 3;

    SnapshotFiles files_;
    OutputLog log_;
    std::vector<PvdEntry> series_;
    // Written by the writer thread; read by Drain once the thread is idle.
    std::map<FlowField, ColorScale> seriesScales_;
    std::vector<PendingPicture> pending_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<FlowSnapshot> queue_;
    bool writing_ = false;  // a snapshot taken off the queue is being written
    bool closing_ = false;
    std::exception_ptr failure_;
    std::thread thread_;
};

// "density_000100.png": file names sort by step.
std::string SnapshotFileName(const std::string& stem, int step, const std::string& extension);

}  // namespace nembra_cli
