// SPDX-License-Identifier: GPL-3.0-or-later
// The directory walker's reading of entries under the layouts of an EXIF block and of the makers' notes: where each
// value is found, how sizes and offsets are taken, and where the walk stops.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "meta/tiff_walker.h"
#include "support/exif_builder.h"

using namespace morrowtide::meta;
using namespace morrowtide::test;

namespace {

// A little-endian directory at TIFF offset 8 with one entry, as `add` writes it.
std::string oneEntry(const std::function<void(TiffBuilder&, TiffBuilder::Dir)>& add, std::string trailer = {}) {
    TiffBuilder tiff(ByteOrder::kLittle);
    const auto dir = tiff.directory();
    add(tiff, dir);
    tiff.setTrailer(std::move(trailer));
    return tiff.build();
}

TEST(DirectoryReader, ValuesUnderEachLayout) {
    const std::string outsideBytes = "0123456789abcdef";
    const ByteReader outside(outsideBytes);
    struct Case {
        const char* what;
        std::string bytes;
        DirectoryLayout layout;
        std::int64_t size;
        std::int64_t valueAt;          // -1: not checked
        std::optional<std::string> value;  // nullopt: the read throws OutOfBounds
    };
    const auto withLayout = [](auto change) {
        DirectoryLayout layout;
        layout.countAt = 8;
        change(layout);
        return layout;
    };
    const DirectoryLayout plain = withLayout([](DirectoryLayout&) {});
    const std::string shortEntry = oneEntry([](TiffBuilder& t, auto d) { t.shortValue(d, 0x0112, 6); });
    const std::string textEntry = oneEntry([](TiffBuilder& t, auto d) { t.ascii(d, 0x010F, "Maker"); });
    // Offset 0xFFFFFFF8: -8 when signed.
    const std::string farEntry = oneEntry([](TiffBuilder& t, auto d) { t.rawEntry(d, 0x010F, 2, 6, 0xFFFFFFF8u); });
    // 0x40000001 LONGs: 4 bytes once wrapped to 32 bits.
    const std::string hugeEntry = oneEntry([](TiffBuilder& t, auto d) { t.rawEntry(d, 0x0111, 4, 0x40000001u, 7); });
    // A 20-byte value whose block ends after 4 of its bytes.
    const std::string cutEntry = oneEntry([](TiffBuilder& t, auto d) { t.rawEntry(d, 0x010F, 2, 20, 26); }, "abcd");
    const Case cases[] = {
        {"a short value lies in its entry", shortEntry, plain, 2, 18, std::string("\x06\x00", 2)},
        {"a long value lies at its offset", textEntry, plain, 6, 26, std::string("Maker\0", 6)},
        {"offsets count from the value base", textEntry, withLayout([](auto& l) { l.valueBase = -2; }), 6, 24,
         std::string("\0\0Make", 6)},
        {"a signed offset before the block ends the directory", farEntry,
         withLayout([](auto& l) { l.signedOffsets = true; }), 6, -1, std::nullopt},
        {"an unsigned offset past the block has no bytes", farEntry, plain, 6, 0xFFFFFFF8, std::string()},
        {"a value outside the bytes is read elsewhere", farEntry,
         withLayout([&](auto& l) {
             l.outside = &outside;
             l.outsideShift = 2 - std::int64_t{0xFFFFFFF8};
         }),
         6, 0xFFFFFFF8, std::string("234567")},
        {"a wrapped size keeps the value in the entry", hugeEntry, withLayout([](auto& l) { l.wrapSizes = true; }), 4,
         18, std::string("\x07\0\0\0", 4)},
        {"an unwrapped size is taken as stored", hugeEntry, plain, std::int64_t{0x40000001} * 4, 7, hugeEntry.substr(7)},
        {"a value cut by the block's end keeps what is there", cutEntry, plain, 20, 26, std::string("abcd")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WalkBudget budget;
        const DirectoryReader directory(c.bytes, c.layout, budget);
        ASSERT_EQ(directory.count(), 1u);
        EXPECT_EQ(directory.linkAt(1), 8 + 2 + 12);
        if (!c.value) {
            EXPECT_THROW(directory.entry(0), OutOfBounds);
            continue;
        }
        const DirectoryEntry entry = directory.entry(0);
        EXPECT_EQ(entry.entryAt, 10);
        EXPECT_EQ(entry.size, c.size);
        if (c.valueAt >= 0) {
            EXPECT_EQ(entry.valueAt, c.valueAt);
        }
        EXPECT_EQ(directory.value(entry), *c.value);
    }
}

TEST(DirectoryReader, BudgetsAndBoundsEndTheWalk) {
    // Every entry points at one value of 1 MB: the fifth exceeds the value budget.
    TiffBuilder tiff(ByteOrder::kBig);
    const auto dir = tiff.directory();
    for (int i = 0; i < 6; ++i) tiff.rawEntry(dir, static_cast<std::uint16_t>(0x100 + i), 7, 1 << 20, 100);
    tiff.setTrailer(std::string(1 << 20, 'x'));
    const std::string bytes = tiff.build();
    DirectoryLayout layout;
    layout.bigEndian = true;
    layout.countAt = 8;
    WalkBudget budget;
    const DirectoryReader directory(bytes, layout, budget);
    ASSERT_EQ(directory.count(), 6u);
    unsigned read = 0;
    try {
        for (; read < 6; ++read) directory.value(directory.entry(read));
    } catch (const WalkLimit& limit) {
        EXPECT_STREQ(limit.what(), "directory values exceed the copy budget");
    }
    EXPECT_EQ(read, 4u);

    // Entries past the block's end, and a count outside it, are reads outside the block.
    layout.countAt = static_cast<std::int64_t>(bytes.size()) - 1;
    const DirectoryReader beyond(bytes, layout, budget);
    EXPECT_THROW(beyond.count(), OutOfBounds);
    layout.countAt = static_cast<std::int64_t>(bytes.size()) - 2;
    const DirectoryReader cut(bytes, layout, budget);
    EXPECT_THROW(cut.entry(0), OutOfBounds);

    // The entry budget counts across the directories of one walk.
    WalkBudget spent;
    spent.entries = WalkBudget::kMaxEntries;
    layout.countAt = 8;
    EXPECT_THROW(DirectoryReader(bytes, layout, spent).entry(0), WalkLimit);
}

}  // namespace
