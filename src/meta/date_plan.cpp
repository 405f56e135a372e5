// SPDX-License-Identifier: GPL-3.0-or-later
#include "meta/date_plan.h"

#include <algorithm>
#include <utility>
#include <cstdio>
#include <string>

#include "meta/byte_reader.h"
#include "meta/date_time.h"
#include "meta/image_info.h"
#include "meta/img_data.h"

namespace morrowtide::meta {

namespace {

constexpr std::size_t kDateLength = 19;

// One EXIF section of the container with the decoded object whose dates lie in it.
struct ExifPart {
    const JpegSection* section;
    const ImageInfo* info;
};

std::vector<ExifPart> exifParts(const ImgData& data) {
    std::vector<ExifPart> parts;
    if (data.exif() == nullptr || data.exifSection() == nullptr) return parts;
    parts.push_back({data.exifSection(), data.exif()});
    for (int i = 0; i < data.extraExifCount(); ++i) {
        parts.push_back({&data.section(data.extraExifSectionIndex(i)), &data.extraExif(i)});
    }
    return parts;
}

// The file offsets [begin, end) of the bytes of `section` that came from the file.
std::pair<std::uint64_t, std::uint64_t> spanOf(const JpegSection& section) {
    const auto begin = static_cast<std::uint64_t>(std::max<std::int64_t>(0, section.dataOffset));
    return {begin, begin + static_cast<std::uint64_t>(std::max<std::int64_t>(0, section.storedLength))};
}

}  // namespace

std::vector<DateSlot> blockDateSlots(const ImageInfo& info, std::uint64_t base, std::uint64_t end, bool capture) {
    std::vector<DateSlot> slots;
    const std::int64_t capturePos = capture ? info.capturePos() : 0;
    for (const std::int64_t pos : info.datePositions()) {
        DateSlot slot;
        slot.fileOffset = base + static_cast<std::uint64_t>(pos - 1);
        slot.value = info.readDateAt(pos);
        slot.rewritable = info.isRewritableDate(pos) && slot.fileOffset + kDateLength <= end;
        slot.capture = pos == capturePos;
        slots.push_back(slot);
    }
    return slots;
}

std::vector<DateSlot> dateSlotsOf(const ImgData& data) {
    std::vector<DateSlot> slots;
    if (!data.hasExifBlock()) return slots;
    for (const ExifPart& part : exifParts(data)) {
        const auto [begin, end] = spanOf(*part.section);
        const std::vector<DateSlot> block = blockDateSlots(*part.info, begin, end, part.info == data.exif());
        slots.insert(slots.end(), block.begin(), block.end());
    }
    return slots;
}

std::vector<ZoneSlot> zoneSlotsOf(const ImgData& data) {
    constexpr std::size_t kZoneLength = 6;  // "+HH:MM"; a closing zero may follow
    std::vector<ZoneSlot> slots;
    if (!data.hasExifBlock()) return slots;
    for (const ExifPart& part : exifParts(data)) {
        const ImageInfo& info = *part.info;
        const auto [begin, end] = spanOf(*part.section);
        const auto fileOffsetOf = [begin = begin](std::int64_t pos) { return begin + static_cast<std::uint64_t>(pos - 1); };
        for (const DateValue& value : info.zoneValues) {
            if (value.pos < 1 || value.size < static_cast<std::int32_t>(kZoneLength)) continue;
            ZoneSlot slot;
            slot.fileOffset = fileOffsetOf(value.pos);
            slot.size = static_cast<std::uint32_t>(value.size);
            if (slot.fileOffset + slot.size > end) continue;
            const std::int32_t datePos = value.tag == 0x9010   ? info.dateTimePos
                                         : value.tag == 0x9011 ? info.dateTimeOriginalPos
                                                               : info.dateTimeDigitizedPos;
            if (datePos > 0) slot.dateOffset = fileOffsetOf(datePos);
            slots.push_back(slot);
        }
    }
    return slots;
}

std::optional<double> gpsTimeOfDayOf(const ImageInfo& info) {
    const TagEntry time = info.entryByName("GPSTimeStamp");
    constexpr std::size_t kRationals = 3;
    if (time.tag == 0 || time.format != 5 || time.rawBytes.size() < 8 * kRationals) return std::nullopt;
    const ByteReader reader(time.rawBytes, info.bigEndian);
    double parts[kRationals];
    for (std::size_t i = 0; i < kRationals; ++i) {
        const std::uint32_t denominator = reader.u32(8 * i + 4);
        if (denominator == 0) return std::nullopt;
        parts[i] = static_cast<double>(reader.u32(8 * i)) / denominator;
    }
    if (parts[0] >= 24 || parts[1] >= 60 || parts[2] >= 61) return std::nullopt;
    return (parts[0] * 3600 + parts[1] * 60 + parts[2]) / 86400.0;
}

double gpsDateTimeOf(const ImageInfo& info) {
    const TagEntry date = info.entryByName("GPSDateStamp");
    const std::optional<double> time = gpsTimeOfDayOf(info);
    if (date.tag == 0 || !time) return 0.0;
    const double day = parseExifDate(std::string(ByteReader(date.rawBytes).bytesClamped(0, 10)) + " 00:00:00");
    if (day == 0.0) return 0.0;
    const double value = day + *time;
    return isDateTimeInRange(value) ? value : 0.0;
}

double offsetInDays(std::int32_t days, std::int32_t hours, std::int32_t minutes, std::int32_t seconds) {
    const std::int64_t secondsOfDay = static_cast<std::int64_t>(hours) * 3600 +
                                      static_cast<std::int64_t>(minutes) * 60 + static_cast<std::int64_t>(seconds);
    return static_cast<double>(days) + static_cast<double>(secondsOfDay) / 86400.0;
}

std::string exifDateText(double value) {
    const CivilDateTime f = decodeDateTime(value);  // rounded to the millisecond; the milliseconds are dropped
    char text[kDateLength + 1];
    std::snprintf(text, sizeof text, "%04d:%02d:%02d %02d:%02d:%02d", f.year, f.month, f.day, f.hour, f.minute,
                  f.second);
    return std::string(text, kDateLength);
}

DateShift planDateShift(const std::vector<DateSlot>& slots, double deltaDays) {
    DateShift shift;
    for (const DateSlot& slot : slots) {
        // An unknown date ("0000:00:00 00:00:00", blanks) has no sound shifted value: it stays as written.
        if (slot.value == 0.0 || !slot.rewritable) continue;
        const double moved = slot.value + deltaDays;
        // Rather than move some dates and not others, a photo whose date would leave the years 0001-9999 keeps all.
        if (!isDateTimeInRange(moved)) return {ShiftStatus::kOutOfRange, {}};
        shift.patches.push_back({slot.fileOffset, exifDateText(moved)});
    }
    if (!shift.patches.empty()) shift.status = ShiftStatus::kShifted;
    return shift;
}

bool applyDatePatches(ImgData& data, const std::vector<BytePatch>& patches) {
    const std::vector<ExifPart> parts = exifParts(data);
    // Each patch with the part it lies in, all found before any is written.
    std::vector<std::size_t> where;
    for (const BytePatch& patch : patches) {
        const auto found = std::find_if(parts.begin(), parts.end(), [&patch](const ExifPart& part) {
            const auto [begin, end] = spanOf(*part.section);
            return patch.offset >= begin && patch.offset <= end && patch.bytes.size() <= end - patch.offset;
        });
        if (found == parts.end()) return false;
        where.push_back(static_cast<std::size_t>(found - parts.begin()));
    }
    for (std::size_t i = 0; i < patches.size(); ++i) {
        const ExifPart& part = parts[where[i]];
        const auto at = static_cast<std::size_t>(patches[i].offset - spanOf(*part.section).first);
        // The sections are the container's own; the parts only point at them.
        const_cast<JpegSection*>(part.section)->data.replace(at, patches[i].bytes.size(), patches[i].bytes);
        const_cast<ImageInfo*>(part.info)->mirrorDate(static_cast<std::int64_t>(at) + 1, patches[i].bytes);
    }
    return true;
}

}  // namespace morrowtide::meta
