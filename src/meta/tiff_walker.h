// SPDX-License-Identifier: GPL-3.0-or-later
// The one walker of TIFF-style directories: the directories of an EXIF block or a TIFF file, and a maker's private
// directory inside them. What differs between those is a DirectoryLayout (byte order, where the entry count lies,
// where value offsets count from, how a value outside the bytes is found); what each caller makes of an entry is
// its own.
#pragma once

#include <cstdint>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "meta/byte_reader.h"

namespace morrowtide::meta {

// Raised when a block makes the walk exceed one of its budgets; ends the directory like a read outside the block.
class WalkLimit : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// How the bytes of one directory are read.
struct DirectoryLayout {
    bool bigEndian = false;
    // 0-based byte of the entry count in the bytes walked.
    std::int64_t countAt = 0;
    // The byte that a stored value offset of 0 names: value byte = offset + valueBase. Negative when the origin lies
    // before the bytes walked (a maker note whose offsets count from the TIFF header of the block holding it).
    std::int64_t valueBase = 0;
    // Stored offsets are signed, and one naming a byte before the bytes walked ends the directory. Otherwise they
    // are unsigned and such a value is looked for in `outside`.
    bool signedOffsets = false;
    // count x element size kept in 32 bits as stored, so that a huge count wraps (a negative size has no bytes).
    bool wrapSizes = false;
    // Where a value that is not wholly inside the bytes walked is read, at its byte + outsideShift; null: in the
    // bytes walked, as far as they hold it.
    const ByteReader* outside = nullptr;
    std::int64_t outsideShift = 0;
};

// One 12-byte directory entry as stored.
struct DirectoryEntry {
    std::uint16_t tag = 0;
    std::uint16_t format = 0;
    std::int64_t size = 0;     // byte count of the value (count x element size)
    std::int64_t entryAt = 0;  // 0-based byte of the entry
    std::int64_t valueAt = 0;  // 0-based byte of the value in the bytes walked (may lie outside them)
    bool inlineValue() const { return size <= 4; }
};

// The budgets of one walk, far beyond any real file: a block whose directories overlap can make the walk revisit
// the same bytes many times.
struct WalkBudget {
    static constexpr int kMaxEntries = 65536;
    static constexpr std::int64_t kMaxValueBytes = 4 * 1024 * 1024;
    int entries = 0;
    std::int64_t valueBytes = 0;
};

// Reads the entries of one directory. Reads outside the bytes throw OutOfBounds, an exceeded budget WalkLimit.
class DirectoryReader {
  public:
    DirectoryReader(std::string_view bytes, const DirectoryLayout& layout, WalkBudget& budget)
        : bytes_(bytes, layout.bigEndian), layout_(layout), budget_(budget) {}

    const ByteReader& bytes() const { return bytes_; }
    unsigned count() const;
    // The byte after the entries, where the offset of the next directory lies.
    std::int64_t linkAt(unsigned count) const { return layout_.countAt + 2 + 12 * std::int64_t{count}; }
    DirectoryEntry entry(unsigned index) const;
    // The value's bytes: fewer when its block ends earlier, none for a negative size. Counted against the budget.
    std::string_view value(const DirectoryEntry& entry) const;

  private:
    // `at` as an offset, or OutOfBounds when [at, at + length) is not inside the bytes.
    std::size_t checked(std::int64_t at, std::size_t length) const;

    ByteReader bytes_;
    const DirectoryLayout& layout_;
    WalkBudget& budget_;
};

// The nesting of a walk: how deep it is, which directories it walked, and the failures of sub-directories (each
// swallowed there, so that a broken sub-directory costs its own entries only, and kept by the caller).
class DirectoryNesting {
  public:
    static constexpr int kMaxDepth = 32;
    // Only so many swallowed failures are kept for diagnostics; a hostile block could produce one per entry.
    static constexpr std::size_t kMaxKeptFailures = 100;

    // Held while a directory is walked: marks it walked and counts its depth. WalkLimit when too deep.
    class Level {
      public:
        Level(DirectoryNesting& nesting, std::int64_t base, std::int64_t start);
        ~Level() { --nesting_.depth_; }
        Level(const Level&) = delete;
        Level& operator=(const Level&) = delete;

      private:
        DirectoryNesting& nesting_;
    };

    // Walks the directory that `start()` locates with `walk(start)` unless it was walked already; a failure,
    // locating it included, is kept in `failures` and goes no further.
    template <typename Start, typename Walk>
    void enter(std::int64_t base, Start start, Walk walk, std::vector<std::string>& failures) {
        try {
            const std::int64_t child = start();
            if (visited_.contains({base, child})) return;
            walk(child);
        } catch (const std::exception& failure) {
            if (failures.size() < kMaxKeptFailures) failures.emplace_back(failure.what());
        }
    }

    bool walked(std::int64_t base, std::int64_t start) const { return visited_.contains({base, start}); }

  private:
    // Keys (offset base, directory start) of the directories walked; per walk, so two threads never interfere.
    std::set<std::pair<std::int64_t, std::int64_t>> visited_;
    int depth_ = 0;
};

}  // namespace morrowtide::meta
