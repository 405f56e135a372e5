// The three EXIF dates are patched where they stand: 19 characters each, so the block keeps its length and every
// offset in it.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

#include "meta/byte_reader.h"
#include "meta/date_time.h"
#include "meta/image_info.h"
#include "meta/img_data.h"

namespace morrowtide::meta {

namespace {

constexpr std::size_t kDateLength = 19;

// A field of the date text: optional blanks, an optional sign, then decimal digits only.
std::optional<int> fieldAt(std::string_view text, std::size_t from, std::size_t length) {
    if (from >= text.size()) return std::nullopt;
    std::string_view field = text.substr(from, length);
    while (!field.empty() && field.front() == ' ') field.remove_prefix(1);
    bool negative = false;
    if (!field.empty() && (field.front() == '+' || field.front() == '-')) {
        negative = field.front() == '-';
        field.remove_prefix(1);
    }
    if (field.empty()) return std::nullopt;
    int value = 0;
    for (const char c : field) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');  // at most four digits: no overflow
    }
    return negative ? -value : value;
}

// The bytes a date is written into; null when there are none to write.
std::string* writableDateBytes(ImageInfo& info) {
    if (info.owner != nullptr) {
        if (JpegSection* section = info.owner->exifSection()) return &section->data;
    }
    return &info.block;
}

// Byte count of the recorded date value at `pos`; -1 when `pos` is none of the three recorded positions.
std::int64_t recordedSizeAt(const ImageInfo& info, std::int64_t pos) {
    if (pos == info.dateTimePos) return info.dateTimeSize;
    if (pos == info.dateTimeOriginalPos) return info.dateTimeOriginalSize;
    if (pos == info.dateTimeDigitizedPos) return info.dateTimeDigitizedSize;
    return -1;
}

}  // namespace

double parseExifDate(std::string_view text) {
    CivilDateTime fields;
    const auto year = fieldAt(text, 0, 4), month = fieldAt(text, 5, 2), day = fieldAt(text, 8, 2);
    const auto hour = fieldAt(text, 11, 2), minute = fieldAt(text, 14, 2), second = fieldAt(text, 17, 2);
    if (!year || !month || !day || !hour || !minute || !second) return 0.0;
    fields.year = *year;
    fields.month = *month;
    fields.day = *day;
    fields.hour = *hour;
    fields.minute = *minute;
    fields.second = *second;
    fields.millisecond = 0;
    return encodeDateTime(fields);  // 0 for an invalid date or time
}

const std::string& ImageInfo::dateBytes() const {
    if (owner != nullptr) {
        if (const JpegSection* section = owner->exifSection()) return section->data;
    }
    return block;
}

double ImageInfo::readDateAt(std::int64_t pos) const {
    if (pos < 1) return 0.0;
    return parseExifDate(ByteReader(dateBytes()).bytesClamped(static_cast<std::size_t>(pos - 1), kDateLength));
}

bool ImageInfo::writeDateAt(std::int64_t pos, double value) {
    std::string& bytes = *writableDateBytes(*this);
    if (pos < 1 || !fitsIn(bytes.size(), static_cast<std::size_t>(pos - 1), kDateLength)) return false;
    const std::int64_t recordedSize = recordedSizeAt(*this, pos);
    if (recordedSize >= 0 && recordedSize < static_cast<std::int64_t>(kDateLength)) return false;
    if (!isDateTimeInRange(value)) return false;
    const CivilDateTime f = decodeDateTime(value);  // rounded to the millisecond; the milliseconds are dropped
    char text[kDateLength + 1];
    std::snprintf(text, sizeof text, "%04d:%02d:%02d %02d:%02d:%02d", f.year, f.month, f.day, f.hour, f.minute,
                  f.second);
    bytes.replace(static_cast<std::size_t>(pos - 1), kDateLength, text, kDateLength);
    return true;
}

double ImageInfo::captureDateTime() const {
    for (const std::int64_t pos : {dateTimePos, dateTimeOriginalPos, dateTimeDigitizedPos}) {
        if (pos > 0) return readDateAt(pos);  // an unreadable first date is the answer; the next is not tried
    }
    return 0.0;
}

void ImageInfo::shiftDates(std::int32_t days, std::int32_t hours, std::int32_t minutes, std::int32_t seconds) {
    // Whole seconds summed exactly before the one division, so the delta is as precise as a double allows.
    const std::int64_t secondsOfDay = static_cast<std::int64_t>(hours) * 3600 +
                                      static_cast<std::int64_t>(minutes) * 60 + static_cast<std::int64_t>(seconds);
    const double delta = static_cast<double>(days) + static_cast<double>(secondsOfDay) / 86400.0;
    const std::int64_t positions[] = {dateTimePos, dateTimeOriginalPos, dateTimeDigitizedPos};
    for (std::size_t i = 0; i < std::size(positions); ++i) {
        const std::int64_t pos = positions[i];
        if (pos <= 0) continue;
        // Two tags pointing at the same value share one date: moving it twice would move it by twice the offset.
        if (std::find(positions, positions + i, pos) != positions + i) continue;
        const double value = readDateAt(pos);
        // An unknown date ("0000:00:00 00:00:00", blanks) has no sound shifted value: it stays as the camera wrote it.
        if (value == 0.0) continue;
        writeDateAt(pos, value + delta);
    }
}

}  // namespace morrowtide::meta
