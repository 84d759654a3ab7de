#include "Checkpoint.h"

#include <fcntl.h>
#include <hdf5.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstring>

#include "FlowFields.h"
#include "PrintableText.h"

namespace nembra_cli {

// The file's layout (all names are HDF5 paths; "@" marks an attribute):
//   /@format = "nembra flow checkpoint", /@format_version = 1
//   /solver@constructor ("default" or "four-argument"), @nodes_x, @nodes_y, @length_x,
//          @max_step_count, @step_count, @delta_t
//   /solver/setting@<member>   the members that follow from construction (delta_x, gamma, ...)
//   /solver/mesh               nodes_x x nodes_y x 44 doubles: every slot of node (i, j) at
//                              [i][j][slot], in the record's slot order (@slots names them)
//   /case@name, @<state>       the case and its own state (numbers and words)
//   /run@...                   the command line's counts, model time and output options
//   /run/series_time, /run/series_file   the .pvd collection so far
//   /run/scale_field, /run/scale_range, /run/scale_kind   the colour scale of each field's heat
//                              maps so far: n names, n x 2 doubles (min, max), n of linear or log
namespace {

constexpr char kFormatName[] = "nembra flow checkpoint";
constexpr int kSlots = 44;
static_assert(sizeof(FlowNode) == kSlots * sizeof(double), "a node is 44 doubles");

constexpr char kSlotNames[] =
    "Rho,RhoU,RhoV,Et,U,V,Eint,T,P,Mu,K,UProspect,VProspect,EintProspect,TProspect,RhoProspect,"
    "PProspect,EtProspect,MuProspect,KProspect,FluxE0,FluxE1,FluxE2,FluxE3,FluxF0,FluxF1,FluxF2,"
    "FluxF3,DUDt0,DUDt1,DUDt2,DUDt3,QProspect0,QProspect1,QProspect2,QProspect3,FluxEProspect0,"
    "FluxEProspect1,FluxEProspect2,FluxEProspect3,FluxFProspect0,FluxFProspect1,FluxFProspect2,"
    "FluxFProspect3";

// A case's state and a list of names stay small; anything larger is not a file of ours.
constexpr int kMostStateValues = 64;
constexpr std::size_t kLongestText = 4096;

// Owns one HDF5 identifier.
class Handle {
public:
    Handle(hid_t id, herr_t (*close)(hid_t)) : id_(id), close_(close) {}
    ~Handle() {
        if (id_ >= 0) {
            close_(id_);
        }
    }
    Handle(Handle&& other) noexcept : id_(other.id_), close_(other.close_) { other.id_ = -1; }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle& operator=(Handle&&) = delete;
    hid_t get() const { return id_; }
    bool valid() const { return id_ >= 0; }
    // Closes now and tells whether that worked: closing the file writes what is left.
    bool Close() {
        const hid_t id = id_;
        id_ = -1;
        return close_(id) >= 0;
    }

private:
    hid_t id_;
    herr_t (*close_)(hid_t);
};

// HDF5 prints its own error stack by default; this code reports failures itself.
void SilenceHdf5() {
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
}

Handle VariableText() {
    Handle type(H5Tcopy(H5T_C_S1), H5Tclose);
    H5Tset_size(type.get(), H5T_VARIABLE);
    H5Tset_cset(type.get(), H5T_CSET_UTF8);
    return type;
}

std::string Join(const std::vector<std::string>& names) {
    std::string joined;
    for (const std::string& name : names) {
        joined += (joined.empty() ? "" : ",") + name;
    }
    return joined;
}

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (!text.empty() && start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        names.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    return names;
}

// ---------------------------------------------------------------------------------------------
// Writing

class Hdf5Writer {
public:
    explicit Hdf5Writer(fs::path path) : path_(std::move(path)) {}

    hid_t Check(hid_t id, const char* what) const {
        if (id < 0) {
            Fail(what);
        }
        return id;
    }
    [[noreturn]] void Fail(const std::string& what) const {
        throw OutputError("cannot write '" + path_.string() + "': HDF5 could not " + what);
    }

    Handle Group(hid_t parent, const char* name) const {
        return Handle(Check(H5Gcreate2(parent, name, H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT),
                            "create a group"),
                      H5Gclose);
    }

    void Attribute(hid_t object, const std::string& name, hid_t fileType, hid_t memoryType,
                   const void* value) const {
        Handle space(Check(H5Screate(H5S_SCALAR), "create a dataspace"), H5Sclose);
        Handle attribute(
            Check(H5Acreate2(object, name.c_str(), fileType, space.get(), H5P_DEFAULT, H5P_DEFAULT),
                  "create an attribute"),
            H5Aclose);
        if (H5Awrite(attribute.get(), memoryType, value) < 0) {
            Fail("write attribute " + name);
        }
    }
    void Number(hid_t object, const std::string& name, double value) const {
        Attribute(object, name, H5T_IEEE_F64LE, H5T_NATIVE_DOUBLE, &value);
    }
    void Whole(hid_t object, const std::string& name, long long value) const {
        Attribute(object, name, H5T_STD_I64LE, H5T_NATIVE_LLONG, &value);
    }
    void Text(hid_t object, const std::string& name, const std::string& value) const {
        const Handle type = VariableText();
        const char* text = value.c_str();
        Attribute(object, name, type.get(), type.get(), &text);
    }

    void Dataset(hid_t parent, const char* name, const std::vector<hsize_t>& dims, hid_t fileType,
                 hid_t memoryType, const void* data) const {
        Handle space(Check(H5Screate_simple(static_cast<int>(dims.size()), dims.data(), nullptr),
                           "create a dataspace"),
                     H5Sclose);
        Handle dataset(Check(H5Dcreate2(parent, name, fileType, space.get(), H5P_DEFAULT,
                                        H5P_DEFAULT, H5P_DEFAULT),
                             "create a dataset"),
                       H5Dclose);
        bool empty = false;
        for (hsize_t d : dims) {
            empty = empty || d == 0;
        }
        if (!empty &&
            H5Dwrite(dataset.get(), memoryType, H5S_ALL, H5S_ALL, H5P_DEFAULT, data) < 0) {
            Fail(std::string("write dataset ") + name);
        }
    }

private:
    fs::path path_;
};

void WriteSolver(const Hdf5Writer& w, hid_t file, const SolverRecord& s) {
    const Handle solver = w.Group(file, "solver");
    w.Text(solver.get(), "constructor", s.defaultConstructor ? "default" : "four-argument");
    w.Whole(solver.get(), "nodes_x", s.nodesX);
    w.Whole(solver.get(), "nodes_y", s.nodesY);
    w.Number(solver.get(), "length_x", s.lengthX);
    w.Whole(solver.get(), "max_step_count", s.maxStepCount);
    w.Whole(solver.get(), "step_count", s.stepCount);
    w.Number(solver.get(), "delta_t", s.deltaT);
    const Handle setting = w.Group(solver.get(), "setting");
    for (const auto& [name, value] : s.setting) {
        w.Number(setting.get(), name, value);
    }
    w.Dataset(solver.get(), "mesh",
              {static_cast<hsize_t>(s.nodesX), static_cast<hsize_t>(s.nodesY), kSlots},
              H5T_IEEE_F64LE, H5T_NATIVE_DOUBLE, s.nodes.data());
    const Handle mesh(w.Check(H5Dopen2(solver.get(), "mesh", H5P_DEFAULT), "open the mesh"),
                      H5Dclose);
    w.Text(mesh.get(), "slots", kSlotNames);
}

void WriteCase(const Hdf5Writer& w, hid_t file, const std::string& caseName,
               const CaseState& state) {
    const Handle group = w.Group(file, "case");
    w.Text(group.get(), "name", caseName);
    for (const auto& [name, value] : state.numbers) {
        w.Number(group.get(), name, value);
    }
    for (const auto& [name, value] : state.words) {
        w.Text(group.get(), name, value);
    }
}

void WriteScales(const Hdf5Writer& w, hid_t run, const std::vector<FieldScale>& scales) {
    std::vector<const char*> fields;
    std::vector<double> bounds;
    std::vector<const char*> kinds;
    for (const FieldScale& s : scales) {
        fields.push_back(s.field.c_str());
        bounds.push_back(s.scale.min);
        bounds.push_back(s.scale.max);
        kinds.push_back(s.scale.log ? "log" : "linear");
    }
    const hsize_t count = scales.size();
    const Handle text = VariableText();
    w.Dataset(run, "scale_field", {count}, text.get(), text.get(), fields.data());
    w.Dataset(run, "scale_range", {count, 2}, H5T_IEEE_F64LE, H5T_NATIVE_DOUBLE, bounds.data());
    w.Dataset(run, "scale_kind", {count}, text.get(), text.get(), kinds.data());
}

void WriteRun(const Hdf5Writer& w, hid_t file, const RunRecord& r) {
    const Handle run = w.Group(file, "run");
    w.Whole(run.get(), "calls", r.calls);
    w.Whole(run.get(), "steps", r.steps);
    w.Number(run.get(), "model_time", r.modelTime);
    w.Whole(run.get(), "non_finite_reports", r.nonFiniteReports);
    w.Whole(run.get(), "snapshots", r.snapshots);
    w.Whole(run.get(), "last_snapshot_step", r.lastSnapshotStep);
    w.Number(run.get(), "solver_seconds", r.solverSeconds);
    w.Number(run.get(), "total_seconds", r.totalSeconds);
    w.Whole(run.get(), "snapshot_every", r.snapshotEvery);
    w.Whole(run.get(), "checkpoint_every", r.checkpointEvery);
    w.Text(run.get(), "fields", Join(r.fields));
    w.Text(run.get(), "formats", Join(r.formats));
    if (r.pixelsPerNode) {
        w.Number(run.get(), "pixels_per_node", *r.pixelsPerNode);
    }
    std::vector<double> times;
    std::vector<const char*> files;
    for (const PvdEntry& entry : r.series) {
        times.push_back(entry.time);
        files.push_back(entry.file.c_str());
    }
    const std::vector<hsize_t> count{static_cast<hsize_t>(r.series.size())};
    w.Dataset(run.get(), "series_time", count, H5T_IEEE_F64LE, H5T_NATIVE_DOUBLE, times.data());
    const Handle text = VariableText();
    w.Dataset(run.get(), "series_file", count, text.get(), text.get(), files.data());
    WriteScales(w, run.get(), r.scales);
}

bool WriteHdf5(const fs::path& path, const Checkpoint& c) {
    SilenceHdf5();
    const Hdf5Writer w(path);
    Handle creation(w.Check(H5Pcreate(H5P_FILE_CREATE), "make a property list"), H5Pclose);
    if (H5Pset_userblock(creation.get(), kSealBytes) < 0) {
        w.Fail("reserve the header block");
    }
    Handle file(w.Check(H5Fcreate(path.c_str(), H5F_ACC_TRUNC, creation.get(), H5P_DEFAULT),
                        "create the file"),
                H5Fclose);
    w.Text(file.get(), "format", kFormatName);
    w.Whole(file.get(), "format_version", kCheckpointFormatVersion);
    WriteSolver(w, file.get(), c.solver);
    WriteCase(w, file.get(), c.caseName, c.caseState);
    WriteRun(w, file.get(), c.run);
    if (!file.Close()) {
        w.Fail("finish the file (is the disk full?)");
    }
    SealFile(path, kCheckpointFormatVersion);
    return true;
}

// A rename is on the disk only once its folder is.
void FlushFolder(const fs::path& folder) {
    const int fd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// ---------------------------------------------------------------------------------------------
// Reading: every object is looked up, typed and sized before it is read.

class Hdf5Reader {
public:
    explicit Hdf5Reader(std::string name) : name_(std::move(name)) {}

    // The problem may quote names read from the file, which may hold terminal escapes.
    [[noreturn]] void Fail(const std::string& problem) const {
        throw CheckpointError(name_ + " " + Printable(problem));
    }

    Handle Group(hid_t parent, const char* path) const {
        if (H5Lexists(parent, path, H5P_DEFAULT) <= 0) {
            Fail(std::string("has no group '") + path + "': it is not a flow checkpoint");
        }
        Handle group(H5Gopen2(parent, path, H5P_DEFAULT), H5Gclose);
        if (!group.valid()) {
            Fail(std::string("has a '") + path + "' that is not a group");
        }
        return group;
    }

    Handle OpenAttribute(hid_t object, const std::string& name, H5T_class_t wanted) const {
        if (H5Aexists(object, name.c_str()) <= 0) {
            Fail("lacks the value '" + name + "'");
        }
        Handle attribute(H5Aopen(object, name.c_str(), H5P_DEFAULT), H5Aclose);
        Handle space(H5Aget_space(attribute.get()), H5Sclose);
        Handle type(H5Aget_type(attribute.get()), H5Tclose);
        if (!attribute.valid() || !space.valid() || !type.valid() ||
            H5Sget_simple_extent_type(space.get()) != H5S_SCALAR ||
            H5Tget_class(type.get()) != wanted) {
            Fail("has a value '" + name + "' of the wrong kind");
        }
        return attribute;
    }
    double Number(hid_t object, const std::string& name) const {
        const Handle attribute = OpenAttribute(object, name, H5T_FLOAT);
        double value = 0.0;
        if (H5Aread(attribute.get(), H5T_NATIVE_DOUBLE, &value) < 0) {
            Fail("has an unreadable value '" + name + "'");
        }
        return value;
    }
    long long Whole(hid_t object, const std::string& name, long long least, long long most) const {
        const Handle attribute = OpenAttribute(object, name, H5T_INTEGER);
        long long value = 0;
        if (H5Aread(attribute.get(), H5T_NATIVE_LLONG, &value) < 0) {
            Fail("has an unreadable value '" + name + "'");
        }
        if (value < least || value > most) {
            Fail("has '" + name + "' = " + std::to_string(value) + ", outside " +
                 std::to_string(least) + " to " + std::to_string(most));
        }
        return value;
    }
    int Int(hid_t object, const std::string& name, long long least) const {
        return static_cast<int>(Whole(object, name, least, INT32_MAX));
    }
    std::string Text(hid_t object, const std::string& name) const {
        const Handle attribute = OpenAttribute(object, name, H5T_STRING);
        const Handle stored(H5Aget_type(attribute.get()), H5Tclose);
        if (H5Tis_variable_str(stored.get()) <= 0) {
            Fail("has a value '" + name + "' of the wrong kind");
        }
        const Handle type = VariableText();
        char* text = nullptr;
        if (H5Aread(attribute.get(), type.get(), &text) < 0 || text == nullptr) {
            Fail("has an unreadable value '" + name + "'");
        }
        const std::string value(text, ::strnlen(text, kLongestText + 1));
        H5free_memory(text);
        if (value.size() > kLongestText) {
            Fail("has an overlong value '" + name + "'");
        }
        return value;
    }

    // An open dataset of the given class whose extent is `dims`.
    Handle Dataset(hid_t parent, const char* name, H5T_class_t wanted,
                   const std::vector<hsize_t>& dims) const {
        if (H5Lexists(parent, name, H5P_DEFAULT) <= 0) {
            Fail(std::string("lacks the dataset '") + name + "'");
        }
        Handle dataset(H5Dopen2(parent, name, H5P_DEFAULT), H5Dclose);
        Handle space(H5Dget_space(dataset.get()), H5Sclose);
        Handle type(H5Dget_type(dataset.get()), H5Tclose);
        std::vector<hsize_t> stored(dims.size());
        if (!dataset.valid() || !space.valid() || !type.valid() ||
            H5Tget_class(type.get()) != wanted ||
            H5Sget_simple_extent_ndims(space.get()) != static_cast<int>(dims.size()) ||
            H5Sget_simple_extent_dims(space.get(), stored.data(), nullptr) < 0 || stored != dims) {
            Fail(std::string("has a dataset '") + name + "' of the wrong kind or size");
        }
        return dataset;
    }
    void Read(const Handle& dataset, const char* name, hid_t memoryType, void* data) const {
        if (H5Dread(dataset.get(), memoryType, H5S_ALL, H5S_ALL, H5P_DEFAULT, data) < 0) {
            Fail(std::string("has an unreadable dataset '") + name + "'");
        }
    }
    // The extent of a one-dimensional dataset.
    hsize_t Length(hid_t parent, const char* name) const {
        if (H5Lexists(parent, name, H5P_DEFAULT) <= 0) {
            Fail(std::string("lacks the dataset '") + name + "'");
        }
        Handle dataset(H5Dopen2(parent, name, H5P_DEFAULT), H5Dclose);
        Handle space(H5Dget_space(dataset.get()), H5Sclose);
        hsize_t length = 0;
        if (!dataset.valid() || !space.valid() || H5Sget_simple_extent_ndims(space.get()) != 1 ||
            H5Sget_simple_extent_dims(space.get(), &length, nullptr) < 0) {
            Fail(std::string("has a dataset '") + name + "' of the wrong kind");
        }
        return length;
    }

    const std::string& Name() const { return name_; }

private:
    std::string name_;
};

std::vector<std::pair<std::string, H5T_class_t>> AttributeNames(const Hdf5Reader& r, hid_t object) {
    std::vector<std::pair<std::string, H5T_class_t>> names;
    H5O_info_t info{};
    if (H5Oget_info2(object, &info, H5O_INFO_NUM_ATTRS) < 0 ||
        info.num_attrs > static_cast<hsize_t>(kMostStateValues)) {
        r.Fail("has an unreadable or overlong list of values");
    }
    for (hsize_t k = 0; k < info.num_attrs; ++k) {
        Handle attribute(
            H5Aopen_by_idx(object, ".", H5_INDEX_NAME, H5_ITER_INC, k, H5P_DEFAULT, H5P_DEFAULT),
            H5Aclose);
        char name[256] = {};
        Handle type(attribute.valid() ? H5Aget_type(attribute.get()) : -1, H5Tclose);
        const ssize_t length =
            attribute.valid() ? H5Aget_name(attribute.get(), sizeof name, name) : -1;
        if (!type.valid() || length <= 0 || static_cast<std::size_t>(length) >= sizeof name) {
            r.Fail("has an unreadable value name");
        }
        names.emplace_back(std::string(name), H5Tget_class(type.get()));
    }
    return names;
}

void ReadSolver(const Hdf5Reader& r, hid_t file, std::size_t fileBytes, SolverRecord& s) {
    const Handle solver = r.Group(file, "solver");
    const std::string constructor = r.Text(solver.get(), "constructor");
    if (constructor != "default" && constructor != "four-argument") {
        r.Fail("names an unknown constructor '" + constructor + "'");
    }
    s.defaultConstructor = constructor == "default";
    s.nodesX = r.Int(solver.get(), "nodes_x", 1);
    s.nodesY = r.Int(solver.get(), "nodes_y", 1);
    s.lengthX = r.Number(solver.get(), "length_x");
    if (!(std::isfinite(s.lengthX) && s.lengthX > 0.0)) {
        r.Fail("has a length_x that is not a positive number");
    }
    s.maxStepCount = r.Int(solver.get(), "max_step_count", 1);
    s.stepCount = static_cast<int>(r.Whole(solver.get(), "step_count", 1, s.maxStepCount));
    s.deltaT = r.Number(solver.get(), "delta_t");

    const Handle setting = r.Group(solver.get(), "setting");
    for (const auto& [name, kind] : AttributeNames(r, setting.get())) {
        s.setting.emplace_back(name, r.Number(setting.get(), name));
    }

    // The records are stored whole in the file, so a mesh larger than the file is a lie that
    // must not become an allocation.
    const double bytes = static_cast<double>(s.nodesX) * s.nodesY * sizeof(FlowNode);
    if (bytes > static_cast<double>(fileBytes)) {
        r.Fail("claims a mesh of " + std::to_string(s.nodesX) + " × " + std::to_string(s.nodesY) +
               " nodes, more than the file holds");
    }
    const Handle mesh =
        r.Dataset(solver.get(), "mesh", H5T_FLOAT,
                  {static_cast<hsize_t>(s.nodesX), static_cast<hsize_t>(s.nodesY), kSlots});
    s.nodes.resize(static_cast<std::size_t>(s.nodesX) * static_cast<std::size_t>(s.nodesY));
    r.Read(mesh, "mesh", H5T_NATIVE_DOUBLE, s.nodes.data());
}

void ReadCase(const Hdf5Reader& r, hid_t file, std::string& caseName, CaseState& state) {
    const Handle group = r.Group(file, "case");
    caseName = r.Text(group.get(), "name");
    for (const auto& [name, kind] : AttributeNames(r, group.get())) {
        if (name == "name") {
            continue;
        }
        if (kind == H5T_FLOAT) {
            state.numbers[name] = r.Number(group.get(), name);
        } else if (kind == H5T_STRING) {
            state.words[name] = r.Text(group.get(), name);
        } else {
            r.Fail("has a case value '" + name + "' of the wrong kind");
        }
    }
}

// Names of snapshot files: plain names inside the output folder, nothing XML would read as
// markup.
bool IsPlainFileName(const std::string& name) {
    return !name.empty() && name.size() <= 255 && name.front() != '.' &&
           name.find_first_not_of(
               "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
               "0123456789_.-") == std::string::npos;
}

// The texts of a one-dimensional dataset of `count` variable-length strings; longer ones are cut
// to 256 characters, more than any name the file holds.
std::vector<std::string> ReadTexts(const Hdf5Reader& r, hid_t parent, const char* name,
                                   hsize_t count) {
    const Handle dataset = r.Dataset(parent, name, H5T_STRING, {count});
    const Handle stored(H5Dget_type(dataset.get()), H5Tclose);
    if (H5Tis_variable_str(stored.get()) <= 0) {
        r.Fail(std::string("has a dataset '") + name + "' of the wrong kind");
    }
    std::vector<char*> read(count, nullptr);
    if (count > 0) {
        const Handle text = VariableText();
        r.Read(dataset, name, text.get(), read.data());
    }
    std::vector<std::string> texts;
    for (char* text : read) {
        texts.push_back(text != nullptr ? std::string(text, ::strnlen(text, 256)) : std::string());
        H5free_memory(text);
    }
    return texts;
}

void ReadSeries(const Hdf5Reader& r, hid_t run, std::vector<PvdEntry>& series) {
    const hsize_t count = r.Length(run, "series_time");
    if (count > 10'000'000) {
        r.Fail("has an overlong series");
    }
    const Handle times = r.Dataset(run, "series_time", H5T_FLOAT, {count});
    const std::vector<std::string> files = ReadTexts(r, run, "series_file", count);
    std::vector<double> time(count);
    if (count > 0) {
        r.Read(times, "series_time", H5T_NATIVE_DOUBLE, time.data());
    }
    bool plain = true;
    for (hsize_t k = 0; k < count; ++k) {
        plain = plain && IsPlainFileName(files[k]);
        series.push_back({time[k], files[k]});
    }
    if (!plain) {
        r.Fail("lists a series file that is not a plain file name");
    }
}

// A scale the heat maps could have been drawn on: a known field, finite MIN < MAX, and for a
// scale by decades MIN > 0 on a field that keeps its sign.
ColorScale CheckedScale(const Hdf5Reader& r, const std::string& field, const double* bounds,
                        const std::string& kind) {
    const std::optional<FlowField> known = FindFlowField(field);
    if (!known) {
        r.Fail("has a colour scale of an unknown field '" + field + "'");
    }
    if (kind != "linear" && kind != "log") {
        r.Fail("has a colour scale of " + field + " that is neither linear nor log");
    }
    const ColorScale scale{bounds[0], bounds[1], kind == "log"};
    if (!(std::isfinite(scale.min) && std::isfinite(scale.max) && scale.min < scale.max)) {
        r.Fail("has a colour scale of " + field + " that is not finite numbers MIN < MAX");
    }
    if (scale.log && DescribeField(*known).signedValues) {
        r.Fail("has a log colour scale of " + field + ", a field that changes sign");
    }
    if (scale.log && !(scale.min > 0.0)) {
        r.Fail("has a log colour scale of " + field + " with MIN not above 0");
    }
    return scale;
}

// Files of runs that kept no colour scales have none of the three datasets.
void ReadScales(const Hdf5Reader& r, hid_t run, std::vector<FieldScale>& scales) {
    const char* const names[] = {"scale_field", "scale_range", "scale_kind"};
    bool any = false;
    for (const char* name : names) {
        any = any || H5Lexists(run, name, H5P_DEFAULT) > 0;
    }
    if (!any) {
        return;
    }
    const hsize_t count = r.Length(run, "scale_field");
    if (count > AllFlowFields().size()) {
        r.Fail("has more colour scales than there are fields");
    }
    const std::vector<std::string> fields = ReadTexts(r, run, "scale_field", count);
    const std::vector<std::string> kinds = ReadTexts(r, run, "scale_kind", count);
    const Handle ranges = r.Dataset(run, "scale_range", H5T_FLOAT, {count, 2});
    std::vector<double> bounds(2 * count);
    if (count > 0) {
        r.Read(ranges, "scale_range", H5T_NATIVE_DOUBLE, bounds.data());
    }
    for (hsize_t k = 0; k < count; ++k) {
        for (const FieldScale& earlier : scales) {
            if (earlier.field == fields[k]) {
                r.Fail("has two colour scales of " + fields[k]);
            }
        }
        scales.push_back({fields[k], CheckedScale(r, fields[k], &bounds[2 * k], kinds[k])});
    }
}

void ReadRun(const Hdf5Reader& r, hid_t file, RunRecord& run) {
    const Handle group = r.Group(file, "run");
    const hid_t g = group.get();
    run.calls = r.Int(g, "calls", 0);
    run.steps = static_cast<int>(r.Whole(g, "steps", 0, run.calls));
    run.modelTime = r.Number(g, "model_time");
    run.nonFiniteReports = r.Whole(g, "non_finite_reports", 0, INT64_MAX);
    run.snapshots = r.Int(g, "snapshots", 0);
    run.lastSnapshotStep = static_cast<int>(r.Whole(g, "last_snapshot_step", -1, run.steps));
    run.solverSeconds = r.Number(g, "solver_seconds");
    run.totalSeconds = r.Number(g, "total_seconds");
    run.snapshotEvery = r.Int(g, "snapshot_every", 1);
    run.checkpointEvery = r.Int(g, "checkpoint_every", 1);
    run.fields = Split(r.Text(g, "fields"));
    run.formats = Split(r.Text(g, "formats"));
    if (H5Aexists(g, "pixels_per_node") > 0) {
        run.pixelsPerNode = r.Number(g, "pixels_per_node");
        if (!(std::isfinite(*run.pixelsPerNode) && *run.pixelsPerNode > 0.0)) {
            r.Fail("has a pixels_per_node that is not a positive number");
        }
    }
    ReadSeries(r, g, run.series);
    ReadScales(r, g, run.scales);
}

Checkpoint ReadHdf5(const std::string& name, std::vector<unsigned char>& image) {
    SilenceHdf5();
    const Hdf5Reader r(name);
    // The checked bytes themselves are parsed, from memory: the file on disk may change meanwhile.
    Handle access(H5Pcreate(H5P_FILE_ACCESS), H5Pclose);
    if (!access.valid() || H5Pset_fapl_core(access.get(), 1 << 20, 0) < 0 ||
        H5Pset_file_image(access.get(), image.data(), image.size()) < 0) {
        r.Fail("cannot be read: HDF5 could not take it in");
    }
    Handle file(H5Fopen("checkpoint-in-memory", H5F_ACC_RDONLY, access.get()), H5Fclose);
    if (!file.valid()) {
        r.Fail("is not an HDF5 file");
    }
    if (r.Text(file.get(), "format") != kFormatName) {
        r.Fail("is not a flow checkpoint");
    }
    const long long version = r.Whole(file.get(), "format_version", 0, INT32_MAX);
    if (version != kCheckpointFormatVersion) {
        r.Fail("has format version " + std::to_string(version) + "; this nembra reads version " +
               std::to_string(kCheckpointFormatVersion));
    }
    Checkpoint c;
    ReadSolver(r, file.get(), image.size(), c.solver);
    ReadCase(r, file.get(), c.caseName, c.caseState);
    ReadRun(r, file.get(), c.run);
    if (c.run.calls < c.solver.stepCount - 1) {
        r.Fail("counts fewer calls than the solver's steps");
    }
    return c;
}

// HDF5 trusts a file's metadata: contents made to crash its parser, or to send it round in
// circles, would take the program down with them, and the header's CRC stops only damage, not a
// file made on purpose. So the contents are read first in a child process, which only tells
// whether the reading came to an end (with the checkpoint or with a refusal); they are read here
// only when it did. The reading is deterministic, so the second one ends as the first did.
unsigned ReadingAllowanceSeconds(std::size_t bytes) {
    return 10 + static_cast<unsigned>(bytes / 10'000'000);
}

// The child ends as the system ends a failing process (no handler of the program's, no core file,
// nothing on the terminal): its way of ending is all it has to tell.
void BecomeQuietReader() {
    for (const int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGALRM}) {
        std::signal(signal, SIG_DFL);
    }
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    const int nowhere = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (nowhere >= 0) {
        ::dup2(nowhere, STDOUT_FILENO);
        ::dup2(nowhere, STDERR_FILENO);
    }
}

void RequireHdf5ReadingEnds(const std::string& name, std::vector<unsigned char>& image) {
    const unsigned allowance = ReadingAllowanceSeconds(image.size());
    const pid_t child = ::fork();
    if (child < 0) {
        throw CheckpointError("cannot check " + name + ": " + std::strerror(errno));
    }
    if (child == 0) {
        BecomeQuietReader();
        ::alarm(allowance);
        try {
            ReadHdf5(name, image);
        } catch (...) {
            // A refusal is an end too: the reading here will meet it and report it.
        }
        ::_exit(0);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            throw CheckpointError("cannot check " + name + ": " + std::strerror(errno));
        }
    }
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM) {
        throw CheckpointError(name + " is damaged: the HDF5 library did not finish reading it in " +
                              std::to_string(allowance) + " s");
    }
    if (WIFSIGNALED(status)) {
        throw CheckpointError(name + " is damaged: the HDF5 library failed on its contents (" +
                              ::strsignal(WTERMSIG(status)) + ")");
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw CheckpointError(name + " is damaged: the HDF5 library failed on its contents");
    }
}

}  // namespace

fs::path CheckpointPath(const fs::path& outputDirectory) {
    return outputDirectory / "checkpoint.h5";
}

std::vector<std::pair<std::string, double>> SolverSetting(
    const Nembra::NavierStokesEquations2D& s) {
    return {{"delta_x", s.GetDeltaX()},
            {"delta_y", s.GetDeltaY()},
            {"length_y", s.GetLengthY()},
            {"u_inf", s.GetUInf()},
            {"v_inf", s.GetVInf()},
            {"t_inf", s.GetTInf()},
            {"p_inf", s.GetPInf()},
            {"rho_inf", s.GetRhoInf()},
            {"mach_inf", s.GetMachInf()},
            {"reynolds_l", s.GetReynoldsL()},
            {"gamma", s.GetGamma()},
            {"gas_constant", s.GetGasConstant()},
            {"cv", s.GetCv()},
            {"cp", s.GetCp()},
            {"prandtl", s.GetPrandtl()},
            {"wall_temperature_ratio", s.GetWallTemperatureRatio()},
            {"courant", s.GetCourant()}};
}

void RecordSolver(Nembra::NavierStokesEquations2D& solver, int stepOffset, SolverRecord& record) {
    int nx = 0;
    int ny = 0;
    FlowNode** mesh = solver.GetMeshNodes(nx, ny);
    record.nodesX = nx;
    record.nodesY = ny;
    record.lengthX = solver.GetLengthX();
    record.stepCount = solver.GetStepCount() + stepOffset;
    record.maxStepCount = solver.GetMaxStepCount() + stepOffset;
    record.deltaT = solver.GetDeltaT();
    record.setting = SolverSetting(solver);
    record.nodes.resize(static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny));
    for (int i = 0; i < nx; ++i) {
        std::memcpy(&record.nodes[static_cast<std::size_t>(i) * ny], mesh[i],
                    sizeof(FlowNode) * static_cast<std::size_t>(ny));
    }
}

void WriteCheckpoint(const fs::path& path, const Checkpoint& checkpoint) {
    WriteAtomically(path,
                    [&](const fs::path& temporary) { return WriteHdf5(temporary, checkpoint); });
    FlushFolder(path.parent_path());
}

Checkpoint ReadCheckpoint(const fs::path& path) {
    int version = 0;
    std::vector<unsigned char> image = ReadSealedFile(path, version);
    const std::string name = "checkpoint '" + path.string() + "'";
    if (version != kCheckpointFormatVersion) {
        throw CheckpointError(name + " has format version " + std::to_string(version) +
                              "; this nembra reads version " +
                              std::to_string(kCheckpointFormatVersion));
    }
    RequireHdf5ReadingEnds(name, image);
    return ReadHdf5(name, image);
}

}  // namespace nembra_cli
