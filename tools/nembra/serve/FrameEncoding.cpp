#include "FrameEncoding.h"

#include <cstring>

#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "frames are written in the host's byte order, which must be little-endian"
#endif

namespace nembra_cli {

namespace {

template <typename T>
void Put(std::string& bytes, std::size_t offset, T value) {
    std::memcpy(&bytes[offset], &value, sizeof value);
}

}  // namespace

std::string EncodeFrame(const FrameHeader& h, const std::vector<double>& values) {
    std::string bytes(kFrameHeaderBytes + values.size() * sizeof(float), '\0');
    Put(bytes, 0, kFrameMagic);
    Put(bytes, 4, static_cast<std::uint32_t>(h.kind));
    Put(bytes, 8, h.nx);
    Put(bytes, 12, h.ny);
    Put(bytes, 16, h.quantity);
    Put(bytes, 20, h.calls);
    Put(bytes, 24, h.steps);
    Put(bytes, 28, h.extraRows);
    Put(bytes, 32, h.modelTime);
    Put(bytes, 40, h.deltaT);
    Put(bytes, 48, h.dx);
    Put(bytes, 56, h.dy);
    Put(bytes, 64, h.densityChange);
    for (std::size_t k = 0; k < values.size(); ++k) {
        Put(bytes, kFrameHeaderBytes + k * sizeof(float), static_cast<float>(values[k]));
    }
    return bytes;
}

}  // namespace nembra_cli
