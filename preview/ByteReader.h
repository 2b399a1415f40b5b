#pragma once
// A bounded little-endian reader over untrusted bytes: reading past the end
// fails and names the field and its offset; it never yields a silent zero.

#include "core/Status.h"

#include <cstdint>
#include <span>
#include <string>

namespace sga {

class ByteReader {
public:
    // kind starts every message ("DDS", "Relic Chunky", ...).
    ByteReader(std::span<const uint8_t> bytes, std::string kind) : bytes_(bytes), kind_(std::move(kind)) {}

    size_t offset() const { return offset_; }
    size_t size() const { return bytes_.size(); }
    size_t remaining() const { return bytes_.size() - offset_; }
    void seek(size_t offset) { offset_ = offset <= bytes_.size() ? offset : bytes_.size(); }

    // Each takes its value from the current offset and moves on; false (with
    // the error kept) when the field runs past the end.
    bool u8(uint8_t& out, const char* field) { return take(&out, 1, field); }
    bool u32(uint32_t& out, const char* field) {
        uint8_t b[4];
        if (!take(b, 4, field)) return false;
        out = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
              static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
        return true;
    }
    bool u64(uint64_t& out, const char* field) {
        uint32_t low = 0, high = 0;
        if (!u32(low, field) || !u32(high, field)) return false;
        out = static_cast<uint64_t>(high) << 32 | low;
        return true;
    }
    bool bytes(std::span<const uint8_t>& out, uint64_t count, const char* field) {
        if (!fits(count, field)) return false;
        out = bytes_.subspan(offset_, static_cast<size_t>(count));
        offset_ += static_cast<size_t>(count);
        return true;
    }
    bool fits(uint64_t count, const char* field) {
        if (count <= remaining()) return true;
        error_ = Status::error(ErrorCode::Truncated, kind_ + ": " + field + " at offset " + std::to_string(offset_) +
                                                         " runs past the end (" + std::to_string(bytes_.size()) +
                                                         " bytes)");
        return false;
    }
    const Status& error() const { return error_; }

private:
    bool take(uint8_t* out, size_t count, const char* field) {
        if (!fits(count, field)) return false;
        for (size_t i = 0; i < count; ++i) out[i] = bytes_[offset_ + i];
        offset_ += count;
        return true;
    }
    std::span<const uint8_t> bytes_;
    std::string kind_;
    size_t offset_ = 0;
    Status error_;
};

inline uint32_t readLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

} // namespace sga
