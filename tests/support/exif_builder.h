// SPDX-License-Identifier: GPL-3.0-or-later
// Builders of synthetic TIFF structures, EXIF blocks and JPEG files for tests.
//
//   TiffBuilder tiff(ByteOrder::kBig);
//   auto ifd0 = tiff.directory();                      // the first directory is the main one (IFD0)
//   auto exif = tiff.directory();
//   tiff.ascii(ifd0, 0x010F, "Canon");                 // ASCII value, a zero byte appended, count = length + 1
//   tiff.link(ifd0, 0x8769, exif);                     // LONG entry holding the offset of another directory
//   tiff.ascii(exif, 0x9003, "2005:06:01 10:00:00");
//   std::string jpeg = JpegBuilder().app0Jfif().app1Exif(tiff.build()).imageData().build();
//
// Layout of TiffBuilder::build(): the 8-byte header, then each directory in creation order, each followed by the
// values of its entries that do not fit in 4 bytes (every value on an even offset), then the trailer. Offsets are
// TIFF offsets, counted from the byte-order mark. Everything can be made to lie: entry counts, raw value offsets,
// next-directory links, the first-directory offset, so truncated, looping and out-of-range structures are easy.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace morrowtide::test {

enum class ByteOrder { kLittle, kBig };

// Numbers as the file stores them.
std::string bytes16(std::uint16_t value, ByteOrder order);
std::string bytes32(std::uint32_t value, ByteOrder order);

class TiffBuilder {
  public:
    using Dir = int;

    explicit TiffBuilder(ByteOrder order = ByteOrder::kLittle);
    ByteOrder order() const { return order_; }

    // A new, empty directory; directory 0 is the one the header points at.
    Dir directory();

    // An entry with the value bytes as given (already in the file's byte order). Values of up to 4 bytes are stored
    // in the entry, left-aligned; longer ones after the directory. `count` is written as given, so it can disagree
    // with the bytes. Returns the entry's index in its directory.
    int entry(Dir dir, std::uint16_t tag, std::uint16_t format, std::uint32_t count, std::string value);
    // An entry whose last four bytes are exactly `valueField` (a value or an offset, nothing placed anywhere).
    int rawEntry(Dir dir, std::uint16_t tag, std::uint16_t format, std::uint32_t count, std::uint32_t valueField);

    int ascii(Dir dir, std::uint16_t tag, std::string_view text);  // text + one zero byte
    int byteValues(Dir dir, std::uint16_t tag, std::string_view bytes, std::uint16_t format = 1);
    int undefined(Dir dir, std::uint16_t tag, std::string_view bytes) { return byteValues(dir, tag, bytes, 7); }
    int shortValue(Dir dir, std::uint16_t tag, std::uint16_t value);
    int shortValues(Dir dir, std::uint16_t tag, const std::vector<std::uint16_t>& values);
    int longValue(Dir dir, std::uint16_t tag, std::uint32_t value);
    int rational(Dir dir, std::uint16_t tag, std::uint32_t numerator, std::uint32_t denominator,
                 std::uint16_t format = 5);
    // A LONG entry whose value is the offset of directory `child` (ExifOffset 0x8769, GPSInfo 0x8825, ...).
    int link(Dir dir, std::uint16_t tag, Dir child);
    // A LONG array of directory offsets (SubIFDs 0x014A with several sub-images).
    int links(Dir dir, std::uint16_t tag, const std::vector<Dir>& children);

    // The next-directory link after the entries (default 0).
    void setNext(Dir dir, Dir next);
    void setNextOffset(Dir dir, std::uint32_t rawOffset);
    // Writes `count` as the directory's entry count instead of the real number of entries.
    void setStatedCount(Dir dir, std::uint16_t count);
    // The header's first-directory offset instead of the offset of directory 0.
    void setFirstDirOffset(std::uint32_t rawOffset);
    // Bytes appended after everything else (padding, a thumbnail, ...).
    void setTrailer(std::string bytes);

    // The TIFF structure: byte-order mark, 42, first offset, directories and values, trailer.
    std::string build() const;
    // TIFF offsets in the built structure.
    std::uint32_t offsetOf(Dir dir) const;
    std::uint32_t entryOffset(Dir dir, int entryIndex) const;
    // Where the entry's value lies: its offset when stored outside, entryOffset + 8 when inside the entry.
    std::uint32_t valueOffset(Dir dir, int entryIndex) const;

  private:
    struct Entry {
        std::uint16_t tag, format;
        std::uint32_t count;
        std::string value;                   // placed data (empty for raw entries)
        std::optional<std::uint32_t> field;  // raw last four bytes
        std::vector<Dir> linkTo;
        std::size_t valueSize() const { return linkTo.empty() ? value.size() : 4 * linkTo.size(); }
    };
    struct Directory {
        std::vector<Entry> entries;
        std::optional<std::uint16_t> statedCount;
        std::optional<Dir> next;
        std::uint32_t nextOffset = 0;
    };
    struct Layout {
        std::vector<std::uint32_t> dirOffsets;
        std::vector<std::vector<std::uint32_t>> valueOffsets;  // 0 for values inside the entry
        std::uint32_t end = 0;
    };
    Layout layout() const;

    ByteOrder order_;
    std::vector<Directory> dirs_;
    std::optional<std::uint32_t> firstOffset_;
    std::string trailer_;
};

// "Exif\0\0" + tiff: the payload of an EXIF APP1 section.
std::string exifPayload(std::string_view tiff);

// Block position (1-based, in the APP1 section's data with its two length bytes) of a TIFF offset in a JPEG.
constexpr std::int64_t jpegBlockPos(std::uint32_t tiffOffset) {
    return static_cast<std::int64_t>(tiffOffset) + 9;
}
// The same for the block a TIFF file is read into (it starts at file offset 8).
constexpr std::int64_t tiffBlockPos(std::uint32_t tiffOffset) {
    return static_cast<std::int64_t>(tiffOffset) - 7;
}

// A JPEG file put together section by section. Starts with SOI unless told otherwise.
class JpegBuilder {
  public:
    explicit JpegBuilder(bool withSoi = true);

    // 0xFF, marker, a length field of payload size + 2, payload.
    JpegBuilder& segment(std::uint8_t marker, std::string_view payload);
    // The same with the length field as given (it may lie about the payload).
    JpegBuilder& segmentWithLength(std::uint8_t marker, std::uint16_t lengthField, std::string_view payload);
    JpegBuilder& app0Jfif();
    JpegBuilder& app1Exif(std::string_view tiff) { return segment(0xE1, exifPayload(tiff)); }
    JpegBuilder& app1Xmp();
    JpegBuilder& app2();
    JpegBuilder& app13(std::string_view payload = "Photoshop 3.0");
    JpegBuilder& comment(std::string_view text) { return segment(0xFE, text); }
    JpegBuilder& dqt();  // a small quantisation table section (not a usable one)
    // A complete, decodable 8x8 grey image from DQT to EOI (the JPEG library's header reader accepts it).
    JpegBuilder& imageData();
    // SOS header, a few bytes of scan data and EOI (not decodable).
    JpegBuilder& scan();
    JpegBuilder& raw(std::string_view bytes);

    std::string build() const { return bytes_; }
    std::size_t size() const { return bytes_.size(); }

  private:
    std::string bytes_;
};

// The first `length` bytes of `bytes`: a file cut short.
inline std::string truncated(std::string_view bytes, std::size_t length) {
    return std::string(bytes.substr(0, length));
}

// A camera-like photo: Make and Model (when given) and DateTime in IFD0, DateTimeOriginal and DateTimeDigitized in
// the EXIF directory (no date at all when `date` is empty), and an IFD1 JPEG thumbnail holding `thumbnail` when it
// is not empty; then a decodable image.
// `zone` adds OffsetTime, OffsetTimeOriginal and OffsetTimeDigitized ("+02:00") to the EXIF directory; `gpsDate`
// ("YYYY:MM:DD") a GPS directory with it and `gpsTime` (hours, minutes, seconds) as GPSDateStamp and GPSTimeStamp.
struct PhotoTags {
    // The fields in this order, any left out at the end (a constructor: a photo may be described by a few).
    PhotoTags(std::string date = "2005:06:01 10:00:00", std::string make = {}, std::string model = {},
              std::string thumbnail = {}, std::string serial = {}, std::string zone = {})
        : date(std::move(date)), make(std::move(make)), model(std::move(model)), thumbnail(std::move(thumbnail)),
          serial(std::move(serial)), zone(std::move(zone)) {}

    std::string date;
    std::string make;
    std::string model;
    std::string thumbnail;
    std::string serial;  // BodySerialNumber, in the EXIF directory
    std::string zone;
    std::string gpsDate;
    std::vector<std::uint32_t> gpsTime = {0, 0, 0};
    bool gpsTimeOnly = false;  // a GPS directory with the time and no date
};
std::string cameraPhoto(const PhotoTags& tags = {});
// A JPEG without EXIF data (JFIF APP0 and a decodable image).
std::string plainPhoto();

// `bytes` with every `from` replaced by `to` (a file's expected bytes after its values were rewritten in place).
std::string replacedAll(std::string bytes, std::string_view from, std::string_view to);

// A folder under the system's temporary folder, removed with everything in it when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // Writes `bytes` to the file `name` inside the folder and returns its full path.
    std::string write(std::string_view name, std::string_view bytes) const;

  private:
    std::filesystem::path path_;
};

// Writes `bytes` to `path`, creating its folders first; throws when the file cannot be written.
void writeFile(const std::filesystem::path& path, std::string_view bytes);
// The whole file, or an empty text when it cannot be read.
std::string readFile(const std::filesystem::path& path);

}  // namespace morrowtide::test
