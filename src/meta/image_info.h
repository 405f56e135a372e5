// SPDX-License-Identifier: GPL-3.0-or-later
// One decoded EXIF block: its tag list, text lines and the positions of the three date values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "meta/byte_block.h"
#include "meta/tag_entry.h"
#include "meta/tiff_walker.h"

namespace morrowtide::meta {

class ImgData;

// One date value met by the walker: which tag, where its value lies (1-based, in the bytes the dates are patched
// in) and its byte count.
struct DateValue {
    std::uint16_t tag = 0;
    std::int32_t pos = 0;
    std::int32_t size = 0;
    // The directory it lies in, as exiftool names it: "IFD0", "ExifIFD", "IFD1", "SubIFD", ...
    std::string group;
};

// Why a photo's dates were or were not moved.
enum class ShiftStatus {
    kShifted,     // every readable date was moved
    kNoExifBlock,  // nothing to shift: the photo has no EXIF block
    kNoDate,      // the EXIF block holds no date that can be read and rewritten
    kOutOfRange,  // a moved date would leave the years 0001-9999: nothing was written
};

struct ShiftResult {
    ShiftStatus status = ShiftStatus::kNoDate;
    int moved = 0;  // date values rewritten (a value two tags share counts once)
};

// The reason, in words, why the dates were not changed ("" for kShifted).
std::string_view shiftStatusReason(ShiftStatus status);

// The byte-order-aware block shared by the decoded EXIF object and the file container. Positions are 1-based.
// Reads outside the block throw OutOfBounds (see byte_reader.h).
class EndianBlock {
  public:
    bool bigEndian = false;
    // A decoded EXIF block views its container's EXIF section (see ImgData); standing alone it owns its bytes.
    ByteBlock block;

    std::uint16_t read16(std::int64_t pos) const;
    std::int32_t read32(std::int64_t pos) const;
};

class ImageInfo : public EndianBlock {
  public:
    // buildCode: 2 text lines only, 4 tag list only, 255 both.
    explicit ImageInfo(ImgData* owner = nullptr, int buildCode = 255);
    virtual ~ImageInfo() = default;

    virtual int indexOfTag(std::string_view name) const;
    virtual std::string textOfTag(std::string_view name) const;

    void walkDirectory(std::int64_t dirStart, std::int64_t offsetBase, std::int64_t length, int kind);
    // After the main walk: walks the directory its link names (the thumbnail directory, IFD1) for the date values
    // it holds. Its entries go to thumbEntries and thumbTrace; a failure in it is swallowed.
    void walkNextDirectory(std::int64_t offsetBase, std::int64_t length);
    // After the main walk of a TIFF file: the rest of its directory chain (IFD1, IFD2, ...) and the SubIFDs after the
    // first, walked like the thumbnail directory, for the date values they hold. A failure in one of them is kept
    // in walkFailures and ends that directory (and, in the chain, the ones it would link to). The SubIFDs are found
    // in the tag list, so the walk must have kept it (build code 4 or 255).
    void walkFollowingDirectories(std::int64_t offsetBase, std::int64_t length);
    // Directories walkFollowingDirectories follows at most: far more than the pages of any real file.
    static constexpr int kMaxChainedDirectories = 1024;
    int storeEntry(const TagEntry& entry);
    int storeThumbEntry(const TagEntry& entry);
    TagEntry entryByName(std::string_view name) const;
    double numberByName(std::string_view name) const;
    std::int64_t integerByName(std::string_view name) const;
    // Puts a maker-note sub-field into the tag list under `tag`, the tag of the maker-note entry it came from
    // (a sub-field without a tag would never be stored).
    void recordSubField(std::string_view name, std::string_view value, std::uint16_t format, std::uint16_t tag);
    // One text line: "\r\n" + caption + " = " + text (with tag, size and start when traceLevel is above 0).
    std::string traceLine(std::string_view caption, std::string_view text, std::uint16_t tag, std::int64_t size,
                          std::int64_t start) const;
    // After the walk: adds a derived "FocalLengthin35mmFilm" entry when the block has none.
    void addFocalLength35mm();

    // Sub-directory walks nest at most this deep; deeper links are not followed.
    static constexpr int kMaxWalkDepth = DirectoryNesting::kMaxDepth;
    // A block whose directories overlap can make the walk revisit the same bytes many times; past these budgets
    // (far beyond any real file) the directory being walked ends as if it had left the block.
    static constexpr int kMaxWalkedEntries = WalkBudget::kMaxEntries;
    static constexpr std::int64_t kMaxCopiedValueBytes = WalkBudget::kMaxValueBytes;

    std::vector<TagEntry> entries;  // entryCount == entries.size()
    std::int32_t entryCapacity = 0;
    ImgData* owner = nullptr;
    std::string exifVersion;   // at most 6 characters
    std::string cameraMake;    // at most 32
    std::string cameraModel;   // at most 40
    std::string bodySerial;    // BodySerialNumber (0xA431) as written, at most 64; empty when absent
    std::string dateTimeText;  // at most 20
    std::int32_t imageHeight = 0;
    std::int32_t imageWidth = 0;
    std::int32_t heightPos = 0;
    std::int32_t widthPos = 0;
    std::int32_t flashValue = 0;
    std::int32_t buildCode = 255;
    std::string makerNoteBytes;
    bool tiffMode = false;
    std::string userComment;
    std::int32_t userCommentPos = 0;
    std::int32_t userCommentLength = 0;
    std::int32_t dateTimePos = 0;
    std::int32_t dateTimeOriginalPos = 0;
    std::int32_t dateTimeDigitizedPos = 0;
    // Byte counts of the date entries whose positions are recorded, so a writer can stay inside the value.
    std::int32_t dateTimeSize = 0;
    std::int32_t dateTimeOriginalSize = 0;
    std::int32_t dateTimeDigitizedSize = 0;
    // Every value of the three date tags met in any directory walked, the thumbnail directory included, in walk
    // order; the fields above keep only the last one of each tag met outside the thumbnail directory.
    std::vector<DateValue> dateValues;
    // The time-zone offsets of those dates (OffsetTime 0x9010, OffsetTimeOriginal 0x9011, OffsetTimeDigitized
    // 0x9012, "+HH:MM"), every value met outside the thumbnail and GPS directories, in walk order.
    std::vector<DateValue> zoneValues;
    // The bytes the dates are patched in (the EXIF section's data); null: the owner's EXIF section, or this
    // object's own block when there is none.
    std::string* dateTarget = nullptr;
    std::string thumbTrace;
    std::int32_t nextDirOffset = 0;
    std::int32_t nextDirRemainder = 0;
    std::int32_t thumbCompression = 0;
    std::vector<TagEntry> thumbEntries;
    std::int32_t thumbEntryCapacity = 0;
    std::string trace;
    std::string makerNoteText;
    bool makerNoteKnown = false;
    std::int32_t makerNotePos = 0;
    // The byte order the maker note was read in (its own, which need not be the block's).
    bool makerNoteBigEndian = false;
    // Why a recognised maker note could not be read (misplaced, truncated, implausible); empty when it was read.
    std::string makerNoteProblem;
    // The name of the directory being walked; set before the walk for a block whose first directory is not IFD0
    // (the EXIF directory of a CR3 file is a TIFF structure of its own).
    std::string directoryGroup = "IFD0";
    // 0 in this system: text lines without tag numbers, sizes and positions.
    int traceLevel = 0;
    // Messages of the failures that ended a sub-directory walk (swallowed there), for diagnostics only.
    std::vector<std::string> walkFailures;

    int entryCount() const { return static_cast<int>(entries.size()); }
    int thumbEntryCount() const { return static_cast<int>(thumbEntries.size()); }

    // --- EXIF dates: read and written in place (date_shift.cpp) ---
    // The dates live in the owner's EXIF section (this object's own block when it has no owner or the owner holds
    // no EXIF section); positions are 1-based into those bytes.
    const std::string& dateBytes() const;
    // parseExifDate of the 19 bytes from `pos` (fewer when the bytes end earlier); 0 when unreadable.
    double readDateAt(std::int64_t pos) const;
    // Writes `value` as "yyyy:mm:dd hh:nn:ss" over the 19 bytes from `pos`. Nothing is written (false) when they
    // would leave the bytes, when `pos` is a recorded date whose value holds fewer than 19 bytes, or when the value
    // lies outside the years 1..9999.
    bool writeDateAt(std::int64_t pos, double value);
    // The date the photo was taken: the first readable of DateTimeOriginal, DateTimeDigitized and DateTime (an
    // edited photo's DateTime is the date of the edit); 0 when none is readable.
    double captureDateTime() const;
    // The position captureDateTime() reads; 0 when it reads none.
    std::int64_t capturePos() const;
    // True when the date value at `pos` may be rewritten: its recorded values hold 19 bytes, which lie in the bytes.
    bool isRewritableDate(std::int64_t pos) const;
    // The position of every recorded date value, each once: two tags pointing at the same value share one date,
    // and moving it twice would move it by twice the offset.
    std::vector<std::int64_t> datePositions() const;
    // Writes the text of a date (or of its zone offset) at `pos` into the decoded copies (a block with bytes of its
    // own, the records), so they show what was written into the date bytes.
    void mirrorDate(std::int64_t pos, std::string_view text);
    // --- end of EXIF dates ---

  private:
    // How this block's directories are read: its byte order, offsets from `offsetBase`.
    DirectoryLayout directoryLayout(std::int64_t dirStart, std::int64_t offsetBase) const;
    void walkEntries(std::int64_t dirStart, std::int64_t offsetBase, std::int64_t length, int kind, int count);
    void followDirectory(std::int64_t valuePos, std::int64_t offsetBase, std::int64_t length, int kind,
                         std::string_view group);
    // Walks the directory that `start()` locates, named `group`, unless it was walked already; a failure, locating
    // it included, is kept in walkFailures and goes no further.
    template <typename Start>
    void enterDirectory(Start start, std::int64_t offsetBase, std::int64_t length, int kind, std::string_view group);

    // The directories walked since construction and the walk's budgets; per object, so two readers in two threads
    // never interfere.
    DirectoryNesting nesting_;
    WalkBudget budget_;
};

// "yyyy:mm:dd hh:nn:ss" read by position (the separators are not looked at) as days since 1899-12-30; 0 when any
// field is not a number or the date or time is not valid.
double parseExifDate(std::string_view text);

}  // namespace morrowtide::meta
