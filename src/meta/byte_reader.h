// SPDX-License-Identifier: GPL-3.0-or-later
// The one bounds-checked reader through which every byte taken from a file passes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace morrowtide::meta {

// Raised when a read would leave its block. Readers catch it where the format says a walk ends.
class OutOfBounds : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Overflow-safe: true when [offset, offset + len) lies inside a block of `size` bytes.
constexpr bool fitsIn(std::size_t size, std::size_t offset, std::size_t len) {
    return !(len > size || offset > size - len);
}

// A read-only view of a byte block with byte-order-aware integer reads. Offsets are 0-based here; the
// metadata objects translate their 1-based block positions at the call.
class ByteReader {
public:
    ByteReader() = default;
    explicit ByteReader(std::string_view data, bool bigEndian = false) : data_(data), bigEndian_(bigEndian) {}

    std::size_t size() const { return data_.size(); }
    bool bigEndian() const { return bigEndian_; }
    std::string_view data() const { return data_; }
    bool fits(std::size_t offset, std::size_t len) const { return fitsIn(data_.size(), offset, len); }

    std::uint8_t u8(std::size_t offset) const {
        check(offset, 1);
        return static_cast<std::uint8_t>(data_[offset]);
    }
    std::uint16_t u16(std::size_t offset) const {
        check(offset, 2);
        const auto a = byteAt(offset), b = byteAt(offset + 1);
        return static_cast<std::uint16_t>(bigEndian_ ? (a << 8) | b : (b << 8) | a);
    }
    std::uint32_t u32(std::size_t offset) const {
        check(offset, 4);
        std::uint32_t v = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            const std::size_t at = bigEndian_ ? offset + i : offset + 3 - i;
            v = (v << 8) | byteAt(at);
        }
        return v;
    }
    std::int32_t s32(std::size_t offset) const { return static_cast<std::int32_t>(u32(offset)); }

    // Exactly `len` bytes or OutOfBounds.
    std::string_view bytes(std::size_t offset, std::size_t len) const {
        check(offset, len);
        return data_.substr(offset, len);
    }
    // Up to `len` bytes: fewer when the block ends earlier, empty when offset lies beyond it.
    std::string_view bytesClamped(std::size_t offset, std::size_t len) const {
        if (offset >= data_.size()) return {};
        return data_.substr(offset, len);
    }
    std::optional<std::uint16_t> tryU16(std::size_t offset) const {
        if (!fits(offset, 2)) return std::nullopt;
        return u16(offset);
    }

private:
    std::uint32_t byteAt(std::size_t offset) const { return static_cast<std::uint8_t>(data_[offset]); }
    void check(std::size_t offset, std::size_t len) const {
        if (!fits(offset, len)) {
            throw OutOfBounds("read of " + std::to_string(len) + " bytes at " + std::to_string(offset) +
                              " leaves a block of " + std::to_string(data_.size()) + " bytes");
        }
    }

    std::string_view data_;
    bool bigEndian_ = false;
};

}  // namespace morrowtide::meta
