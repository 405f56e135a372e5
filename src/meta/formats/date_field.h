// SPDX-License-Identifier: GPL-3.0-or-later
// The one question every container reader answers: where are the date fields of this file, and how is each written?
// The run then patches each field in place with a value of the same width, so no file grows or shrinks, and copies
// every other byte unchanged. A reader that meets anything it cannot read safely answers "no fields" with a reason,
// and the file is copied unchanged and reported, never half patched.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace morrowtide::meta {

// Which of the photo's three dates a field holds, or a copy of it.
enum class DateRole : std::uint8_t {
    Modified,   // DateTime; xmp:ModifyDate, tiff:DateTime; a movie's modification times
    Original,   // DateTimeOriginal; exif:DateTimeOriginal, photoshop:DateCreated; IPTC Date/Time Created
    Digitized,  // DateTimeDigitized; xmp:CreateDate, exif:DateTimeDigitized; IPTC Digital Creation; movie creation
};

// How a field's bytes spell its date.
enum class DateEncoding : std::uint8_t {
    ExifAscii,           // "YYYY:MM:DD HH:MM:SS", 19 characters (a zero byte may follow; it is not part of the field)
    Iso8601,             // XMP and QuickTime text: "YYYY[-MM[-DD[Thh:mm[:ss[.s+]]]]][Z|+hh:mm|-hh:mm]", as wide as found
    IptcDate,            // "CCYYMMDD", 8 characters; its time is the field named by `partner`
    IptcTime,            // "HHMMSS±HHMM" (11) or "HHMMSS" (6)
    QuickTimeSeconds32,  // big-endian unsigned seconds since 1904-01-01 00:00:00
    QuickTimeSeconds64,
    PngTime,             // PNG tIME: big-endian 16-bit year, then month, day, hour, minute, second, one byte each
    // EXIF OffsetTime, OffsetTimeOriginal, OffsetTimeDigitized: "+HH:MM", the zone of the date named by `partner`.
    // No date of its own: it follows its date when a conversion between zones moves that date.
    ExifZoneOffset,
};

struct DateField {
    std::uint64_t offset = 0;  // from the start of the file
    std::uint32_t width = 0;   // bytes the field occupies; a patch never writes outside them
    DateEncoding encoding = DateEncoding::ExifAscii;
    DateRole role = DateRole::Original;
    // Where it lies, named as exiftool names the group ("IFD0", "ExifIFD", "IFD1", "XMP-xmp", "XMP-exif",
    // "XMP-photoshop", "XMP-tiff", "IPTC", "QuickTime", "Track1", ...), for the log, `info` and the corpus checks.
    std::string group;
    // The property or tag it is ("DateTimeOriginal", "xmp:CreateDate", "2:55", "mvhd.creation_time", ...).
    std::string name;
    // For an IptcDate: the index, in the same list, of the IptcTime that completes it (-1: none). A date and its
    // time move together, so that a shift across midnight changes both. For an ExifZoneOffset: its date.
    std::int32_t partner = -1;
};

// What a container reader found in one file.
struct DateFieldScan {
    std::vector<DateField> fields;
    // Empty when the structure was read; otherwise why the file cannot be patched safely (a box past the end of the
    // file, a loop, a truncated chunk). A non-empty problem means `fields` must not be applied.
    std::string problem;
    // Date fields seen but left alone, each with why ("xmp:CreateDate split across two extended-XMP parts"); the
    // run reports them, the other fields are still applied.
    std::vector<std::string> skipped;
};

// A change to apply to the output: `bytes` written at `offset` of the file. Always inside one field.
struct BytePatch {
    std::uint64_t offset = 0;
    std::string bytes;
};

// Random access to a file's bytes for the container readers: a file can be 4 GB, so nothing reads it whole.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // Exactly `length` bytes at `offset`, or false when they are not all there (or cannot be read).
    virtual bool read(std::uint64_t offset, std::size_t length, std::string& out) const = 0;
};

// A ByteSource over bytes in memory (tests, fuzzing, a block already read).
class MemoryByteSource final : public ByteSource {
  public:
    explicit MemoryByteSource(std::string_view bytes) : bytes_(bytes) {}
    std::uint64_t size() const override { return bytes_.size(); }
    bool read(std::uint64_t offset, std::size_t length, std::string& out) const override {
        if (offset > bytes_.size() || length > bytes_.size() - offset) return false;
        out.assign(bytes_.substr(static_cast<std::size_t>(offset), length));
        return true;
    }

  private:
    std::string_view bytes_;
};

}  // namespace morrowtide::meta
