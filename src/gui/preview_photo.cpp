#include "gui/preview_photo.h"

#include <exception>

#include "app/native_path.h"
#include "meta/byte_reader.h"
#include "meta/date_time.h"
#include "meta/img_data.h"

namespace morrowtide::gui {

namespace {

constexpr std::uint16_t kThumbnailOffsetTag = 0x0201;  // JPEGInterchangeFormat
constexpr std::uint16_t kThumbnailLengthTag = 0x0202;  // JPEGInterchangeFormatLength
// TIFF offsets count from the byte-order mark, which follows the section's length field and "Exif\0\0".
constexpr std::size_t kTiffStartInSection = 8;


// A SHORT or LONG value of the thumbnail directory (IFD1, which the metadata walk leaves alone); empty when the
// directory does not hold the tag or lies outside the block.
std::optional<std::uint32_t> thumbnailNumber(const meta::ByteReader& tiff, std::uint32_t directory, std::uint16_t tag) {
    const auto count = tiff.tryU16(directory);
    if (!count) return std::nullopt;
    for (std::size_t i = 0; i < *count; ++i) {
        const std::size_t entry = std::size_t{directory} + 2 + 12 * i;
        const auto entryTag = tiff.tryU16(entry);
        if (!entryTag) return std::nullopt;
        if (*entryTag != tag) continue;
        const auto format = tiff.tryU16(entry + 2);
        if (format == 3) {
            if (auto value = tiff.tryU16(entry + 8)) return *value;
            return std::nullopt;
        }
        return format == 4 ? tiff.tryU32(entry + 8) : std::nullopt;
    }
    return std::nullopt;
}

// The model as stored, up to its first zero byte: cameras pad it with zero bytes or blanks, which the decoded text
// shows as dots.
QString cameraModelOf(const meta::ImageInfo& exif) {
    constexpr std::uint16_t kModelTag = 0x0110;
    for (const meta::TagEntry& entry : exif.entries) {
        if (entry.tag != kModelTag || entry.rawBytes.empty()) continue;
        const std::string& raw = entry.rawBytes;
        return QString::fromLatin1(raw.substr(0, raw.find('\0'))).trimmed();
    }
    return QString::fromLatin1(exif.cameraModel).trimmed();
}

}  // namespace

QByteArray exifThumbnail(const meta::ImageInfo& exif) {
    const std::string& section = exif.dateBytes();
    if (section.size() <= kTiffStartInSection || exif.nextDirOffset <= 0) return {};
    const meta::ByteReader tiff(std::string_view(section).substr(kTiffStartInSection), exif.bigEndian);
    const auto directory = static_cast<std::uint32_t>(exif.nextDirOffset);
    const auto offset = thumbnailNumber(tiff, directory, kThumbnailOffsetTag);
    const auto length = thumbnailNumber(tiff, directory, kThumbnailLengthTag);
    if (!offset || !length || *length < 4 || !tiff.fits(*offset, *length)) return {};
    const std::string_view bytes = tiff.bytes(*offset, *length);
    // Only a JPEG: an uncompressed thumbnail or a wrong offset would give a picture of noise or nothing.
    if (static_cast<unsigned char>(bytes[0]) != 0xFF || static_cast<unsigned char>(bytes[1]) != 0xD8) return {};
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

PhotoHeader readPhotoHeader(const std::string& nativePath, const QString& relativePath) {
    PhotoHeader header;
    header.relativePath = relativePath;
    header.nativePath = nativePath;
    try {
        meta::ImgData data(255);
        data.readImageFile(nativePath);
        const meta::ImageInfo* exif = data.hasAnyMetadata() && data.hasExifBlock() ? data.exif() : nullptr;
        if (exif == nullptr) return header;
        header.hasExif = true;
        header.cameraModel = cameraModelOf(*exif);
        header.recorded = exif->captureDateTime();
        header.thumbnail = exifThumbnail(*exif);
    } catch (const std::exception&) {
        // A header that cannot be read is shown as such; the run reports the file's own error.
    }
    return header;
}

double recordedTimeOf(const QString& path) {
    return readPhotoHeader(app::encodePath(path), path).recorded;
}

QString dateTimeText(double value) {
    if (value == 0.0) return QStringLiteral("-");
    const meta::CivilDateTime t = meta::decodeDateTime(value);
    return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
}

}  // namespace morrowtide::gui
