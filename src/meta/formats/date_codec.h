// SPDX-License-Identifier: GPL-3.0-or-later
// Reading and rewriting one date field in its own spelling. A shifted value is written back in exactly the bytes the
// old one took: same width, same separators, same precision, same time-zone designator. A value that cannot be
// read, or whose new value cannot be spelled in its form, is left as it is, and the outcome says why.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "meta/date_time.h"
#include "meta/formats/date_field.h"

namespace morrowtide::meta {

// Where a photo's dates go: a wall-clock time in, its corrected wall-clock time out, or nothing when there is no
// sound corrected value (it would leave the years 1..9999). Today the run knows only a fixed number of seconds;
// the mapping is a function so that a later correction may depend on the moment (time-zone rules).
class DateMapping {
  public:
    using Function = std::function<std::optional<CivilDateTime>(const CivilDateTime&)>;

    // Every date moves by the same number of seconds (negative: back).
    static DateMapping bySeconds(std::int64_t seconds);
    explicit DateMapping(Function function) : function_(std::move(function)) {}

    // The new value of a valid date-time (milliseconds ignored), or nullopt when it would leave the years 1..9999 or
    // the input is not a valid date-time.
    std::optional<CivilDateTime> operator()(const CivilDateTime& value) const;

    // A mapping between time zones gives wall-clock times of another zone: a value that names its own zone
    // ("...+02:00") would then name a moment it was not, so such values are left as they are (they still name the
    // right moment).
    DateMapping& leavingZonedValues() {
        leavesZoned_ = true;
        return *this;
    }
    bool leavesZonedValues() const { return leavesZoned_; }

    // The zone offset (seconds east of UTC) a date moved by this mapping is in afterwards, given the date as it was:
    // a conversion between zones sets each EXIF zone offset to its date's new zone. A mapping without it (a plain
    // shift) leaves zone offsets as they are.
    using ZoneFunction = std::function<std::optional<int>(const CivilDateTime& before)>;
    DateMapping& settingZoneOffsets(ZoneFunction zoneOf) {
        zoneOf_ = std::move(zoneOf);
        return *this;
    }
    std::optional<int> zoneOffsetAfter(const CivilDateTime& before) const {
        return zoneOf_ ? zoneOf_(before) : std::nullopt;
    }

    // A conversion between zones shows a value that names its zone at the same instant in the target zone: its new
    // wall-clock time and zone offset (seconds), given its own. Such a text value is rewritten where its designator
    // can spell the new offset in the same width ("+03:00" to "+09:00"); otherwise it is left (see leavingZonedValues).
    using ZonedFunction =
        std::function<std::optional<std::pair<CivilDateTime, int>>(const CivilDateTime& wall, int zoneSeconds)>;
    DateMapping& rewritingZonedValues(ZonedFunction zoned) {
        zoned_ = std::move(zoned);
        return *this;
    }
    std::optional<std::pair<CivilDateTime, int>> zonedAfter(const CivilDateTime& wall, int zoneSeconds) const {
        return zoned_ ? zoned_(wall, zoneSeconds) : std::nullopt;
    }

  private:
    Function function_;
    ZoneFunction zoneOf_;
    ZonedFunction zoned_;
    bool leavesZoned_ = false;
};

// Whole seconds between two valid date-times (b - a), and the date-time `seconds` after a valid one (nullopt
// outside the years 1..9999). Exact integer calendar arithmetic: months, leap days and year ends are crossed.
std::int64_t secondsBetween(const CivilDateTime& a, const CivilDateTime& b);
std::optional<CivilDateTime> addSeconds(const CivilDateTime& value, std::int64_t seconds);

// How much of a date a field spells. A value denotes the whole period its precision names (a date-only value is the
// whole day); it is rewritten only when the correction moves that period onto one whole period of the same length,
// because its form cannot say anything finer. So a date-only value follows a shift of whole days and is left, and
// reported, under a shift of hours.
enum class DatePrecision : std::uint8_t { Year, Month, Day, Minute, Second };

// A field's value as read.
struct ParsedDate {
    CivilDateTime value;  // fields below the precision are at their first value (month 1, day 1, 00:00:00)
    DatePrecision precision = DatePrecision::Second;
    bool zoned = false;   // the value names its zone ("Z", "+02:00", an IPTC time's "+0200")
    int zoneSeconds = 0;  // ... that zone's offset from UTC
};

// What became of one field.
enum class DateOutcome : std::uint8_t {
    Shifted,     // rewritten (with a zero correction: rewritten with the same value)
    Empty,       // the form's "no date" (zeros, blanks, QuickTime 0, an empty XMP value): left as it is
    Unreadable,  // not a date in its form: left as it is
    OutOfRange,  // the corrected value lies outside what the form can hold (years 1..9999, QuickTime's range)
    Imprecise,   // the correction moves the value inside its period (a date-only value, hours moved): left
    NoPartner,   // an IPTC time with no date to carry a change of day: left
    Zoned,       // a value that names its zone, under a mapping that leaves such values (see DateMapping): left
    ZoneKept,    // a zone offset whose date keeps its zone (a plain shift, or its date not moved): left
};

// "shifted", "empty", "unreadable", "out of range", "date only", "time without date", "has its own zone" — for logs
// and `info`.
std::string_view dateOutcomeText(DateOutcome outcome);

// The value of `bytes` in `encoding`; nullopt when it is not a date (an empty value is not one either).
// ExifAscii follows the EXIF date rules of the rest of the reader (fixed positions, any separators; a blank or all
// zero value is empty). Iso8601: "YYYY[-MM[-DD[Thh:mm[:ss[.f+]]]]]" with 'T' or a blank before the time and an
// optional designator ("Z", "+hh:mm", "-hh:mm", "+hhmm", "+hh"). IptcDate: "CCYYMMDD" (Day precision).
// IptcTime: "HHMMSS" with an optional "+HHMM"/"-HHMM" (its date fields are 1-1-1; combine it with its date).
// QuickTimeSeconds32/64: big-endian seconds since 1904-01-01 00:00:00 (0 is empty). PngTime: the 7 bytes of a PNG
// tIME chunk (all zeros is empty).
std::optional<ParsedDate> parseDateField(DateEncoding encoding, std::string_view bytes);

// True when `bytes` is the form's "no date" rather than a broken one.
bool isEmptyDateField(DateEncoding encoding, std::string_view bytes);

// `bytes` rewritten to spell `value`, in the same width and form: for text forms only the digits of the fields
// the value spells change (ExifAscii is always written "YYYY:MM:DD HH:MM:SS"); fractions of a second and the
// time-zone designator stay as written. nullopt when the value cannot be spelled there (QuickTime range, bytes that
// do not parse). An IptcDate takes the date of `value`, an IptcTime its time.
std::optional<std::string> formatDateField(DateEncoding encoding, std::string_view bytes, const CivilDateTime& value);

// One field shifted: its new bytes (the old ones unless the outcome is Shifted).
struct FieldShift {
    DateOutcome outcome = DateOutcome::Unreadable;
    std::string bytes;
    std::optional<ParsedDate> before;  // the old value when it was readable
    std::optional<ParsedDate> after;   // the new value when shifted
};

// A single field (an IptcTime alone gives NoPartner).
FieldShift shiftDateField(DateEncoding encoding, std::string_view bytes, const DateMapping& mapping);

// An IPTC date and its time, moved as one date-time so that a shift across midnight changes the date. Both results
// carry the pair's outcome.
struct IptcPairShift {
    FieldShift date;
    FieldShift time;
};
IptcPairShift shiftIptcPair(std::string_view dateBytes, std::string_view timeBytes, const DateMapping& mapping);

// Outcome of one field of a list.
struct FieldReport {
    std::size_t field = 0;  // index into the list
    DateOutcome outcome = DateOutcome::Unreadable;
    std::string before;     // the field's bytes as found (text forms) or its value as text (QuickTime seconds)
    std::string after;      // the same after the shift; equal to `before` unless shifted
};

struct DatePatchPlan {
    std::vector<BytePatch> patches;     // one per shifted field whose bytes changed, inside that field
    std::vector<FieldReport> reports;   // one per field, in list order
};

// Every field of `fields` read from `source`, shifted with `mapping`. IPTC dates move with their partner times.
// A field whose bytes cannot be read from the source is reported Unreadable.
DatePatchPlan shiftDateFields(const std::vector<DateField>& fields, const ByteSource& source,
                            const DateMapping& mapping);

// The fields of `from` appended to `into`, their partner indexes adjusted; skipped notes are appended too.
void appendDateFields(DateFieldScan& into, const DateFieldScan& from);

// "+HH:MM" (seconds dropped) of an offset from UTC in seconds, the zone offset's spelling; an ExifZoneOffset field
// holds at least these 6 characters.
std::string zoneOffsetText(int seconds);
// The offset in seconds an EXIF zone offset value ("+HH:MM", zero bytes may follow) spells; nullopt for any other.
std::optional<int> parseZoneOffset(std::string_view bytes);
inline constexpr std::uint32_t kZoneOffsetWidth = 6;

}  // namespace morrowtide::meta
