// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "meta/formats/date_codec.h"
#include "support/container_builder.h"
#include "support/date_packet_builder.h"

using namespace morrowtide::meta;
using morrowtide::test::applyPatches;
using morrowtide::test::pngTime;

namespace {

constexpr std::int64_t kHour = 3600;
constexpr std::int64_t kDay = 86400;

std::string quickTime32(std::uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16 & 0xFF), static_cast<char>(v >> 8 & 0xFF),
            static_cast<char>(v & 0xFF)};
}
std::string quickTime64(std::uint64_t v) {
    return quickTime32(static_cast<std::uint32_t>(v >> 32)) + quickTime32(static_cast<std::uint32_t>(v));
}
// 2005-06-01 10:00:00 in seconds since 1904-01-01.
constexpr std::uint32_t kJune2005 = 3200464800u;

struct FieldCase {
    DateEncoding encoding;
    std::string before;
    std::int64_t shift;
    DateOutcome outcome;
    std::string after;  // the bytes afterwards (the same as before unless shifted)
};

}  // namespace

TEST(DateCodec, EveryFormShiftedInItsOwnSpelling) {
    const std::vector<FieldCase> cases = {
        // XMP / QuickTime text: precision, separators, fractions and designator stay as written.
        {DateEncoding::Iso8601, "2005-06-01T10:00:00", kHour, DateOutcome::Shifted, "2005-06-01T11:00:00"},
        {DateEncoding::Iso8601, "2005-12-31T23:30:00+02:00", kHour, DateOutcome::Shifted, "2006-01-01T00:30:00+02:00"},
        {DateEncoding::Iso8601, "2005-06-01T10:00:00.123Z", kHour, DateOutcome::Shifted, "2005-06-01T11:00:00.123Z"},
        {DateEncoding::Iso8601, "2005-06-01T10:00:59,5-0530", 1, DateOutcome::Shifted, "2005-06-01T10:01:00,5-0530"},
        {DateEncoding::Iso8601, "2005-06-01T23:59+02", 60, DateOutcome::Shifted, "2005-06-02T00:00+02"},
        {DateEncoding::Iso8601, "2005-06-01 10:00:00", -kHour, DateOutcome::Shifted, "2005-06-01 09:00:00"},
        {DateEncoding::Iso8601, "2023:01:04T12:40:17-05:00", kHour, DateOutcome::Shifted, "2023:01:04T13:40:17-05:00"},
        {DateEncoding::Iso8601, "2004-02-28T12:00:00", kDay, DateOutcome::Shifted, "2004-02-29T12:00:00"},
        {DateEncoding::Iso8601, "2005-02-28T12:00:00", kDay, DateOutcome::Shifted, "2005-03-01T12:00:00"},
        // A value can move only by whole periods of its own precision.
        {DateEncoding::Iso8601, "2005-06-01T10:00", 30, DateOutcome::Imprecise, "2005-06-01T10:00"},
        {DateEncoding::Iso8601, "2005-06-01", kHour, DateOutcome::Imprecise, "2005-06-01"},
        {DateEncoding::Iso8601, "2005-12-31", kDay, DateOutcome::Shifted, "2006-01-01"},
        {DateEncoding::Iso8601, "2005-12-31", -2 * kDay, DateOutcome::Shifted, "2005-12-29"},
        {DateEncoding::Iso8601, "2005-06", kDay, DateOutcome::Imprecise, "2005-06"},
        {DateEncoding::Iso8601, "2005", 0, DateOutcome::Shifted, "2005"},
        {DateEncoding::Iso8601, "9999-12-31T23:30:00", kHour, DateOutcome::OutOfRange, "9999-12-31T23:30:00"},
        {DateEncoding::Iso8601, "0001-01-01T00:30:00Z", -kHour, DateOutcome::OutOfRange, "0001-01-01T00:30:00Z"},
        {DateEncoding::Iso8601, "", kHour, DateOutcome::Empty, ""},
        {DateEncoding::Iso8601, "0000-00-00T00:00:00", kHour, DateOutcome::Empty, "0000-00-00T00:00:00"},
        {DateEncoding::Iso8601, "2005-13-01T10:00:00", kHour, DateOutcome::Unreadable, "2005-13-01T10:00:00"},
        {DateEncoding::Iso8601, "2005-06-01T24:00:00", kHour, DateOutcome::Unreadable, "2005-06-01T24:00:00"},
        {DateEncoding::Iso8601, "2005-06-01T10:00:00Q", kHour, DateOutcome::Unreadable, "2005-06-01T10:00:00Q"},
        {DateEncoding::Iso8601, "2005-06-01T10:00:00.", kHour, DateOutcome::Unreadable, "2005-06-01T10:00:00."},
        {DateEncoding::Iso8601, "2005-06-01+02:00", 0, DateOutcome::Unreadable, "2005-06-01+02:00"},
        {DateEncoding::Iso8601, "last Tuesday", kHour, DateOutcome::Unreadable, "last Tuesday"},
        // EXIF text: the existing reading rules, always written back with colons and a blank.
        {DateEncoding::ExifAscii, "2005:12:31 23:30:00", kHour, DateOutcome::Shifted, "2006:01:01 00:30:00"},
        {DateEncoding::ExifAscii, "2005-01-02T10:11:12", 0, DateOutcome::Shifted, "2005:01:02 10:11:12"},
        {DateEncoding::ExifAscii, "0000:00:00 00:00:00", kHour, DateOutcome::Empty, "0000:00:00 00:00:00"},
        {DateEncoding::ExifAscii, "    :  :     :  :  ", kHour, DateOutcome::Empty, "    :  :     :  :  "},
        {DateEncoding::ExifAscii, "2005:02:30 10:00:00", kHour, DateOutcome::Unreadable, "2005:02:30 10:00:00"},
        {DateEncoding::ExifAscii, "2005:02:03 10:00", kHour, DateOutcome::Unreadable, "2005:02:03 10:00"},
        // IPTC halves on their own: a date follows whole days only, a time cannot carry a change of day.
        {DateEncoding::IptcDate, "20051231", kDay, DateOutcome::Shifted, "20060101"},
        {DateEncoding::IptcDate, "20051231", kHour, DateOutcome::Imprecise, "20051231"},
        {DateEncoding::IptcDate, "00000000", kDay, DateOutcome::Empty, "00000000"},
        {DateEncoding::IptcTime, "103000+0200", kHour, DateOutcome::NoPartner, "103000+0200"},
        // QuickTime seconds since 1904: shifted by the delta, refused outside what the width holds.
        {DateEncoding::QuickTimeSeconds32, quickTime32(kJune2005), kHour, DateOutcome::Shifted,
         quickTime32(kJune2005 + 3600)},
        {DateEncoding::QuickTimeSeconds32, quickTime32(0xFFFFFF00u), kHour, DateOutcome::OutOfRange,
         quickTime32(0xFFFFFF00u)},
        {DateEncoding::QuickTimeSeconds32, quickTime32(1800), -kHour, DateOutcome::OutOfRange, quickTime32(1800)},
        {DateEncoding::QuickTimeSeconds32, quickTime32(0), kHour, DateOutcome::Empty, quickTime32(0)},
        {DateEncoding::QuickTimeSeconds64, quickTime64(0xFFFFFFFFull), kHour, DateOutcome::Shifted,
         quickTime64(0xFFFFFFFFull + 3600)},
        {DateEncoding::QuickTimeSeconds64, quickTime64(1ull << 62), kHour, DateOutcome::Unreadable,
         quickTime64(1ull << 62)},
        // PNG tIME: binary fields, crossing a year end; all zeros is no date, month 13 none either.
        {DateEncoding::PngTime, pngTime(2005, 12, 31, 23, 30, 0), kHour, DateOutcome::Shifted,
         pngTime(2006, 1, 1, 0, 30, 0)},
        {DateEncoding::PngTime, std::string(7, '\0'), kHour, DateOutcome::Empty, std::string(7, '\0')},
        {DateEncoding::PngTime, pngTime(2005, 13, 1, 0, 0, 0), kHour, DateOutcome::Unreadable,
         pngTime(2005, 13, 1, 0, 0, 0)},
    };
    for (const FieldCase& c : cases) {
        SCOPED_TRACE("'" + c.before + "' by " + std::to_string(c.shift));
        const FieldShift result = shiftDateField(c.encoding, c.before, DateMapping::bySeconds(c.shift));
        EXPECT_EQ(dateOutcomeText(result.outcome), dateOutcomeText(c.outcome));
        EXPECT_EQ(result.bytes, c.after);
        EXPECT_EQ(result.bytes.size(), c.before.size());
    }
}

TEST(DateCodec, ParsedPrecisionAndValue) {
    struct Case {
        std::string text;
        DatePrecision precision;
        CivilDateTime value;
    };
    const std::vector<Case> cases = {
        {"2005", DatePrecision::Year, {2005, 1, 1, 0, 0, 0, 0}},
        {"2005-06", DatePrecision::Month, {2005, 6, 1, 0, 0, 0, 0}},
        {"2005-06-07", DatePrecision::Day, {2005, 6, 7, 0, 0, 0, 0}},
        {"2005-06-07T08:09Z", DatePrecision::Minute, {2005, 6, 7, 8, 9, 0, 0}},
        {"2005-06-07T08:09:10.999+01:00", DatePrecision::Second, {2005, 6, 7, 8, 9, 10, 0}},
    };
    for (const Case& c : cases) {
        const auto parsed = parseDateField(DateEncoding::Iso8601, c.text);
        ASSERT_TRUE(parsed.has_value()) << c.text;
        EXPECT_EQ(parsed->precision, c.precision) << c.text;
        EXPECT_EQ(parsed->value, c.value) << c.text;
    }
}

TEST(DateCodec, IptcDateAndTimeMoveTogether) {
    struct Case {
        std::string date, time;
        std::int64_t shift;
        DateOutcome dateOutcome, timeOutcome;
        std::string newDate, newTime;
    };
    const std::vector<Case> cases = {
        {"20051231", "233000+0200", kHour, DateOutcome::Shifted, DateOutcome::Shifted, "20060101", "003000+0200"},
        {"20060101", "003000-0500", -kHour, DateOutcome::Shifted, DateOutcome::Shifted, "20051231", "233000-0500"},
        {"20050601", "100000", -kHour, DateOutcome::Shifted, DateOutcome::Shifted, "20050601", "090000"},
        {"2008-03-14", "23:59:26.054-06:00", kHour, DateOutcome::Shifted, DateOutcome::Shifted, "2008-03-15",
         "00:59:26.054-06:00"},
        {"20080314", "135926.054-0600", kHour, DateOutcome::Shifted, DateOutcome::Shifted, "20080314", "145926.054-0600"},
        {"20080314", "1359:26", kHour, DateOutcome::Imprecise, DateOutcome::Unreadable, "20080314", "1359:26"},
        {"20080314", "135926+02:", kHour, DateOutcome::Imprecise, DateOutcome::Unreadable, "20080314", "135926+02:"},
        {"20040228", "120000", kDay, DateOutcome::Shifted, DateOutcome::Shifted, "20040229", "120000"},
        {"99991231", "233000", kHour, DateOutcome::OutOfRange, DateOutcome::OutOfRange, "99991231", "233000"},
        // Without a readable time the date is a date-only value; without a readable date the time stays.
        {"20051231", "2330xx", kHour, DateOutcome::Imprecise, DateOutcome::Unreadable, "20051231", "2330xx"},
        {"20051231", "", kDay, DateOutcome::Shifted, DateOutcome::Empty, "20060101", ""},
        {"2005123x", "233000", kHour, DateOutcome::Unreadable, DateOutcome::NoPartner, "2005123x", "233000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.date + " " + c.time);
        const IptcPairShift result = shiftIptcPair(c.date, c.time, DateMapping::bySeconds(c.shift));
        EXPECT_EQ(dateOutcomeText(result.date.outcome), dateOutcomeText(c.dateOutcome));
        EXPECT_EQ(dateOutcomeText(result.time.outcome), dateOutcomeText(c.timeOutcome));
        EXPECT_EQ(result.date.bytes, c.newDate);
        EXPECT_EQ(result.time.bytes, c.newTime);
    }
}

TEST(DateCodec, MappingArithmeticStaysInsideTheCalendar) {
    const CivilDateTime start{2005, 12, 31, 23, 30, 0, 0};
    EXPECT_EQ(addSeconds(start, kHour), (CivilDateTime{2006, 1, 1, 0, 30, 0, 0}));
    EXPECT_EQ(addSeconds(CivilDateTime{1600, 3, 1, 0, 0, 0, 0}, -kDay), (CivilDateTime{1600, 2, 29, 0, 0, 0, 0}));
    EXPECT_EQ(addSeconds(CivilDateTime{1900, 3, 1, 0, 0, 0, 0}, -kDay), (CivilDateTime{1900, 2, 28, 0, 0, 0, 0}));
    EXPECT_EQ(secondsBetween(CivilDateTime{1, 1, 1, 0, 0, 0, 0}, CivilDateTime{9999, 12, 31, 23, 59, 59, 0}) + 1,
              3652059LL * kDay);
    EXPECT_FALSE(addSeconds(CivilDateTime{9999, 12, 31, 23, 59, 59, 0}, 1));
    EXPECT_FALSE(addSeconds(CivilDateTime{1, 1, 1, 0, 0, 0, 0}, -1));
    EXPECT_FALSE(addSeconds(start, INT64_MAX));
    EXPECT_FALSE(addSeconds(start, INT64_MIN));
    EXPECT_FALSE(addSeconds(CivilDateTime{2005, 2, 29, 0, 0, 0, 0}, 0));
    // A mapping of the caller's own: what it refuses is out of range, what it returns invalid is refused too.
    const DateMapping refuses([](const CivilDateTime&) { return std::optional<CivilDateTime>{}; });
    EXPECT_EQ(shiftDateField(DateEncoding::Iso8601, "2005-06-01T10:00:00", refuses).outcome, DateOutcome::OutOfRange);
    const DateMapping invalid([](const CivilDateTime&) { return CivilDateTime{2005, 2, 30, 0, 0, 0, 0}; });
    EXPECT_EQ(shiftDateField(DateEncoding::Iso8601, "2005-06-01T10:00:00", invalid).outcome, DateOutcome::OutOfRange);
}

TEST(DateCodec, FieldListPairsPartnersSharesRepeatsAndStaysInsideEachField) {
    // date1 time1 | date2 (its time comes first in the list) | a repeat of date1's bytes | a field past the end.
    const std::string bytes = "20051231" "233000+0200" "20050601" "100000" "2005-06-01T10:00:00";
    std::vector<DateField> fields(7);
    fields[0] = {0, 8, DateEncoding::IptcDate, DateRole::Original, "IPTC", "DateCreated", 1};
    fields[1] = {8, 11, DateEncoding::IptcTime, DateRole::Original, "IPTC", "TimeCreated", -1};
    fields[2] = {27, 6, DateEncoding::IptcTime, DateRole::Digitized, "IPTC", "DigitalCreationTime", -1};
    fields[3] = {19, 8, DateEncoding::IptcDate, DateRole::Digitized, "IPTC", "DigitalCreationDate", 2};
    fields[4] = {33, 19, DateEncoding::Iso8601, DateRole::Digitized, "XMP-xmp", "xmp:CreateDate", -1};
    fields[5] = {33, 19, DateEncoding::Iso8601, DateRole::Digitized, "XMP-exif", "exif:DateTimeDigitized", -1};
    fields[6] = {50, 19, DateEncoding::Iso8601, DateRole::Modified, "XMP-xmp", "xmp:ModifyDate", -1};
    const MemoryByteSource source(bytes);
    const DatePatchPlan result = shiftDateFields(fields, source, DateMapping::bySeconds(kHour));
    EXPECT_EQ(applyPatches(bytes, result.patches),
              "20060101" "003000+0200" "20050601" "110000" "2005-06-01T11:00:00");
    ASSERT_EQ(result.reports.size(), fields.size());
    for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(result.reports[i].outcome, DateOutcome::Shifted) << i;
    EXPECT_EQ(result.reports[6].outcome, DateOutcome::Unreadable);
    EXPECT_EQ(result.reports[5].before, "2005-06-01T10:00:00");
    EXPECT_EQ(result.reports[5].after, "2005-06-01T11:00:00");
    EXPECT_EQ(result.patches.size(), 4u);  // the repeat is written once; the unchanged date not at all
    for (const BytePatch& patch : result.patches) {
        const bool insideOne = std::any_of(fields.begin(), fields.end(), [&](const DateField& f) {
            return patch.offset == f.offset && patch.bytes.size() == f.width;
        });
        EXPECT_TRUE(insideOne) << patch.offset;
    }
}

TEST(DateCodec, AppendingScansKeepsPartnersPointingAtTheirTimes) {
    DateFieldScan into;
    into.fields.resize(3);
    DateFieldScan from;
    from.fields.resize(2);
    from.fields[0].partner = 1;
    from.skipped.push_back("why");
    appendDateFields(into, from);
    ASSERT_EQ(into.fields.size(), 5u);
    EXPECT_EQ(into.fields[3].partner, 4);
    EXPECT_EQ(into.fields[4].partner, -1);
    EXPECT_EQ(into.skipped, std::vector<std::string>{"why"});
}
