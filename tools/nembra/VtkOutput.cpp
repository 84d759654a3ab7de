#include "VtkOutput.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace nembra_cli {

namespace {

std::string ExactNumber(double value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

bool LittleEndianHost() {
    const std::uint16_t probe = 1;
    unsigned char first = 0;
    std::memcpy(&first, &probe, 1);
    return first == 1;
}

// Binary inline data: a UInt64 byte count, then the values, base64-encoded together.
void AppendDataArray(std::string& xml, const std::string& name, int components,
                     const std::vector<double>& values) {
    const std::uint64_t bytes = values.size() * sizeof(double);
    std::vector<unsigned char> block(sizeof bytes + bytes);
    std::memcpy(block.data(), &bytes, sizeof bytes);
    if (bytes > 0) {
        std::memcpy(block.data() + sizeof bytes, values.data(), bytes);
    }
    xml += "        <DataArray type=\"Float64\" Name=\"" + name + "\" NumberOfComponents=\"" +
           std::to_string(components) + "\" format=\"binary\">\n";
    xml += "          " + EncodeBase64(block.data(), block.size()) + "\n";
    xml += "        </DataArray>\n";
}

std::vector<double> Interleave(const FlowSnapshot& s) {
    std::vector<double> velocity(3 * s.NodeCount(), 0.0);
    for (std::size_t k = 0; k < s.NodeCount(); ++k) {
        velocity[3 * k] = s.u[k];
        velocity[3 * k + 1] = s.v[k];
    }
    return velocity;
}

}  // namespace

std::string EncodeBase64(const unsigned char* data, std::size_t size) {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out((size + 2) / 3 * 4, '=');
    char* o = out.data();
    std::size_t k = 0;
    for (; k + 2 < size; k += 3, o += 4) {
        const std::uint32_t triple = data[k] << 16 | data[k + 1] << 8 | data[k + 2];
        o[0] = kAlphabet[triple >> 18 & 63];
        o[1] = kAlphabet[triple >> 12 & 63];
        o[2] = kAlphabet[triple >> 6 & 63];
        o[3] = kAlphabet[triple & 63];
    }
    if (k < size) {
        const bool two = k + 1 < size;
        const std::uint32_t triple = data[k] << 16 | (two ? data[k + 1] << 8 : 0);
        o[0] = kAlphabet[triple >> 18 & 63];
        o[1] = kAlphabet[triple >> 12 & 63];
        if (two) {
            o[2] = kAlphabet[triple >> 6 & 63];
        }
    }
    return out;
}

std::string VtiDocument(const FlowSnapshot& s, double frameTime) {
    const std::string extent =
        "0 " + std::to_string(s.nx - 1) + " 0 " + std::to_string(s.ny - 1) + " 0 0";
    std::string xml;
    xml.reserve(s.NodeCount() * 8 * 8 * 4 / 3 + 2048);
    xml += "<?xml version=\"1.0\"?>\n";
    xml += "<VTKFile type=\"ImageData\" version=\"1.0\" byte_order=\"";
    xml += LittleEndianHost() ? "LittleEndian" : "BigEndian";
    xml += "\" header_type=\"UInt64\">\n";
    // The z spacing is irrelevant for a single layer; dx keeps the cells' proportions sensible.
    xml += "  <ImageData WholeExtent=\"" + extent + "\" Origin=\"0 0 0\" Spacing=\"" +
           ExactNumber(s.dx) + " " + ExactNumber(s.dy) + " " + ExactNumber(s.dx) + "\">\n";
    // TimeValue is the frame's time, as in the collection, so that a reader opening the files
    // as a group keeps frames apart that the model time does not; ModelTime is the exact sum.
    xml += "    <FieldData>\n";
    xml +=
        "      <DataArray type=\"Float64\" Name=\"TimeValue\" NumberOfTuples=\"1\" "
        "format=\"ascii\">" +
        ExactNumber(frameTime) + "</DataArray>\n";
    xml +=
        "      <DataArray type=\"Float64\" Name=\"ModelTime\" NumberOfTuples=\"1\" "
        "format=\"ascii\">" +
        ExactNumber(s.modelTime) + "</DataArray>\n";
    xml += "    </FieldData>\n";
    xml += "    <Piece Extent=\"" + extent + "\">\n";
    xml += "      <PointData Scalars=\"density\" Vectors=\"velocity\">\n";
    AppendDataArray(xml, "density", 1, s.rho);
    AppendDataArray(xml, "velocity", 3, Interleave(s));
    AppendDataArray(xml, "temperature", 1, s.t);
    AppendDataArray(xml, "pressure", 1, s.p);
    AppendDataArray(xml, "mach", 1, FieldValues(s, FlowField::Mach));
    AppendDataArray(xml, "viscosity", 1, s.mu);
    xml += "      </PointData>\n";
    xml += "      <CellData>\n      </CellData>\n";
    xml += "    </Piece>\n";
    xml += "  </ImageData>\n";
    xml += "</VTKFile>\n";
    return xml;
}

void WriteVti(const fs::path& path, const FlowSnapshot& snapshot, double frameTime) {
    WriteTextAtomically(path, VtiDocument(snapshot, frameTime));
}

std::string PvdDocument(const std::vector<PvdEntry>& entries) {
    std::string xml =
        "<?xml version=\"1.0\"?>\n<VTKFile type=\"Collection\" version=\"1.0\">\n"
        "  <Collection>\n";
    for (const PvdEntry& entry : entries) {
        xml += "    <DataSet timestep=\"" + ExactNumber(entry.time) +
               "\" group=\"\" part=\"0\" file=\"" + entry.file + "\"/>\n";
    }
    xml += "  </Collection>\n</VTKFile>\n";
    return xml;
}

double NextFrameTime(const std::vector<PvdEntry>& entries, double modelTime) {
    if (entries.empty() || modelTime > entries.back().time) {
        return modelTime;
    }
    return std::nextafter(entries.back().time, HUGE_VAL);
}

void WritePvd(const fs::path& path, const std::vector<PvdEntry>& entries) {
    WriteTextAtomically(path, PvdDocument(entries));
}

}  // namespace nembra_cli
