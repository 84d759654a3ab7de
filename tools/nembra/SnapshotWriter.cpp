#include "SnapshotWriter.h"

#include <cstdio>

#include "PngOutput.h"

namespace nembra_cli {

std::string SnapshotFileName(const std::string& stem, int step, const std::string& extension) {
    char number[16];
    std::snprintf(number, sizeof number, "%06d", step);
    return stem + "_" + number + extension;
}

SnapshotWriter::SnapshotWriter(SnapshotFiles files, std::vector<PvdEntry> series)
    : files_(std::move(files)), series_(std::move(series)), thread_([this] { Work(); }) {}

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

std::vector<PvdEntry> SnapshotWriter::Drain() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return (queue_.empty() && !writing_) || failure_; });
    if (failure_) {
        std::rethrow_exception(failure_);
    }
    return series_;
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

void SnapshotWriter::Write(const FlowSnapshot& s) {
    char caption[96];
    std::snprintf(caption, sizeof caption, "step %d    t = %.4g s    %d × %d nodes", s.steps,
                  s.modelTime, s.nx, s.ny);
    for (FlowField field : files_.pictures) {
        const FieldInfo& info = DescribeField(field);
        const std::vector<double> values = FieldValues(s, field);
        HeatMap map;
        map.values = &values;
        map.nx = s.nx;
        map.ny = s.ny;
        map.cellWidth = files_.cellWidth;
        map.cellHeight = s.dx > 0.0 ? files_.cellWidth * s.dy / s.dx : files_.cellWidth;
        map.lengthX = s.dx * (s.nx - 1);
        map.lengthY = s.dy * (s.ny - 1);
        map.colorMap = info.colorMap;
        map.symmetricRange = info.signedValues;
        map.title = info.title + (info.unit.empty() ? "" : " (" + info.unit + ")");
        map.caption = caption;
        const fs::path path = files_.directory / SnapshotFileName(info.name, s.steps, ".png");
        WriteHeatMapPng(path, map);
        log_.Add("heat maps (PNG)", path);
    }
    if (files_.vtk) {
        const std::string name = SnapshotFileName("flow", s.steps, ".vti");
        WriteVti(files_.directory / name, s);
        log_.Add("VTK image data (.vti)", files_.directory / name);
        // Rewritten with every snapshot, so an interrupted run still leaves a usable series.
        series_.push_back({NextFrameTime(series_, s.modelTime), name});
        WritePvd(files_.directory / "flow.pvd", series_);
    }
}

}  // namespace nembra_cli
