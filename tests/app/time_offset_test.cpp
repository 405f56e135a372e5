// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/time_offset.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace morrowtide::app {
namespace {

struct ReferenceCase {
    const char* name;
    const char* recorded;
    const char* truth;
    TimeOffset expected;
};

class ReferenceOffset : public testing::TestWithParam<ReferenceCase> {};

TEST_P(ReferenceOffset, FillsTheBoxesWithTheDifference) {
    const ReferenceCase& c = GetParam();
    const auto recorded = parseDateTimeText(c.recorded);
    const auto truth = parseDateTimeText(c.truth);
    ASSERT_TRUE(recorded && truth);
    const auto offset = offsetBetween(*recorded, *truth);
    ASSERT_TRUE(offset);
    EXPECT_EQ(offset->days, c.expected.days);
    EXPECT_EQ(offset->hours, c.expected.hours);
    EXPECT_EQ(offset->minutes, c.expected.minutes);
    EXPECT_EQ(offset->seconds, c.expected.seconds);
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, ReferenceOffset,
    testing::Values(ReferenceCase{"SameMoment", "2024-05-01T10:00:00", "2024-05-01T10:00:00", {0, 0, 0, 0}},
                    ReferenceCase{"AcrossMidnight", "2024-05-01T23:30:00", "2024-05-02T01:15:30", {0, 1, 45, 30}},
                    ReferenceCase{"BackAcrossMidnight", "2024-05-02T01:15:30", "2024-05-01T23:30:00", {0, -1, -45, -30}},
                    ReferenceCase{"AcrossMonthEnd", "2024-04-30T22:00:00", "2024-05-01T02:00:01", {0, 4, 0, 1}},
                    ReferenceCase{"OverLeapDay", "2024-02-28T12:00:00", "2024-03-01T12:00:00", {2, 0, 0, 0}},
                    ReferenceCase{"NoLeapDay", "2023-02-28T12:00:00", "2023-03-01T12:00:00", {1, 0, 0, 0}},
                    ReferenceCase{"ClockNeverSet", "2000-01-01T00:00:00", "2024-07-14T15:16:17", {8961, 15, 16, 17}},
                    ReferenceCase{"ColonDateSeparators", "2024:05:01 10:00:00", "2024-05-01T09:59:59", {0, 0, 0, -1}}),
    [](const testing::TestParamInfo<ReferenceCase>& info) { return std::string(info.param.name); });

TEST(ReferenceOffset, RefusesWhatIsNotADate) {
    for (const char* text : {"2024-02-30T10:00:00", "2024-05-01T24:00:00", "2024-05-01", "2024/05/01T10:00:00",
                             "2024-05-01T10:00:0x", ""}) {
        EXPECT_FALSE(parseDateTimeText(text)) << text;
    }
    EXPECT_FALSE(offsetBetween(0.0, 45000.0)) << "a photo without a date gives no offset";
}

TEST(ReferenceOffset, ArgumentSplitsAtTheLastEquals) {
    std::string error;
    const auto parsed = parseReferenceArgument("trip/a=b.jpg=2024-05-01T10:00:00", error);
    ASSERT_TRUE(parsed) << error;
    EXPECT_EQ(parsed->photo, "trip/a=b.jpg");
    EXPECT_EQ(parsed->truth, *parseDateTimeText("2024-05-01T10:00:00"));
    const std::pair<const char*, const char*> bad[] = {
        {"photo.jpg", "PHOTO=YYYY"}, {"=2024-05-01T10:00:00", "PHOTO=YYYY"}, {"photo.jpg=yesterday", "\"yesterday\""}};
    for (const auto& [text, said] : bad) {
        error.clear();
        EXPECT_FALSE(parseReferenceArgument(text, error)) << text;
        EXPECT_NE(error.find(said), std::string::npos) << error;
    }
}

TEST(OffsetText, ParsesEveryForm) {
    struct Case {
        const char* text;
        std::int64_t seconds;
    };
    for (const Case& c : {Case{"+1d2h3m4s", 93784}, Case{"-0:30:00", -1800}, Case{"+2h", 7200}, Case{"2h", 7200},
                          Case{"-1:30", -5400}, Case{"45s", 45}, Case{"-3d", -259200}, Case{"10:00:59", 36059},
                          Case{"+0s", 0}, Case{"0", 0}, Case{"-00", 0}}) {
        std::string error;
        const auto seconds = parseOffsetText(c.text, error);
        ASSERT_TRUE(seconds) << c.text << ": " << error;
        EXPECT_EQ(*seconds, c.seconds) << c.text;
        EXPECT_TRUE(error.empty());
    }
}

TEST(OffsetText, RefusesBadOffsetsWithTheTextInTheMessage) {
    for (const char* text : {"", "+", "2x", "1h2d", "1h1h", "0:60", "1:5", "1:30:5", "h", "1.5h", "--1h",
                             "99999999999999999999d", "9223372036854775807d"}) {
        std::string error;
        EXPECT_FALSE(parseOffsetText(text, error)) << text;
        EXPECT_NE(error.find(std::string("\"") + text + "\""), std::string::npos) << error;
    }
}

TEST(OffsetBoxes, NormaliseWithOneSignAndRefuseWhatDoesNotFit) {
    const auto offset = offsetFromSeconds(-(3 * 86400 + 23 * 3600 + 59 * 60 + 59));
    ASSERT_TRUE(offset);
    EXPECT_EQ(totalSeconds(*offset), -(3 * 86400 + 23 * 3600 + 59 * 60 + 59));
    EXPECT_EQ(offset->hours, -23);
    EXPECT_EQ(offset->seconds, -59);
    EXPECT_FALSE(offsetFromSeconds(std::int64_t{86400} * (std::int64_t{1} << 31)));
}

}  // namespace
}  // namespace morrowtide::app
