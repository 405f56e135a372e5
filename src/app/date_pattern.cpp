// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/date_pattern.h"

#include "meta/ascii_case.h"
#include "meta/date_time.h"

#include <algorithm>

namespace morrowtide::app {

namespace {

using Kind = DateTokenKind;
using LetterCase = DateToken::LetterCase;

DateToken makeToken(Kind kind, int count, int position, int length) {
    DateToken t;
    t.kind = kind;
    t.count = count;
    t.position = position;
    t.length = length;
    return t;
}

void appendLiteral(std::vector<DateToken>& out, const QString& text, int position, int length) {
    if (!out.empty() && out.back().kind == Kind::Literal && out.back().position + out.back().length == position) {
        out.back().text += text;
        out.back().length += length;
        return;
    }
    DateToken t = makeToken(Kind::Literal, 1, position, length);
    t.text = text;
    out.push_back(std::move(t));
}

// Length of the run of characters identical to the one at `at` (case matters).
int runLength(const QString& text, int at) {
    int end = at + 1;
    while (end < text.size() && text[end] == text[at]) ++end;
    return end - at;
}

bool startsWithNoCase(const QString& text, int at, QLatin1StringView what) {
    return QStringView(text).mid(at).startsWith(what, Qt::CaseInsensitive);
}

bool isAsciiLetter(char16_t upper) {
    return upper >= u'A' && upper <= u'Z';
}

// An hour is on the 12-hour clock when a day-period specifier follows before the next hour specifier.
void resolveTwelveHourClock(std::vector<DateToken>& tokens) {
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].kind != Kind::Hour) continue;
        for (std::size_t j = i + 1; j < tokens.size() && tokens[j].kind != Kind::Hour; ++j) {
            if (tokens[j].kind == Kind::AmPmAsWritten || tokens[j].kind == Kind::DayPeriod) {
                tokens[i].twelveHour = true;
                break;
            }
        }
    }
}

QString number(int value, int minDigits) {
    return QString::number(value).rightJustified(minDigits, u'0');
}

QString applyCase(const QString& text, LetterCase letterCase) {
    switch (letterCase) {
        case LetterCase::Upper:
            return text.toUpper();
        case LetterCase::Lower:
            return text.toLower();
        case LetterCase::AsIs:
            break;
    }
    return text;
}

// First character of a Qt format that separates two fields: not a letter, blank, quote or invisible mark.
QString firstSeparator(const QString& qtFormat, const QString& fallback) {
    bool quoted = false;
    for (const QChar c : qtFormat) {
        if (c == u'\'') {
            quoted = !quoted;
            continue;
        }
        if (quoted || c.isLetter() || c.isSpace() || c.isMark() || c.category() == QChar::Other_Format) continue;
        return QString(c);
    }
    return fallback;
}

struct RenderContext {
    const LocaleFormats& formats;
    const meta::CivilDateTime& when;
    int weekday;  // ISO, 1 = Monday
};

void render(const std::vector<DateToken>& tokens, const RenderContext& ctx, QString& out) {
    const QLocale& locale = ctx.formats.locale;
    const meta::CivilDateTime& w = ctx.when;
    for (const DateToken& t : tokens) {
        switch (t.kind) {
            case Kind::Literal:
                out += t.text;
                break;
            case Kind::Year:
                out += t.count <= 2 ? number(w.year % 100, 2) : number(w.year, 4);
                break;
            case Kind::EraYear:
                out += t.count == 1   ? QString::number(w.year % 100)
                       : t.count == 2 ? number(w.year % 100, 2)
                                      : number(w.year, 4);
                break;
            case Kind::Era:
                break;
            case Kind::Month:
                out += number(w.month, t.count);
                break;
            case Kind::MonthName:
                out += locale.monthName(w.month, t.count == 3 ? QLocale::ShortFormat : QLocale::LongFormat);
                break;
            case Kind::Day:
                out += number(w.day, t.count);
                break;
            case Kind::DayName:
                out += locale.dayName(ctx.weekday, t.count == 3 ? QLocale::ShortFormat : QLocale::LongFormat);
                break;
            case Kind::ShortDate:
                render(ctx.formats.shortDate, ctx, out);
                break;
            case Kind::LongDate:
                render(ctx.formats.longDate, ctx, out);
                break;
            case Kind::Hour: {
                int hour = w.hour;
                if (t.twelveHour) {
                    if (hour == 0)
                        hour = 12;
                    else if (hour > 12)
                        hour -= 12;
                }
                out += number(hour, t.count);
                break;
            }
            case Kind::Minute:
                out += number(w.minute, t.count);
                break;
            case Kind::Second:
                out += number(w.second, t.count);
                break;
            case Kind::Millisecond:
                out += number(w.millisecond, t.count);
                break;
            case Kind::ShortTime:
                render(ctx.formats.shortTime, ctx, out);
                break;
            case Kind::LongTime:
                render(ctx.formats.longTime, ctx, out);
                break;
            case Kind::DateAndTime:
                render(ctx.formats.shortDate, ctx, out);
                if (w.hour != 0 || w.minute != 0 || w.second != 0 || w.millisecond != 0) {
                    out += u' ';
                    render(ctx.formats.longTime, ctx, out);
                }
                break;
            case Kind::AmPmAsWritten:
                // "am/pm" gives its first or its last two characters, "a/p" its first or last one.
                if (t.text.size() == 5)
                    out += w.hour >= 12 ? t.text.mid(3, 2) : t.text.left(2);
                else
                    out += w.hour >= 12 ? t.text.mid(2, 1) : t.text.left(1);
                break;
            case Kind::DayPeriod:
                out += applyCase(w.hour < 12 ? locale.amText() : locale.pmText(), t.letterCase);
                break;
            case Kind::DateSeparator:
                out += ctx.formats.dateSeparator;
                break;
            case Kind::TimeSeparator:
                out += ctx.formats.timeSeparator;
                break;
        }
    }
}

}  // namespace

std::vector<DateToken> parseDatePattern(const QString& p) {
    std::vector<DateToken> out;
    char16_t lastLetter = u' ';
    const int n = static_cast<int>(p.size());
    int i = 0;
    while (i < n) {
        const int start = i;
        char16_t token = meta::asciiUpper(p[i].unicode());
        if (isAsciiLetter(token)) {
            // Only m and mm take the minute after an hour: mmm and longer stay month names.
            if (token == u'M' && lastLetter == u'H' && runLength(p, i) <= 2) token = u'N';
            lastLetter = token;
        }
        auto push = [&](Kind kind, int count, int length) {
            out.push_back(makeToken(kind, count, start, length));
            i = start + length;
        };
        switch (token) {
            case u'Y': {
                const int run = runLength(p, i);
                push(Kind::Year, run <= 2 ? 2 : 4, run);
                break;
            }
            case u'G':
                push(Kind::Era, 1, runLength(p, i));
                break;
            case u'E': {
                const int run = runLength(p, i);
                push(Kind::EraYear, run <= 2 ? run : 4, run);
                break;
            }
            case u'M': {
                const int run = runLength(p, i);
                if (run <= 2)
                    push(Kind::Month, run, run);
                else
                    push(Kind::MonthName, run == 3 ? 3 : 4, run);
                break;
            }
            case u'D': {
                const int run = runLength(p, i);
                if (run <= 2)
                    push(Kind::Day, run, run);
                else if (run <= 4)
                    push(Kind::DayName, run, run);
                else
                    push(run == 5 ? Kind::ShortDate : Kind::LongDate, 1, run);
                break;
            }
            case u'H': {
                const int run = runLength(p, i);
                push(Kind::Hour, std::min(run, 2), run);
                break;
            }
            case u'N': {
                const int run = runLength(p, i);
                push(Kind::Minute, std::min(run, 2), run);
                break;
            }
            case u'S': {
                const int run = runLength(p, i);
                push(Kind::Second, std::min(run, 2), run);
                break;
            }
            case u'Z': {
                const int run = runLength(p, i);
                push(Kind::Millisecond, std::min(run, 3), run);
                break;
            }
            case u'T': {
                const int run = runLength(p, i);
                push(run == 1 ? Kind::ShortTime : Kind::LongTime, 1, run);
                break;
            }
            case u'C':
                push(Kind::DateAndTime, 1, runLength(p, i));
                break;
            case u'A':
                if (startsWithNoCase(p, i, QLatin1StringView("am/pm"))) {
                    push(Kind::AmPmAsWritten, 1, 5);
                    out.back().text = p.mid(start, 5);
                } else if (startsWithNoCase(p, i, QLatin1StringView("a/p"))) {
                    push(Kind::AmPmAsWritten, 1, 3);
                    out.back().text = p.mid(start, 3);
                } else if (startsWithNoCase(p, i, QLatin1StringView("ampm"))) {
                    push(Kind::DayPeriod, 1, 4);
                } else if (startsWithNoCase(p, i, QLatin1StringView("aaaa"))) {
                    push(Kind::DayName, 4, 4);
                } else if (startsWithNoCase(p, i, QLatin1StringView("aaa"))) {
                    push(Kind::DayName, 3, 3);
                } else {
                    appendLiteral(out, p.mid(i, 1), i, 1);
                    ++i;
                }
                break;
            case u'/':
                push(Kind::DateSeparator, 1, 1);
                break;
            case u':':
                push(Kind::TimeSeparator, 1, 1);
                break;
            case u'\'':
            case u'"': {
                // Copied up to the same quote character; an unclosed quote runs to the end of the pattern.
                int close = static_cast<int>(p.indexOf(p[i], i + 1));
                if (close < 0) close = n;
                const int end = std::min(close + 1, n);
                appendLiteral(out, p.mid(i + 1, close - i - 1), start, end - start);
                i = end;
                break;
            }
            default:
                appendLiteral(out, p.mid(i, 1), i, 1);
                ++i;
                break;
        }
    }
    resolveTwelveHourClock(out);
    return out;
}

std::vector<DateToken> tokensFromQtFormat(const QString& f) {
    std::vector<DateToken> out;
    std::vector<std::size_t> hourCandidates;  // "h" hours: 12-hour clock when the format shows a day period
    bool hasDayPeriod = false;
    const int n = static_cast<int>(f.size());
    int i = 0;
    while (i < n) {
        const QChar c = f[i];
        const int run = runLength(f, i);
        auto push = [&](Kind kind, int count, int length) {
            out.push_back(makeToken(kind, count, i, length));
            i += length;
        };
        switch (c.unicode()) {
            case u'\'': {
                if (i + 1 < n && f[i + 1] == u'\'') {  // '' is a quote character
                    appendLiteral(out, QStringLiteral("'"), i, 2);
                    i += 2;
                    break;
                }
                QString text;
                int j = i + 1;
                while (j < n) {
                    if (f[j] == u'\'') {
                        if (j + 1 < n && f[j + 1] == u'\'') {
                            text += u'\'';
                            j += 2;
                            continue;
                        }
                        break;
                    }
                    text += f[j++];
                }
                const int end = std::min(j + 1, n);
                appendLiteral(out, text, i, end - i);
                i = end;
                break;
            }
            case u'd':
                if (run <= 2)
                    push(Kind::Day, run, run);
                else
                    push(Kind::DayName, run == 3 ? 3 : 4, run);
                break;
            case u'M':
                if (run <= 2)
                    push(Kind::Month, run, run);
                else
                    push(Kind::MonthName, run == 3 ? 3 : 4, run);
                break;
            case u'y':
                push(Kind::Year, run >= 4 ? 4 : 2, run);
                break;
            case u'h':
                hourCandidates.push_back(out.size());
                push(Kind::Hour, std::min(run, 2), run);
                break;
            case u'H':
                push(Kind::Hour, std::min(run, 2), run);
                break;
            case u'm':
                push(Kind::Minute, std::min(run, 2), run);
                break;
            case u's':
                push(Kind::Second, std::min(run, 2), run);
                break;
            case u'z':
                push(Kind::Millisecond, run >= 3 ? 3 : 1, run);
                break;
            case u'a':
            case u'A': {
                const bool pair = i + 1 < n && (f[i + 1] == u'p' || f[i + 1] == u'P');
                const int len = pair ? 2 : 1;
                const bool firstUpper = c.isUpper();
                const bool secondUpper = pair ? f[i + 1].isUpper() : firstUpper;
                push(Kind::DayPeriod, 1, len);
                out.back().letterCase = firstUpper != secondUpper ? LetterCase::AsIs
                                        : firstUpper              ? LetterCase::Upper
                                                                  : LetterCase::Lower;
                hasDayPeriod = true;
                break;
            }
            case u't':
                i += run;  // time zone: dropped
                break;
            default:
                appendLiteral(out, QString(c), i, 1);
                ++i;
                break;
        }
    }
    for (const std::size_t at : hourCandidates) out[at].twelveHour = hasDayPeriod;
    // Blanks that stood next to a dropped time zone would otherwise end up in names.
    while (!out.empty() && out.back().kind == Kind::Literal) {
        out.back().text = out.back().text.trimmed();
        if (!out.back().text.isEmpty()) break;
        out.pop_back();
    }
    while (!out.empty() && out.front().kind == Kind::Literal) {
        out.front().text = out.front().text.trimmed();
        if (!out.front().text.isEmpty()) break;
        out.erase(out.begin());
    }
    return out;
}

LocaleFormats::LocaleFormats(const QLocale& loc)
    : locale(loc),
      shortDate(tokensFromQtFormat(loc.dateFormat(QLocale::ShortFormat))),
      longDate(tokensFromQtFormat(loc.dateFormat(QLocale::LongFormat))),
      shortTime(tokensFromQtFormat(loc.timeFormat(QLocale::ShortFormat))),
      longTime(tokensFromQtFormat(loc.timeFormat(QLocale::LongFormat))),
      dateSeparator(localeDateSeparator(loc)),
      timeSeparator(localeTimeSeparator(loc)) {}

QString localeDateSeparator(const QLocale& locale) {
    return firstSeparator(locale.dateFormat(QLocale::ShortFormat), QStringLiteral("/"));
}

QString localeTimeSeparator(const QLocale& locale) {
    return firstSeparator(locale.timeFormat(QLocale::ShortFormat), QStringLiteral(":"));
}

DatePattern::DatePattern() : formats_(std::make_shared<const LocaleFormats>(QLocale::system())) {}

DatePattern::DatePattern(const QString& pattern, const QLocale& locale)
    : pattern_(pattern), tokens_(parseDatePattern(pattern)), formats_(std::make_shared<const LocaleFormats>(locale)) {}

QString DatePattern::format(double dateTime) const {
    const meta::CivilDateTime when = meta::decodeDateTime(dateTime);
    QString out;
    render(tokens_, RenderContext{*formats_, when, meta::isoWeekday(dateTime)}, out);
    if (out.size() > kMaxFormattedLength) {
        qsizetype cut = kMaxFormattedLength;
        if (out[cut - 1].isHighSurrogate()) --cut;  // never leave half a character
        out.truncate(cut);
    }
    return out;
}

QString formatDateTime(const QString& pattern, double dateTime, const QLocale& locale) {
    return DatePattern(pattern, locale).format(dateTime);
}

}  // namespace morrowtide::app
