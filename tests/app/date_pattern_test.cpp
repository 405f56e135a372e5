// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QLocale>
#include <QString>

#include "app/date_pattern.h"
#include "meta/date_time.h"

using namespace morrowtide::app;
using morrowtide::meta::encodeDateTime;

namespace {

const QLocale kUs(QLocale::English, QLocale::UnitedStates);
const QLocale kGerman(QLocale::German, QLocale::Germany);

// Sunday, 1 April 2007.
const double kMorning = encodeDateTime({2007, 4, 1, 11, 15, 2, 34});
const double kEvening = encodeDateTime({2007, 4, 1, 23, 5, 9, 5});
const double kAfterMidnight = encodeDateTime({2007, 4, 1, 0, 30, 0, 0});
const double kMidnight = encodeDateTime({2007, 4, 1});

QString us(const char* pattern, double when = kMorning) {
    return formatDateTime(QString::fromUtf8(pattern), when, kUs);
}
QString de(const char* pattern, double when = kMorning) {
    return formatDateTime(QString::fromUtf8(pattern), when, kGerman);
}

}  // namespace

TEST(DatePattern, NumericFieldsAndRuns) {
    EXPECT_EQ(us("yyyy-mm-dd hh-nn-ss"), "2007-04-01 11-15-02");
    EXPECT_EQ(us("y|yy|yyy|yyyy|yyyyy"), "07|07|2007|2007|2007");
    // Letters match in either case, but a run counts only identical characters.
    EXPECT_EQ(us("YYYY|YYyy|Yy"), "2007|0707|0707");
    EXPECT_EQ(us("m|mm|d|dd|DD"), "4|04|1|01|01");
    EXPECT_EQ(us("h|hh|hhh|n|nn|nnn|s|ss|sss", encodeDateTime({2007, 4, 1, 9, 5, 7, 0})), "9|09|09|5|05|05|7|07|07");
    EXPECT_EQ(us("z|zz|zzz|zzzz"), "34|34|034|034");
    EXPECT_EQ(us("z|zz|zzz", kEvening), "5|05|005");
    EXPECT_EQ(us("yyyymmddhhnnss", 0.0), "18991230000000");
}

TEST(DatePattern, MonthAfterAnHourIsTheMinute) {
    EXPECT_EQ(us("hh-mm"), "11-15");
    EXPECT_EQ(us("hhmm"), "1115");
    EXPECT_EQ(us("h:m"), "11:15");        // separators are no letters
    EXPECT_EQ(us("hh'x'mm"), "11x15");    // nor are quoted literals
    EXPECT_EQ(us("hh x mm"), "11 x 04");  // another letter in between: month again
    EXPECT_EQ(us("mm hh"), "04 11");
    EXPECT_EQ(us("hh mm mm"), "11 15 04");  // only the first run follows the hour
    // Month names stay month names after an hour.
    EXPECT_EQ(us("hh mmm"), "11 Apr");
    EXPECT_EQ(us("h-mmmm"), "11-April");
    EXPECT_EQ(us("hh mmm mm"), "11 Apr 04");
}

TEST(DatePattern, TwelveHourClock) {
    EXPECT_EQ(us("hh:nn am/pm", kEvening), "11:05 pm");
    EXPECT_EQ(us("hh:nn am/pm"), "11:15 am");
    EXPECT_EQ(us("h:nn AM/PM", kAfterMidnight), "12:30 AM");
    EXPECT_EQ(us("h Am/pM", kEvening), "11 pM");  // each half in the case written
    EXPECT_EQ(us("h a/p", kAfterMidnight), "12 a");
    EXPECT_EQ(us("h A/P", kEvening), "11 P");
    EXPECT_EQ(us("h ampm", kEvening), "11 PM");  // the locale's designator
    EXPECT_EQ(us("h ampm", kMidnight), "12 AM");
    EXPECT_EQ(us("h:nn ampm", encodeDateTime({2007, 4, 1, 12, 59, 0, 0})), "12:59 PM");  // noon hour: PM
    EXPECT_EQ(us("hh", encodeDateTime({2007, 4, 1, 12, 0, 0, 0})), "12");
    EXPECT_EQ(us("hh am/pm", encodeDateTime({2007, 4, 1, 12, 0, 0, 0})), "12 pm");
    // Only a marker before the next hour specifier turns an hour to the 12-hour clock.
    EXPECT_EQ(us("hh hh am/pm", kEvening), "23 11 pm");
    EXPECT_EQ(us("hh am/pm hh", kEvening), "11 pm 23");
    // A marker inside quotes is text.
    EXPECT_EQ(us("hh 'am/pm'", kEvening), "23 am/pm");
    // Without an hour the marker still renders.
    EXPECT_EQ(us("am/pm a/p", kEvening), "pm p");
}

TEST(DatePattern, QuotedTextIsCopied) {
    EXPECT_EQ(us("'yyyy' \"mm\" yyyy"), "yyyy mm 2007");
    EXPECT_EQ(us("'Photo' yyyy"), "Photo 2007");
    EXPECT_EQ(us("'it''s'"), "its");              // two literals, no escaped quote
    EXPECT_EQ(us("'say \"hi\"'"), "say \"hi\"");  // the other quote character is plain text
    EXPECT_EQ(us("yyyy 'open"), "2007 open");     // an unclosed quote runs to the end
    EXPECT_EQ(us("\"*FILENAME\" - yyyy"), "*FILENAME - 2007");
}

TEST(DatePattern, OtherCharactersAreCopied) {
    EXPECT_EQ(us("x_q-1 b"), "x_q-1 b");
    EXPECT_EQ(us("a ab"), "a ab");
    EXPECT_EQ(us("Üß ø é 😀 yy"), "Üß ø é 😀 07");  // only ASCII letters are specifiers
}

TEST(DatePattern, LocaleNamesAndFormats) {
    EXPECT_EQ(us("mmm|mmmm|mmmmm|ddd|dddd|aaa|aaaa"), "Apr|April|April|Sun|Sunday|Sun|Sunday");
    EXPECT_EQ(de("mmm|mmmm|ddd|dddd"), "Apr.|April|So.|Sonntag");
    EXPECT_EQ(us("ddddd"), "4/1/07");
    EXPECT_EQ(de("ddddd"), "01.04.07");
    EXPECT_EQ(us("dddddd"), "Sunday, April 1, 2007");
    EXPECT_EQ(us("ddddddd"), "Sunday, April 1, 2007");
    EXPECT_EQ(de("dddddd"), "Sonntag, 1. April 2007");
    EXPECT_EQ(us("t|tt", kEvening), "11:05 PM|11:05:09 PM");
    EXPECT_EQ(de("t|tt", kEvening), "23:05|23:05:09");
    EXPECT_EQ(us("c"), "4/1/07 11:15:02 AM");
    EXPECT_EQ(us("c", kMidnight), "4/1/07");
    EXPECT_EQ(de("c", kEvening), "01.04.07 23:05:09");
    EXPECT_EQ(us("yyyy/mm/dd hh:nn"), "2007/04/01 11:15");
    EXPECT_EQ(de("dd/mm/yyyy hh:nn"), "01.04.2007 11:15");
}

TEST(DatePattern, SeparatorsComeFromTheLocaleFormats) {
    EXPECT_EQ(localeDateSeparator(kUs), "/");
    EXPECT_EQ(localeDateSeparator(kGerman), ".");
    EXPECT_EQ(localeTimeSeparator(kGerman), ":");
    EXPECT_EQ(localeTimeSeparator(QLocale(QLocale::Finnish, QLocale::Finland)), ".");
    // The Arabic short date format puts an invisible direction mark before its "/".
    EXPECT_EQ(localeDateSeparator(QLocale(QLocale::Arabic, QLocale::Egypt)), "/");
}

TEST(DatePattern, ErasRenderTheSingleGregorianEra) {
    EXPECT_EQ(us("g|gg|yyyy"), "||2007");
    EXPECT_EQ(us("e|ee|eee"), "7|07|2007");
}

TEST(DatePattern, OutputIsCutAt256Characters) {
    EXPECT_EQ(us(QString(300, u'x').toUtf8().constData()), QString(256, u'x'));
    const QString years = us(QString("yyyy ").repeated(60).toUtf8().constData());
    EXPECT_EQ(years.size(), 256);
    EXPECT_TRUE(years.startsWith("2007 2007 "));
    EXPECT_TRUE(years.endsWith("2007 2"));
    // A character outside the BMP is not split at the cut.
    const QString smile = QString::fromUtf8("😀");
    const QString cut = formatDateTime(QString(255, u'x') + smile, kMorning, kUs);
    EXPECT_EQ(cut, QString(255, u'x'));
    EXPECT_EQ(formatDateTime(QString(254, u'x') + smile, kMorning, kUs), QString(254, u'x') + smile);
}

TEST(DatePattern, TokensKeepTheirPlaceInThePattern) {
    const std::vector<DateToken> tokens = parseDatePattern("yyyy-MM 'a'b hh:nn am/pm");
    ASSERT_EQ(tokens.size(), 9u);
    EXPECT_EQ(tokens[0].kind, DateTokenKind::Year);
    EXPECT_EQ(tokens[0].position, 0);
    EXPECT_EQ(tokens[0].length, 4);
    EXPECT_EQ(tokens[2].kind, DateTokenKind::Month);
    EXPECT_EQ(tokens[2].count, 2);
    EXPECT_EQ(tokens[2].position, 5);
    EXPECT_EQ(tokens[3].kind, DateTokenKind::Literal);  // " 'a'b " merged into one literal
    EXPECT_EQ(tokens[3].text, " ab ");
    EXPECT_EQ(tokens[3].position, 7);
    EXPECT_EQ(tokens[3].length, 6);
    EXPECT_EQ(tokens[4].kind, DateTokenKind::Hour);
    EXPECT_TRUE(tokens[4].twelveHour);
    EXPECT_EQ(tokens[5].kind, DateTokenKind::TimeSeparator);
    EXPECT_EQ(tokens[8].kind, DateTokenKind::AmPmAsWritten);
    EXPECT_EQ(tokens[8].text, "am/pm");
    EXPECT_EQ(tokens[8].position, 19);
    EXPECT_EQ(tokens[8].length, 5);
}

TEST(DatePattern, QtFormatsTranslate) {
    const std::vector<DateToken> english = tokensFromQtFormat("h:mm:ss AP t");
    ASSERT_EQ(english.size(), 7u);  // h : mm : ss " " AP, the zone and its blank gone
    EXPECT_EQ(english[0].kind, DateTokenKind::Hour);
    EXPECT_TRUE(english[0].twelveHour);
    EXPECT_EQ(english[2].kind, DateTokenKind::Minute);
    EXPECT_EQ(english[6].kind, DateTokenKind::DayPeriod);
    EXPECT_EQ(english[6].letterCase, DateToken::LetterCase::Upper);

    const std::vector<DateToken> korean = tokensFromQtFormat("ap h'시' m'분'");
    ASSERT_EQ(korean.size(), 6u);
    EXPECT_EQ(korean[0].letterCase, DateToken::LetterCase::Lower);
    EXPECT_TRUE(korean[2].twelveHour);  // the day period may come first
    EXPECT_EQ(korean[3].text, "시 ");

    const std::vector<DateToken> h24 = tokensFromQtFormat("HH:mm 'o''clock' h");
    ASSERT_EQ(h24.size(), 5u);
    EXPECT_FALSE(h24[0].twelveHour);
    EXPECT_FALSE(h24.back().twelveHour);  // "h" is 24-hour when no day period is shown
    EXPECT_EQ(h24[3].text, " o'clock ");
}
