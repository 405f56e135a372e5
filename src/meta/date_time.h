// SPDX-License-Identifier: GPL-3.0-or-later
// Date-time values: days since 1899-12-30 00:00:00 as a double, the fraction being the time of day; 0 is the
// "missing date". These helpers convert between that value and calendar fields.
#pragma once

namespace morrowtide::meta {

// Calendar fields of a date-time value (proleptic Gregorian calendar, no time zone).
struct CivilDateTime {
    int year = 1899;
    int month = 12;  // 1..12
    int day = 30;    // 1..days in month
    int hour = 0;    // 0..23
    int minute = 0;
    int second = 0;
    int millisecond = 0;

    friend bool operator==(const CivilDateTime&, const CivilDateTime&) = default;
};

// The years a date-time value may hold; EXIF dates and the calendar arithmetic stay inside them.
inline constexpr int kMinYear = 1;
inline constexpr int kMaxYear = 9999;

// Year 1..9999, a real calendar day (Gregorian leap years), hour 0..23, minute and second 0..59, ms 0..999.
bool isValidCivilDateTime(const CivilDateTime& value);

// The value of the given fields, or 0 (the missing date) when isValidCivilDateTime says no.
// The scale is linear across the epoch: 1899-12-29 06:00 is -0.75, so adding a delta always moves by exactly that
// much calendar time, also before 1899.
double encodeDateTime(const CivilDateTime& value);

// The calendar fields of a value. The value is rounded to the nearest millisecond as one number before it is split,
// so 23:59:59.9999 becomes 00:00:00.000 of the next day. Values beyond the years 1..9999 are clamped to those
// limits; NaN reads as the missing date.
CivilDateTime decodeDateTime(double value);

// True when the value lies within the years 1..9999 once rounded to the millisecond (NaN and infinities are not).
bool isDateTimeInRange(double value);

// ISO weekday of a value: 1 = Monday .. 7 = Sunday.
int isoWeekday(double value);

// Number of days in the month (0 for a month outside 1..12).
int daysInMonth(int year, int month);

}  // namespace morrowtide::meta
