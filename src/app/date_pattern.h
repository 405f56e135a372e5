// SPDX-License-Identifier: GPL-3.0-or-later
// The date/time pattern language of the output file mask: parsed into tokens once, rendered per photo.
//
// Letters are matched without regard to case; a run counts only identical characters ("YYyy" is two two-letter
// year specifiers). Anything that is not a specifier is copied. Summary of the specifiers:
//   y yy -> 07    yyy+ -> 2007    m mm -> 4 04    mmm mmmm -> month names    d dd -> 1 01    ddd dddd -> day names
//   ddddd / dddddd+ -> the locale's short / long date format    h hh+ -> hour    n nn, s ss -> minute, second
//   z zz zzz+ -> millisecond with at least 1, 2, 3 digits    t / tt+ -> short / long time format
//   c -> short date, then a blank and the long time when the time of day is not zero
//   am/pm, a/p -> as written     ampm -> the locale's day-period text    aaa / aaaa -> day names
//   "/" and ":" -> the locale's date and time separators    '...' and "..." -> copied without the quotes
// "m" or "mm" directly after an hour specifier (only non-letters between) is the minute; "mmm" and longer stay
// month names. An hour is on a 12-hour
// clock (0 shown as 12) when am/pm, a/p or ampm follows before the next hour specifier.
// Eras: QLocale names no eras and the Gregorian calendar has only one, so g/gg render nothing; e/ee render the
// year of that era, i.e. the year itself, in two digits (e without a leading zero), eee and longer in four.
// The rendered text is cut to 256 characters.
#pragma once

#include <QLocale>
#include <QString>

#include <memory>
#include <vector>

namespace morrowtide::app {

// The rendered text of one pattern never exceeds this many characters.
inline constexpr int kMaxFormattedLength = 256;

enum class DateTokenKind {
    Literal,        // text copied as it stands
    Year,           // count 2 or 4 digits
    Month,          // count 1 (no leading zero) or 2
    MonthName,      // count 3 short, 4 long
    Day,            // count 1 or 2
    DayName,        // count 3 short, 4 long
    ShortDate,      // the locale's short date format
    LongDate,       // the locale's long date format
    Hour,           // count 1 or 2; twelveHour set when a day-period marker governs it
    Minute,         // count 1 or 2
    Second,         // count 1 or 2
    Millisecond,    // count 1..3 = minimum digits
    ShortTime,      // the locale's short time format
    LongTime,       // the locale's long time format
    DateAndTime,    // the "c" specifier
    AmPmAsWritten,  // "am/pm" or "a/p": text holds the specifier as written, its halves are the output
    DayPeriod,      // the locale's am/pm text; letterCase says how Qt formats asked for it
    Era,            // renders nothing (see above)
    EraYear,        // count 2 or 4 digits
    DateSeparator,
    TimeSeparator,
};

struct DateToken {
    enum class LetterCase { AsIs, Upper, Lower };

    DateTokenKind kind = DateTokenKind::Literal;
    int count = 1;
    bool twelveHour = false;
    LetterCase letterCase = LetterCase::AsIs;
    QString text;  // Literal: the text; AmPmAsWritten: the specifier as written
    // Where the token stands in the pattern (UTF-16 index and length), for live feedback in the mask field.
    // Tokens translated from a locale format carry their place in that format.
    int position = 0;
    int length = 0;

    friend bool operator==(const DateToken&, const DateToken&) = default;
};

// The locale's formats translated into tokens, plus its separators; shared by every pattern of that locale.
struct LocaleFormats {
    QLocale locale;
    std::vector<DateToken> shortDate, longDate, shortTime, longTime;
    QString dateSeparator, timeSeparator;

    explicit LocaleFormats(const QLocale& locale);
};

// Translates one of Qt's date/time format strings (QLocale::dateFormat and friends) into tokens. The time zone
// field "t" is dropped, since date-time values carry no zone, together with the blanks it leaves at an end.
std::vector<DateToken> tokensFromQtFormat(const QString& qtFormat);

// Splits a pattern into tokens.
std::vector<DateToken> parseDatePattern(const QString& pattern);

class DatePattern {
  public:
    DatePattern();  // the empty pattern, rendering "", with the system locale
    DatePattern(const QString& pattern, const QLocale& locale);

    const QString& pattern() const { return pattern_; }
    const std::vector<DateToken>& tokens() const { return tokens_; }
    const QLocale& locale() const { return formats_->locale; }

    // Renders a date-time value (days since 1899-12-30), at most kMaxFormattedLength characters.
    QString format(double dateTime) const;

  private:
    QString pattern_;
    std::vector<DateToken> tokens_;
    std::shared_ptr<const LocaleFormats> formats_;
};

// One-off convenience: parse and render in one call.
QString formatDateTime(const QString& pattern, double dateTime, const QLocale& locale);

// The locale's date and time separators as the "/" and ":" specifiers render them (one character each, derived
// from its short formats; "/" and ":" when a format shows none).
QString localeDateSeparator(const QLocale& locale);
QString localeTimeSeparator(const QLocale& locale);

}  // namespace morrowtide::app
