// SPDX-License-Identifier: GPL-3.0-or-later
#include "meta/byte_reader.h"
#include "meta/image_info.h"

namespace morrowtide::meta {

namespace {
// Positions are 1-based; position 0 or below lies before the block.
std::size_t toOffset(std::int64_t pos, std::size_t len, std::size_t size) {
    if (pos < 1 || !fitsIn(size, static_cast<std::size_t>(pos - 1), len)) {
        throw OutOfBounds("position " + std::to_string(pos) + " lies outside a block of " + std::to_string(size) +
                          " bytes");
    }
    return static_cast<std::size_t>(pos - 1);
}
}  // namespace

std::uint16_t EndianBlock::read16(std::int64_t pos) const {
    return ByteReader(block, bigEndian).u16(toOffset(pos, 2, block.size()));
}

std::int32_t EndianBlock::read32(std::int64_t pos) const {
    return ByteReader(block, bigEndian).s32(toOffset(pos, 4, block.size()));
}

}  // namespace morrowtide::meta
