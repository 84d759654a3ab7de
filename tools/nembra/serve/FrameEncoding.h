#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace nembra_cli {

// Binary WebSocket frames: a fixed 80-byte little-endian header, then nx * (ny + extraRows)
// 32-bit floats, x fastest. The page reads the header with a DataView; doubles keep step and time
// exact.
enum class FrameKind : std::uint32_t { FlowField = 1, DiffusionProfiles = 2 };

struct FrameHeader {
    FrameKind kind = FrameKind::FlowField;
    std::uint32_t nx = 0;
    std::uint32_t ny = 0;
    std::uint32_t quantity = 0;   // index in the model's list of quantities
    std::uint32_t calls = 0;      // solver calls made
    std::uint32_t steps = 0;      // time steps taken
    std::uint32_t extraRows = 0;  // rows of nx values after the ny rows (shock tube: 2)
    double modelTime = 0.0;
    double deltaT = 0.0;
    double dx = 0.0;
    double dy = 0.0;
    double densityChange = 0.0;  // flat plate: largest density change of the last step, or NaN
};

constexpr std::uint32_t kFrameMagic = 0x52424d4e;  // "NMBR" in memory order
constexpr std::size_t kFrameHeaderBytes = 80;

// Values beyond float's range become infinities, as the page expects of non-finite values.
std::string EncodeFrame(const FrameHeader& header, const std::vector<double>& values);

}  // namespace nembra_cli
