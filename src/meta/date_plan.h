// SPDX-License-Identifier: GPL-3.0-or-later
// A photo's EXIF dates as places in its file, and their shift computed as byte patches before anything is written.
// The patches are what a run writes and what a preview shows; applying them to the container updates its one copy
// of the EXIF bytes, which the decoded block views.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "meta/formats/date_codec.h"
#include "meta/formats/date_field.h"
#include "meta/image_info.h"

namespace morrowtide::meta {

class ImgData;

// One date value of the photo's EXIF block, each value once however many tags point at it.
struct DateSlot {
    std::uint64_t fileOffset = 0;  // of its first character
    double value = 0.0;            // as read; 0 when it cannot be read (it then stays as it is)
    bool rewritable = true;        // false when its stored value holds fewer than 19 bytes or leaves the section
    bool capture = false;          // the value the capture date is read from
};

// The date values of one decoded block, each once, placed at `base` + their offset in the bytes the block's dates
// lie in; a value reaching past `end` cannot be rewritten. `capture` marks the value the capture date is read from.
std::vector<DateSlot> blockDateSlots(const ImageInfo& info, std::uint64_t base, std::uint64_t end, bool capture);

// The date values of every EXIF section of the container (the one exif() decodes, then any later one), each
// section's in the order DateTime, DateTimeOriginal, DateTimeDigitized, then the others met; empty when none.
std::vector<DateSlot> dateSlotsOf(const ImgData& data);

// One time-zone offset of the photo's dates (OffsetTime, OffsetTimeOriginal, OffsetTimeDigitized: "+HH:MM"), with
// the date value it belongs to.
struct ZoneSlot {
    std::uint64_t fileOffset = 0;  // of its first character
    std::uint32_t size = 0;        // bytes its value holds (7 in a well-formed file)
    std::uint64_t dateOffset = 0;  // file offset of its date's value; 0 when the block holds no such date
};

// The zone offsets of the EXIF sections dateSlotsOf reads whose value holds at least "+HH:MM" and lies in the
// section; a shorter one cannot be rewritten and is left out.
std::vector<ZoneSlot> zoneSlotsOf(const ImgData& data);


// The UTC date-time the GPS recorded (GPSDateStamp "YYYY:MM:DD" and GPSTimeStamp, three rationals: hours, minutes,
// seconds) as a date-time value; 0 when the block lacks either or they do not make a valid date and time.
double gpsDateTimeOf(const ImageInfo& info);
// The UTC time of day the GPS recorded (GPSTimeStamp), as a fraction of a day, whether or not a date goes with it;
// nullopt when there is none that reads.
std::optional<double> gpsTimeOfDayOf(const ImageInfo& info);

// The offset in days (a fraction for the time), the whole seconds summed before the one division.
double offsetInDays(std::int32_t days, std::int32_t hours, std::int32_t minutes, std::int32_t seconds);

// kShifted: every readable, rewritable date moves; kNoDate: none can be read and rewritten; kOutOfRange: a moved
// date would leave the years 0001-9999, so none moves.
struct DateShift {
    ShiftStatus status = ShiftStatus::kNoDate;
    std::vector<BytePatch> patches;  // 19 bytes "yyyy:mm:dd hh:nn:ss" each, in slot order
};
DateShift planDateShift(const std::vector<DateSlot>& slots, double deltaDays);

// "yyyy:mm:dd hh:nn:ss" of a date-time value (the milliseconds dropped).
std::string exifDateText(double value);

// Writes the patches into the container's EXIF sections, the bytes the output's header is written from and the
// decoded block views, and brings the decoded records of those values up to date. False, with nothing written,
// when a patch does not lie inside the bytes the section read.
bool applyDatePatches(ImgData& data, const std::vector<BytePatch>& patches);

}  // namespace morrowtide::meta
