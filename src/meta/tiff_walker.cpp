// SPDX-License-Identifier: GPL-3.0-or-later
#include "meta/tiff_walker.h"

#include <limits>

#include "meta/tag_entry.h"

namespace morrowtide::meta {

std::size_t DirectoryReader::checked(std::int64_t at, std::size_t length) const {
    // Told as a 1-based position, as the metadata objects count.
    if (at < 0 || !bytes_.fits(static_cast<std::size_t>(at), length)) {
        throw OutOfBounds("position " + std::to_string(at + 1) + " lies outside a block of " +
                          std::to_string(bytes_.size()) + " bytes");
    }
    return static_cast<std::size_t>(at);
}

unsigned DirectoryReader::count() const { return bytes_.u16(checked(layout_.countAt, 2)); }

DirectoryEntry DirectoryReader::entry(unsigned index) const {
    if (++budget_.entries > WalkBudget::kMaxEntries) {
        throw WalkLimit("more than " + std::to_string(WalkBudget::kMaxEntries) + " directory entries");
    }
    DirectoryEntry entry;
    entry.entryAt = layout_.countAt + 2 + 12 * std::int64_t{index};
    entry.tag = bytes_.u16(checked(entry.entryAt, 2));
    entry.format = bytes_.u16(checked(entry.entryAt + 2, 2));
    const std::uint32_t count = bytes_.u32(checked(entry.entryAt + 4, 4));
    const auto elementSize = static_cast<std::uint32_t>(formatSize(entry.format));
    entry.size = layout_.wrapSizes ? std::int64_t{static_cast<std::int32_t>(count * elementSize)}
                                   : std::int64_t{count} * elementSize;
    if (entry.inlineValue()) {
        entry.valueAt = entry.entryAt + 8;
    } else {
        const std::uint32_t stored = bytes_.u32(checked(entry.entryAt + 8, 4));
        const std::int64_t origin = layout_.signedOffsets ? std::int64_t{static_cast<std::int32_t>(stored)}
                                                          : std::int64_t{stored};
        entry.valueAt = origin + layout_.valueBase;
        if (layout_.signedOffsets && entry.valueAt < 0) {
            throw OutOfBounds("value offset of tag " + std::to_string(entry.tag) + " points before the block");
        }
    }
    return entry;
}

std::string_view DirectoryReader::value(const DirectoryEntry& entry) const {
    if (entry.size <= 0) return {};
    const auto size = static_cast<std::size_t>(entry.size);
    std::string_view value;
    if (entry.valueAt >= 0 && bytes_.fits(static_cast<std::size_t>(entry.valueAt), size)) {
        value = bytes_.bytes(static_cast<std::size_t>(entry.valueAt), size);
    } else if (layout_.outside != nullptr) {
        const std::int64_t at = entry.valueAt + layout_.outsideShift;
        if (at >= 0) value = layout_.outside->bytesClamped(static_cast<std::size_t>(at), size);
    } else if (entry.valueAt >= 0) {
        value = bytes_.bytesClamped(static_cast<std::size_t>(entry.valueAt), size);
    }
    budget_.valueBytes += static_cast<std::int64_t>(value.size());
    if (budget_.valueBytes > WalkBudget::kMaxValueBytes) {
        throw WalkLimit("directory values exceed the copy budget");
    }
    return value;
}

DirectoryNesting::Level::Level(DirectoryNesting& nesting, std::int64_t base, std::int64_t start) : nesting_(nesting) {
    if (nesting_.depth_ >= kMaxDepth) {
        throw WalkLimit("directories nest deeper than " + std::to_string(kMaxDepth) + " levels");
    }
    ++nesting_.depth_;
    nesting_.visited_.insert({base, start});
}

}  // namespace morrowtide::meta
