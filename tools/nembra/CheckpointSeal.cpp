#include "CheckpointSeal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <new>
#include <string>

namespace nembra_cli {

namespace {

constexpr char kMagicLine[] = "nembra checkpoint\n";
constexpr char kCrcKey[] = "crc32 ";
constexpr int kCrcDigits = 8;

using Block = std::array<unsigned char, kSealBytes>;

// zlib takes lengths as uInt; feed large buffers in pieces.
unsigned long Crc32(unsigned long crc, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        const auto piece =
            static_cast<uInt>(std::min<std::size_t>(size, std::numeric_limits<uInt>::max()));
        crc = crc32(crc, data, piece);
        data += piece;
        size -= piece;
    }
    return crc;
}

// Offset of the CRC's digits in the block's text, or npos.
std::size_t CrcDigitsAt(const std::string& text) {
    const std::size_t key = text.find(std::string("\n") + kCrcKey);
    return key == std::string::npos ? key : key + 1 + std::strlen(kCrcKey);
}

std::string SystemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

bool WriteAll(int fd, const unsigned char* data, std::size_t size, off_t at) {
    while (size > 0) {
        const ssize_t written = ::pwrite(fd, data, size, at);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
        at += written;
    }
    return true;
}

// CRC of the file's bytes from kSealBytes on, read through `fd`.
bool CrcOfBody(int fd, std::uint64_t size, unsigned long& crc) {
    std::vector<unsigned char> buffer(1 << 20);
    std::uint64_t at = kSealBytes;
    while (at < size) {
        const ssize_t got = ::pread(fd, buffer.data(), buffer.size(), static_cast<off_t>(at));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        crc = Crc32(crc, buffer.data(), static_cast<std::size_t>(got));
        at += static_cast<std::uint64_t>(got);
    }
    return true;
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    // Closes now, so that a failure of the last write-back is seen.
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

// The block's text with the CRC's digits as zeros; the digits go in once the CRC is known.
Block UnsignedBlock(int formatVersion, std::uint64_t size) {
    Block block{};
    std::snprintf(reinterpret_cast<char*>(block.data()), block.size(),
                  "%sformat-version %d\nbytes %llu\n%s%0*d\n", kMagicLine, formatVersion,
                  static_cast<unsigned long long>(size), kCrcKey, kCrcDigits, 0);
    return block;
}

// Reads "key value\n" at `at`, the value made of `digits` characters only (no sign, no spaces,
// no other case); advances `at` past the line. False when the line is not exactly that.
bool ReadLine(const std::string& text, std::size_t& at, const std::string& key, const char* digits,
              std::size_t maxLength, std::string& value) {
    if (text.compare(at, key.size(), key) != 0) {
        return false;
    }
    const std::size_t start = at + key.size();
    const std::size_t end = text.find('\n', start);
    if (end == std::string::npos || end == start || end - start > maxLength) {
        return false;
    }
    value = text.substr(start, end - start);
    if (value.find_first_not_of(digits) != std::string::npos) {
        return false;
    }
    at = end + 1;
    return true;
}

struct SealFields {
    int formatVersion = 0;
    std::uint64_t bytes = 0;
    unsigned long crc = 0;
};

// The fields of a block whose first line is the magic line; false when anything in it is not
// as the writer makes it, the zeros after the text included.
bool ParseBlock(const Block& block, SealFields& fields) {
    const auto* chars = reinterpret_cast<const char*>(block.data());
    const std::size_t length = ::strnlen(chars, block.size());
    const std::string text(chars, length);
    for (std::size_t k = length; k < block.size(); ++k) {
        if (block[k] != 0) {
            return false;
        }
    }
    std::size_t at = std::strlen(kMagicLine);
    std::string version;
    std::string bytes;
    std::string crc;
    const char* decimal = "0123456789";
    if (!ReadLine(text, at, "format-version ", decimal, 9, version) ||
        !ReadLine(text, at, "bytes ", decimal, 19, bytes) ||
        !ReadLine(text, at, kCrcKey, "0123456789abcdef", kCrcDigits, crc) ||
        crc.size() != kCrcDigits || at != text.size()) {
        return false;
    }
    fields.formatVersion = std::stoi(version);
    fields.bytes = std::stoull(bytes);
    fields.crc = std::stoul(crc, nullptr, 16);
    return true;
}

}  // namespace

void SealFile(const fs::path& path, int formatVersion) {
    Descriptor file(::open(path.c_str(), O_RDWR | O_CLOEXEC));
    struct stat status {};
    if (file.get() < 0 || ::fstat(file.get(), &status) != 0) {
        throw OutputError(SystemError("cannot reopen '" + path.string() + "'"));
    }
    const auto size = static_cast<std::uint64_t>(status.st_size);
    if (size <= kSealBytes) {
        throw OutputError("'" + path.string() + "' has no room for the checkpoint header");
    }
    Block block = UnsignedBlock(formatVersion, size);
    unsigned long crc = Crc32(crc32(0, nullptr, 0), block.data(), block.size());
    if (!CrcOfBody(file.get(), size, crc)) {
        throw OutputError(SystemError("cannot read back '" + path.string() + "'"));
    }
    const std::string text(reinterpret_cast<const char*>(block.data()));
    char digits[kCrcDigits + 1];
    std::snprintf(digits, sizeof digits, "%08lx", crc & 0xffffffffUL);
    std::memcpy(block.data() + CrcDigitsAt(text), digits, kCrcDigits);
    if (!WriteAll(file.get(), block.data(), block.size(), 0) || ::fsync(file.get()) != 0 ||
        !file.Close()) {
        throw OutputError(SystemError("cannot write '" + path.string() + "'"));
    }
}

std::vector<unsigned char> ReadSealedFile(const fs::path& path, int& formatVersion) {
    const std::string name = "checkpoint '" + path.string() + "'";
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw CheckpointError(SystemError("cannot open " + name));
    }
    std::error_code error;
    if (!fs::is_regular_file(path, error)) {
        throw CheckpointError("cannot read " + name + ": it is not a file");
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0);
    if (size < 0) {
        throw CheckpointError("cannot read " + name);
    }
    Block block{};
    in.read(reinterpret_cast<char*>(block.data()),
            static_cast<std::streamsize>(std::min<std::streamoff>(size, kSealBytes)));
    const std::size_t magic = std::strlen(kMagicLine);
    if (static_cast<std::uint64_t>(size) < magic ||
        std::memcmp(block.data(), kMagicLine, magic) != 0) {
        throw CheckpointError(name +
                              " is not a nembra checkpoint (it does not begin with the "
                              "line \"nembra checkpoint\")");
    }
    if (static_cast<std::uint64_t>(size) < kSealBytes) {
        throw CheckpointError(name + " is truncated: " + std::to_string(size) +
                              " bytes, not even its header");
    }
    SealFields fields;
    if (!ParseBlock(block, fields)) {
        throw CheckpointError(name + " is damaged: its header is not as nembra writes it");
    }
    if (fields.bytes != static_cast<std::uint64_t>(size)) {
        throw CheckpointError(name +
                              (fields.bytes > static_cast<std::uint64_t>(size)
                                   ? " is truncated: "
                                   : " is damaged: it has ") +
                              std::to_string(size) + " bytes of the " +
                              std::to_string(fields.bytes) + " it was written with");
    }
    std::vector<unsigned char> bytes;
    try {
        bytes.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        throw CheckpointError(name + " is too large to read into memory (" + std::to_string(size) +
                              " bytes)");
    }
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
    if (!in || std::memcmp(bytes.data(), block.data(), block.size()) != 0) {
        throw CheckpointError("cannot read " + name + " (it changed while being read)");
    }
    Block unsigned_ = block;
    const std::size_t digits =
        CrcDigitsAt(std::string(reinterpret_cast<const char*>(block.data())));
    std::memset(unsigned_.data() + digits, '0', kCrcDigits);
    unsigned long crc = Crc32(crc32(0, nullptr, 0), unsigned_.data(), unsigned_.size());
    crc = Crc32(crc, bytes.data() + kSealBytes, bytes.size() - kSealBytes);
    if ((crc & 0xffffffffUL) != fields.crc) {
        throw CheckpointError(name + " is damaged: its contents do not match its checksum");
    }
    formatVersion = fields.formatVersion;
    return bytes;
}

}  // namespace nembra_cli
