// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "meta/date_time.h"
#include "meta/image_info.h"
#include "meta/img_data.h"
#include "support/exif_builder.h"
#include "support/run_shift.h"

namespace morrowtide::meta {
namespace {

using test::ByteOrder;
using test::JpegBuilder;
using test::TiffBuilder;

double at(int y, int mo, int d, int h, int mi, int s) {
    return encodeDateTime({y, mo, d, h, mi, s, 0});
}

TEST(ParseExifDateTest, ReadsFieldsByPositionIgnoringSeparators) {
    EXPECT_DOUBLE_EQ(parseExifDate("1899:12:31 12:00:00"), 1.5);
    EXPECT_DOUBLE_EQ(parseExifDate("2005:01:02 10:11:12"), at(2005, 1, 2, 10, 11, 12));
    EXPECT_DOUBLE_EQ(parseExifDate("2005-01-02T10:11:12"), at(2005, 1, 2, 10, 11, 12));
    // Leading blanks and a sign are part of a number.
    EXPECT_DOUBLE_EQ(parseExifDate("2005: 1:+2 10:11: 2"), at(2005, 1, 2, 10, 11, 2));
    EXPECT_DOUBLE_EQ(parseExifDate("2004:02:29 00:00:00"), at(2004, 2, 29, 0, 0, 0));
    EXPECT_DOUBLE_EQ(parseExifDate("2000:02:29 23:59:59"), at(2000, 2, 29, 23, 59, 59));
}

TEST(ParseExifDateTest, UnreadableOrInvalidTextIsZero) {
    for (const char* text : {"0000:00:00 00:00:00", "                   ", "2005:13:01 00:00:00", "2005:02:29 00:00:00",
                             "1900:02:29 00:00:00", "2005:04:31 00:00:00", "2005:01:01 24:00:00", "2005:01:01 00:60:00",
                             "2005:01:01 00:00:60", "2005:01:-1 00:00:00", "2005:01:01 1 :00:00", "20x5:01:01 00:00:00",
                             "2005:01:01 00:00", ""}) {
        EXPECT_EQ(parseExifDate(text), 0.0) << '"' << text << '"';
    }
    // A zero byte inside a field (a separator position is never looked at).
    EXPECT_EQ(parseExifDate(std::string("2005:01:01 0\0:00:00", 19)), 0.0);
    EXPECT_EQ(parseExifDate(std::string("2005:01:01 00:00:0\0", 19)), 0.0);
}

// A JPEG whose DateTime sits in the main directory and the other two dates in the EXIF sub-directory.
struct DatedJpeg {
    std::string bytes;
    std::vector<std::int64_t> datePositions;  // block positions of the values that are present
};

DatedJpeg datedJpeg(ByteOrder order, const char* dateTime, const char* original, const char* digitized) {
    TiffBuilder tiff(order);
    const auto ifd0 = tiff.directory();
    const auto exif = tiff.directory();
    tiff.ascii(ifd0, 0x010F, "Maker");
    std::vector<std::pair<TiffBuilder::Dir, int>> dates;
    if (dateTime) dates.emplace_back(ifd0, tiff.ascii(ifd0, 0x0132, dateTime));
    tiff.link(ifd0, 0x8769, exif);
    if (original) dates.emplace_back(exif, tiff.ascii(exif, 0x9003, original));
    if (digitized) dates.emplace_back(exif, tiff.ascii(exif, 0x9004, digitized));
    tiff.shortValue(exif, 0xA002, 640);
    tiff.setTrailer(std::string(40, '\x5A'));  // stands for a thumbnail: must travel unchanged
    DatedJpeg out;
    out.bytes = JpegBuilder().app1Exif(tiff.build()).imageData().build();
    for (const auto& [dir, index] : dates)
        out.datePositions.push_back(test::jpegBlockPos(tiff.valueOffset(dir, index)));
    return out;
}

std::string dateAt(const ImageInfo& info, std::int64_t pos) {
    return info.dateBytes().substr(static_cast<std::size_t>(pos - 1), 19);
}

// Every byte of `after` equals `before` outside the 19 characters from each position.
void expectOnlyDatesDiffer(const std::string& before, const std::string& after, const std::vector<std::int64_t>& at) {
    ASSERT_EQ(before.size(), after.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        bool inDate = false;
        for (const auto pos : at) {
            inDate |= i + 1 >= static_cast<std::size_t>(pos) && i + 1 < static_cast<std::size_t>(pos) + 19;
        }
        if (!inDate) {
            ASSERT_EQ(before[i], after[i]) << "block byte " << i + 1;
        }
    }
}

class ShiftedBlockTest : public ::testing::TestWithParam<ByteOrder> {};

TEST_P(ShiftedBlockTest, OneHourChangesOnlyTheThreeDateValues) {
    const DatedJpeg jpeg = datedJpeg(GetParam(), "2005:12:31 23:30:00", "2005:12:31 23:00:00", "2005:12:31 23:00:01");
    ImgData data;
    data.readImageBytes("photo.jpg", jpeg.bytes);
    ASSERT_TRUE(data.hasExifBlock());
    ImageInfo& info = *data.exif();
    ASSERT_EQ(info.dateTimePos, jpeg.datePositions[0]);
    const std::string before = data.exifSection()->data;

    test::shiftExifDates(data, 0, 1);

    EXPECT_EQ(dateAt(info, info.dateTimePos), "2006:01:01 00:30:00");
    EXPECT_EQ(dateAt(info, info.dateTimeOriginalPos), "2006:01:01 00:00:00");
    EXPECT_EQ(dateAt(info, info.dateTimeDigitizedPos), "2006:01:01 00:00:01");
    expectOnlyDatesDiffer(before, data.exifSection()->data, jpeg.datePositions);
    // The terminating zero byte of each value stays.
    for (const auto pos : jpeg.datePositions) EXPECT_EQ(info.dateBytes()[static_cast<std::size_t>(pos - 1 + 19)], '\0');
    EXPECT_DOUBLE_EQ(info.captureDateTime(), at(2006, 1, 1, 0, 0, 0));  // DateTimeOriginal
    EXPECT_EQ(data.exifSection()->size, static_cast<std::int32_t>(before.size()));
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, ShiftedBlockTest, ::testing::Values(ByteOrder::kLittle, ByteOrder::kBig),
                         [](const ::testing::TestParamInfo<ByteOrder>& info) {
                             return info.param == ByteOrder::kBig ? "BigEndian" : "LittleEndian";
                         });

struct ShiftCase {
    const char* from;
    int days, hours, minutes, seconds;
    const char* to;
};

void PrintTo(const ShiftCase& c, std::ostream* out) {
    *out << c.from << " shifted by " << c.days << "d " << c.hours << "h " << c.minutes << "m " << c.seconds << "s";
}

class ShiftArithmeticTest : public ::testing::TestWithParam<ShiftCase> {};

// "2005_06_01_10_00_00_minus1h_plus30m": the date, then each part of the offset that is not zero.
std::string shiftCaseName(const ::testing::TestParamInfo<ShiftCase>& info) {
    const ShiftCase& c = info.param;
    std::string name;
    for (const char* p = c.from; *p != '\0'; ++p) name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    const std::pair<int, const char*> parts[] = {{c.days, "d"}, {c.hours, "h"}, {c.minutes, "m"}, {c.seconds, "s"}};
    bool shifted = false;
    for (const auto& [value, unit] : parts) {
        if (value == 0) continue;
        name += (value < 0 ? "_minus" : "_plus") + std::to_string(std::abs(value)) + unit;
        shifted = true;
    }
    return shifted ? name : name + "_unshifted";
}

TEST_P(ShiftArithmeticTest, MovesByCalendarTime) {
    const ShiftCase& c = GetParam();
    const DatedJpeg jpeg = datedJpeg(ByteOrder::kLittle, c.from, nullptr, nullptr);
    ImgData data;
    data.readImageBytes("photo.jpg", jpeg.bytes);
    ASSERT_TRUE(data.hasExifBlock());
    test::shiftExifDates(data, c.days, c.hours, c.minutes, c.seconds);
    EXPECT_EQ(dateAt(*data.exif(), data.exif()->dateTimePos), c.to);
}

INSTANTIATE_TEST_SUITE_P(Calendar, ShiftArithmeticTest,
                         ::testing::Values(ShiftCase{"2004:02:28 12:00:00", 1, 0, 0, 0, "2004:02:29 12:00:00"},
                                           ShiftCase{"2005:02:28 12:00:00", 1, 0, 0, 0, "2005:03:01 12:00:00"},
                                           ShiftCase{"1900:02:28 23:00:00", 0, 1, 0, 0, "1900:03:01 00:00:00"},
                                           ShiftCase{"2000:02:28 23:00:00", 0, 1, 0, 0, "2000:02:29 00:00:00"},
                                           ShiftCase{"2005:06:01 10:00:00", 0, -1, 30, 0, "2005:06:01 09:30:00"},
                                           ShiftCase{"2006:01:01 00:00:00", 0, 0, 0, -1, "2005:12:31 23:59:59"},
                                           ShiftCase{"2004:03:01 00:10:00", 0, 0, -20, 0, "2004:02:29 23:50:00"},
                                           ShiftCase{"2005:04:30 23:59:59", 0, 0, 0, 1, "2005:05:01 00:00:00"},
                                           ShiftCase{"2005:01:01 00:00:00", -366, 0, 0, 0, "2004:01:01 00:00:00"},
                                           ShiftCase{"2005:06:15 12:00:00", 3652, 23, 59, 59, "2015:06:16 11:59:59"},
                                           ShiftCase{"1899:12:30 06:00:00", 0, -12, 0, 0, "1899:12:29 18:00:00"},
                                           ShiftCase{"1899:12:29 18:00:00", 0, 12, 0, 1, "1899:12:30 06:00:01"},
                                           ShiftCase{"2005:01:02 10:11:12", 0, 0, 0, 0, "2005:01:02 10:11:12"},
                                           ShiftCase{"2005-01-02T10:11:12", 0, 0, 0, 0, "2005:01:02 10:11:12"},
                                           // Beyond the years 1..9999 there is no sound value: left as it was.
                                           ShiftCase{"9999:12:31 23:00:00", 0, 2, 0, 0, "9999:12:31 23:00:00"},
                                           ShiftCase{"0001:01:01 00:30:00", 0, -1, 0, 0, "0001:01:01 00:30:00"}),
                         shiftCaseName);

TEST(ShiftDatesTest, WithoutDateTimeTheOtherTwoMoveAndOriginalNamesThePhoto) {
    const DatedJpeg jpeg = datedJpeg(ByteOrder::kBig, nullptr, "2005:06:01 10:00:00", "2005:06:01 10:00:05");
    ImgData data;
    data.readImageBytes("photo.jpg", jpeg.bytes);
    ImageInfo& info = *data.exif();
    EXPECT_EQ(info.dateTimePos, 0);
    test::shiftExifDates(data, -2);
    EXPECT_EQ(dateAt(info, info.dateTimeOriginalPos), "2005:05:30 10:00:00");
    EXPECT_EQ(dateAt(info, info.dateTimeDigitizedPos), "2005:05:30 10:00:05");
    EXPECT_DOUBLE_EQ(info.captureDateTime(), at(2005, 5, 30, 10, 0, 0));
}

TEST(ShiftDatesTest, UnreadableDatesStayAsTheyAre) {
    const DatedJpeg jpeg =
        datedJpeg(ByteOrder::kLittle, "0000:00:00 00:00:00", "2005:06:01 10:00:00", "    :  :     :  :  ");
    ImgData data;
    data.readImageBytes("photo.jpg", jpeg.bytes);
    ImageInfo& info = *data.exif();
    ASSERT_GT(info.dateTimePos, 0);
    const ShiftResult result = test::shiftExifDates(data, 1);
    EXPECT_EQ(result.status, ShiftStatus::kShifted);
    EXPECT_EQ(result.moved, 1);
    EXPECT_EQ(dateAt(info, info.dateTimePos), "0000:00:00 00:00:00");
    EXPECT_EQ(dateAt(info, info.dateTimeOriginalPos), "2005:06:02 10:00:00");
    EXPECT_EQ(dateAt(info, info.dateTimeDigitizedPos), "    :  :     :  :  ");
}

// The photo's date is the first readable of DateTimeOriginal, DateTimeDigitized and DateTime: an edited photo's
// DateTime is the day of the edit.
TEST(CaptureDateTimeTest, FirstReadableOfOriginalDigitizedAndDateTime) {
    const char* bad = "0000:00:00 00:00:00";
    struct Case {
        const char *dateTime, *original, *digitized;
        double expected;
    } const cases[] = {
        {"2021:03:04 05:06:07", "2005:06:01 10:00:00", "2005:06:01 10:00:01", at(2005, 6, 1, 10, 0, 0)},
        {bad, "2005:06:01 10:00:00", nullptr, at(2005, 6, 1, 10, 0, 0)},
        {"2021:03:04 05:06:07", bad, "2005:06:01 10:00:01", at(2005, 6, 1, 10, 0, 1)},
        {"2021:03:04 05:06:07", nullptr, bad, at(2021, 3, 4, 5, 6, 7)},
        {bad, bad, bad, 0.0},
        {nullptr, nullptr, nullptr, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << (c.dateTime ? c.dateTime : "-") << " / " << (c.original ? c.original : "-")
                                          << " / " << (c.digitized ? c.digitized : "-"));
        ImgData data;
        data.readImageBytes("photo.jpg", datedJpeg(ByteOrder::kBig, c.dateTime, c.original, c.digitized).bytes);
        EXPECT_DOUBLE_EQ(data.exif()->captureDateTime(), c.expected);
    }
}

TEST(ShiftDatesTest, NoDatesMeansNoCaptureTimeAndNoChange) {
    const DatedJpeg jpeg = datedJpeg(ByteOrder::kLittle, nullptr, nullptr, nullptr);
    ImgData data;
    data.readImageBytes("photo.jpg", jpeg.bytes);
    const std::string before = data.exifSection()->data;
    test::shiftExifDates(data, 5, 5, 5, 5);
    EXPECT_EQ(data.exifSection()->data, before);
    EXPECT_EQ(data.exif()->captureDateTime(), 0.0);
}

TEST(ShiftDatesTest, StoredCountDecidesWhetherTheValueIsWritten) {
    // 20 bytes stored, the entry's count as given: 19 (no closing zero; the next byte is another value's) and 20
    // hold a whole date and are moved; 10 would leave part of the value behind a 19-character write, so that one is
    // read but never written.
    const struct {
        std::uint32_t count;
        std::string stored;
        const char* after;
    } cases[] = {{19, "2005:01:02 10:11:12X", "2005:01:02 11:11:12"},
                 {20, std::string("2005:01:02 10:11:12\0", 20), "2005:01:02 11:11:12"},
                 {10, std::string("2005:01:02 10:11:12\0", 20), "2005:01:02 10:11:12"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count);
        TiffBuilder tiff(ByteOrder::kLittle);
        const auto ifd0 = tiff.directory();
        const int index = tiff.entry(ifd0, 0x0132, 2, c.count, c.stored);
        ImgData data;
        data.readImageBytes("photo.jpg", JpegBuilder().app1Exif(tiff.build()).imageData().build());
        ImageInfo& info = *data.exif();
        ASSERT_EQ(info.dateTimePos, test::jpegBlockPos(tiff.valueOffset(ifd0, index)));
        const std::string before = data.exifSection()->data;
        test::shiftExifDates(data, 0, 1);
        EXPECT_EQ(dateAt(info, info.dateTimePos), c.after);
        expectOnlyDatesDiffer(before, data.exifSection()->data, {info.dateTimePos});
        EXPECT_DOUBLE_EQ(info.captureDateTime(), parseExifDate(c.after));
        EXPECT_EQ(info.writeDateAt(info.dateTimePos, at(2001, 1, 1, 0, 0, 0)), c.count >= 19);
    }
}

TEST(ShiftDatesTest, ValueSharedByTwoTagsMovesOnce) {
    TiffBuilder tiff(ByteOrder::kLittle);
    const auto ifd0 = tiff.directory();
    const int index = tiff.ascii(ifd0, 0x0132, "2005:06:01 10:00:00");
    // The value moves 12 bytes further back once the directory holds a second entry.
    tiff.rawEntry(ifd0, 0x9003, 2, 20, tiff.valueOffset(ifd0, index) + 12);
    ImgData data;
    data.readImageBytes("photo.jpg", JpegBuilder().app1Exif(tiff.build()).imageData().build());
    ImageInfo& info = *data.exif();
    ASSERT_EQ(info.dateTimePos, info.dateTimeOriginalPos);
    test::shiftExifDates(data, 0, 1);
    EXPECT_EQ(dateAt(info, info.dateTimePos), "2005:06:01 11:00:00");
}

// Every value of the three date tags, wherever the block keeps it, moves exactly once: in the main directory and
// the EXIF directory (a DateTimeOriginal in both), in the thumbnail directory, and in a second EXIF section.
TEST(ShiftDatesTest, EveryCopyOfADateMovesOnce) {
    for (const ByteOrder order : {ByteOrder::kLittle, ByteOrder::kBig}) {
        SCOPED_TRACE(order == ByteOrder::kBig ? "MM" : "II");
        TiffBuilder tiff(order);
        const auto ifd0 = tiff.directory(), exif = tiff.directory(), ifd1 = tiff.directory(),
                   thumbExif = tiff.directory();
        std::vector<std::pair<TiffBuilder::Dir, int>> dates = {
            {ifd0, tiff.ascii(ifd0, 0x0132, "2005:12:31 23:30:00")},
            {ifd0, tiff.ascii(ifd0, 0x9003, "2005:12:31 23:00:00")}};
        tiff.link(ifd0, 0x8769, exif);
        dates.emplace_back(exif, tiff.ascii(exif, 0x9003, "2005:12:31 23:00:00"));
        dates.emplace_back(exif, tiff.ascii(exif, 0x9004, "2005:12:31 23:00:01"));
        tiff.ascii(exif, 0xA420, "unique id");
        // A second tag pointing at the same value (which moves 12 bytes back once this entry is added).
        tiff.rawEntry(exif, 0x9004, 2, 20, tiff.valueOffset(exif, dates.back().second) + 12);
        tiff.setNext(ifd0, ifd1);
        tiff.shortValue(ifd1, 0x0103, 6);
        dates.emplace_back(ifd1, tiff.ascii(ifd1, 0x0132, "2005:12:31 23:30:00"));
        tiff.longValue(ifd1, 0x0100, 160);  // the thumbnail's width must not become the photo's
        // Some cameras give the thumbnail directory an EXIF directory of its own.
        tiff.link(ifd1, 0x8769, thumbExif);
        dates.emplace_back(thumbExif, tiff.ascii(thumbExif, 0x9003, "2005:12:31 23:00:00"));

        TiffBuilder second(ByteOrder::kLittle);
        const auto second0 = second.directory();
        const int secondDate = second.ascii(second0, 0x9003, "2005:12:31 23:00:00");

        const std::string jpeg =
            JpegBuilder().app1Xmp().app1Exif(tiff.build()).app2().app1Exif(second.build()).imageData().build();
        ImgData data;
        ASSERT_TRUE(data.readImageBytes("photo.jpg", jpeg));
        ASSERT_EQ(data.extraExifCount(), 1);
        EXPECT_EQ(data.exif()->imageWidth, 0);
        const std::string before = data.exifSection()->data;
        const ShiftResult result = test::shiftExifDates(data, 0, 1);
        EXPECT_EQ(result.status, ShiftStatus::kShifted);
        EXPECT_EQ(result.moved, 7);

        std::vector<std::int64_t> positions;
        for (const auto& [dir, index] : dates) positions.push_back(test::jpegBlockPos(tiff.valueOffset(dir, index)));
        const std::vector<std::string> expected = {"2006:01:01 00:30:00", "2006:01:01 00:00:00", "2006:01:01 00:00:00",
                                                   "2006:01:01 00:00:01", "2006:01:01 00:30:00",
                                                   "2006:01:01 00:00:00"};
        for (std::size_t i = 0; i < positions.size(); ++i) {
            EXPECT_EQ(dateAt(*data.exif(), positions[i]), expected[i]) << "date " << i;
        }
        expectOnlyDatesDiffer(before, data.exifSection()->data, positions);
        const JpegSection& secondSection = data.section(data.extraExifSectionIndex(0));
        EXPECT_EQ(secondSection.data.substr(
                      static_cast<std::size_t>(test::jpegBlockPos(second.valueOffset(second0, secondDate)) - 1), 19),
                  "2006:01:01 00:00:00");
        // The decoded copies show the moved dates too.
        EXPECT_EQ(data.exif()->textOfTag("DateTimeOriginal"), "2006:01:01 00:00:00");
        EXPECT_EQ(data.block, data.exifSection()->data);
    }
}

TEST(ShiftDatesTest, StatusSaysWhyNothingMoved) {
    struct Case {
        const char* name;
        std::string jpeg;
        int days;
        ShiftStatus status;
        const char* reason;
    } const cases[] = {
        {"no_exif", JpegBuilder().app0Jfif().comment("c").imageData().build(), 1, ShiftStatus::kNoExifBlock,
         "no EXIF block"},
        {"no_dates", datedJpeg(ByteOrder::kLittle, nullptr, nullptr, nullptr).bytes, 1, ShiftStatus::kNoDate,
         "no readable date in its EXIF block"},
        {"unreadable", datedJpeg(ByteOrder::kLittle, "0000:00:00 00:00:00", "    :  :     :  :  ", nullptr).bytes, 1,
         ShiftStatus::kNoDate, "no readable date in its EXIF block"},
        // One date would leave the years 0001-9999: none is written, not even the ones that would fit.
        {"past_9999", datedJpeg(ByteOrder::kBig, "2005:06:01 10:00:00", "9999:12:31 12:00:00", nullptr).bytes, 1,
         ShiftStatus::kOutOfRange, "the offset would move a date outside the years 0001-9999"},
        {"before_0001", datedJpeg(ByteOrder::kBig, "0001:01:01 10:00:00", "2005:06:01 10:00:00", nullptr).bytes, -1,
         ShiftStatus::kOutOfRange, "the offset would move a date outside the years 0001-9999"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImgData data;
        data.readImageBytes("photo.jpg", c.jpeg);
        const std::string before = data.hasExifBlock() ? data.exifSection()->data : std::string();
        const ShiftResult result = test::shiftExifDates(data, c.days);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.moved, 0);
        EXPECT_EQ(shiftStatusReason(result.status), c.reason);
        if (data.hasExifBlock()) {
            EXPECT_EQ(data.exifSection()->data, before);
        }
    }
}

TEST(WriteDateAtTest, StaysInsideTheBytes) {
    ImageInfo info;
    info.block = std::string(30, '#');
    const double value = at(2010, 7, 4, 5, 6, 7);
    EXPECT_FALSE(info.writeDateAt(0, value));
    EXPECT_FALSE(info.writeDateAt(13, value));  // 13..31: one byte too far
    EXPECT_EQ(info.block, std::string(30, '#'));
    EXPECT_TRUE(info.writeDateAt(12, value));
    EXPECT_EQ(info.block, std::string(11, '#') + "2010:07:04 05:06:07");
    EXPECT_DOUBLE_EQ(info.readDateAt(12), value);
    // A date read at the very end of the bytes gets fewer than 19 characters and cannot be complete.
    EXPECT_EQ(info.readDateAt(13), 0.0);
    EXPECT_EQ(info.readDateAt(1000), 0.0);
}

TEST(WriteDateAtTest, RoundsToTheMillisecondBeforeSplitting) {
    ImageInfo info;
    info.block = std::string(19, ' ');
    // Half a millisecond before midnight carries into the next day.
    ASSERT_TRUE(info.writeDateAt(1, at(2005, 12, 31, 0, 0, 0) + 1.0 - 0.4 / 86'400'000.0));
    EXPECT_EQ(info.block, "2006:01:01 00:00:00");
    // Milliseconds below a second are dropped, not rounded up.
    ASSERT_TRUE(info.writeDateAt(1, at(2005, 6, 1, 10, 0, 0) + 0.999 / 86'400.0));
    EXPECT_EQ(info.block, "2005:06:01 10:00:00");
}

}  // namespace
}  // namespace morrowtide::meta
