#include "SnapshotWriter.h"

#include <algorithm>
#include <cstdio>

#include "PngOutput.h"

namespace nembra_cli {

std::string SnapshotFileName(const std::string& stem, int step, const std::string& extension) {
    char number[16];
    std::snprintf(number, sizeof number, "%06d", step);
    return stem + "_" + number + extension;
}

SnapshotWriter::SnapshotWriter(SnapshotFiles files, SnapshotSeries series)
    : files_(std::move(files)),
      series_(std::move(series.frames)),
      seriesScales_(std::move(series.scales)),
      thread_([this] { Work(); }) {}

SnapshotWriter::~SnapshotWriter() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void SnapshotWriter::Submit(FlowSnapshot snapshot) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return queue_.size() < kQueueLength || failure_; });
    if (failure_) {
        std::rethrow_exception(failure_);
    }
    queue_.push_back(std::move(snapshot));
    lock.unlock();
    changed_.notify_all();
}

SnapshotSeries SnapshotWriter::Drain() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return (queue_.empty() && !writing_) || failure_; });
    if (failure_) {
        std::rethrow_exception(failure_);
    }
    return SnapshotSeries{series_, seriesScales_};
}

void SnapshotWriter::Finish() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
    RethrowFailure();
    if (!series_.empty()) {
        log_.Add("VTK series (.pvd)", files_.directory / "flow.pvd");
    }
}

void SnapshotWriter::RethrowFailure() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (failure_) {
        std::rethrow_exception(failure_);
    }
}

void SnapshotWriter::Work() {
    for (;;) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return !queue_.empty() || closing_; });
        if (queue_.empty()) {
            lock.unlock();
            try {
                DrawAllPending();
            } catch (...) {
                lock.lock();
                failure_ = failure_ ? failure_ : std::current_exception();
            }
            return;
        }
        FlowSnapshot snapshot = std::move(queue_.front());
        queue_.pop_front();
        writing_ = true;
        lock.unlock();
        changed_.notify_all();
        try {
            Write(snapshot);
        } catch (...) {
            lock.lock();
            failure_ = std::current_exception();
            queue_.clear();
            writing_ = false;
            lock.unlock();
            changed_.notify_all();
            return;
        }
        lock.lock();
        writing_ = false;
        lock.unlock();
        changed_.notify_all();
    }
}

PictureScale SnapshotWriter::ScaleChoice(FlowField field) const {
    for (const PictureScale& choice : files_.scales) {
        if (choice.field == field) {
            return choice;
        }
    }
    return PictureScale{field, std::nullopt, false};
}

namespace {

// Uniform pictures wait at most this many snapshots for a field that varies.
constexpr std::size_t kMostPendingPictures = 8;

HeatMap MapOf(const FlowSnapshot& s, const FieldInfo& info, double cellWidth) {
    char caption[96];
    std::snprintf(caption, sizeof caption, "step %d    t = %.4g s    %d × %d nodes", s.steps,
                  s.modelTime, s.nx, s.ny);
    HeatMap map;
    map.nx = s.nx;
    map.ny = s.ny;
    map.cellWidth = cellWidth;
    map.cellHeight = s.dx > 0.0 ? cellWidth * s.dy / s.dx : cellWidth;
    map.lengthX = s.dx * (s.nx - 1);
    map.lengthY = s.dy * (s.ny - 1);
    map.colorMap = info.colorMap;
    map.symmetricRange = info.signedValues;
    map.title = info.title + (info.unit.empty() ? "" : " (" + info.unit + ")");
    map.caption = caption;
    return map;
}

}  // namespace

void SnapshotWriter::DrawPicture(const FlowSnapshot& s, FlowField field) {
    const FieldInfo& info = DescribeField(field);
    const PictureScale choice = ScaleChoice(field);
    HeatMap map = MapOf(s, info, files_.cellWidth);
    std::vector<double> values = FieldValues(s, field);
    const fs::path path = files_.directory / SnapshotFileName(info.name, s.steps, ".png");
    if (choice.range) {
        // Kept as the series' scale, so that a run continued without the range keeps it too.
        map.scale = ColorScale{choice.range->lo, choice.range->hi, choice.log};
        seriesScales_.insert_or_assign(field, *map.scale);
    } else if (seriesScales_.count(field) != 0) {
        map.scale = seriesScales_.at(field);
    } else {
        const ValueRange range = ScalableRange(values, choice.log);
        if (range.empty || !(range.max > range.min)) {
            pending_.push_back({field, choice.log, map, std::move(values), path});
            if (pending_.size() >= kMostPendingPictures) {
                DrawAllPending();
            }
            return;
        }
        map.scale = FitColorScale(values, info.signedValues, choice.log);
        seriesScales_.emplace(field, *map.scale);
        DrawPending(field, map.scale);
    }
    map.values = &values;
    WriteHeatMapPng(path, map);
    log_.Add("heat maps (PNG)", path);
}

void SnapshotWriter::DrawPending(FlowField field, const std::optional<ColorScale>& scale) {
    auto ofField = [&](const PendingPicture& p) { return p.field == field; };
    for (PendingPicture& p : pending_) {
        if (ofField(p)) {
            p.map.values = &p.values;
            p.map.scale = scale;
            WriteHeatMapPng(p.path, p.map);
            log_.Add("heat maps (PNG)", p.path);
        }
    }
    pending_.erase(std::remove_if(pending_.begin(), pending_.end(), ofField), pending_.end());
}

// Fields that stayed uniform so far: their series keeps the range fitted around the first
// picture's value.
void SnapshotWriter::DrawAllPending() {
    while (!pending_.empty()) {
        const PendingPicture& first = pending_.front();
        const FlowField field = first.field;
        const std::optional<ColorScale> scale =
            FitColorScale(first.values, first.map.symmetricRange, first.log);
        if (scale) {
            seriesScales_.emplace(field, *scale);
        }
        DrawPending(field, scale);
    }
}

void SnapshotWriter::Write(const FlowSnapshot& s) {
    for (FlowField field : files_.pictures) {
        DrawPicture(s, field);
    }
    if (files_.vtk) {
        const std::string name = SnapshotFileName("flow", s.steps, ".vti");
        // Rewritten with every snapshot, so an interrupted run still leaves a usable series.
        series_.push_back({NextFrameTime(series_, s.modelTime), name});
        WriteVti(files_.directory / name, s, series_.back().time);
        log_.Add("VTK image data (.vti)", files_.directory / name);
        WritePvd(files_.directory / "flow.pvd", series_);
    }
}

}  // namespace nembra_cli
