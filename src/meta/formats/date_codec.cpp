// SPDX-License-Identifier: GPL-3.0-or-later
// Date fields read and rewritten in their own spelling. Text forms change only the digits of the fields they spell,
// so every separator, fraction and time-zone designator stays byte for byte.
#include "meta/formats/date_codec.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <limits>
#include <map>

#include "meta/byte_reader.h"
#include "meta/image_info.h"

namespace morrowtide::meta {

namespace {

namespace chr = std::chrono;

// Seconds since 1970-01-01 00:00:00 of a valid date-time (proleptic Gregorian calendar), and back.
std::int64_t toEpochSeconds(const CivilDateTime& v) {
    const chr::sys_days day{chr::year{v.year} / v.month / v.day};
    return static_cast<std::int64_t>(day.time_since_epoch().count()) * 86400 + v.hour * 3600 + v.minute * 60 +
           v.second;
}

// Seconds since 1970 of 0001-01-01 00:00:00 and of 9999-12-31 23:59:59.
const std::int64_t kFirstSecond = toEpochSeconds(CivilDateTime{kMinYear, 1, 1, 0, 0, 0, 0});
const std::int64_t kLastSecond = toEpochSeconds(CivilDateTime{kMaxYear, 12, 31, 23, 59, 59, 0});

std::optional<CivilDateTime> fromEpochSeconds(std::int64_t s) {
    if (s < kFirstSecond || s > kLastSecond) return std::nullopt;
    const std::int64_t days = (s >= 0 ? s : s - 86399) / 86400;
    const std::int64_t rest = s - days * 86400;
    const chr::year_month_day ymd{chr::sys_days{chr::days{days}}};
    CivilDateTime c;
    c.year = static_cast<int>(ymd.year());
    c.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
    c.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
    c.hour = static_cast<int>(rest / 3600);
    c.minute = static_cast<int>(rest / 60 % 60);
    c.second = static_cast<int>(rest % 60);
    c.millisecond = 0;
    return c;
}

CivilDateTime wholeSeconds(CivilDateTime v) {
    v.millisecond = 0;
    return v;
}

// The first and last second of the period a value of `precision` names.
CivilDateTime periodStart(CivilDateTime v, DatePrecision precision) {
    v = wholeSeconds(v);
    if (precision == DatePrecision::Second) return v;
    v.second = 0;
    if (precision == DatePrecision::Minute) return v;
    v.hour = v.minute = 0;
    if (precision == DatePrecision::Day) return v;
    v.day = 1;
    if (precision == DatePrecision::Month) return v;
    v.month = 1;
    return v;
}

CivilDateTime periodEnd(CivilDateTime v, DatePrecision precision) {
    v = wholeSeconds(v);
    if (precision == DatePrecision::Second) return v;
    v.second = 59;
    if (precision == DatePrecision::Minute) return v;
    v.hour = 23;
    v.minute = 59;
    if (precision == DatePrecision::Day) return v;
    if (precision == DatePrecision::Year) v.month = 12;
    v.day = daysInMonth(v.year, v.month);
    return v;
}

// --- text helpers -----------------------------------------------------------------------------------------------

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::optional<int> digitsAt(std::string_view text, std::size_t at, std::size_t count) {
    if (!fitsIn(text.size(), at, count)) return std::nullopt;
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (!isDigit(text[i])) return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

void putDigits(std::string& text, std::size_t at, std::size_t count, int value) {
    for (std::size_t i = count; i-- > 0;) {
        text[at + i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
}

// A text form's "no date": nothing but zeros, blanks, zero bytes and separators.
bool isBlankText(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        return c == '0' || c == ' ' || c == '\0' || c == ':' || c == '-' || c == 'T' || c == '.' || c == 'Z' ||
               c == '+' || c == '\t' || c == '\r' || c == '\n';
    });
}

bool validDate(int y, int m, int d) {
    return y >= kMinYear && y <= kMaxYear && m >= 1 && m <= 12 && d >= 1 && d <= daysInMonth(y, m);
}
bool validTime(int h, int mi, int s) { return h >= 0 && h <= 23 && mi >= 0 && mi <= 59 && s >= 0 && s <= 59; }

// --- text forms -------------------------------------------------------------------------------------------------

// Where the digit groups of a text value lie; a group that is absent is npos. Writing replaces only these digits.
struct TextLayout {
    static constexpr std::size_t kNone = std::string_view::npos;
    std::size_t year = kNone, month = kNone, day = kNone, hour = kNone, minute = kNone, second = kNone;
};

using ParsedText = std::optional<std::pair<ParsedDate, TextLayout>>;

// Reads a text form from left to right.
class Cursor {
  public:
    explicit Cursor(std::string_view text) : text_(text) {}
    bool atEnd() const { return at_ == text_.size(); }
    std::size_t at() const { return at_; }
    // `count` digits here: their value, and where they start in `where`.
    std::optional<int> digits(std::size_t count, std::size_t& where) {
        const auto value = digitsAt(text_, at_, count);
        if (value) {
            where = at_;
            at_ += count;
        }
        return value;
    }
    // Takes one of `chars` when it is next.
    bool take(std::string_view chars) {
        if (atEnd() || chars.find(text_[at_]) == std::string_view::npos) return false;
        ++at_;
        return true;
    }
    // ".123" or ",5": a fraction of a second, kept as written; false for a separator without digits.
    bool fraction() {
        if (!take(".,")) return true;
        const std::size_t start = at_;
        while (!atEnd() && isDigit(text_[at_])) ++at_;
        return at_ > start;
    }
    // "Z", "+hh:mm", "-hhmm" or "+hh" up to the end; `seconds` gets its offset from UTC.
    bool zoneToEnd(bool allowZ, int& seconds) {
        seconds = 0;
        if (allowZ && take("Z")) return atEnd();
        const bool east = !atEnd() && text_[at_] == '+';
        if (!take("+-")) return false;
        std::size_t where = 0;
        const auto hours = digits(2, where);
        if (!hours || *hours > 23) return false;
        seconds = (east ? 1 : -1) * *hours * 3600;
        if (atEnd()) return true;
        take(":");
        const auto minutes = digits(2, where);
        if (minutes) seconds += (east ? 1 : -1) * *minutes * 60;
        return minutes && *minutes <= 59 && atEnd();
    }

  private:
    std::string_view text_;
    std::size_t at_ = 0;
};

ParsedText finished(ParsedDate parsed, const TextLayout& layout) {
    const CivilDateTime& v = parsed.value;
    if (!validDate(v.year, v.month, v.day) || !validTime(v.hour, v.minute, v.second)) return std::nullopt;
    return std::pair{parsed, layout};
}

// "YYYY[-MM[-DD[Thh:mm[:ss[.f+]]]]][designator]"; the date separators may also be colons, as some writers use.
ParsedText parseIso(std::string_view text) {
    ParsedDate parsed{CivilDateTime{1, 1, 1, 0, 0, 0, 0}, DatePrecision::Year};
    CivilDateTime& v = parsed.value;
    TextLayout layout;
    Cursor in(text);
    const auto year = in.digits(4, layout.year);
    if (!year) return std::nullopt;
    v.year = *year;
    // A designator only means something after a time of day.
    const auto end = [&](DatePrecision precision) -> ParsedText {
        parsed.precision = precision;
        const bool timed = precision == DatePrecision::Minute || precision == DatePrecision::Second;
        if (!in.atEnd()) {
            if (!(timed && in.zoneToEnd(true, parsed.zoneSeconds))) return std::nullopt;
            parsed.zoned = true;
        }
        return finished(parsed, layout);
    };
    if (!in.take("-:")) return end(DatePrecision::Year);
    const auto month = in.digits(2, layout.month);
    if (!month) return std::nullopt;
    v.month = *month;
    if (!in.take("-:")) return end(DatePrecision::Month);
    const auto day = in.digits(2, layout.day);
    if (!day) return std::nullopt;
    v.day = *day;
    if (!in.take("T ")) return end(DatePrecision::Day);
    const auto hour = in.digits(2, layout.hour);
    if (!hour || !in.take(":")) return std::nullopt;
    const auto minute = in.digits(2, layout.minute);
    if (!minute) return std::nullopt;
    v.hour = *hour;
    v.minute = *minute;
    if (!in.take(":")) return end(DatePrecision::Minute);
    const auto second = in.digits(2, layout.second);
    if (!second || !in.fraction()) return std::nullopt;
    v.second = *second;
    return end(DatePrecision::Second);
}

// "CCYYMMDD" (separators, where a writer put them, are kept).
ParsedText parseIptcDateText(std::string_view text) {
    TextLayout layout;
    Cursor in(text);
    const auto y = in.digits(4, layout.year);
    const bool separated = in.take("-:");
    const auto m = in.digits(2, layout.month);
    if (separated && !in.take("-:")) return std::nullopt;
    const auto d = in.digits(2, layout.day);
    if (!y || !m || !d || !in.atEnd()) return std::nullopt;
    return finished(ParsedDate{CivilDateTime{*y, *m, *d, 0, 0, 0, 0}, DatePrecision::Day}, layout);
}

// "HHMMSS" with an optional fraction and "+HHMM" / "-HHMM" (colons, where a writer put them, are kept). The date
// fields are 1-1-1: a time is completed by its date.
ParsedText parseIptcTimeText(std::string_view text) {
    TextLayout layout;
    Cursor in(text);
    const auto h = in.digits(2, layout.hour);
    const bool separated = in.take(":");
    const auto mi = in.digits(2, layout.minute);
    if (separated && !in.take(":")) return std::nullopt;
    const auto s = in.digits(2, layout.second);
    if (!h || !mi || !s || !in.fraction()) return std::nullopt;
    const bool zoned = !in.atEnd();
    int zoneSeconds = 0;
    if (zoned && !in.zoneToEnd(false, zoneSeconds)) return std::nullopt;
    return finished(ParsedDate{CivilDateTime{1, 1, 1, *h, *mi, *s, 0}, DatePrecision::Second, zoned, zoneSeconds},
                    layout);
}

std::string formatText(std::string_view bytes, const TextLayout& layout, const CivilDateTime& value) {
    std::string out(bytes);
    const auto put = [&](std::size_t at, std::size_t count, int field) {
        if (at != TextLayout::kNone) putDigits(out, at, count, field);
    };
    put(layout.year, 4, value.year);
    put(layout.month, 2, value.month);
    put(layout.day, 2, value.day);
    put(layout.hour, 2, value.hour);
    put(layout.minute, 2, value.minute);
    put(layout.second, 2, value.second);
    return out;
}

ParsedText parseText(DateEncoding encoding, std::string_view bytes) {
    switch (encoding) {
    case DateEncoding::Iso8601: return parseIso(bytes);
    case DateEncoding::IptcDate: return parseIptcDateText(bytes);
    case DateEncoding::IptcTime: return parseIptcTimeText(bytes);
    default: return std::nullopt;
    }
}

std::optional<ParsedDate> parseIptcDate(std::string_view bytes) {
    auto text = parseIptcDateText(bytes);
    if (!text) return std::nullopt;
    return text->first;
}

std::optional<ParsedDate> parseIptcTime(std::string_view bytes) {
    auto text = parseIptcTimeText(bytes);
    if (!text) return std::nullopt;
    return text->first;
}

// --- the other forms --------------------------------------------------------------------------------------------

constexpr std::size_t kExifLength = 19;

std::optional<ParsedDate> parseExif(std::string_view bytes) {
    if (bytes.size() < kExifLength) return std::nullopt;
    const double value = parseExifDate(bytes.substr(0, kExifLength));
    if (value == 0.0) return std::nullopt;
    return ParsedDate{wholeSeconds(decodeDateTime(value)), DatePrecision::Second};
}

const CivilDateTime kQuickTimeEpoch{1904, 1, 1, 0, 0, 0, 0};

std::optional<std::uint64_t> quickTimeSeconds(DateEncoding encoding, std::string_view bytes) {
    const std::size_t width = encoding == DateEncoding::QuickTimeSeconds32 ? 4 : 8;
    if (bytes.size() != width) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : bytes) value = (value << 8) | static_cast<std::uint8_t>(c);
    return value;
}

std::optional<ParsedDate> parseQuickTime(DateEncoding encoding, std::string_view bytes) {
    const auto seconds = quickTimeSeconds(encoding, bytes);
    if (!seconds || *seconds == 0 || *seconds > static_cast<std::uint64_t>(kLastSecond)) return std::nullopt;
    const auto value = addSeconds(kQuickTimeEpoch, static_cast<std::int64_t>(*seconds));
    if (!value) return std::nullopt;
    return ParsedDate{*value, DatePrecision::Second};
}

std::optional<std::string> formatQuickTime(DateEncoding encoding, const CivilDateTime& value) {
    const std::int64_t seconds = secondsBetween(kQuickTimeEpoch, value);
    const std::uint64_t limit = encoding == DateEncoding::QuickTimeSeconds32 ? 0xFFFFFFFFull
                                                                             : std::numeric_limits<std::uint64_t>::max();
    if (seconds <= 0 || static_cast<std::uint64_t>(seconds) > limit) return std::nullopt;  // 0 would read as "no date"
    const std::size_t width = encoding == DateEncoding::QuickTimeSeconds32 ? 4 : 8;
    std::string out(width, '\0');
    auto rest = static_cast<std::uint64_t>(seconds);
    for (std::size_t i = width; i-- > 0; rest >>= 8) out[i] = static_cast<char>(rest & 0xFF);
    return out;
}

// PNG tIME: a 16-bit big-endian year, then month, day, hour, minute and second in a byte each. All zeros is
// the writer's "no date".
constexpr std::size_t kPngTimeLength = 7;

std::optional<ParsedDate> parsePngTime(std::string_view bytes) {
    if (bytes.size() != kPngTimeLength) return std::nullopt;
    const auto byte = [&](std::size_t i) { return static_cast<int>(static_cast<std::uint8_t>(bytes[i])); };
    CivilDateTime v{byte(0) << 8 | byte(1), byte(2), byte(3), byte(4), byte(5), byte(6), 0};
    if (!isValidCivilDateTime(v)) return std::nullopt;
    return ParsedDate{v, DatePrecision::Second};
}

std::string formatPngTime(const CivilDateTime& v) {
    std::string out(kPngTimeLength, '\0');
    out[0] = static_cast<char>((v.year >> 8) & 0xFF);
    out[1] = static_cast<char>(v.year & 0xFF);
    const int rest[] = {v.month, v.day, v.hour, v.minute, v.second};
    for (std::size_t i = 0; i < 5; ++i) out[2 + i] = static_cast<char>(rest[i]);
    return out;
}

std::string describe(const CivilDateTime& v) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", v.year, v.month, v.day, v.hour, v.minute,
                  v.second);
    return text;
}

bool isQuickTime(DateEncoding encoding) {
    return encoding == DateEncoding::QuickTimeSeconds32 || encoding == DateEncoding::QuickTimeSeconds64;
}

// A form whose bytes are numbers, not text.
bool isBinary(DateEncoding encoding) { return isQuickTime(encoding) || encoding == DateEncoding::PngTime; }

// The field as the log shows it: its text, or its value for a binary form.
std::string shown(DateEncoding encoding, std::string_view bytes, const std::optional<ParsedDate>& parsed) {
    if (!isBinary(encoding)) return std::string(bytes);
    if (parsed) return describe(parsed->value);
    if (encoding == DateEncoding::PngTime) return "?";
    const auto seconds = quickTimeSeconds(encoding, bytes);
    return seconds ? std::to_string(*seconds) : std::string("?");
}

// The new value of a parsed field, or why there is none.
std::pair<DateOutcome, std::optional<CivilDateTime>> mapParsed(const ParsedDate& parsed, const DateMapping& mapping) {
    const CivilDateTime first = periodStart(parsed.value, parsed.precision);
    const CivilDateTime last = periodEnd(parsed.value, parsed.precision);
    const auto newFirst = mapping(first);
    const auto newLast = first == last ? newFirst : mapping(last);
    if (!newFirst || !newLast) return {DateOutcome::OutOfRange, std::nullopt};
    if (periodStart(*newFirst, parsed.precision) != *newFirst ||
        periodEnd(*newFirst, parsed.precision) != wholeSeconds(*newLast)) {
        return {DateOutcome::Imprecise, std::nullopt};
    }
    return {DateOutcome::Shifted, *newFirst};
}

FieldShift leftAs(std::string_view bytes, DateOutcome outcome, std::optional<ParsedDate> before = std::nullopt) {
    FieldShift result;
    result.outcome = outcome;
    result.bytes = std::string(bytes);
    result.before = before;
    return result;
}

// Unreadable or Empty for a value that does not parse.
DateOutcome unparsedOutcome(DateEncoding encoding, std::string_view bytes) {
    return isEmptyDateField(encoding, bytes) ? DateOutcome::Empty : DateOutcome::Unreadable;
}

}  // namespace

std::int64_t secondsBetween(const CivilDateTime& a, const CivilDateTime& b) {
    return toEpochSeconds(b) - toEpochSeconds(a);
}

std::optional<CivilDateTime> addSeconds(const CivilDateTime& value, std::int64_t seconds) {
    const CivilDateTime v = wholeSeconds(value);
    if (!isValidCivilDateTime(v)) return std::nullopt;
    const std::int64_t from = toEpochSeconds(v);
    // Beyond the span of the years 1..9999 either way: no need to risk an overflow.
    if (seconds > kLastSecond - kFirstSecond || seconds < kFirstSecond - kLastSecond) return std::nullopt;
    return fromEpochSeconds(from + seconds);
}

DateMapping DateMapping::bySeconds(std::int64_t seconds) {
    return DateMapping([seconds](const CivilDateTime& value) { return addSeconds(value, seconds); });
}

std::optional<CivilDateTime> DateMapping::operator()(const CivilDateTime& value) const {
    const CivilDateTime v = wholeSeconds(value);
    if (!function_ || !isValidCivilDateTime(v)) return std::nullopt;
    auto result = function_(v);
    if (!result) return std::nullopt;
    *result = wholeSeconds(*result);
    if (!isValidCivilDateTime(*result)) return std::nullopt;
    return result;
}

std::string_view dateOutcomeText(DateOutcome outcome) {
    switch (outcome) {
    case DateOutcome::Shifted: return "shifted";
    case DateOutcome::Empty: return "empty";
    case DateOutcome::Unreadable: return "unreadable";
    case DateOutcome::OutOfRange: return "out of range";
    case DateOutcome::Imprecise: return "date only";
    case DateOutcome::NoPartner: return "time without date";
    case DateOutcome::Zoned: return "has its own zone";
    case DateOutcome::ZoneKept: return "zone offset kept";
    }
    return "unreadable";
}

std::optional<ParsedDate> parseDateField(DateEncoding encoding, std::string_view bytes) {
    switch (encoding) {
    case DateEncoding::ExifAscii: return parseExif(bytes);
    case DateEncoding::Iso8601:
    case DateEncoding::IptcDate:
    case DateEncoding::IptcTime: {
        auto text = parseText(encoding, bytes);
        if (!text) return std::nullopt;
        return text->first;
    }
    case DateEncoding::QuickTimeSeconds32:
    case DateEncoding::QuickTimeSeconds64: return parseQuickTime(encoding, bytes);
    case DateEncoding::PngTime: return parsePngTime(bytes);
    case DateEncoding::ExifZoneOffset: return std::nullopt;  // a zone, not a date
    }
    return std::nullopt;
}

bool isEmptyDateField(DateEncoding encoding, std::string_view bytes) {
    if (isQuickTime(encoding)) {
        const auto seconds = quickTimeSeconds(encoding, bytes);
        return seconds && *seconds == 0;
    }
    if (encoding == DateEncoding::PngTime) return bytes == std::string_view("\0\0\0\0\0\0\0", kPngTimeLength);
    return isBlankText(bytes);
}

std::optional<std::string> formatDateField(DateEncoding encoding, std::string_view bytes, const CivilDateTime& value) {
    const CivilDateTime v = wholeSeconds(value);
    if (!isValidCivilDateTime(v)) return std::nullopt;
    switch (encoding) {
    case DateEncoding::ExifAscii: {
        if (!parseExif(bytes)) return std::nullopt;
        char text[kExifLength + 1];
        std::snprintf(text, sizeof text, "%04d:%02d:%02d %02d:%02d:%02d", v.year, v.month, v.day, v.hour, v.minute,
                      v.second);
        std::string out(bytes);
        out.replace(0, kExifLength, text, kExifLength);
        return out;
    }
    case DateEncoding::Iso8601:
    case DateEncoding::IptcDate:
    case DateEncoding::IptcTime: {
        const auto text = parseText(encoding, bytes);
        if (!text) return std::nullopt;
        return formatText(bytes, text->second, v);
    }
    case DateEncoding::QuickTimeSeconds32:
    case DateEncoding::QuickTimeSeconds64:
        if (!quickTimeSeconds(encoding, bytes)) return std::nullopt;
        return formatQuickTime(encoding, v);
    case DateEncoding::PngTime:
        if (bytes.size() != kPngTimeLength || v.year > 0xFFFF) return std::nullopt;
        return formatPngTime(v);
    case DateEncoding::ExifZoneOffset:
        return std::nullopt;  // a zone: it follows its date (see shiftDateFields)
    }
    return std::nullopt;
}

namespace {

// An ISO 8601 text with a zone designator rewritten to spell `value` in the zone `zoneSeconds`, in the same width:
// "Z" only for UTC, "+hh" only for whole hours, "+hhmm" and "+hh:mm" for any offset. nullopt when the designator
// cannot spell it or the value cannot be written.
std::optional<std::string> rezoned(std::string_view bytes, const CivilDateTime& value, int zoneSeconds) {
    const std::size_t time = bytes.find_first_of("T ");
    if (time == std::string_view::npos) return std::nullopt;
    const std::size_t designator = bytes.find_first_of("Z+-", time);
    if (designator == std::string_view::npos) return std::nullopt;
    auto written = formatDateField(DateEncoding::Iso8601, bytes, value);
    if (!written) return std::nullopt;
    const std::string spelled = zoneOffsetText(zoneSeconds);  // "+hh:mm"
    const std::size_t width = bytes.size() - designator;
    std::string text;
    if (width == 1) {
        if (zoneSeconds != 0) return std::nullopt;
        text = "Z";
    } else if (width == 3) {
        if (zoneSeconds % 3600 != 0) return std::nullopt;
        text = spelled.substr(0, 3);
    } else if (width == 5) {
        text = spelled.substr(0, 3) + spelled.substr(4, 2);
    } else if (width == 6) {
        text = spelled;
    } else {
        return std::nullopt;
    }
    written->replace(designator, width, text);
    return written;
}

}  // namespace

FieldShift shiftDateField(DateEncoding encoding, std::string_view bytes, const DateMapping& mapping) {
    const auto parsed = parseDateField(encoding, bytes);
    if (!parsed) return leftAs(bytes, unparsedOutcome(encoding, bytes));
    if (encoding == DateEncoding::IptcTime) return leftAs(bytes, DateOutcome::NoPartner, parsed);
    if (parsed->zoned && encoding == DateEncoding::Iso8601) {
        if (const auto moved = mapping.zonedAfter(parsed->value, parsed->zoneSeconds)) {
            if (auto written = rezoned(bytes, moved->first, moved->second)) {
                FieldShift result;
                result.outcome = DateOutcome::Shifted;
                result.bytes = std::move(*written);
                result.before = parsed;
                result.after = ParsedDate{moved->first, parsed->precision, true, moved->second};
                return result;
            }
        }
    }
    if (parsed->zoned && mapping.leavesZonedValues()) return leftAs(bytes, DateOutcome::Zoned, parsed);
    const auto [outcome, value] = mapParsed(*parsed, mapping);
    if (!value) return leftAs(bytes, outcome, parsed);
    auto written = formatDateField(encoding, bytes, *value);
    if (!written) return leftAs(bytes, DateOutcome::OutOfRange, parsed);
    FieldShift result;
    result.outcome = DateOutcome::Shifted;
    result.bytes = std::move(*written);
    result.before = parsed;
    result.after = ParsedDate{*value, parsed->precision};
    return result;
}

IptcPairShift shiftIptcPair(std::string_view dateBytes, std::string_view timeBytes, const DateMapping& mapping) {
    const auto date = parseIptcDate(dateBytes);
    const auto time = parseIptcTime(timeBytes);
    if (!date || !time) {
        // Without both halves the pair cannot move as one: a date alone follows whole days, a time alone stays.
        IptcPairShift result;
        result.date = shiftDateField(DateEncoding::IptcDate, dateBytes, mapping);
        result.time = time ? leftAs(timeBytes, DateOutcome::NoPartner, time)
                           : leftAs(timeBytes, unparsedOutcome(DateEncoding::IptcTime, timeBytes));
        return result;
    }
    if (time->zoned && mapping.leavesZonedValues()) {
        return {leftAs(dateBytes, DateOutcome::Zoned, date), leftAs(timeBytes, DateOutcome::Zoned, time)};
    }
    CivilDateTime combined = date->value;
    combined.hour = time->value.hour;
    combined.minute = time->value.minute;
    combined.second = time->value.second;
    const ParsedDate whole{combined, DatePrecision::Second};
    const auto [outcome, value] = mapParsed(whole, mapping);
    if (!value) {
        return {leftAs(dateBytes, outcome, date),
                leftAs(timeBytes, outcome, time)};
    }
    const auto newDate = formatDateField(DateEncoding::IptcDate, dateBytes, *value);
    const auto newTime = formatDateField(DateEncoding::IptcTime, timeBytes, *value);
    IptcPairShift result;
    result.date = FieldShift{DateOutcome::Shifted, *newDate, date, ParsedDate{*value, DatePrecision::Day}};
    result.time = FieldShift{DateOutcome::Shifted, *newTime, time, ParsedDate{*value, DatePrecision::Second}};
    return result;
}

DatePatchPlan shiftDateFields(const std::vector<DateField>& fields, const ByteSource& source,
                            const DateMapping& mapping) {
    // No date form is anywhere near this long; a wider field is a reader's mistake, not a date.
    constexpr std::uint32_t kMaxFieldWidth = 256;
    const std::size_t count = fields.size();
    DatePatchPlan result;
    result.reports.resize(count);
    std::vector<bool> done(count, false);
    std::vector<std::string> bytes(count);
    std::vector<bool> readable(count, false);
    for (std::size_t i = 0; i < count; ++i) {
        result.reports[i].field = i;
        readable[i] = fields[i].width <= kMaxFieldWidth && source.read(fields[i].offset, fields[i].width, bytes[i]);
    }
    // Two fields on the same bytes (two tags sharing one value) are one value: moved once, reported alike.
    std::map<std::pair<std::uint64_t, std::uint32_t>, std::size_t> firstAt;
    const auto repeated = [&](std::size_t i) {
        const auto [it, fresh] = firstAt.try_emplace({fields[i].offset, fields[i].width}, i);
        if (fresh) return false;
        result.reports[i] = result.reports[it->second];
        result.reports[i].field = i;
        done[i] = true;
        return true;
    };
    const auto record = [&](std::size_t i, const FieldShift& shift) {
        FieldReport& report = result.reports[i];
        report.outcome = shift.outcome;
        report.before = shown(fields[i].encoding, bytes[i], shift.before);
        report.after = shift.outcome == DateOutcome::Shifted ? shown(fields[i].encoding, shift.bytes, shift.after)
                                                             : report.before;
        if (shift.outcome == DateOutcome::Shifted && shift.bytes != bytes[i]) {
            result.patches.push_back(BytePatch{fields[i].offset, shift.bytes});
        }
        done[i] = true;
    };

    // First the IPTC dates with their times, so each pair moves as one date-time.
    for (std::size_t i = 0; i < count; ++i) {
        const DateField& field = fields[i];
        if (field.encoding != DateEncoding::IptcDate || field.partner < 0) continue;
        const auto p = static_cast<std::size_t>(field.partner);
        if (p >= count || p == i || done[p] || fields[p].encoding != DateEncoding::IptcTime) continue;
        if (!readable[i] || !readable[p]) continue;
        if (firstAt.count({field.offset, field.width}) || firstAt.count({fields[p].offset, fields[p].width})) continue;
        const IptcPairShift pair = shiftIptcPair(bytes[i], bytes[p], mapping);
        record(i, pair.date);
        record(p, pair.time);
        firstAt.try_emplace({field.offset, field.width}, i);
        firstAt.try_emplace({fields[p].offset, fields[p].width}, p);
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (done[i] || fields[i].encoding == DateEncoding::ExifZoneOffset) continue;
        if (!readable[i]) {
            result.reports[i].outcome = DateOutcome::Unreadable;
            done[i] = true;
            continue;
        }
        if (repeated(i)) continue;
        record(i, shiftDateField(fields[i].encoding, bytes[i], mapping));
    }
    // Each zone offset after its date: set to the zone its date was moved into, where the mapping names one.
    for (std::size_t i = 0; i < count; ++i) {
        if (fields[i].encoding != DateEncoding::ExifZoneOffset) continue;
        FieldReport& report = result.reports[i];
        report.before = report.after = readable[i] ? bytes[i].substr(0, bytes[i].find('\0')) : std::string();
        report.outcome = DateOutcome::ZoneKept;
        const auto p = static_cast<std::size_t>(fields[i].partner);
        if (fields[i].partner < 0 || p >= count || !readable[i] || fields[i].width < kZoneOffsetWidth) continue;
        if (result.reports[p].outcome != DateOutcome::Shifted) continue;
        const auto before = parseDateField(fields[p].encoding, bytes[p]);
        const std::optional<int> zone = before ? mapping.zoneOffsetAfter(before->value) : std::nullopt;
        if (!zone) continue;
        std::string text = zoneOffsetText(*zone);
        report.outcome = DateOutcome::Shifted;
        report.after = text;
        text.resize(fields[i].width, '\0');
        if (text != bytes[i]) result.patches.push_back(BytePatch{fields[i].offset, text});
    }
    return result;
}

std::optional<int> parseZoneOffset(std::string_view bytes) {
    while (!bytes.empty() && bytes.back() == '\0') bytes.remove_suffix(1);
    Cursor in(bytes);
    int seconds = 0;
    if (!in.zoneToEnd(false, seconds)) return std::nullopt;
    return seconds;
}

std::string zoneOffsetText(int seconds) {
    const int minutes = (seconds < 0 ? -seconds : seconds) / 60;
    char text[8];
    std::snprintf(text, sizeof text, "%c%02d:%02d", seconds < 0 ? '-' : '+', minutes / 60 % 100, minutes % 60);
    return text;
}

void appendDateFields(DateFieldScan& into, const DateFieldScan& from) {
    const auto base = static_cast<std::int32_t>(into.fields.size());
    for (DateField field : from.fields) {
        if (field.partner >= 0) field.partner += base;
        into.fields.push_back(std::move(field));
    }
    into.skipped.insert(into.skipped.end(), from.skipped.begin(), from.skipped.end());
}

}  // namespace morrowtide::meta
