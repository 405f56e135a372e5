// SPDX-License-Identifier: GPL-3.0-or-later
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
#include "meta/date_plan.h"
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

// The bytes a date is written into.
std::string* writableDateBytes(ImageInfo& info) {
    if (info.dateTarget != nullptr) return info.dateTarget;
    if (info.owner != nullptr) {
        if (JpegSection* section = info.owner->exifSection()) return &section->data;
    }
    return info.block.owned();
}

// Byte count of the recorded date value at `pos` (the smallest, should two tags of different counts point there);
// -1 when no date value was recorded there.
std::int64_t recordedSizeAt(const ImageInfo& info, std::int64_t pos) {
    std::int64_t size = -1;
    const auto take = [&](std::int64_t at, std::int64_t count) {
        if (at == pos && (size < 0 || count < size)) size = count;
    };
    take(info.dateTimePos, info.dateTimeSize);
    take(info.dateTimeOriginalPos, info.dateTimeOriginalSize);
    take(info.dateTimeDigitizedPos, info.dateTimeDigitizedSize);
    for (const DateValue& value : info.dateValues) take(value.pos, value.size);
    return size;
}

// A date value that can be moved: readable, and wholly inside its value and the bytes.
bool isRewritable(const ImageInfo& info, std::int64_t pos) {
    const std::int64_t size = recordedSizeAt(info, pos);
    return pos >= 1 && (size < 0 || size >= static_cast<std::int64_t>(kDateLength)) &&
           fitsIn(info.dateBytes().size(), static_cast<std::size_t>(pos - 1), kDateLength);
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
    if (dateTarget != nullptr) return *dateTarget;
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
    std::string* target = writableDateBytes(*this);
    if (target == nullptr) return false;
    std::string& bytes = *target;
    if (pos < 1 || !fitsIn(bytes.size(), static_cast<std::size_t>(pos - 1), kDateLength)) return false;
    const std::int64_t recordedSize = recordedSizeAt(*this, pos);
    if (recordedSize >= 0 && recordedSize < static_cast<std::int64_t>(kDateLength)) return false;
    if (!isDateTimeInRange(value)) return false;
    const std::string text = exifDateText(value);
    bytes.replace(static_cast<std::size_t>(pos - 1), kDateLength, text);
    mirrorDate(pos, text);
    return true;
}

void ImageInfo::mirrorDate(std::int64_t pos, std::string_view text) {
    // A block that views the bytes written needs nothing; one with bytes of its own gets the same text at the same
    // place. The records keep their value's first bytes.
    std::string* own = block.owned();
    if (own != nullptr && own != writableDateBytes(*this) &&
        fitsIn(own->size(), static_cast<std::size_t>(pos - 1), text.size())) {
        own->replace(static_cast<std::size_t>(pos - 1), text.size(), text);
    }
    for (auto* list : {&entries, &thumbEntries}) {
        for (TagEntry& entry : *list) {
            if (entry.rawPos != pos || entry.format != 2) continue;
            if (entry.rawBytes.size() >= text.size()) entry.rawBytes.replace(0, text.size(), text);
            if (entry.text.size() >= text.size()) entry.text.replace(0, text.size(), text);
        }
    }
}

std::int64_t ImageInfo::capturePos() const {
    for (const std::int64_t pos : {dateTimeOriginalPos, dateTimeDigitizedPos, dateTimePos}) {
        if (pos > 0 && readDateAt(pos) != 0.0) return pos;
    }
    return 0;
}

double ImageInfo::captureDateTime() const {
    const std::int64_t pos = capturePos();
    return pos > 0 ? readDateAt(pos) : 0.0;
}

bool ImageInfo::isRewritableDate(std::int64_t pos) const {
    return isRewritable(*this, pos);
}

std::vector<std::int64_t> ImageInfo::datePositions() const {
    std::vector<std::int64_t> positions;
    auto add = [&positions](std::int64_t pos) {
        if (pos > 0 && std::find(positions.begin(), positions.end(), pos) == positions.end()) positions.push_back(pos);
    };
    for (const std::int64_t pos : {dateTimePos, dateTimeOriginalPos, dateTimeDigitizedPos}) add(pos);
    for (const DateValue& value : dateValues) add(value.pos);
    return positions;
}

std::string_view shiftStatusReason(ShiftStatus status) {
    switch (status) {
        case ShiftStatus::kShifted:
            return "";
        case ShiftStatus::kNoExifBlock:
            return "no EXIF block";
        case ShiftStatus::kNoDate:
            return "no readable date in its EXIF block";
        case ShiftStatus::kOutOfRange:
            return "the offset would move a date outside the years 0001-9999";
    }
    return "";
}

}  // namespace morrowtide::meta
