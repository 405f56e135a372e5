// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <limits>

#include "meta/byte_reader.h"
#include "meta/image_info.h"

using namespace morrowtide::meta;

TEST(ByteReader, BoundsAreOverflowSafe) {
    EXPECT_TRUE(fitsIn(10, 6, 4));
    EXPECT_FALSE(fitsIn(10, 7, 4));
    EXPECT_TRUE(fitsIn(10, 10, 0));
    EXPECT_FALSE(fitsIn(10, 11, 0));
    // offset + len would wrap around to a small number
    EXPECT_FALSE(fitsIn(10, std::numeric_limits<std::size_t>::max() - 1, 4));
    EXPECT_FALSE(fitsIn(10, 2, std::numeric_limits<std::size_t>::max()));
}

TEST(ByteReader, ReadsInBothByteOrders) {
    const std::string bytes("\x01\x02\x03\x04", 4);
    ByteReader little(bytes, false), big(bytes, true);
    EXPECT_EQ(little.u16(0), 0x0201);
    EXPECT_EQ(big.u16(0), 0x0102);
    EXPECT_EQ(little.u32(0), 0x04030201u);
    EXPECT_EQ(big.u32(0), 0x01020304u);
    EXPECT_THROW(big.u32(1), OutOfBounds);
    EXPECT_FALSE(big.tryU16(3).has_value());
    EXPECT_EQ(big.bytesClamped(2, 10), std::string_view("\x03\x04", 2));
    EXPECT_TRUE(big.bytesClamped(9, 1).empty());
}

TEST(EndianBlock, PositionsAreOneBasedAndChecked) {
    EndianBlock b;
    b.block = std::string("\xFF\xFF\xFF\xFF\x00", 5);
    b.bigEndian = true;
    EXPECT_EQ(b.read16(1), 0xFFFF);
    EXPECT_EQ(b.read32(1), -1);
    EXPECT_EQ(b.read32(2), static_cast<std::int32_t>(0xFFFFFF00u));
    EXPECT_THROW(b.read16(0), OutOfBounds);
    EXPECT_THROW(b.read32(3), OutOfBounds);
    EXPECT_THROW(b.read16(-5), OutOfBounds);
}
