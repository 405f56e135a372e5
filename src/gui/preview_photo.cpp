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

std::optional<std::uint32_t> thumbnailNumber(const meta::ImageInfo& exif, std::uint16_t tag) {
    for (const meta::TagEntry& entry : exif.thumbEntries) {
        if (entry.tag != tag) continue;
        const meta::ByteReader value(entry.rawBytes, exif.bigEndian);
        if (entry.format == 3) {
            if (auto number = value.tryU16(0)) return *number;
            return std::nullopt;
        }
        return value.tryU32(0);
    }
    return std::nullopt;
}

}  // namespace

QByteArray exifThumbnail(const meta::ImageInfo& exif) {
    const auto offset = thumbnailNumber(exif, kThumbnailOffsetTag);
    const auto length = thumbnailNumber(exif, kThumbnailLengthTag);
    if (!offset || !length || *length < 4) return {};
    const meta::ByteReader section(exif.dateBytes(), exif.bigEndian);
    const std::size_t start = kTiffStartInSection + std::size_t{*offset};
    if (!section.fits(start, *length)) return {};
    const std::string_view bytes = section.bytes(start, *length);
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
        const std::string& bytes = data.sourceBytes();
        header.isJpeg = bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
                        static_cast<unsigned char>(bytes[1]) == 0xD8;
        const meta::ImageInfo* exif = data.hasAnyMetadata() && data.hasExifBlock() ? data.exif() : nullptr;
        if (exif == nullptr) return header;
        header.hasExif = true;
        header.cameraModel = QString::fromLatin1(exif->cameraModel).trimmed();
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
